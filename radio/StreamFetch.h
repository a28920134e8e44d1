#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUrl>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

typedef struct _GstElement GstElement;

namespace orvex {

// One GET of one address on a GStreamer pipeline of its own: souphttpsrc
// asks for in-band metadata (Icy-MetaData: 1) and, when the server announces
// an interval, icydemux takes the metadata blocks out of the audio; an
// appsink hands the bytes over. Redirects are not followed here: the answer's
// Location is reported, so that the reader counts them.
//
// An HLS media playlist is fetched in the other kind: the source hands the
// playlist to GStreamer's HLS demuxer, which follows it (refreshing a live
// one and fetching its segments itself) and passes over a segment it cannot
// fetch; parsebin takes the elementary stream (ADTS AAC or MP3) out of the
// segments' container.
//
// Everything is reported on the thread that owns the object, through the
// handlers, and nothing after Stop(). What is in flight to that thread is
// bounded: a reader that falls behind holds the network back.
class StreamFetch : public QObject {
public:
    // The server's answer, as soon as its headers are in.
    struct Answer {
        int status = 0;                  // 0: no answer
        QUrl address;                    // the address that answered
        QUrl location;                   // a redirect's target, resolved
        QString contentType;             // lower case, without parameters
        QMap<QString, QString> headers;  // names in lower case
    };
    enum class Kind { Radio, Hls };
    struct Handlers {
        std::function<void(const Answer&)> answered;
        // caps: the stream's type, with the first bytes only: the media
        // type, or "audio/aac" for MPEG-4 or MPEG-2 AAC.
        std::function<void(const QByteArray&, const QString& caps)> data;
        std::function<void(const QString&)> title;
        std::function<void(const QString&)> failed;  // the pipeline's error
        std::function<void()> ended;                 // the server closed the stream
    };

    // Bytes handed over but not yet taken by the owner's thread, at most.
    static constexpr qint64 kMaxInFlight = 1 << 20;
    // The connection's I/O time-out, seconds.
    static constexpr unsigned kIoTimeoutSeconds = 10;

    StreamFetch(const QUrl& address, Handlers handlers, QObject* parent = nullptr, Kind kind = Kind::Radio);
    ~StreamFetch() override;
    StreamFetch(const StreamFetch&) = delete;
    StreamFetch& operator=(const StreamFetch&) = delete;

    // Starts the GET; false (with the reason in Error()) when the pipeline
    // cannot be built.
    bool Start();
    // Closes the connection and joins the pipeline's threads; no handler is
    // called afterwards.
    void Stop();
    const QString& Error() const { return m_error; }

private:
    static int OnBusMessage(void* bus, void* message, void* self);
    static int OnSourceItem(void* pad, void* info, void* self);
    static int OnSinkEvent(void* pad, void* info, void* self);
    static int OnNewSample(void* sink, void* self);
    static void OnDemuxPad(void* demux, void* pad, void* self);
    static void OnHlsPad(void* demux, void* pad, void* self);
    static void OnParsedPad(void* parser, void* pad, void* self);
    bool BuildHls();

    // Runs work on the owner's thread unless the fetch has stopped by then.
    void Post(std::function<void()> work);

    QUrl m_address;
    Handlers m_handlers;
    Kind m_kind;
    QString m_error;
    GstElement* m_pipeline = nullptr;
    GstElement* m_source = nullptr;
    GstElement* m_demux = nullptr;  // icydemux, or hlsdemux
    GstElement* m_parser = nullptr; // parsebin after hlsdemux
    GstElement* m_sink = nullptr;
    bool m_stopped = false;
    bool m_capsSent = false;  // streaming thread only

    std::mutex m_mutex;
    std::condition_variable m_drained;
    qint64 m_inFlight = 0;
    bool m_closing = false;
    std::thread m_starter;  // takes the pipeline to playing
};

} // namespace orvex
