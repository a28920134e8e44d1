#include "StreamReader.h"

#include "ConnectProbe.h"
#include "HlsPlaylist.h"
#include "OggTitles.h"
#include "HeaderProbe.h"
#include "NetworkReach.h"
#include "PlaylistParser.h"
#include "StreamFetch.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QTimer>
#include <deque>
#include <functional>
#include <utility>

namespace orvex {

namespace {

// Answers that are documents, not streams.
// The headers a stream's info is made of.
const QString kInfoHeaders[] = {QStringLiteral("icy-name"), QStringLiteral("icy-genre"), QStringLiteral("icy-url")};

bool IsText(const QString& type)
{
    return type.startsWith(u"text/") || type == u"application/json" || type == u"application/xml" ||
           type == u"application/xhtml+xml";
}

} // namespace

// One Open: the addresses to try (the one given, then a playlist's entries),
// one fetch at a time, and the phase of the current one.
class StreamReader::Session : public QObject {
public:
    Session(StreamReader& owner, int openMs, int stallMs) : m_owner(owner), m_openMs(openMs), m_stallMs(stallMs)
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] { OnTimeout(); });
    }
    ~Session() override { Stop(); }

    void Open(const QUrl& address)
    {
        m_clock.start();
        const QUrl url = playlist::StreamAddress(address);
        if (url.isEmpty()) {
            m_lastFailure = QStringLiteral("not an http or https address: %1").arg(address.toString());
        } else {
            m_queue.push_back({url, 0});
        }
        // The answer comes later, never from within Open.
        QMetaObject::invokeMethod(this, [this] { Next(); }, Qt::QueuedConnection);
    }

    // No signal comes afterwards.
    void Stop()
    {
        m_stopped = true;
        m_timer.stop();
        DropFetch();
    }

