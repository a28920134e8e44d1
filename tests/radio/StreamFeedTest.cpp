#include "StreamFeed.h"

#include "IcecastServer.h"
#include "Mp3Maker.h"
#include "ReaderTestSupport.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

using namespace orvex;
using orvex::testing::FeedClient;
using orvex::testing::IcecastServer;
using orvex::testing::PumpUntil;

namespace {

class StreamFeedTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_feed.Start()); }
    QByteArray Token() const { return QUrl(m_feed.Base()).path().section(QLatin1Char('/'), 1, 1).toLatin1(); }
    QByteArray Host() const { return "Host: 127.0.0.1:" + QByteArray::number(m_feed.Port()) + "\r\n"; }
    QByteArray Get(const QByteArray& path, const QByteArray& extra = {}) const
    {
        return "GET " + path + " HTTP/1.1\r\n" + Host() + extra + "\r\n";
    }
    QByteArray StreamPath(const QString& address) const
    {
        return "/" + Token() + "/stream?session=t1&address=" + QUrl::toPercentEncoding(address);
    }

    StreamFeed m_feed;
};

} // namespace

TEST_F(StreamFeedTest, AnswersOnlyItsOwnPageAndOpensOnlyTheStationSet)
{
    m_feed.SetStationAddress(QStringLiteral("http://127.0.0.1:9/live"));
    QSignalSpy commands(&m_feed, &StreamFeed::CommandReceived);
    const QByteArray t = "/" + Token();
    const struct {
        const char* what;
        QByteArray request;
        QByteArray status;
    } cases[] = {
        {"no token", Get("/events"), "403"},
        {"another token", Get("/0123456789abcdef0123456789abcdef/events"), "403"},
        {"another host name", "GET " + t + "/events HTTP/1.1\r\nHost: localhost:" + QByteArray::number(m_feed.Port()) + "\r\n\r\n", "403"},
        {"no host", "GET " + t + "/events HTTP/1.1\r\n\r\n", "403"},
        {"a web site's page", Get(t + "/events", "Origin: https://example.com\r\n"), "403"},
        {"not HTTP", "hello there\r\n\r\n", "403"},
        {"another path", Get(t + "/file?name=/etc/passwd"), "404"},
        {"another station", Get(StreamPath(QStringLiteral("http://10.0.0.1/other"))), "403"},
        {"a named session only", Get("/" + Token() + "/stream?session=%3Cb%3E&address=" +
                                     QUrl::toPercentEncoding(QStringLiteral("http://127.0.0.1:9/live"))), "400"},
        {"an unknown state", "POST " + t + "/state HTTP/1.1\r\n" + Host() + "Content-Length: 4\r\n\r\nbusy", "400"},
        {"headers without end", "GET " + t + "/events HTTP/1.1\r\n" + QByteArray(20000, 'x'), "431"},
        {"a local page's state", "POST " + t + "/state HTTP/1.1\r\n" + Host() + "Origin: file://\r\nContent-Length: 7\r\n\r\nplaying", "200"},
        {"a command", "POST " + t + "/command/record HTTP/1.1\r\n" + Host() + "Content-Length: 2\r\n\r\non", "200"},
        {"the station, which refuses", Get(StreamPath(QStringLiteral("http://127.0.0.1:9/live"))), "502"},
    };
    for (const auto& c : cases) {
        FeedClient client(m_feed.Port(), c.request);
        EXPECT_TRUE(client.Whole().startsWith("HTTP/1.1 " + c.status)) << c.what << ": " << client.answer.left(80).constData();
    }
    EXPECT_EQ(m_feed.PageState(), QStringLiteral("playing"));
    ASSERT_EQ(commands.size(), 1);
    EXPECT_EQ(commands[0][0].toString(), QStringLiteral("record"));
    EXPECT_EQ(commands[0][1].toString(), QStringLiteral("on"));
    EXPECT_EQ(m_feed.StreamCount(), 0);
    // Set again, the station is opened ahead of the page and fails there:
    // the page's request hears why.
    m_feed.SetStationAddress(QStringLiteral("http://127.0.0.1:9/live"));
    ASSERT_TRUE(PumpUntil([&] { return m_feed.StreamCount() == 0; }));
    FeedClient late(m_feed.Port(), Get(StreamPath(QStringLiteral("http://127.0.0.1:9/live"))));
    EXPECT_TRUE(late.Whole().contains("refused")) << late.answer.constData();
}

