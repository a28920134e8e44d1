#include "HlsPlaylist.h"
#include "Mp3Maker.h"
#include "ReaderTestSupport.h"
#include "StreamFeed.h"
#include "StreamReader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace orvex;
using orvex::testing::FeedClient;
using orvex::testing::Recorder;
using orvex::testing::ScriptServer;

namespace {

// Segments of one second of AAC in MPEG-TS, written by GStreamer's HLS sink
// from a tone, once.
const QList<QByteArray>& Segments()
{
    static const QList<QByteArray> segments = [] {
        QList<QByteArray> list;
        QTemporaryDir dir;
        const QString playlist = dir.filePath(QStringLiteral("all.m3u8"));
        if (!orvex::testing::RunToEnd(
                QStringLiteral("audiotestsrc num-buffers=560 samplesperbuffer=1024 wave=sine ! "
                               "audio/x-raw,rate=44100,channels=2 ! voaacenc bitrate=64000 ! aacparse ! "
                               "hlssink2 target-duration=1 max-files=0 playlist-length=0 "
                               "location=\"%1/seg%05d.ts\" playlist-location=\"%2\"")
                    .arg(dir.path(), playlist),
                playlist))
            return list;
        for (const QString& name : QDir(dir.path()).entryList({QStringLiteral("seg*.ts")}, QDir::Files, QDir::Name)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                list.append(file.readAll());
        }
        return list;
    }();
    return segments;
}

QByteArray Answer(const QByteArray& type, const QByteArray& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

// A live stream served as a broadcaster's server does: the media playlist
// names the last three segments, and one more each second, until the
// broadcast stops (the playlist stays as it was). Segment `missing` is
// never served.
class LiveStream {
public:
    explicit LiveStream(ScriptServer& server, int missing = -1, const QString& path = QStringLiteral("/live.m3u8"))
        : m_missing(missing)
    {
        m_clock.start();
        server.On(path, [this](QTcpSocket* s) {
            ScriptServer::Fixed(Answer("application/vnd.apple.mpegurl", Playlist()))(s);
        });
        for (int i = 0; i < Segments().size(); ++i)
            server.On(QStringLiteral("/seg%1.ts").arg(i), [this, i](QTcpSocket* s) {
                if (i == m_missing) {
                    ScriptServer::Fixed("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")(s);
                    return;
                }
                m_served = std::max(m_served, i);
                ScriptServer::Fixed(Answer("video/mp2t", Segments()[i]))(s);
            });
    }
    void Stop() { m_stoppedAt = First(); }
    int Served() const { return m_served; }

private:
    int First() const
    {
        if (m_stoppedAt >= 0)
            return m_stoppedAt;
        return std::min<int>(static_cast<int>(m_clock.elapsed() / 1000), static_cast<int>(Segments().size()) - 3);
    }
    QByteArray Playlist() const
    {
        const int first = First();
        QByteArray body = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:" +
                          QByteArray::number(first) + "\n";
        for (int i = first; i < first + 3; ++i)
            body += "#EXTINF:1.0,\nseg" + QByteArray::number(i) + ".ts\n";
        return body;
    }

    QElapsedTimer m_clock;
    int m_missing;
    int m_stoppedAt = -1;
    int m_served = -1;
};

bool IsAdts(const QByteArray& audio)
{
    return audio.size() > 2 && quint8(audio[0]) == 0xff && (quint8(audio[1]) & 0xf6) == 0xf0;
}

} // namespace

// A live HLS stream plays as ADTS AAC, passes over a segment that is not
// there, and ends with the reason once its playlist stops growing.
TEST(HlsStream, PlaysALiveStreamPastAMissingSegmentUntilItStops)
{
    ASSERT_GE(Segments().size(), 12);
    ScriptServer server;
    LiveStream live(server, /*missing=*/3);
    StreamReader reader;
    reader.SetTimeouts(/*openMs=*/10000, /*stallMs=*/1500);
    Recorder recorder(reader);
    reader.Open(server.Url(QStringLiteral("/live.m3u8")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return live.Served() >= 6 || recorder.done; }, 60000)) << live.Served();
    ASSERT_FALSE(recorder.done) << recorder.reason.toStdString();
    live.Stop();
    ASSERT_TRUE(recorder.Wait(60000));
    EXPECT_EQ(recorder.events, QStringList({"Opened", "Over"})) << recorder.reason.toStdString();
    EXPECT_TRUE(recorder.reason.contains(QStringLiteral("stopped growing"))) << recorder.reason.toStdString();
    EXPECT_EQ(recorder.info.contentType, QStringLiteral("audio/aac"));
    EXPECT_EQ(recorder.info.address, server.Url(QStringLiteral("/live.m3u8")));
    EXPECT_TRUE(IsAdts(recorder.audio));
    // Every served segment came through (each holds about 8 KB of audio).
    EXPECT_GT(recorder.audio.size(), (live.Served() - 1) * 6000) << recorder.audio.size();
}

