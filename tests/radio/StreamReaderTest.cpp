#include "IcecastServer.h"
#include "Mp3Maker.h"

#include "NetworkReach.h"
#include "ReaderTestSupport.h"
#include "StreamReader.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace orvex;
using orvex::testing::Recorder;
using orvex::testing::ScriptServer;

namespace {

// Two seconds of MP3 (about 32 KB), made once.
const QByteArray& Audio()
{
    static const QByteArray audio = [] {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tone.mp3"));
        if (!orvex::testing::MakeMp3(path, 2.0))
            return QByteArray();
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    return audio;
}

// One metadata block: its length in 16-byte units, then the text padded.
QByteArray MetaBlock(const QByteArray& text)
{
    QByteArray block = text;
    block.append((16 - block.size() % 16) % 16, '\0');
    return char(block.size() / 16) + block;
}

// audio with a metadata block after every interval bytes; titles[i] goes
// into the i-th block (the last one repeats, as servers do).
QByteArray Interleave(const QByteArray& audio, int interval, const QList<QByteArray>& titles)
{
    QByteArray out;
    for (int at = 0, block = 0; at < audio.size(); at += interval, ++block) {
        out += audio.mid(at, interval);
        if (at + interval <= audio.size()) {
            const QByteArray& title = titles.value(std::min<int>(block, titles.size() - 1));
            out += title.isNull() ? QByteArray(1, '\0') : MetaBlock("StreamTitle='" + title + "';StreamUrl='';");
        }
    }
    return out;
}

// The program's resident memory in bytes.
qint64 ResidentBytes()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return static_cast<qint64>(resident) * sysconf(_SC_PAGESIZE);
}

} // namespace

