#pragma once

#include "MediaHost.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QPointer>
#include <QVariantMap>

namespace orvex {

// The desktop file the window managers and the media interface match the
// program by, unless the application names another.
inline constexpr const char* kDesktopEntry = "com.example.kelvara.Orvex";

// The program on the session bus as a media player, so that media keys,
// panels and playerctl drive it: one object at /org/mpris/MediaPlayer2 with
// the player's two interfaces, under the name org.mpris.MediaPlayer2.<name>,
// or <name>.instance<pid> when another program holds that. The host does the
// work; this side keeps the bus's rules: calls that do not fit are ignored,
// and every change but the position is announced.
class MprisService : public QObject {
    Q_OBJECT
public:
    explicit MprisService(MediaHost& host, const QString& name = QStringLiteral("orvex"),
                          QDBusConnection bus = QDBusConnection::sessionBus());
    ~MprisService() override;

    // The name taken on the bus; empty when there is no bus or it refused.
    QString BusName() const { return m_busName; }

    // ---- what the interfaces answer
    MediaHost& Host() { return *m_host; }
    // Each reading takes the host's state afresh (and announces a change it finds).
    const MediaHost::State& State();
    QString PlaybackStatus();
    QVariantMap Metadata();
    QDBusObjectPath TrackId();
    qint64 Position();

    // ---- what they ask
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void Seek(qint64 offsetUs);
    void SetPosition(const QDBusObjectPath& trackId, qint64 positionUs);
    // Shuffle and LoopStatus ("None", "Track", "Playlist"; others are ignored).
    bool Shuffle() { return State().shuffle; }
    QString LoopStatus();
    void SetShuffle(bool on);
    void SetLoopStatus(const QString& loop);

signals:
    void Seeked(qint64 positionUs);

private:
    // Reads the host and announces what differs from what was last read.
    void Refresh();
    QVariantMap PlayerProperties() const;
    QVariantMap MetadataOf(const MediaHost::State& state) const;

    QPointer<MediaHost> m_host;
    QDBusConnection m_bus;
    QString m_busName;
    MediaHost::State m_state;
    quint64 m_trackNumber = 0; // counts the tracks opened, for their ids
    QVariantMap m_announced;
};

// When the program already runs on the bus (its name is taken), hands it
// the address to open (when one is given) and raises its window. False when
// there is no bus, no program runs, or it did not answer: this start runs then.
bool HandOverToRunningProgram(const QString& uri, const QString& name = QStringLiteral("orvex"),
                              QDBusConnection bus = QDBusConnection::sessionBus());

// The media types the program opens, as its desktop entry lists them.
QStringList OpenedMimeTypes();

// org.mpris.MediaPlayer2: the program itself.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit MprisRootAdaptor(MprisService* service);

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const;
    QString DesktopEntry() const;
    QStringList SupportedUriSchemes() const;
    QStringList SupportedMimeTypes() const;

public slots:
    void Raise();
    void Quit();

private:
    MprisService* m_service;
};

// org.mpris.MediaPlayer2.Player: the play and what plays.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
    Q_PROPERTY(bool Shuffle READ Shuffle WRITE SetShuffle)
    Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
public:
    explicit MprisPlayerAdaptor(MprisService* service);

    QString PlaybackStatus() const { return m_service->PlaybackStatus(); }
    // One speed and one volume: the player page has its own volume control.
    double Rate() const { return 1.0; }
    void SetRate(double rate);
    QVariantMap Metadata() const { return m_service->Metadata(); }
    double Volume() const { return 1.0; }
    void SetVolume(double) {}
    qlonglong Position() const { return m_service->Position(); }
    bool CanGoNext() const { return m_service->State().canGoNext; }
    bool CanGoPrevious() const { return m_service->State().canGoPrevious; }
    bool CanPlay() const { return m_service->State().canPlay; }
    bool CanPause() const { return m_service->State().canPause; }
    bool CanSeek() const { return m_service->State().canSeek; }
    bool CanControl() const { return true; }
    bool Shuffle() const { return m_service->Shuffle(); }
    void SetShuffle(bool on) { m_service->SetShuffle(on); }
    QString LoopStatus() const { return m_service->LoopStatus(); }
    void SetLoopStatus(const QString& loop) { m_service->SetLoopStatus(loop); }

public slots:
    void Next() { m_service->Next(); }
    void Previous() { m_service->Previous(); }
    void Pause() { m_service->Pause(); }
    void PlayPause() { m_service->PlayPause(); }
    void Stop() { m_service->Stop(); }
    void Play() { m_service->Play(); }
    void Seek(qlonglong offset) { m_service->Seek(offset); }
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position) { m_service->SetPosition(trackId, position); }
    // A file (file://) or a station's address (http, https, mms).
    void OpenUri(const QString& uri) { m_service->Host().OpenUri(uri); }

signals:
    void Seeked(qlonglong Position);

private:
    MprisService* m_service;
};

} // namespace orvex