// Through the program's feed, a live stream that stops growing stops the
// page with the reason, where a dropped connection would have it try again.
TEST(HlsStream, StopsThePageWhenTheLivePlaylistStopsGrowing)
{
    ASSERT_GE(Segments().size(), 12);
    ScriptServer server;
    LiveStream live(server);
    StreamFeed feed;
    ASSERT_TRUE(feed.Start());
    const QString station = server.Url(QStringLiteral("/live.m3u8")).toString();
    feed.SetStationAddress(station);
    const QByteArray base = QUrl(feed.Base()).path().toLatin1();
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(feed.Port()) + "\r\n";
    FeedClient events(feed.Port(), "GET " + base + "events HTTP/1.1\r\n" + host + "Origin: null\r\n\r\n");
    FeedClient stream(feed.Port(), "GET " + base + "stream?session=t1&address=" + QUrl::toPercentEncoding(station) +
                                       " HTTP/1.1\r\n" + host + "\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return stream.answer.size() > 10000 || stream.Closed(); }, 60000));
    ASSERT_FALSE(stream.Closed()) << stream.answer.left(300).constData();
    live.Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.answer.contains("event: stop\n"); }, 60000));
    EXPECT_TRUE(events.answer.contains("event: stop\ndata: {\"reason\":\"The station's broadcast ended "
                                       "(the live playlist stopped growing"))
        << events.answer.constData();
    EXPECT_TRUE(QTest::qWaitFor([&] { return stream.Closed(); }, 10000));
}

// A master playlist plays its audio-only variant before a richer one, and
// passes over variants that fail; a station's .pls may name it.
TEST(HlsStream, PicksTheAudioVariantOfAMasterPlaylist)
{
    ASSERT_GE(Segments().size(), 12);
    ScriptServer server;
    LiveStream live(server);
    const QByteArray master = "#EXTM3U\n"
                              "#EXT-X-STREAM-INF:BANDWIDTH=2000000,CODECS=\"avc1.42e01e,mp4a.40.2\"\nvideo.m3u8\n"
                              "#EXT-X-STREAM-INF:BANDWIDTH=96000,CODECS=\"mp4a.40.5\"\ngone.m3u8\n"
                              "#EXT-X-STREAM-INF:BANDWIDTH=64000,CODECS=\"mp4a.40.2\"\nlive.m3u8\n";
    server.On(QStringLiteral("/master.m3u8"), ScriptServer::Fixed(Answer("application/x-mpegurl", master)));
    server.On(QStringLiteral("/station.pls"),
              ScriptServer::Fixed(Answer("audio/x-scpls", "[playlist]\nFile1=" +
                                                              server.Url(QStringLiteral("/master.m3u8")).toEncoded() +
                                                              "\n")));
    for (const QString& path : {QStringLiteral("/master.m3u8"), QStringLiteral("/station.pls")}) {
        SCOPED_TRACE(path.toStdString());
        StreamReader reader;
        Recorder recorder(reader);
        reader.Open(server.Url(path));
        ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.audio.size() > 4000 || recorder.done; }, 60000));
        EXPECT_EQ(recorder.events.value(0), QStringLiteral("Opened")) << recorder.reason.toStdString();
        EXPECT_EQ(recorder.info.address, server.Url(QStringLiteral("/live.m3u8")));
        EXPECT_EQ(recorder.info.contentType, QStringLiteral("audio/aac"));
        reader.Close();
    }
}

// A station whose address has no path, its playlist at the server's root,
// plays: the segments' relative names are found beside the root.
TEST(HlsStream, PlaysAPlaylistAtTheServersRoot)
{
    ASSERT_GE(Segments().size(), 12);
    ScriptServer server;
    LiveStream live(server, /*missing=*/-1, QStringLiteral("/"));
    StreamReader reader;
    Recorder recorder(reader);
    reader.Open(server.Url(QString()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.audio.size() > 4000 || recorder.done; }, 60000));
    EXPECT_EQ(recorder.events.value(0), QStringLiteral("Opened")) << recorder.reason.toStdString();
    EXPECT_TRUE(IsAdts(recorder.audio));
}

