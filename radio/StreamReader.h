#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

namespace orvex {

// What a station's server says of its stream.
struct StreamInfo {
    QString contentType; // "audio/mpeg", "audio/aacp", "audio/aac", "application/ogg", ...
    QString name;        // icy-name (already decoded text; may be empty)
    QString genre;       // icy-genre
    QString url;         // icy-url
    int bitrate = 0;     // icy-br, kbit/s, 0 when not sent
    QUrl address;        // the address that plays, after playlists and redirects
};

// Reads one station's stream on a GStreamer pipeline (souphttpsrc, icydemux,
// appsink), resolving playlist links first, and hands out pure audio. An HLS
// stream is followed by GStreamer's HLS demuxer: its audio comes out as
// ADTS AAC or MP3, with the audio's type as the content type.
// Signals arrive on the thread that owns the object (the window thread).
class StreamReader : public QObject {
    Q_OBJECT
public:
    // An address that has not answered with a stream by then has failed.
    static constexpr int kOpenTimeoutMs = 10000;
    // A playing stream that sends nothing for this long has ended (within
    // the player page's own stall time).
    static constexpr int kStallTimeoutMs = 8000;
    // Redirects followed from one address.
    static constexpr int kMaxRedirects = 5;
    // The most of a playlist that is downloaded.
    static constexpr int kMaxPlaylistBytes = 128 * 1024;
    // Addresses tried for one Open (a playlist's entries and the playlist
    // itself), and the time they may take together: a playlist of dead
    // addresses fails in bounded time.
    static constexpr int kMaxAttempts = 20;
    static constexpr int kPlaylistBudgetMs = 30000;
    // Playlists within playlists followed.
    static constexpr int kMaxPlaylistDepth = 2;
    // The most of an HLS playlist that is downloaded (a long live window
    // lists thousands of segments), and the longest time a live HLS
    // playlist may go without a new segment.
    static constexpr int kMaxHlsPlaylistBytes = 1024 * 1024;
    static constexpr int kHlsStallMs = 30000;

    explicit StreamReader(QObject* parent = nullptr);
    ~StreamReader() override;

    // Starts reading; answers with Opened and then Data, or with Failed.
    void Open(const QUrl& address);
    // Stops reading and closes the upstream connection; no signal follows.
    void Close();
    // The time an address has to answer with a stream, and the silence after
    // which a playing stream has ended (for the next Open).
    void SetTimeouts(int openMs, int stallMs);

signals:
    void Opened(const orvex::StreamInfo& info);
    void Data(const QByteArray& audio);       // metadata blocks removed
    void TitleChanged(const QString& title);  // each new StreamTitle once
    void Failed(const QString& reason);       // never played: why (refused, unresolvable, not a stream, encrypted HLS, TLS ...)
    // Played, then dropped or stopped sending. retry: whether trying again
    // may bring the stream back; not when a live HLS playlist has stopped
    // growing, as when its broadcast is over.
    void Ended(const QString& reason, bool retry);

private:
    class Session;
    Session* m_session = nullptr; // deleted later: its own handlers may close it
    int m_openTimeoutMs = kOpenTimeoutMs;
    int m_stallTimeoutMs = kStallTimeoutMs;
};

} // namespace orvex

Q_DECLARE_METATYPE(orvex::StreamInfo)