// A server's stream, whatever its status line and metadata, comes out as the
// exact audio it sent, with each new title once, decoded.
TEST(StreamReader, HandsOutTheAudioAndEachNewTitle)
{
    ASSERT_FALSE(Audio().isEmpty());
    const QByteArray markup = "<img src=x onerror=alert(1)> \"quoted\" back\\slash\nline";
    const QByteArray longest = "T" + QByteArray(255 * 16 - 30, 'x'); // fills a 255 x 16 block
    struct Case {
        const char* name;
        QByteArray statusLine;
        QByteArray metaint; // as sent; empty: no header
        int interval;       // as the body is built; 0: no metadata
        QList<QByteArray> titles;
        QStringList expected;
    };
    const Case cases[] = {
        {"icy status line, Windows-1252 title", "ICY 200 OK", "4000", 4000,
         {"Caf\xe9 \x93Hi\x94 \x80", "Caf\xe9 \x93Hi\x94 \x80", "Next"},
         {QStringLiteral(u"Café “Hi” €"), QStringLiteral("Next")}},
        {"HTTP/1.0, UTF-8 title", "HTTP/1.0 200 OK", "8192", 8192, {"Ünïcode ♪"}, {QStringLiteral(u"Ünïcode ♪")}},
        {"HTTP/1.1, markup and control characters", "HTTP/1.1 200 OK", "1000", 1000, {markup},
         {QString::fromUtf8(markup)}},
        {"largest metadata block", "HTTP/1.0 200 OK", "8192", 8192, {longest}, {QString::fromLatin1(longest)}},
        {"no metadata interval", "HTTP/1.0 200 OK", "", 0, {}, {}},
        {"metadata interval 0", "HTTP/1.0 200 OK", "0", 0, {}, {}},
        {"negative metadata interval", "HTTP/1.0 200 OK", "-16", 0, {}, {}},
        {"absurd metadata interval", "HTTP/1.0 200 OK", "99999999999", 0, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptServer server;
        QByteArray head = c.statusLine + "\r\nContent-Type: audio/mpeg\r\nicy-name:Zorvel\r\nicy-genre:Jazz\r\n"
                                         "icy-url:http://zorvel.example/\r\nicy-br:128,128\r\n";
        if (!c.metaint.isEmpty())
            head += "icy-metaint:" + c.metaint + "\r\n";
        const QByteArray body = c.interval > 0 ? Interleave(Audio(), c.interval, c.titles) : Audio();
        server.On(QStringLiteral("/live"), ScriptServer::Fixed(head + "\r\n" + body));
        StreamReader reader;
        Recorder recorder(reader);
        reader.Open(server.Url(QStringLiteral("/live")));
        ASSERT_TRUE(recorder.Wait());
        EXPECT_EQ(recorder.events, QStringList({"Opened", "Ended"})) << recorder.reason.toStdString();
        EXPECT_TRUE(server.LastRequest().toLower().contains("icy-metadata: 1"));
        EXPECT_TRUE(recorder.audio == Audio()) << recorder.audio.size() << " bytes of " << Audio().size();
        EXPECT_EQ(recorder.titles, c.expected);
        EXPECT_EQ(recorder.info.contentType, QStringLiteral("audio/mpeg"));
        EXPECT_EQ(recorder.info.name, QStringLiteral("Zorvel"));
        EXPECT_EQ(recorder.info.genre, QStringLiteral("Jazz"));
        EXPECT_EQ(recorder.info.url, QStringLiteral("http://zorvel.example/"));
        EXPECT_EQ(recorder.info.bitrate, 128);
        EXPECT_EQ(recorder.info.address, server.Url(QStringLiteral("/live")));
    }
}

// A playlist link, known by its content, type or name, plays the first of
// its entries that answers with a stream.
TEST(StreamReader, PlaysThePlaylistsFirstLiveEntry)
{
    ASSERT_FALSE(Audio().isEmpty());
    ScriptServer server;
    const QByteArray live = server.Url(QStringLiteral("/live")).toEncoded();
    const QByteArray dead = "http://127.0.0.1:1/dead";
    server.On(QStringLiteral("/live"), ScriptServer::Fixed("ICY 200 OK\r\ncontent-type:audio/aacp\r\n\r\n" + Audio()));
    server.On(QStringLiteral("/moved"), ScriptServer::Fixed("HTTP/1.1 302 Found\r\nLocation: /live\r\n\r\n"));
    const QByteArray pls = "[playlist]\r\nNumberOfEntries=2\r\nFile1=" + dead + "\r\nTitle1=Zorvel (backup)\r\nLength1=-1\r\n"
                           "File2=" + live + "\r\nTitle2=Zorvel\r\nLength2=-1\r\nVersion=2\r\n";
    const QByteArray m3u = "#EXTM3U\n#EXTINF:-1,Zorvel backup\n" + dead + "\n#EXTINF:-1,Zorvel\n" + live + "\n";
    const QByteArray bare = dead + "\r\n/live\r\n"; // a relative entry
    const QByteArray asx = "<ASX version=\"3.0\">\n<TITLE>Zorvel</TITLE>\n<ENTRY><REF HREF=\"" + dead +
                           "\" /></ENTRY>\n<Entry><Ref href=\"" + live + "\"/><TITLE>Zorvel</TITLE></Entry>\n</ASX>\n";
    const QByteArray xspf = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<playlist version=\"1\" "
                            "xmlns=\"http://xspf.org/ns/0/\">\n<trackList>\n<track><location>" + dead +
                            "</location></track>\n<track><location>" + live + "</location><title>Zorvel</title>"
                            "</track>\n</trackList>\n</playlist>\n";
    struct Case {
        const char* name;
        QString path;
        QByteArray type;
        QByteArray body;
    };
    const Case cases[] = {
        {"pls by content", "/listen", "text/plain", pls},
        {"pls by type", "/listen", "audio/x-scpls", pls},
        {"extended m3u", "/z.m3u8", "audio/x-mpegurl", m3u},
        {"bare m3u by name", "/z.m3u", "application/octet-stream", bare},
        {"asx", "/z.asx", "video/x-ms-asf", asx},
        {"xspf", "/z.xspf", "application/xspf+xml", xspf},
        {"pls behind a redirect, to a redirect", "/listen", "audio/x-scpls",
         "[playlist]\nFile1=" + server.Url(QStringLiteral("/moved")).toEncoded() + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.On(c.path, ScriptServer::Fixed("HTTP/1.0 200 OK\r\nContent-Type: " + c.type + "\r\n\r\n" + c.body));
        StreamReader reader;
        Recorder recorder(reader);
        reader.Open(server.Url(c.path));
        ASSERT_TRUE(recorder.Wait());
        EXPECT_EQ(recorder.events, QStringList({"Opened", "Ended"})) << recorder.reason.toStdString();
        EXPECT_EQ(recorder.info.address, server.Url(QStringLiteral("/live")));
        EXPECT_EQ(recorder.info.contentType, QStringLiteral("audio/aacp"));
        EXPECT_TRUE(recorder.audio == Audio());
    }
}

// Whatever a server does wrong, the reader ends in Failed (never played) or
// Ended (played, then stopped) with the reason, in bounded time and memory.
TEST(StreamReader, EndsClearlyOnBadInput)
{
    ASSERT_FALSE(Audio().isEmpty());
    ScriptServer server;
    const QByteArray ok = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n";
    server.On(QStringLiteral("/loop"), ScriptServer::Fixed("HTTP/1.1 301 Moved Permanently\r\nLocation: /loop\r\n\r\n"));
    QByteArray huge = "#EXTM3U\n";
    while (huge.size() < 10 * 1024 * 1024)
        huge += "http://127.0.0.1:1/never-tried-at-all\n";
    QByteArray deadList = "#EXTM3U\n";
    for (int i = 0; i < 1000; ++i)
        deadList += "http://127.0.0.1:1/dead" + QByteArray::number(i) + "\n";
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk += char((i * 7919 + 13) % 251);
    struct Case {
        const char* name;
        ScriptServer::Reply reply; // served at /case
        QString scheme;            // or the address itself, with no reply
        const char* outcome;
        const char* reason;
    };
    const Case cases[] = {
        {"metadata running past the data", ScriptServer::Fixed(ok + "icy-metaint:16000\r\n\r\n" + Audio().left(16000) + "\xff" "StreamTitle='cut"),
         "http", "Ended", "closed"},
        {"stops sending mid-stream", ScriptServer::Trickle(ok + "\r\n" + Audio(), QByteArray()), "http", "Ended", "stopped sending"},
        {"headers that never end", ScriptServer::Trickle("HTTP/1.0 200 OK\r\n", "X-Padding: aaaaaaaaaaaaaaaa\r\n"), "http", "Failed", "no stream"},
        {"10 MB playlist", ScriptServer::Fixed("HTTP/1.0 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n" + huge), "http", "Failed", "larger than 128 KB"},
        {"1,000 dead entries", ScriptServer::Fixed("HTTP/1.0 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n" + deadList), "http", "Failed", "none of the playlist's addresses played"},
        {"junk served as a playlist", ScriptServer::Fixed("HTTP/1.0 200 OK\r\nContent-Type: audio/x-scpls\r\n\r\n" + junk), "http", "Failed", "no stream address"},
        {"redirect loop", ScriptServer::Fixed("HTTP/1.1 302 Found\r\nLocation: /loop\r\n\r\n"), "http", "Failed", "more than 5 redirects"},
        {"TLS failure", ScriptServer::Fixed("HTTP/1.0 200 OK\r\n\r\nplain text where a TLS handshake belongs"), "https", "Failed", "TLS failure"},
        {"HLS whose segment is missing", ScriptServer::Fixed("HTTP/1.0 200 OK\r\nContent-Type: application/vnd.apple.mpegurl\r\n\r\n#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:6\n#EXTINF:6.0,\nseg1.aac\n"), "http", "Failed", "no stream"},
        {"a web page", ScriptServer::Fixed("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<html><body>Hi</body></html>"), "http", "Failed", "not a stream"},
        {"not found", ScriptServer::Fixed("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"), "http", "Failed", "404"},
        {"refused", nullptr, "http://127.0.0.1:1/", "Failed", "refused the connection"},
        {"unresolvable", nullptr, "http://no-such-station.invalid/", "Failed", "does not resolve"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.On(QStringLiteral("/case"), c.reply);
        const int before = server.Requests();
        StreamReader reader;
        reader.SetTimeouts(/*openMs=*/1500, /*stallMs=*/1500);
        Recorder recorder(reader);
        reader.Open(c.reply ? server.Url(QStringLiteral("/case"), c.scheme) : QUrl(c.scheme));
        ASSERT_TRUE(recorder.Wait(60000));
        EXPECT_EQ(recorder.events.last(), QString::fromLatin1(c.outcome));
        EXPECT_TRUE(recorder.reason.contains(QString::fromLatin1(c.reason))) << recorder.reason.toStdString();
        EXPECT_FALSE(recorder.reason.isEmpty());
        if (QByteArray(c.name) == "redirect loop") {
            EXPECT_EQ(server.Requests() - before, 1 + StreamReader::kMaxRedirects);
        }
    }
}

// A real Icecast server, whose source plays two tagged tracks in turn,
// sends each track's title in the stream: the reader reports each change.
TEST(StreamReader, ReportsTheTitlesIcecastSends)
{
    QTemporaryDir dir;
    QByteArray list;
    for (const char* title : {"First song", "Second song"}) {
        const QString path = dir.filePath(QString::fromLatin1(title).replace(u' ', u'-') + QStringLiteral(".mp3"));
        ASSERT_TRUE(orvex::testing::MakeMp3(path, 1.5));
        // An ID3v1 tag: "TAG", title, artist, album (30 bytes each), year,
        // comment, genre.
        QByteArray tag = "TAG" + QByteArray(title).leftJustified(30, '\0') + QByteArray("Orvex").leftJustified(30, '\0') +
                         QByteArray(30, '\0') + "2026" + QByteArray(30, '\0') + char(12);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(tag);
        list += path.toUtf8() + "\n";
    }
    const QString playlist = dir.filePath(QStringLiteral("tracks.m3u"));
    QFile listFile(playlist);
    ASSERT_TRUE(listFile.open(QIODevice::WriteOnly));
    listFile.write(list);
    listFile.close();

    orvex::testing::IcecastServer icecast;
    ASSERT_TRUE(icecast.Start(playlist)) << icecast.Error().toStdString();
    StreamReader reader;
    Recorder recorder(reader);
    reader.Open(QUrl(QStringLiteral("http://%1/orvex.mp3").arg(icecast.Address())));
    // Two changes: the track playing when we joined may be either one.
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.titles.size() >= 3 || recorder.done; }, 60000));
    EXPECT_FALSE(recorder.done) << recorder.reason.toStdString();
    EXPECT_EQ(recorder.events.value(0), QStringLiteral("Opened"));
    EXPECT_EQ(recorder.info.contentType, QStringLiteral("audio/mpeg"));
    EXPECT_GT(recorder.audio.size(), 16000);
    for (int i = 0; i < recorder.titles.size(); ++i) {
        const QString expected = recorder.titles[i].contains(u"First") ? QStringLiteral("Orvex - First song")
                                                                         : QStringLiteral("Orvex - Second song");
        EXPECT_EQ(recorder.titles[i], expected);
        if (i > 0) {
            EXPECT_NE(recorder.titles[i], recorder.titles[i - 1]);
        }
    }
    reader.Close();
}

