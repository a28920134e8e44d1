#include "IcecastServer.h"
#include "Mp3Maker.h"

#include "StreamReader.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace orvex;

namespace {

// A web server of the tests' own on a free loopback port: each path answers
// with a scripted reply, written as raw bytes so that any status line,
// header or body can be served.
class ScriptServer : public QObject {
public:
    using Reply = std::function<void(QTcpSocket*)>;

    ScriptServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        });
    }
    void On(const QString& path, Reply reply) { m_replies[path] = std::move(reply); }
    QUrl Url(const QString& path, const QString& scheme = QStringLiteral("http")) const
    {
        return QUrl(QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(m_server.serverPort()).arg(path));
    }
    int Requests() const { return m_requests; }
    const QByteArray& LastRequest() const { return m_lastRequest; }

    // Sends all of it and closes.
    static Reply Fixed(const QByteArray& bytes)
    {
        return [bytes](QTcpSocket* s) {
            s->write(bytes);
            s->disconnectFromHost();
        };
    }
    // Sends head, then line every 50 ms for as long as the client stays.
    static Reply Trickle(const QByteArray& head, const QByteArray& line)
    {
        return [head, line](QTcpSocket* s) {
            s->write(head);
            auto* timer = new QTimer(s);
            QObject::connect(timer, &QTimer::timeout, s, [s, line] { s->write(line); });
            timer->start(50);
        };
    }

private:
    void Read(QTcpSocket* socket)
    {
        QByteArray& request = m_pending[socket];
        if (request.isNull())
            request = "";
        if (request.endsWith("\r\n\r\n") || request.contains("\r\n\r\n"))
            return; // answered already
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        ++m_requests;
        m_lastRequest = request;
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_pending.remove(socket); });
        const QString path = QString::fromLatin1(request.split(' ').value(1));
        const auto reply = m_replies.find(path);
        if (reply == m_replies.end())
            Fixed("HTTP/1.0 404 Not Found\r\n\r\n")(socket);
        else
            (*reply)(socket);
    }

    QTcpServer m_server;
    QMap<QString, Reply> m_replies;
    QMap<QTcpSocket*, QByteArray> m_pending;
    QByteArray m_lastRequest;
    int m_requests = 0;
};

// What a reader said, in order.
struct Recorder {
    explicit Recorder(StreamReader& reader)
    {
        QObject::connect(&reader, &StreamReader::Opened, [this](const StreamInfo& i) {
            info = i;
            events << QStringLiteral("Opened");
        });
        QObject::connect(&reader, &StreamReader::Data, [this](const QByteArray& bytes) { audio += bytes; });
        QObject::connect(&reader, &StreamReader::TitleChanged, [this](const QString& t) { titles << t; });
        QObject::connect(&reader, &StreamReader::Failed, [this](const QString& r) { Finish(QStringLiteral("Failed"), r); });
        QObject::connect(&reader, &StreamReader::Ended, [this](const QString& r) { Finish(QStringLiteral("Ended"), r); });
    }
    void Finish(const QString& how, const QString& why)
    {
        events << how;
        reason = why;
        done = true;
    }
    bool Wait(int ms = 30000) { return QTest::qWaitFor([this] { return done; }, ms); }

    StreamInfo info;
    QStringList events;
    QStringList titles;
    QByteArray audio;
    QString reason;
    bool done = false;
};

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
