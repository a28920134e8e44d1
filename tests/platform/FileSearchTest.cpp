#include "FileSearch.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace orvex;

TEST(FileSearch, MatchesWithoutCaseAndCountsHiddenEntriesAndFolders)
{
    QTemporaryDir dir;
    for (const char* name : {"a.mp3", "B.MP3", ".x.mp3", "notes.txt", "song.mp3.bak", "mp3"})
        QFile(dir.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly);
    QDir(dir.path()).mkdir(QStringLiteral("old.mp3"));
    QStringList names = FindFiles(dir.path() + QLatin1Char('/'), QStringLiteral("*.mp3"));
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral(".x.mp3"), QStringLiteral("B.MP3"), QStringLiteral("a.mp3"),
                                  QStringLiteral("old.mp3")}));
}

TEST(FileSearch, AFolderThatCannotBeReadGivesNothing)
{
    EXPECT_TRUE(FindFiles(QStringLiteral("/no/such/folder/"), QStringLiteral("*.mp3")).isEmpty());
    QTemporaryDir dir;
    EXPECT_TRUE(FindFiles(dir.path(), QStringLiteral("*.mp3")).isEmpty());
}

TEST(FileSearch, ListsOnlyNamesThatCanBeOpenedAgainByTheirText)
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + '/';
    // A name in an old single-byte code page is not valid text here; a name
    // written as proper text with accents is.
    for (const QByteArray& name : {QByteArray("can\xe7\xe3o.mp3"), QByteArray("can\xc3\xa7\xc3\xa3o.mp3")}) {
        const int fd = ::open((folder + name).constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    const QStringList names = FindFiles(dir.path() + QLatin1Char('/'), QStringLiteral("*.mp3"));
    EXPECT_EQ(names, QStringList{QStringLiteral("can\u00e7\u00e3o.mp3")});
    for (const QString& name : names)
        EXPECT_TRUE(QFile::exists(dir.filePath(name))) << name.toStdString();
}
