#include "IcecastServer.h"

#include <QDir>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace orvex::testing {

namespace {

constexpr const char* kMount = "/orvex.mp3";
constexpr const char* kSourcePassword = "orvex-source";
constexpr int kStartMs = 15000;

// A port nobody listens on now; Icecast binds it a moment later.
quint16 FreeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool WriteText(const QString& path, const QByteArray& text, QFileDevice::Permissions permissions)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return false;
    file.close();
    return file.setPermissions(permissions);
}

QByteArray Escaped(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

bool Running(const QProcess* process)
{
    return process && process->state() == QProcess::Running;
}

// How a process that should still run has ended, for the failure message.
QString EndOf(const QProcess& process)
{
    if (process.exitStatus() == QProcess::CrashExit)
        return QStringLiteral(" ended: ") + process.errorString();
    return QStringLiteral(" ended with exit code %1").arg(process.exitCode());
}

// Runs the event loop for up to milliseconds, so that timers, sockets, the
// browser and the processes' ends are dealt with while a test waits.
void PumpEvents(int milliseconds)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

IcecastServer::IcecastServer() = default;

IcecastServer::~IcecastServer()
{
    Stop();
}

QString IcecastServer::Address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

bool IcecastServer::Fail(const QString& why)
{
    QString log;
    QFile errors(m_dir.filePath(QStringLiteral("log/error.log")));
    if (errors.open(QIODevice::ReadOnly))
        log = QString::fromUtf8(errors.readAll().right(2000));
    m_error = why + (log.isEmpty() ? QString() : QStringLiteral("\n") + log);
    Stop();
    return false;
}

bool IcecastServer::WriteConfigs(const QStringList& tracks)
{
    // Icecast refuses to run as root unless told whom to become; that user
    // then writes the logs, so the folders must be open to it.
    const bool root = ::geteuid() == 0;
    QDir dir(m_dir.path());
    if (!dir.mkpath(QStringLiteral("log")) || !dir.mkpath(QStringLiteral("web")) || !dir.mkpath(QStringLiteral("admin")))
        return false;
    const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                      QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    QFile::setPermissions(m_dir.path(), open);
    QFile::setPermissions(dir.filePath(QStringLiteral("log")),
                          open | QFileDevice::WriteGroup | QFileDevice::WriteOther);
    const QByteArray base = Escaped(m_dir.path());
    const QByteArray server =
        "<icecast>\n"
        "  <authentication><source-password>" + QByteArray(kSourcePassword) +
        "</source-password><admin-user>admin</admin-user><admin-password>orvex-admin</admin-password>"
        "</authentication>\n"
        "  <hostname>127.0.0.1</hostname>\n"
        "  <listen-socket><port>" + QByteArray::number(m_port) +
        "</port><bind-address>127.0.0.1</bind-address></listen-socket>\n" +
        (TlsCertificate.isEmpty() ? QByteArray()
                                  : "  <listen-socket><port>" + QByteArray::number(m_tlsPort) +
                                        "</port><bind-address>127.0.0.1</bind-address><ssl>1</ssl></listen-socket>\n") +
        // As the server's own sample configuration does, pages of any
        // origin may read the streams (unless a test leaves that out).
        QByteArray(AllowPages ? "  <http-headers><header name=\"Access-Control-Allow-Origin\" value=\"*\"/></http-headers>\n"
                              : "") +
        "  <paths><basedir>" + base + "</basedir><logdir>" + base + "/log</logdir><webroot>" + base +
        "/web</webroot><adminroot>" + base + "/admin</adminroot>" +
        (TlsCertificate.isEmpty() ? QByteArray() : "<ssl-certificate>" + Escaped(TlsCertificate) + "</ssl-certificate>") +
        "<alias source=\"/\" destination=\"" + QByteArray(kMount) + "\"/></paths>\n"
        "  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>3</loglevel></logging>\n"
        "  <security><chroot>0</chroot>" +
        QByteArray(root ? "<changeowner><user>nobody</user><group>nogroup</group></changeowner>" : "") +
        "</security>\n"
        "</icecast>\n";
    // Several tracks play from a playlist, and each one's title goes to the
    // server as the stream's title.
    // One .m3u names its tracks itself.
    const bool listed = tracks.size() == 1 && tracks[0].endsWith(QStringLiteral(".m3u"));
    QByteArray intake = QByteArray("<type>") + (listed ? "playlist" : "file") + "</type><filename>" +
                        Escaped(tracks.value(0)) + "</filename>";
    if (tracks.size() > 1) {
        QByteArray list;
        for (const QString& track : tracks)
            list += track.toUtf8() + '\n';
        if (!WriteText(dir.filePath(QStringLiteral("tracks.m3u")), list, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return false;
        intake = "<type>playlist</type><filename>" + Escaped(dir.filePath(QStringLiteral("tracks.m3u"))) + "</filename>";
    }
    // The source client insists that its configuration, which holds the
    // password, is readable by its owner alone.
    const QByteArray source =
        "<ezstream>\n"
        "  <servers><server><hostname>127.0.0.1</hostname><port>" + QByteArray::number(m_port) +
        "</port><password>" + QByteArray(kSourcePassword) + "</password></server></servers>\n"
        "  <streams><stream><mountpoint>" + QByteArray(kMount) + "</mountpoint><format>MP3</format>"
        "<stream_name>" + Escaped(QString::fromUtf8(kStationName)) + "</stream_name></stream></streams>\n"
        "  <intakes><intake>" + intake + "<stream_once>No</stream_once></intake></intakes>\n" +
        // Tracks given one by one carry their title alone.
        (tracks.size() > 1 ? "  <metadata><format_str>@t@</format_str></metadata>\n" : "") +
        "</ezstream>\n";
    const auto readable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    return WriteText(dir.filePath(QStringLiteral("icecast.xml")), server, readable) &&
           WriteText(dir.filePath(QStringLiteral("ezstream.xml")), source, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

bool IcecastServer::StartProcess(QProcess& process, const QString& program, const QString& config)
{
    process.setProgram(program);
    process.setArguments({QStringLiteral("-c"), m_dir.filePath(config)});
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(m_dir.filePath(QStringLiteral("log/") + config + QStringLiteral(".out")));
    // Should the test program die, the server and its source die with it.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process.start();
    return process.waitForStarted(kStartMs);
}

bool IcecastServer::WaitFor(const std::function<bool()>& ready, int milliseconds, const QProcess* source) const
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        // Pending events first: among them the news that a process has ended.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!Running(m_server.get()) || (source && !Running(source)))
            return false;
        if (ready())
            return true;
        if (clock.elapsed() > milliseconds)
            return false;
        PumpEvents(50);
    }
}

bool IcecastServer::ServerAnswers() const
{
    // Another program may hold the port; only an answer of the server counts.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    if (!socket.waitForConnected(200))
        return false;
    socket.write("GET /orvex-probe HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray answer;
    while (!answer.contains("\r\n\r\n") && socket.waitForReadyRead(1000))
        answer += socket.readAll();
    return answer.startsWith("HTTP/") && answer.toLower().contains("\r\nserver: icecast");
}

bool IcecastServer::MountPlays() const
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(QByteArray("GET ") + kMount + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray answer;
    while (!answer.contains("\r\n\r\n") && socket.waitForReadyRead(1000))
        answer += socket.readAll();
    return answer.startsWith("HTTP/1.0 200") && answer.contains("audio/mpeg");
}

int IcecastServer::Listeners() const
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    if (!socket.waitForConnected(1000))
        return -1;
    socket.write(QByteArray("GET /admin/listclients?mount=") + kMount +
                 " HTTP/1.0\r\nHost: 127.0.0.1\r\nAuthorization: Basic " +
                 QByteArray("admin:orvex-admin").toBase64() + "\r\n\r\n");
    QByteArray answer;
    while (socket.waitForReadyRead(1000))
        answer += socket.readAll();
    answer += socket.readAll();
    const int at = answer.indexOf("<Listeners>");
    if (!answer.startsWith("HTTP/1.0 200") || at < 0)
        return -1;
    return answer.mid(at + 11, answer.indexOf('<', at + 11) - at - 11).toInt();
}

bool IcecastServer::Start(const QString& mp3, quint16 port)
{
    return Start(QStringList{mp3}, port);
}

bool IcecastServer::Start(const QStringList& tracks, quint16 port)
{
    Stop();
    if (!m_dir.isValid())
        return Fail(QStringLiteral("no temporary folder"));
    for (const QString& mp3 : tracks)
        if (!QFile::exists(mp3))
            return Fail(QStringLiteral("no such track: ") + mp3);
    // Another program may take the free port before the server binds it:
    // then the server ends at once and another port is tried.
    const int attempts = port == 0 ? 3 : 1;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        m_port = port == 0 ? FreeLoopbackPort() : port;
        m_tlsPort = TlsCertificate.isEmpty() ? 0 : FreeLoopbackPort();
        if (m_port == 0 || tracks.isEmpty() || !WriteConfigs(tracks))
            return Fail(QStringLiteral("cannot prepare the server's folder"));
        m_server = std::make_unique<QProcess>();
        if (!StartProcess(*m_server, QStringLiteral("icecast2"), QStringLiteral("icecast.xml")))
            return Fail(QStringLiteral("cannot run icecast2: ") + m_server->errorString());
        if (WaitFor([this] { return Running(m_server.get()) && ServerAnswers(); }, kStartMs))
            return StartSource();
        if (Running(m_server.get()))
            return Fail(QStringLiteral("icecast2 did not start listening"));
        m_error = QStringLiteral("icecast2") + EndOf(*m_server);
        m_server.reset();
    }
    return Fail(m_error);
}

bool IcecastServer::StartSource()
{
    if (!m_server)
        return Fail(QStringLiteral("the server is not running"));
    m_source = std::make_unique<QProcess>();
    if (!StartProcess(*m_source, QStringLiteral("ezstream"), QStringLiteral("ezstream.xml")))
        return Fail(QStringLiteral("cannot run ezstream: ") + m_source->errorString());
    if (WaitFor([this] { return MountPlays(); }, kStartMs, m_source.get()))
        return true;
    if (!Running(m_server.get()))
        return Fail(QStringLiteral("icecast2") + EndOf(*m_server));
    if (!Running(m_source.get()))
        return Fail(QStringLiteral("ezstream") + EndOf(*m_source));
    return Fail(QStringLiteral("the source did not reach the server"));
}

void IcecastServer::StopSource()
{
    if (!m_source)
        return;
    m_source->kill();
    m_source->waitForFinished(5000);
    m_source.reset();
    // The server notices the source's end on its own time: until then the
    // mount still answers.
    WaitFor([this] { return !MountPlays(); }, kStartMs);
}

void IcecastServer::Stop()
{
    // The server first: with it gone, stopping the source waits for nothing.
    if (m_server) {
        m_server->kill();
        m_server->waitForFinished(5000);
        m_server.reset();
    }
    StopSource();
}

} // namespace orvex::testing
