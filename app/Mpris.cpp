#include "Mpris.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QGuiApplication>
#include <algorithm>
#include <utility>

namespace orvex {

namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
// What the bus says when nothing is open.
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
const QString kTrackPrefix = QStringLiteral("/com/example/kelvara/Orvex/Track/");

QString LoopText(MediaHost::Loop loop)
{
    switch (loop) {
    case MediaHost::Loop::Track: return QStringLiteral("Track");
    case MediaHost::Loop::Playlist: return QStringLiteral("Playlist");
    case MediaHost::Loop::None: break;
    }
    return QStringLiteral("None");
}

QString StatusText(MediaHost::Status status)
{
    switch (status) {
    case MediaHost::Status::Playing: return QStringLiteral("Playing");
    case MediaHost::Status::Paused: return QStringLiteral("Paused");
    case MediaHost::Status::Stopped: break;
    }
    return QStringLiteral("Stopped");
}

} // namespace

MprisService::MprisService(MediaHost& host, const QString& name, QDBusConnection bus)
    : m_host(&host), m_bus(std::move(bus))
{
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    connect(&host, &MediaHost::Changed, this, &MprisService::Refresh);
    m_state = host.CurrentState();
    if (!m_state.track.key.isEmpty())
        m_trackNumber = 1;
    m_announced = PlayerProperties();

    // Without a session bus the program plays on, unseen by the desktop.
    if (!m_bus.isConnected() || !m_bus.registerObject(kObjectPath, this))
        return;
    const QString base = QStringLiteral("org.mpris.MediaPlayer2.") + name;
    for (const QString& candidate :
         {base, base + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid())}) {
        if (m_bus.registerService(candidate)) {
            m_busName = candidate;
            return;
        }
    }
    m_bus.unregisterObject(kObjectPath);
}

MprisService::~MprisService()
{
    if (m_busName.isEmpty())
        return;
    m_bus.unregisterService(m_busName);
    m_bus.unregisterObject(kObjectPath);
}

const MediaHost::State& MprisService::State()
{
    Refresh();
    return m_state;
}

QString MprisService::PlaybackStatus()
{
    return StatusText(State().status);
}

QVariantMap MprisService::Metadata()
{
    return MetadataOf(State());
}

QDBusObjectPath MprisService::TrackId()
{
    return QDBusObjectPath(State().track.key.isEmpty() ? kNoTrack : kTrackPrefix + QString::number(m_trackNumber));
}

qint64 MprisService::Position()
{
    return m_host && !State().track.key.isEmpty() ? std::max<qint64>(0, m_host->PositionUs()) : 0;
}

QVariantMap MprisService::MetadataOf(const MediaHost::State& state) const
{
    const MediaHost::Track& track = state.track;
    QVariantMap metadata;
    if (track.key.isEmpty()) {
        metadata.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(kNoTrack)));
        return metadata;
    }
    metadata.insert(QStringLiteral("mpris:trackid"),
                    QVariant::fromValue(QDBusObjectPath(kTrackPrefix + QString::number(m_trackNumber))));
    if (track.lengthUs > 0)
        metadata.insert(QStringLiteral("mpris:length"), QVariant::fromValue(track.lengthUs));
    metadata.insert(QStringLiteral("xesam:title"), track.title);
    if (!track.artists.isEmpty())
        metadata.insert(QStringLiteral("xesam:artist"), track.artists);
    if (!track.album.isEmpty())
        metadata.insert(QStringLiteral("xesam:album"), track.album);
    return metadata;
}

QVariantMap MprisService::PlayerProperties() const
{
    return {
        {QStringLiteral("PlaybackStatus"), StatusText(m_state.status)},
        {QStringLiteral("Metadata"), MetadataOf(m_state)},
        {QStringLiteral("CanGoNext"), m_state.canGoNext},
        {QStringLiteral("CanGoPrevious"), m_state.canGoPrevious},
        {QStringLiteral("CanPlay"), m_state.canPlay},
        {QStringLiteral("CanPause"), m_state.canPause},
        {QStringLiteral("CanSeek"), m_state.canSeek},
        {QStringLiteral("Shuffle"), m_state.shuffle},
        {QStringLiteral("LoopStatus"), LoopText(m_state.loop)},
    };
}

