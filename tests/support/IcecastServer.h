#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

namespace orvex::testing {

// A real internet radio server for the radio tests: an Icecast 2 server on a
// free loopback port, with a configuration of its own in a temporary folder,
// fed by an ezstream source that loops one MP3 file into the mount point
// "/orvex.mp3", named kStationName. The server's root "/" is an alias of the mount, so the bare
// "address:port" form of the home station plays it as well. Both processes
// are stopped when the object goes, and are killed with the test program
// should that die first.
// The name the source gives its stream (the server's icy-name).
inline constexpr const char* kStationName = "R\u00e1dio <i>Teste</i>";

class IcecastServer {
public:
    IcecastServer();
    ~IcecastServer();
    IcecastServer(const IcecastServer&) = delete;
    IcecastServer& operator=(const IcecastServer&) = delete;

    // Starts the server and its source on mp3 (or on the MP3 files an .m3u
    // lists, one after the other) and waits until the mount
    // plays; the test's event loop runs meanwhile. The server listens on
    // port, or on a free port when that is 0. On failure returns false with
    // the reason in Error().
    bool Start(const QString& mp3, quint16 port = 0);
    // The same with a list of tracks played in turn; the source announces
    // each track's title tag to the server, which sends it to listeners
    // that ask for titles.
    bool Start(const QStringList& tracks, quint16 port = 0);
    // Stops the source alone: the server drops its listeners and the mount
    // answers 404 until the source is back.
    void StopSource();
    // Starts the source again and waits until the mount plays.
    bool StartSource();
    // Stops both processes (also done by the destructor).
    void Stop();

    quint16 Port() const { return m_port; }
    // "127.0.0.1:port", the home station's form of address.
    QString Address() const;
    const QString& Error() const { return m_error; }
    // Whether a GET of the mount now answers with audio.
    bool MountPlays() const;
    // The mount's listeners as the server counts them (its statistics);
    // -1 when it does not say.
    int Listeners() const;
    // Whether the server lets pages of any origin read its streams (as its
    // sample configuration does); set before Start.
    bool AllowPages = true;
    // A PEM file holding a certificate and its key: the server then also
    // serves listeners over TLS on TlsPort() (the source stays on Port()).
    // Set before Start.
    QString TlsCertificate;
    quint16 TlsPort() const { return m_tlsPort; }

private:
    bool WriteConfigs(const QStringList& tracks);
    bool StartProcess(QProcess& process, const QString& program, const QString& config);
    // Runs the event loop until ready() holds; false when the time is up or
    // a process the wait needs (the server, and the source when given) has ended.
    bool WaitFor(const std::function<bool()>& ready, int milliseconds, const QProcess* source = nullptr) const;
    // Whether an Icecast server answers on the port.
    bool ServerAnswers() const;
    bool Fail(const QString& why);

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_source;
    quint16 m_port = 0;
    quint16 m_tlsPort = 0;
    QString m_error;
};

} // namespace orvex::testing
