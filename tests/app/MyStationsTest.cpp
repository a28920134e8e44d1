#include "MyStations.h"

#include "DirectoryClient.h"
#include "FakeDirectory.h"
#include "WindowFixture.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace orvex {
namespace {

using testing::FakeDirectory;
using testing::PumpUntil;

class MyStationsTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    void Write(const QString& name, const QByteArray& content)
    {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QByteArray Read(const QString& name) const
    {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QTemporaryDir m_dir;
};

TEST_F(MyStationsTest, AFileThatIsNoStationListGoesAsideWholeAndIsToldOnce)
{
    const QByteArray good = R"({"stations": [{"name": "Um", "url": "http://a.example/1"}]})";
    const QByteArray cases[] = {"", good.left(30), "not json at all", R"({"stations": {}})"};
    int aside = 0;
    for (const QByteArray& content : cases) {
        SCOPED_TRACE(content.toStdString());
        Write(QStringLiteral("stations.json"), content);
        MyStations kept(Path(QStringLiteral("stations.json")));
        kept.Load();
        EXPECT_TRUE(kept.Stations().isEmpty());
        // Kept aside as it was, never over an earlier one.
        const QString bad = ++aside == 1 ? QStringLiteral("stations.json.bad") : QStringLiteral("stations.json.bad.%1").arg(aside);
        EXPECT_EQ(Read(bad), content);
        EXPECT_FALSE(QFile::exists(Path(QStringLiteral("stations.json"))));
        EXPECT_TRUE(kept.TakeProblem().contains(Path(bad)));
        EXPECT_TRUE(kept.TakeProblem().isEmpty());
    }
    // A list with one unreadable entry keeps the good ones, and the whole
    // file aside.
    const QByteArray mixed = R"json({"stations": [{"name": "Um", "url": "http://a.example/1"},
                                              {"name": "Mau", "url": "javascript:alert(1)"}]})json";
    Write(QStringLiteral("stations.json"), mixed);
    MyStations kept(Path(QStringLiteral("stations.json")));
    kept.Load();
    ASSERT_EQ(kept.Stations().size(), 1);
    EXPECT_EQ(Read(QStringLiteral("stations.json.bad.5")), mixed);
    EXPECT_FALSE(kept.TakeProblem().isEmpty());
}