// An https station plays when its certificate is one the system trusts,
// and fails with the reason when the certificate names another host: the
// certificate is checked. Run through tests/radio/with-test-ca, which
// makes the test server's authority the system's only trusted one.
TEST(StreamReaderTls, PlaysAnHttpsStationOnlyUnderItsCertifiedName)
{
    const QString pem = qEnvironmentVariable("ORVEX_TEST_TLS_PEM");
    if (pem.isEmpty())
        GTEST_SKIP() << "runs through tests/radio/with-test-ca";
    QTemporaryDir dir;
    const QString mp3 = dir.filePath(QStringLiteral("tone.mp3"));
    ASSERT_TRUE(orvex::testing::MakeMp3(mp3, 2.0));
    orvex::testing::IcecastServer icecast;
    icecast.TlsCertificate = pem;
    ASSERT_TRUE(icecast.Start(mp3)) << icecast.Error().toStdString();

    StreamReader reader;
    Recorder recorder(reader);
    reader.Open(QUrl(QStringLiteral("https://127.0.0.1:%1/orvex.mp3").arg(icecast.TlsPort())));
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.audio.size() > 16000 || recorder.done; }, 30000));
    EXPECT_EQ(recorder.events.value(0), QStringLiteral("Opened")) << recorder.reason.toStdString();
    EXPECT_EQ(recorder.info.contentType, QStringLiteral("audio/mpeg"));
    reader.Close();

    StreamReader misnamed;
    Recorder refused(misnamed);
    misnamed.Open(QUrl(QStringLiteral("https://localhost:%1/orvex.mp3").arg(icecast.TlsPort())));
    ASSERT_TRUE(refused.Wait());
    EXPECT_EQ(refused.events, QStringList({"Failed"}));
    EXPECT_TRUE(refused.reason.contains(QStringLiteral("TLS failure"))) << refused.reason.toStdString();
}

