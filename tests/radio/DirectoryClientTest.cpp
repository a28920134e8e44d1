#include "DirectoryClient.h"

#include "FakeDirectory.h"
#include "ReaderTestSupport.h"

#include <QTcpServer>
#include <gtest/gtest.h>
#include <optional>

namespace orvex {
namespace {

using testing::FakeDirectory;
using testing::PumpUntil;

// The client against the tests' own directory, named as a user names a mirror.
class DirectoryClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_oldUrl = qgetenv("ORVEX_DIRECTORY_URL");
        ASSERT_TRUE(m_directory.Start());
        qputenv("ORVEX_DIRECTORY_URL", m_directory.Url().toLatin1());
    }
    void TearDown() override { qputenv("ORVEX_DIRECTORY_URL", m_oldUrl); }
    StationParse Search(DirectoryClient& client, const DirectorySearch& search)
    {
        std::optional<StationParse> result;
        client.Search(search, [&](const StationParse& page) { result = page; });
        EXPECT_TRUE(PumpUntil([&] { return result.has_value(); }));
        return result.value_or(StationParse{});
    }

    QByteArray m_oldUrl;
    FakeDirectory m_directory{300};
};

TEST_F(DirectoryClientTest, SearchesWithItsWholeQueryAndNamesTheProgram)
{
    DirectoryClient client;
    DirectorySearch search;
    search.name = QStringLiteral("Alfa");
    search.countryCode = QStringLiteral("BR");
    search.offset = 2;
    const StationParse page = Search(client, search);
    ASSERT_TRUE(page.error.isEmpty()) << page.error.toStdString();
    ASSERT_FALSE(page.stations.isEmpty());
    for (const DirectoryStation& station : page.stations) {
        EXPECT_TRUE(station.name.contains(QLatin1String("Alfa")));
        EXPECT_EQ(station.countryCode, QStringLiteral("BR"));
    }
    const QString asked = m_directory.Requests.last();
    for (const char* part : {"name=Alfa", "countrycode=BR", "order=votes", "reverse=true", "offset=2", "limit=100",
                             "hidebroken=true"})
        EXPECT_TRUE(asked.contains(QLatin1String(part))) << asked.toStdString() << " lacks " << part;
    EXPECT_EQ(m_directory.LastUserAgent, "Orvex/" ORVEX_VERSION_TEXT);

    // A click is counted, and names the address to play.
    QString address;
    client.Click(FakeDirectory::Uuid(3), [&](const QString& given, const QString&) { address = given; });
    ASSERT_TRUE(PumpUntil([&] { return !address.isEmpty(); }));
    EXPECT_EQ(address, QStringLiteral("http://127.0.0.1:1/station/3"));
    EXPECT_EQ(m_directory.Clicks(FakeDirectory::Uuid(3)), 1);
}

TEST_F(DirectoryClientTest, ABrokenAnswerGivesOneClearLine)
{
    struct Case {
        const char* what;
        FakeDirectory::Canned answer;
        const char* says;
    };
    const Case cases[] = {
        {"20 MB", {200, QByteArray(20 * 1024 * 1024, ' ')}, "8 MB"},
        {"truncated JSON", {200, R"([{"stationuuid": "a", "name": "x")"}, "JSON"},
        {"an object for a list", {200, R"({"stations": []})"}, "lista"},
        {"an HTML error page", {200, "<html><body>Bad gateway</body></html>", "text/html"}, "p\u00e1gina"},
        {"a 5xx from the one server", {503, "busy"}, "503"},
        {"no answer at all", {200, {}, "application/json", /*silent=*/true}, "n\u00e3o respondeu em"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_directory.Answer(QStringLiteral("/json/stations/search"), c.answer);
        DirectoryClient client;
        client.SetTimeout(1500);
        const StationParse page = Search(client, DirectorySearch{});
        EXPECT_TRUE(page.error.startsWith(QStringLiteral("O diret\u00f3rio de esta\u00e7\u00f5es n\u00e3o respondeu: ")))
            << page.error.toStdString();
        EXPECT_TRUE(page.error.contains(QString::fromUtf8(c.says))) << page.error.toStdString();
        EXPECT_TRUE(page.stations.isEmpty());
    }
}

TEST(StationList, EntriesOfTheWrongShapeAreSkippedAndOnlyStreamsPlay)
{
    const StationParse parse = ParseStations(R"json([
        {"stationuuid": "1", "name": "<b>Boa</b>", "url": "http://a.example/x", "url_resolved": "https://a.example/y",
         "tags": "pop, rock,,", "language": "portuguese,english", "bitrate": 128, "hls": 0, "lastcheckok": 1},
        {"stationuuid": "2", "name": "Texto", "url": "http://b.example/", "bitrate": "128"},
        {"stationuuid": "3", "name": "Sem endereço"},
        {"stationuuid": "4", "name": "Script", "url": "javascript:alert(1)"},
        {"stationuuid": "5", "name": "Arquivo", "url": "file:///etc/passwd", "url_resolved": ""},
        {"stationuuid": "6", "name": "Velha", "url": "mms://c.example/live", "url_resolved": "data:text/html,x"},
        "not an object", 7
    ])json");
    EXPECT_TRUE(parse.error.isEmpty());
    EXPECT_EQ(parse.skipped, 6);
    ASSERT_EQ(parse.stations.size(), 2);
    const DirectoryStation& good = parse.stations[0];
    EXPECT_EQ(good.name, QStringLiteral("<b>Boa</b>")); // data: shown as text later, never read as markup
    EXPECT_EQ(good.PlayAddress(), QStringLiteral("https://a.example/y"));
    EXPECT_EQ(good.tags, QStringList({QStringLiteral("pop"), QStringLiteral("rock")}));
    EXPECT_EQ(good.languages.size(), 2);
    EXPECT_EQ(parse.stations[1].PlayAddress(), QStringLiteral("mms://c.example/live"));
}

