#include "FileSearch.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