void MprisService::Refresh()
{
    if (!m_host)
        return;
    MediaHost::State now = m_host->CurrentState();
    if (now.track.key != m_state.track.key && !now.track.key.isEmpty())
        ++m_trackNumber;
    m_state = std::move(now);
    const QVariantMap properties = PlayerProperties();
    QVariantMap changed;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        if (m_announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_announced = properties;
    if (changed.isEmpty() || m_busName.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    m_bus.send(signal);
}

// ---- commands: each one that does not fit the state is ignored

void MprisService::Play()
{
    if (!m_host)
        return;
    const MediaHost::State& state = State();
    if (state.status != MediaHost::Status::Playing && state.canPlay)
        m_host->Play();
    Refresh();
}

void MprisService::Pause()
{
    if (!m_host)
        return;
    const MediaHost::State& state = State();
    if (state.status == MediaHost::Status::Playing && state.canPause)
        m_host->Pause();
    Refresh();
}

void MprisService::PlayPause()
{
    if (State().status == MediaHost::Status::Playing)
        Pause();
    else
        Play();
}

void MprisService::Stop()
{
    if (!m_host)
        return;
    if (State().status != MediaHost::Status::Stopped)
        m_host->Stop();
    Refresh();
}

void MprisService::Next()
{
    if (!m_host)
        return;
    if (State().canGoNext)
        m_host->Next();
    Refresh();
}

void MprisService::Previous()
{
    if (!m_host)
        return;
    if (State().canGoPrevious)
        m_host->Previous();
    Refresh();
}

void MprisService::Seek(qint64 offsetUs)
{
    if (!m_host)
        return;
    const MediaHost::State& state = State();
    if (!state.canSeek || state.track.key.isEmpty())
        return;
    // Before the start is the start; past the end is the next track.
    const qint64 target = std::max<qint64>(0, m_host->PositionUs() + offsetUs);
    if (state.track.lengthUs > 0 && target > state.track.lengthUs) {
        Next();
        return;
    }
    m_host->SeekTo(target);
    emit Seeked(Position());
}

void MprisService::SetPosition(const QDBusObjectPath& trackId, qint64 positionUs)
{
    if (!m_host)
        return;
    // A position for another track than the open one (a stale id) is dropped,
    // and so is one before the start or past the end.
    const MediaHost::State& state = State();
    if (!state.canSeek || trackId != TrackId() || positionUs < 0 || positionUs > state.track.lengthUs)
        return;
    m_host->SeekTo(positionUs);
    emit Seeked(Position());
}

QString MprisService::LoopStatus()
{
    return LoopText(State().loop);
}

void MprisService::SetShuffle(bool on)
{
    if (!m_host)
        return;
    m_host->SetShuffle(on);
    Refresh();
}

void MprisService::SetLoopStatus(const QString& loop)
{
    if (!m_host)
        return;
    for (const MediaHost::Loop each : {MediaHost::Loop::None, MediaHost::Loop::Track, MediaHost::Loop::Playlist}) {
        if (loop == LoopText(each))
            m_host->SetLoop(each);
    }
    Refresh();
}

// ---- the adaptors

MprisRootAdaptor::MprisRootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_service(service) {}

QString MprisRootAdaptor::Identity() const
{
    return QStringLiteral("Orvex");
}

QString MprisRootAdaptor::DesktopEntry() const
{
    const QString name = QGuiApplication::desktopFileName();
    return name.isEmpty() ? QString::fromLatin1(kDesktopEntry) : name;
}

QStringList OpenedMimeTypes()
{
    return {QStringLiteral("audio/mpeg"),        QStringLiteral("audio/flac"),
            QStringLiteral("audio/x-flac"),      QStringLiteral("audio/ogg"),
            QStringLiteral("audio/x-vorbis+ogg"), QStringLiteral("audio/x-opus+ogg"),
            QStringLiteral("audio/mp4"),         QStringLiteral("audio/x-m4a"),
            QStringLiteral("audio/aac"),         QStringLiteral("audio/x-aac"),
            QStringLiteral("audio/x-wav"),       QStringLiteral("audio/x-mpegurl"),
            QStringLiteral("audio/x-scpls"),     QStringLiteral("application/xspf+xml")};
}

QStringList MprisRootAdaptor::SupportedUriSchemes() const
{
    return {QStringLiteral("file"), QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mms")};
}

QStringList MprisRootAdaptor::SupportedMimeTypes() const
{
    return OpenedMimeTypes();
}

bool HandOverToRunningProgram(const QString& uri, const QString& name, QDBusConnection bus)
{
    const QString service = QStringLiteral("org.mpris.MediaPlayer2.") + name;
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(service))
        return false;
    // A program that holds the name but does not answer is none.
    constexpr int kAnswerMs = 5000;
    const auto call = [&](const QString& interface, const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(service, kObjectPath, interface, method);
        message.setArguments(arguments);
        return bus.call(message, QDBus::Block, kAnswerMs).type() == QDBusMessage::ReplyMessage;
    };
    if (!uri.isEmpty() && !call(kPlayerInterface, QStringLiteral("OpenUri"), {uri}))
        return false;
    call(QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Raise"), {});
    return true;
}

void MprisRootAdaptor::Raise()
{
    m_service->Host().Raise();
}

void MprisRootAdaptor::Quit()
{
    // The answer goes out before the window closes.
    QMetaObject::invokeMethod(&m_service->Host(), &MediaHost::Quit, Qt::QueuedConnection);
}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_service(service)
{
    connect(service, &MprisService::Seeked, this, &MprisPlayerAdaptor::Seeked);
}

void MprisPlayerAdaptor::SetRate(double rate)
{
    // The one speed is kept; a rate of nought asks for a pause.
    if (rate == 0.0)
        m_service->Pause();
}

} // namespace orvex