// Close lets go of the station at once (its listener count falls) and
// nothing is reported afterwards.
TEST(StreamReader, CloseDropsTheConnection)
{
    ASSERT_FALSE(Audio().isEmpty());
    ScriptServer server;
    server.On(QStringLiteral("/live"), ScriptServer::Trickle("ICY 200 OK\r\ncontent-type:audio/mpeg\r\n\r\n" + Audio(),
                                                              Audio().left(2000)));
    StreamReader reader;
    Recorder recorder(reader);
    reader.Open(server.Url(QStringLiteral("/live")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.audio.size() > Audio().size(); }, 30000));
    ASSERT_EQ(server.OpenConnections(), 1);
    reader.Close();
    const QByteArray heard = recorder.audio;
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.OpenConnections() == 0; }, 30000));
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.audio.size(), heard.size());
    EXPECT_EQ(recorder.events, QStringList({"Opened"}));
}

// A station that sends a metadata block every 16 bytes costs nothing that
// stays: 100,000 blocks go through in bounded memory.
TEST(StreamReader, KeepsMemoryFlatThroughEveryMetadataBlock)
{
    ASSERT_FALSE(Audio().isEmpty());
    const auto play = [](int blocks) {
        ScriptServer server;
        const QByteArray audio = Audio().repeated(blocks * 16 / Audio().size() + 1).left(blocks * 16);
        server.On(QStringLiteral("/live"), ScriptServer::Fixed("ICY 200 OK\r\ncontent-type:audio/mpeg\r\nicy-metaint:16\r\n\r\n" +
                                                                Interleave(audio, 16, {"A - Song"})));
        StreamReader reader;
        qint64 heard = 0;
        bool ended = false;
        QObject::connect(&reader, &StreamReader::Data, [&](const QByteArray& bytes) { heard += bytes.size(); });
        QObject::connect(&reader, &StreamReader::Ended, [&] { ended = true; });
        reader.Open(server.Url(QStringLiteral("/live")));
        EXPECT_TRUE(QTest::qWaitFor([&] { return ended; }, 120000));
        EXPECT_EQ(heard, audio.size());
    };
    play(2000); // the libraries' own first allocations
    const qint64 before = ResidentBytes();
    play(100000);
    EXPECT_LT(ResidentBytes() - before, 30 * 1024 * 1024) << "grew by " << (ResidentBytes() - before) / 1024 << " KB";
}