TEST_F(StreamFeedTest, HandsTheStationsAudioAndTitlesToThePageAndLetsTheStationGoWithIt)
{
    QTemporaryDir dir;
    const QString track = dir.filePath(QStringLiteral("a.mp3"));
    ASSERT_TRUE(orvex::testing::MakeMp3(track, 3.0));
    ASSERT_TRUE(orvex::testing::TagTitle(track, QStringLiteral("Can\u00e7\u00e3o \"um\" <b>")));
    IcecastServer icecast;
    icecast.AllowPages = false;
    ASSERT_TRUE(icecast.Start(QStringList{track, track})) << icecast.Error().toStdString();
    const QString station = QStringLiteral("http://") + icecast.Address() + QStringLiteral("/orvex.mp3");
    m_feed.SetStationAddress(station);
    QSignalSpy titles(&m_feed, &StreamFeed::StreamTitleChanged);
    QSignalSpy closed(&m_feed, &StreamFeed::StreamClosed);

    FeedClient events(m_feed.Port(), Get("/" + Token() + "/events", "Origin: null\r\n"));
    // Opened as soon as it is set: the page's request takes that connection.
    ASSERT_TRUE(PumpUntil([&] { return icecast.Listeners() == 1; }));
    {
        FeedClient stream(m_feed.Port(), Get(StreamPath(station)));
        ASSERT_TRUE(PumpUntil([&] { return stream.answer.size() > 20000; })) << stream.answer.left(200).constData();
        EXPECT_TRUE(stream.answer.startsWith("HTTP/1.1 200 OK\r\n"));
        EXPECT_TRUE(stream.answer.contains("\r\nContent-Type: audio/mpeg\r\n"));
        const QByteArray audio = stream.answer.mid(stream.answer.indexOf("\r\n\r\n") + 4);
        EXPECT_EQ(static_cast<unsigned char>(audio[0]), 0xff);
        // The title reaches the page's events as JSON text, and the program.
        ASSERT_TRUE(PumpUntil([&] { return events.answer.contains("event: title\n"); })) << events.answer.constData();
        EXPECT_TRUE(events.answer.contains("event: info\ndata: {"));
        EXPECT_TRUE(events.answer.contains("\"session\":\"t1\""));
        EXPECT_TRUE(events.answer.contains(QStringLiteral("\"title\":\"Can\u00e7\u00e3o \\\"um\\\" <b>\"").toUtf8())) << events.answer.constData();
        ASSERT_GE(titles.size(), 1);
        EXPECT_EQ(titles[0][0].toString(), QStringLiteral("Can\u00e7\u00e3o \"um\" <b>"));
        EXPECT_FALSE(audio.contains("StreamTitle"));
        EXPECT_EQ(icecast.Listeners(), 1);
        EXPECT_EQ(m_feed.StreamCount(), 1);
        stream.socket->abort();
    }
    // The page let go: so does the feed, and the station counts one listener less.
    ASSERT_TRUE(PumpUntil([&] { return m_feed.StreamCount() == 0 && icecast.Listeners() == 0; }))
        << icecast.Listeners();
    EXPECT_EQ(closed.size(), 1);

    // Stopping closes the station's connection and tells the page why.
    FeedClient again(m_feed.Port(), Get(StreamPath(station)));
    ASSERT_TRUE(PumpUntil([&] { return icecast.Listeners() == 1; }));
    m_feed.StopPage(QStringLiteral("Stopped by \"you\""));
    EXPECT_EQ(m_feed.StreamCount(), 0);
    ASSERT_TRUE(PumpUntil([&] { return again.Closed() && icecast.Listeners() == 0; }));
    ASSERT_TRUE(PumpUntil([&] { return events.answer.contains("event: stop\ndata: {\"reason\":\"Stopped by \\\"you\\\"\"}\n\n"); }))
        << events.answer.constData();

    // Another station set lets go of the one opened ahead for this one.
    m_feed.SetStationAddress(station);
    ASSERT_TRUE(PumpUntil([&] { return icecast.Listeners() == 1; }));
    m_feed.SetStationAddress(QStringLiteral("http://127.0.0.1:9/other"));
    EXPECT_TRUE(PumpUntil([&] { return icecast.Listeners() == 0; })) << icecast.Listeners();
}