// HLS input that cannot play ends clearly, in bounded time and memory.
TEST(HlsStream, EndsClearlyOnBadInput)
{
    ASSERT_GE(Segments().size(), 12);
    ScriptServer server;
    const QByteArray head = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:0\n";
    QByteArray huge = head;
    while (huge.size() <= StreamReader::kMaxHlsPlaylistBytes)
        huge += "#EXTINF:1.0,\nhttp://127.0.0.1:1/never-fetched.ts\n";
    QByteArray thousands = head;
    for (int i = 0; i < 10000; ++i)
        thousands += "#EXTINF:1.0,\nseg" + QByteArray::number(i % Segments().size()) + ".ts\n";
    for (int i = 0; i < Segments().size(); ++i)
        server.On(QStringLiteral("/seg%1.ts").arg(i), ScriptServer::Fixed(Answer("video/mp2t", Segments()[i])));
    server.On(QStringLiteral("/page.ts"), ScriptServer::Fixed(Answer("text/html", "<html><body>Not here</body></html>")));
    struct Case {
        const char* name;
        QByteArray playlist;
        const char* outcome;
        const char* reason;
    };
    const Case cases[] = {
        {"encrypted", head + "#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\"\n#EXTINF:1.0,\nseg0.ts\n", "Failed", "encrypted"},
        {"a master whose variants all fail",
         "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=64000\nnone.m3u8\n#EXT-X-STREAM-INF:BANDWIDTH=32000\nnone2.m3u8\n",
         "Failed", "none of the playlist's addresses played"},
        {"a master that names itself", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=64000\ncase.m3u8\n", "Failed", "nested"},
        {"a media playlist that names itself", head + "#EXTINF:1.0,\ncase.m3u8\n#EXT-X-ENDLIST\n", "Failed", ""},
        {"segments that are web pages", head + "#EXTINF:1.0,\npage.ts\n#EXTINF:1.0,\npage.ts\n#EXT-X-ENDLIST\n", "Failed", ""},
        {"over 1 MB", huge, "Failed", "larger than 1024 KB"},
        {"10,000 segments", thousands + "#EXT-X-ENDLIST\n", "Opened", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.On(QStringLiteral("/case.m3u8"), ScriptServer::Fixed(Answer("application/vnd.apple.mpegurl", c.playlist)));
        StreamReader reader;
        reader.SetTimeouts(/*openMs=*/3000, /*stallMs=*/1500);
        Recorder recorder(reader);
        reader.Open(server.Url(QStringLiteral("/case.m3u8")));
        if (QByteArray(c.outcome) == "Opened") {
            ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.audio.size() > 4000 || recorder.done; }, 60000));
            EXPECT_EQ(recorder.events.value(0), QStringLiteral("Opened")) << recorder.reason.toStdString();
            continue;
        }
        ASSERT_TRUE(recorder.Wait(60000));
        EXPECT_EQ(recorder.events.last(), QString::fromLatin1(c.outcome)) << recorder.reason.toStdString();
        EXPECT_TRUE(recorder.reason.contains(QString::fromLatin1(c.reason))) << recorder.reason.toStdString();
        EXPECT_FALSE(recorder.reason.isEmpty());
    }
}

// Variants in the order the page plays them best.
TEST(HlsStream, OrdersAMasterPlaylistsVariants)
{
    const QUrl base(QStringLiteral("http://radio.example/hls/master.m3u8"));
    const QByteArray master = "#EXTM3U\n"
                              "#EXT-X-STREAM-INF:BANDWIDTH=64000,CODECS=\"mp4a.40.5\"\nlow.m3u8\n"
                              "#EXT-X-STREAM-INF:BANDWIDTH=1500000,CODECS=\"avc1.4d401f,mp4a.40.2\"\nvideo.m3u8\n"
                              "#EXT-X-STREAM-INF:BANDWIDTH=256000,CODECS=\"mp4a.40.2\"\nhigh.m3u8\n"
                              "#EXT-X-STREAM-INF:BANDWIDTH=512000,CODECS=\"mp4a.40.2\"\nhuge.m3u8\n"
                              "#EXT-X-STREAM-INF:BANDWIDTH=128000,CODECS=\"ec-3\"\ndolby.m3u8\n"
                              "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"en\",URI=\"/audio/en.m3u8\"\n";
    QStringList order;
    for (const QUrl& url : hls::Variants(master, base))
        order << url.path();
    EXPECT_EQ(order, QStringList({"/hls/high.m3u8", "/hls/low.m3u8", "/audio/en.m3u8", "/hls/huge.m3u8",
                                  "/hls/video.m3u8", "/hls/dolby.m3u8"}));
}