// Header values that are not UTF-8 are read as Windows-1252, as titles are.
TEST(StreamReader, ReadsWindows1252StationNames)
{
    ASSERT_FALSE(Audio().isEmpty());
    ScriptServer server;
    server.On(QStringLiteral("/live"), ScriptServer::Fixed("ICY 200 OK\r\ncontent-type:audio/mpeg\r\nicy-name:R\xe1" "dio Caf\xe9\r\n"
                                                            "icy-genre:M\xc3\xbasica\r\n\r\n" + Audio()));
    StreamReader reader;
    Recorder recorder(reader);
    reader.Open(server.Url(QStringLiteral("/live")));
    ASSERT_TRUE(recorder.Wait());
    EXPECT_EQ(recorder.events, QStringList({"Opened", "Ended"})) << recorder.reason.toStdString();
    EXPECT_EQ(recorder.info.name, QStringLiteral(u"Rádio Café"));
    EXPECT_EQ(recorder.info.genre, QStringLiteral(u"Música"));
    EXPECT_TRUE(recorder.audio == Audio());
}

// A station may not lead the reader (by a redirect or a playlist's entry)
// from the internet into this machine, its link or a private network, nor
// from a private network into this machine.
TEST(NetworkReach, RefusesToLeadInwards)
{
    using NetworkReach::Reach;
    struct Case {
        const char* from;
        const char* to;
        bool refused;
    };
    const Case cases[] = {
        {"203.0.113.7", "127.0.0.1", true},
        {"203.0.113.7", "localhost", true},
        {"203.0.113.7", "0.0.0.0", true},
        {"203.0.113.7", "169.254.169.254", true},
        {"203.0.113.7", "192.168.1.1", true},
        {"203.0.113.7", "10.0.0.5", true},
        {"203.0.113.7", "172.20.1.1", true},
        {"203.0.113.7", "::1", true},
        {"203.0.113.7", "fe80::1", true},
        {"203.0.113.7", "fd00::1", true},
        {"203.0.113.7", "::ffff:127.0.0.1", true},
        {"2001:db8::1", "127.0.0.2", true},
        {"192.168.1.1", "127.0.0.1", true},
        {"203.0.113.7", "198.51.100.1", false},
        {"203.0.113.7", "172.32.0.1", false},
        {"192.168.1.1", "10.0.0.5", false},
        {"127.0.0.1", "127.0.0.1", false},
        {"localhost", "192.168.1.1", false},
    };
    for (const Case& c : cases) {
        const auto from = NetworkReach::OfHost(QString::fromLatin1(c.from));
        const auto to = NetworkReach::OfHost(QString::fromLatin1(c.to));
        ASSERT_TRUE(from && to) << c.from << " " << c.to;
        const QString why = NetworkReach::Refusal(*from, *to, QUrl(QStringLiteral("http://x/")));
        EXPECT_EQ(!why.isEmpty(), c.refused) << c.from << " -> " << c.to;
    }
    EXPECT_FALSE(NetworkReach::OfHost(QStringLiteral("radio.example.com")));
}