TEST_F(MyStationsTest, ChangesAreSavedWholeOrNotAtAll)
{
    const QString file = Path(QStringLiteral("sub/stations.json"));
    MyStations kept(file);
    ASSERT_TRUE(kept.Add({QString(), QStringLiteral("Um"), QStringLiteral("http://a.example/1"), {}, {}, false}));
    ASSERT_TRUE(kept.Add({QStringLiteral("u2"), QStringLiteral("Dois"), QStringLiteral("HTTPS://b.example/2"), {}, {}, false}));
    EXPECT_FALSE(kept.Add({QString(), QStringLiteral("Mau"), QStringLiteral("file:///etc/passwd"), {}, {}, false}));
    kept.Move(1, -1);
    kept.Rename(1, QStringLiteral("Primeira\nlinha"));
    MyStations again(file);
    again.Load();
    ASSERT_EQ(again.Stations().size(), 2);
    EXPECT_EQ(again.Stations()[0].name, QStringLiteral("Dois"));
    EXPECT_EQ(again.Stations()[0].address, QStringLiteral("HTTPS://b.example/2"));
    EXPECT_EQ(again.Stations()[1].name, QStringLiteral("Primeira linha"));

    // A full disk (here: a file-size limit) leaves the last good file whole.
    const QByteArray before = Read(QStringLiteral("sub/stations.json"));
    QSignalSpy failed(&kept, &MyStations::Failed);
    rlimit old = {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 64;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    kept.Add({QString(), QStringLiteral("Tr\u00eas"), QStringLiteral("http://c.example/3"), {}, {}, false});
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(Read(QStringLiteral("sub/stations.json")), before);
}

TEST_F(MyStationsTest, PlaylistsComeInAsStationsAndGoOutAsM3u)
{
    Write(QStringLiteral("a.m3u"), "#EXTM3U\n#EXTINF:-1,R\xc3\xa1" "dio Um\nhttp://a.example/1\n"
                                   "#EXTINF:-1,Script\njavascript:alert(1)\nmms://m.example/live\n");
    Write(QStringLiteral("b.pls"), "[playlist]\nFile1=https://b.example/2\nTitle1=Dois\nNumberOfEntries=1\nVersion=2\n");
    Write(QStringLiteral("c.xspf"), R"(<?xml version="1.0"?><playlist version="1" xmlns="http://xspf.org/ns/0/">)"
                                    R"(<trackList><track><location>http://c.example/3</location><title>Tr&#234;s</title>)"
                                    R"(</track></trackList></playlist>)");
    MyStations kept(Path(QStringLiteral("stations.json")));
    QString error;
    EXPECT_EQ(kept.Import(Path(QStringLiteral("a.m3u")), &error), 2);
    EXPECT_EQ(kept.Import(Path(QStringLiteral("b.pls")), &error), 1);
    EXPECT_EQ(kept.Import(Path(QStringLiteral("c.xspf")), &error), 1);
    EXPECT_EQ(kept.Import(Path(QStringLiteral("missing.m3u")), &error), -1);
    EXPECT_FALSE(error.isEmpty());
    ASSERT_EQ(kept.Stations().size(), 4);
    EXPECT_EQ(kept.Stations()[0].name, QStringLiteral("R\u00e1dio Um"));
    EXPECT_EQ(kept.Stations()[1].address, QStringLiteral("mms://m.example/live"));
    EXPECT_EQ(kept.Stations()[3].name, QStringLiteral("Tr\u00eas"));

    ASSERT_TRUE(kept.Export(Path(QStringLiteral("out.m3u")), &error)) << error.toStdString();
    EXPECT_TRUE(Read(QStringLiteral("out.m3u")).startsWith("#EXTM3U\n#EXTINF:-1,R\xc3\xa1" "dio Um\nhttp://a.example/1\n"));
    MyStations back(Path(QStringLiteral("back.json")));
    EXPECT_EQ(back.Import(Path(QStringLiteral("out.m3u")), &error), 4);
    EXPECT_EQ(back.Stations()[2].name, QStringLiteral("Dois"));
}

TEST_F(MyStationsTest, TheRefreshTakesOverTheDirectorysChangesAndKeepsWhatItLost)
{
    FakeDirectory directory(10);
    ASSERT_TRUE(directory.Start());
    const QByteArray oldUrl = qgetenv("ORVEX_DIRECTORY_URL");
    qputenv("ORVEX_DIRECTORY_URL", directory.Url().toLatin1());
    MyStations kept(Path(QStringLiteral("stations.json")));
    for (int n : {1, 2})
        kept.Add({FakeDirectory::Uuid(n), QStringLiteral("Velha %1").arg(n), QStringLiteral("http://old.example/%1").arg(n),
                  QStringLiteral("Velha %1").arg(n), {}, false});
    kept.Rename(1, QStringLiteral("Minha"));
    kept.Add({QStringLiteral("gone-uuid"), QStringLiteral("Sumida"), QStringLiteral("http://gone.example/"), {}, {}, false});
    kept.Add({QString(), QStringLiteral("Minha pr\u00f3pria"), QStringLiteral("http://own.example/"), {}, {}, false});

    DirectoryClient client;
    QSignalSpy changed(&kept, &MyStations::Changed);
    kept.Refresh(client);
    ASSERT_TRUE(PumpUntil([&] { return changed.count() > 0; }));
    qputenv("ORVEX_DIRECTORY_URL", oldUrl);
    EXPECT_TRUE(directory.Requests.last().endsWith(QLatin1String("/json/stations/byuuid")));
    const QList<KeptStation>& now = kept.Stations();
    EXPECT_EQ(now[0].name, directory.Station(1).value(QLatin1String("name")).toString());
    EXPECT_EQ(now[0].address, QStringLiteral("http://127.0.0.1:1/station/1"));
    EXPECT_EQ(now[1].name, QStringLiteral("Minha")); // the user's name stays
    EXPECT_EQ(now[1].address, QStringLiteral("http://127.0.0.1:1/station/2"));
    EXPECT_TRUE(now[2].gone);
    EXPECT_EQ(now[2].address, QStringLiteral("http://gone.example/"));
    EXPECT_FALSE(now[3].gone);
    MyStations saved(Path(QStringLiteral("stations.json")));
    saved.Load();
    EXPECT_TRUE(saved.Stations()[2].gone);
}

} // namespace
} // namespace orvex