// The server lookup, through an injected resolver: the SRV record first,
// else the names behind the all-servers name; a server that fails or
// answers 5xx passes the request on to the next.
class DirectoryLookupTest : public DirectoryClientTest {
protected:
    void SetUp() override
    {
        DirectoryClientTest::SetUp();
        qunsetenv("ORVEX_DIRECTORY_URL");
    }
    DirectoryLookup Answering(const QStringList& srv, const QStringList& names)
    {
        DirectoryLookup lookup;
        lookup.srv = [this, srv](const QString& record, DirectoryLookup::Answer answer) {
            m_asked << record;
            answer(srv);
        };
        lookup.hostNames = [this, names](const QString& host, DirectoryLookup::Answer answer) {
            m_asked << host;
            answer(names);
        };
        return lookup;
    }
    QStringList m_asked;
};

TEST(DirectoryServers, AreSpokenToOverHttpsByName)
{
    QStringList bases = directory::ServerBases({QStringLiteral("de1.api.radio-browser.info."),
                                                QStringLiteral("NL1.api.radio-browser.info"), QStringLiteral("192.0.2.7"),
                                                QStringLiteral("2001:db8::1"), QStringLiteral("de1.api.radio-browser.info")});
    bases.sort();
    EXPECT_EQ(bases, QStringList({QStringLiteral("https://de1.api.radio-browser.info"),
                                  QStringLiteral("https://nl1.api.radio-browser.info")}));
}

TEST_F(DirectoryLookupTest, TheSrvRecordComesFirstThenTheAllServersName)
{
    struct Case {
        bool srv, names;
    };
    for (const Case c : {Case{true, false}, Case{false, true}, Case{false, false}}) {
        m_asked.clear();
        const QStringList found{m_directory.Url()};
        DirectoryClient client;
        client.SetLookup(Answering(c.srv ? found : QStringList(), c.names ? found : QStringList()));
        QString error;
        bool done = false;
        client.Request(QStringLiteral("/json/tags"), {}, [&](const QByteArray&, const QString& e) {
            error = e;
            done = true;
        });
        ASSERT_TRUE(PumpUntil([&] { return done; }));
        const QStringList asked{QStringLiteral("_api._tcp.radio-browser.info"), QStringLiteral("all.api.radio-browser.info")};
        EXPECT_EQ(m_asked, c.srv ? asked.mid(0, 1) : asked);
        EXPECT_EQ(error.isEmpty(), c.srv || c.names) << error.toStdString();
        if (!c.srv && !c.names) {
            EXPECT_TRUE(error.contains(QLatin1String("nenhum servidor"))) << error.toStdString();
        }
    }
}

TEST_F(DirectoryLookupTest, AFailingServerPassesTheRequestOn)
{
    FakeDirectory failing(1);
    ASSERT_TRUE(failing.Start());
    failing.Answer(QStringLiteral("/"), {502, "<html>Bad gateway</html>", "text/html"});
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const QString refusing = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
    closed.close();

    for (bool oneGood : {true, false}) {
        SCOPED_TRACE(oneGood ? "a 5xx and a refusal, then a good server" : "every server failing");
        QStringList servers{failing.Url(), refusing};
        if (oneGood)
            servers << m_directory.Url();
        DirectoryClient client;
        client.SetLookup(Answering(servers, {}));
        const StationParse page = Search(client, DirectorySearch{});
        // Whatever the shuffle, the request reaches the good server.
        EXPECT_EQ(page.error.isEmpty(), oneGood) << page.error.toStdString();
        EXPECT_EQ(page.stations.size(), oneGood ? 100 : 0);
    }
}

} // namespace
} // namespace orvex