private:
    enum class Phase { Connecting, Playlist, Playing };
    struct Pending {
        QUrl url;
        int depth = 0;
        QUrl from; // the playlist that listed it; empty for the address given
    };
    using Kind = StreamFetch::Kind;

    void Next()
    {
        if (m_stopped)
            return;
        const qint64 left = kPlaylistBudgetMs - m_clock.elapsed();
        if (m_queue.empty() || m_attempts >= kMaxAttempts || (m_fromPlaylist && left <= 0)) {
            QString reason = m_lastFailure;
            if (m_fromPlaylist)
                reason = QStringLiteral("none of the playlist's addresses played (%1 tried; the last: %2)")
                             .arg(m_attempts - m_playlists)
                             .arg(m_lastFailure);
            Finish(End::Failed, reason);
            return;
        }
        m_current = m_queue.front();
        m_queue.pop_front();
        ++m_attempts;
        m_redirects = 0;
        m_title.clear();
        m_timer.start(m_fromPlaylist ? std::max<qint64>(1, std::min<qint64>(left, m_openMs)) : m_openMs);
        m_nextKind = Kind::Radio;
        Follow(m_current.from, m_current.url);
    }

    // Opens target when the station at from may lead there (the address
    // given, with no from, always may); else the attempt fails with why.
    void Follow(const QUrl& from, const QUrl& target)
    {
        using NetworkReach::Reach;
        const auto to = NetworkReach::OfHost(target.host());
        if (from.isEmpty() || !to || *to == Reach::Public) {
            Start(target, m_nextKind);
            return;
        }
        const auto decide = [this, to, target](Reach reach) {
            const QString why = NetworkReach::Refusal(reach, *to, target);
            if (why.isEmpty())
                Start(target, m_nextKind);
            else
                AttemptFailed(why);
        };
        if (const auto reach = NetworkReach::OfHost(from.host())) {
            decide(*reach);
            return;
        }
        // The station's name is looked up to know where it stands.
        DropFetch();
        const int lookup = ++m_lookups;
        QHostInfo::lookupHost(from.host(), this, [this, lookup, decide](const QHostInfo& info) {
            if (lookup != m_lookups || m_stopped)
                return;
            const QList<QHostAddress> addresses = info.addresses();
            decide(addresses.isEmpty() ? Reach::Public : NetworkReach::OfAddress(addresses.first()));
        });
    }

    // Opens one address (a redirect keeps the attempt's time).
    void Start(const QUrl& url, Kind kind)
    {
        ++m_lookups; // a lookup still under way answers for nobody
        DropFetch();
        m_kind = kind;
        m_phase = Phase::Connecting;
        m_answer = {};
        m_answer.address = url;
        m_playlist.clear();
        StreamFetch::Handlers handlers;
        handlers.answered = [this](const StreamFetch::Answer& a) { OnAnswer(a); };
        handlers.data = [this](const QByteArray& bytes, const QString& caps) { OnData(bytes, caps); };
        handlers.title = [this](const QString& title) { OnTitle(title); };
        handlers.failed = [this](const QString& reason) { OnError(reason); };
        handlers.ended = [this] { OnEnded(); };
        m_fetch = new StreamFetch(url, std::move(handlers), this, kind);
        if (!m_fetch->Start())
            AttemptFailed(m_fetch->Error());
    }

    void OnAnswer(const StreamFetch::Answer& answer)
    {
        m_answer = answer;
        if (answer.status >= 200 && answer.status < 300 && Mangled(answer)) {
            // The source replaced what was not UTF-8: the station's own
            // bytes are read again, and Opened waits for them.
            m_headerProbe = new HeaderProbe(answer.address, [this](const QMap<QByteArray, QByteArray>& raw) {
                for (const QString& name : kInfoHeaders)
                    if (raw.contains(name.toLatin1()))
                        m_answer.headers.insert(name, HeaderValueText(raw.value(name.toLatin1())));
                ReleaseHeld();
                if (auto then = std::exchange(m_afterHeld, nullptr); then && !m_stopped)
                    then();
            }, this);
            return;
        }
        if (answer.status < 300 || answer.status >= 400)
            return;
        if (answer.location.isEmpty())
            return; // the source reports the status as an error
        if (++m_redirects > kMaxRedirects) {
            AttemptFailed(QStringLiteral("more than %1 redirects").arg(kMaxRedirects));
            return;
        }
        const QUrl target = playlist::StreamAddress(answer.location);
        if (target.isEmpty()) {
            AttemptFailed(QStringLiteral("redirected to an address that is not http or https"));
            return;
        }
        m_nextKind = m_kind;
        Follow(m_answer.address, target);
    }

    void OnData(const QByteArray& bytes, const QString& caps)
    {
        switch (m_phase) {
        case Phase::Connecting: {
            // The HLS demuxer hands out the segments' audio, never a playlist.
            m_format = m_kind == Kind::Hls ? playlist::Format::None
                                           : playlist::Sniff(m_answer.contentType, m_answer.address, bytes);
            if (m_format != playlist::Format::None) {
                m_phase = Phase::Playlist;
                AppendPlaylist(bytes);
                return;
            }
            if (m_kind == Kind::Radio && IsText(m_answer.contentType)) {
                AttemptFailed(QStringLiteral("not a stream: the server sent %1").arg(m_answer.contentType));
                return;
            }
            if (m_headerProbe != nullptr) {
                m_held += bytes;
                m_heldCaps = caps;
                return;
            }
            Play(bytes, caps);
            return;
        }
        case Phase::Playlist:
            AppendPlaylist(bytes);
            return;
        case Phase::Playing:
            m_timer.start(StallMs());
            Hand(bytes);
            return;
        }
    }

    void Play(const QByteArray& bytes, const QString& caps)
    {
        m_phase = Phase::Playing;
        m_timer.start(StallMs());
        // An Ogg stream names its songs in each chained stream's comments.
        if (m_kind == Kind::Radio && OggTitles::IsOgg(bytes)) {
            m_ogg = new OggTitles([this](const QString& title) { OnTitle(title); }, this);
            if (!m_ogg->Start())
                DropOgg();
        }
        emit m_owner.Opened(Info(caps));
        if (m_stopped)
            return;
        if (!m_title.isEmpty())
            emit m_owner.TitleChanged(m_title);
        if (m_stopped)
            return;
        Hand(bytes);
    }

    void Hand(const QByteArray& bytes)
    {
        if (m_ogg != nullptr)
            m_ogg->Push(bytes);
        emit m_owner.Data(bytes);
    }

    void DropOgg()
    {
        if (m_ogg == nullptr)
            return;
        m_ogg->Stop();
        // Its title may be what is being reported now.
        m_ogg->deleteLater();
        m_ogg = nullptr;
    }

    // Plays what came while the header probe was under way; true when it did.
    bool ReleaseHeld()
    {
        if (m_headerProbe == nullptr)
            return false;
        m_headerProbe->deleteLater();
        m_headerProbe = nullptr;
        if (m_held.isEmpty() || m_phase != Phase::Connecting)
            return false;
        Play(std::exchange(m_held, QByteArray()), m_heldCaps);
        return true;
    }

    // What ends a stream whose first bytes wait for the header probe waits
    // for it too; true when it was put off.
    bool Deferred(std::function<void()> then)
    {
        if (m_headerProbe == nullptr || m_held.isEmpty())
            return false;
        m_afterHeld = std::move(then);
        return true;
    }

    static bool Mangled(const StreamFetch::Answer& answer)
    {
        for (const QString& name : kInfoHeaders)
            if (answer.headers.value(name).contains(QChar::ReplacementCharacter))
                return true;
        return false;
    }

    void OnTitle(const QString& title)
    {
        // Servers repeat the title in every metadata block.
        if (title == m_title)
            return;
        m_title = title;
        if (m_phase == Phase::Playing)
            emit m_owner.TitleChanged(title);
    }

    void OnError(const QString& reason)
    {
        if (Deferred([this, reason] { OnError(reason); }))
            return;
        // Below 100 the library's own codes: no HTTP answer came (a name
        // that does not resolve, a refusal, a failed TLS handshake ...).
        const bool answered = m_answer.status >= 100;
        if (!answered && m_phase == Phase::Connecting) {
            // No HTTP answer: the source does not say why; the probe does.
            DropFetch();
            const int probe = ++m_probes;
            m_probe = new ConnectProbe(m_answer.address, [this, probe](const QString& why) {
                // A probe dropped meanwhile answers for nobody.
                if (probe == m_probes && m_probe != nullptr && !m_stopped)
                    AttemptFailed(why);
            }, this);
            return;
        }
        // The source's own words when a transfer breaks say nothing more.
        QString why = !answered || reason.startsWith(u"Internal data stream error")
                          ? QStringLiteral("the connection failed")
                          : reason;
        if (m_answer.status >= 300)
            why = QStringLiteral("the server answered %1 (%2)").arg(m_answer.status).arg(reason);
        else if (m_phase == Phase::Connecting)
            why = QStringLiteral("not a stream: %1").arg(why); // what icydemux could not recognise
        if (m_phase == Phase::Playing)
            Finish(End::Dropped, why);
        else
            AttemptFailed(why);
    }

    void OnEnded()
    {
        if (Deferred([this] { OnEnded(); }))
            return;
        switch (m_phase) {
        case Phase::Connecting:
            AttemptFailed(QStringLiteral("the server sent no data"));
            return;
        case Phase::Playlist:
            ResolvePlaylist();
            return;
        case Phase::Playing:
            Finish(End::Dropped, QStringLiteral("the server closed the stream"));
            return;
        }
    }

    void OnTimeout()
    {
        if (ReleaseHeld() || m_stopped)
            return;
        if (m_phase == Phase::Playing && m_kind == Kind::Hls)
            Finish(End::Over, QStringLiteral("the live playlist stopped growing: no new segment for %1 s")
                                  .arg(StallMs() / 1000.0));
        else if (m_phase == Phase::Playing)
            Finish(End::Dropped, QStringLiteral("the server stopped sending"));
        else
            AttemptFailed(QStringLiteral("no stream from %1 within %2 s")
                              .arg(m_current.url.toString())
                              .arg(m_timer.interval() / 1000.0));
    }

    void AppendPlaylist(const QByteArray& bytes)
    {
        // An HLS playlist lists every segment of its window: it may be larger.
        const bool hls = m_format == playlist::Format::M3u && playlist::IsHls(m_playlist.isEmpty() ? bytes : m_playlist);
        const qint64 most = hls ? kMaxHlsPlaylistBytes : kMaxPlaylistBytes;
        if (m_playlist.size() + bytes.size() > most) {
            AttemptFailed(QStringLiteral("the playlist is larger than %1 KB").arg(most / 1024));
            return;
        }
        m_playlist += bytes;
    }

    // An HLS media playlist: GStreamer's demuxer follows it from its address.
    void FollowHls()
    {
        if (hls::IsEncrypted(m_playlist)) {
            AttemptFailed(QStringLiteral("encrypted HLS streams (#EXT-X-KEY) are not supported"));
            return;
        }
        // A live playlist grows by a segment at a time; it has stopped when
        // several segments' time passes without one. The demuxer tries a
        // missing segment again until the playlist has moved past it, which
        // takes a few segments' time too.
        m_hlsStallMs = std::clamp(6 * hls::TargetDurationMs(m_playlist), m_stallMs, kHlsStallMs);
        QUrl address = m_answer.address;
        // The demuxer joins a segment's relative name to an address without
        // a path as if the name were a host ("http://seg1.ts"): the root's
        // slash makes it a name beside the playlist.
        if (address.path().isEmpty())
            address.setPath(QStringLiteral("/"));
        m_playlist.clear();
        // The demuxer fetches the playlist again and then its first segments.
        m_timer.start(m_openMs);
        Start(address, Kind::Hls);
    }

    void ResolvePlaylist()
    {
        DropFetch();
        ++m_playlists;
        const bool hlsPlaylist = m_format == playlist::Format::M3u && playlist::IsHls(m_playlist);
        if (hlsPlaylist && !hls::IsMaster(m_playlist)) {
            FollowHls();
            return;
        }
        if (m_current.depth >= kMaxPlaylistDepth) {
            AttemptFailed(QStringLiteral("playlists nested more than %1 deep").arg(kMaxPlaylistDepth));
            return;
        }
        if (hlsPlaylist && hls::IsEncrypted(m_playlist)) {
            AttemptFailed(QStringLiteral("encrypted HLS streams (#EXT-X-KEY) are not supported"));
            return;
        }
        // A master playlist's variants are tried in the order the page
        // plays them best.
        const QList<QUrl> entries = hlsPlaylist ? hls::Variants(m_playlist, m_answer.address)
                                                : playlist::Entries(m_playlist, m_format, m_answer.address);
        m_playlist.clear();
        if (entries.isEmpty()) {
            AttemptFailed(QStringLiteral("the playlist lists no stream address"));
            return;
        }
        m_fromPlaylist = true;
        // The entries come first, in their order, before what was left.
        for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            m_queue.push_front({*it, m_current.depth + 1, m_answer.address});
        m_timer.stop();
        Next();
    }

    void AttemptFailed(const QString& reason)
    {
        m_lastFailure = reason;
        m_timer.stop();
        DropFetch();
        Next();
    }

    // Never played; played and dropped; played until the broadcast ended.
    enum class End { Failed, Dropped, Over };
    void Finish(End end, const QString& reason)
    {
        Stop();
        if (end == End::Failed)
            emit m_owner.Failed(reason);
        else
            emit m_owner.Ended(reason, /*retry=*/end == End::Dropped);
    }

    StreamInfo Info(const QString& caps) const
    {
        StreamInfo info;
        // An HLS stream's answer is its playlist's: the type is the audio's.
        info.contentType = m_answer.contentType.isEmpty() || m_kind == Kind::Hls ? caps : m_answer.contentType;
        info.name = m_answer.headers.value(QStringLiteral("icy-name"));
        info.genre = m_answer.headers.value(QStringLiteral("icy-genre"));
        info.url = m_answer.headers.value(QStringLiteral("icy-url"));
        // "128" or, from some servers, "128,128".
        info.bitrate = std::max(0, m_answer.headers.value(QStringLiteral("icy-br")).section(u',', 0, 0).trimmed().toInt());
        info.address = m_answer.address;
        return info;
    }

    int StallMs() const { return m_kind == Kind::Hls ? m_hlsStallMs : m_stallMs; }

    void DropFetch()
    {
        DropOgg();
        if (m_headerProbe != nullptr) {
            m_headerProbe->deleteLater();
            m_headerProbe = nullptr;
        }
        m_held.clear();
        m_afterHeld = nullptr;
        if (m_probe != nullptr) {
            m_probe->deleteLater();
            m_probe = nullptr;
        }
        if (m_fetch == nullptr)
            return;
        m_fetch->Stop();
        // Its handler may be what is running now.
        m_fetch->deleteLater();
        m_fetch = nullptr;
    }

    StreamReader& m_owner;
    const int m_openMs;
    const int m_stallMs;
    std::deque<Pending> m_queue;
    Pending m_current;
    QTimer m_timer;
    QElapsedTimer m_clock;
    StreamFetch* m_fetch = nullptr;
    ConnectProbe* m_probe = nullptr;
    OggTitles* m_ogg = nullptr; // an Ogg stream's titles
    int m_probes = 0;
    int m_lookups = 0;
    HeaderProbe* m_headerProbe = nullptr;
    QByteArray m_held; // the stream's first bytes while its headers are read again
    QString m_heldCaps;
    std::function<void()> m_afterHeld; // the end that came meanwhile
    Phase m_phase = Phase::Connecting;
    Kind m_kind = Kind::Radio;
    Kind m_nextKind = Kind::Radio; // of the address Follow opens
    int m_hlsStallMs = 0;
    StreamFetch::Answer m_answer;
    playlist::Format m_format = playlist::Format::None;
    QByteArray m_playlist;
    QString m_title;
    QString m_lastFailure;
    int m_attempts = 0;
    int m_playlists = 0;
    int m_redirects = 0;
    bool m_fromPlaylist = false;
    bool m_stopped = false;
};

StreamReader::StreamReader(QObject* parent) : QObject(parent) {}

StreamReader::~StreamReader()
{
    Close();
}

void StreamReader::Open(const QUrl& address)
{
    Close();
    m_session = new Session(*this, m_openTimeoutMs, m_stallTimeoutMs);
    m_session->Open(address);
}

void StreamReader::SetTimeouts(int openMs, int stallMs)
{
    m_openTimeoutMs = openMs;
    m_stallTimeoutMs = stallMs;
}

void StreamReader::Close()
{
    if (m_session == nullptr)
        return;
    m_session->Stop();
    m_session->deleteLater();
    m_session = nullptr;
}

} // namespace orvex
