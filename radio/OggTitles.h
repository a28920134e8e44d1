#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

typedef struct _GstElement GstElement;

namespace orvex {

// The titles of an Ogg stream (Vorbis, Opus, FLAC): an Ogg station sends no
// in-band ICY metadata; it starts a new chained stream for each song, whose
// comments name it. The bytes the reader hands out are copied into a
// GStreamer pipeline of its own (appsrc, oggdemux, one fakesink for each
// stream), whose demuxer reads those comments as tags; each title comes out
// as "Artist - Title", as Icecast writes it for its listeners, on the
// owner's thread.
class OggTitles : public QObject {
public:
    // The most that waits for the demuxer; beyond it bytes are dropped (the
    // demuxer finds the next page again).
    static constexpr qint64 kMaxQueued = 1 << 20;

    OggTitles(std::function<void(const QString&)> title, QObject* parent = nullptr);
    ~OggTitles() override;
    OggTitles(const OggTitles&) = delete;
    OggTitles& operator=(const OggTitles&) = delete;

    // Whether the bytes that start a stream are Ogg.
    static bool IsOgg(const QByteArray& head);

    // false when the pipeline cannot be made.
    bool Start();
    void Push(const QByteArray& bytes);
    // Joins the pipeline's threads; no title is reported afterwards.
    void Stop();

private:
    static void OnPad(void* demux, void* pad, void* self);
    static int OnTags(void* pad, void* info, void* self);

    std::function<void(const QString&)> m_title;
    GstElement* m_pipeline = nullptr;
    GstElement* m_source = nullptr;
    bool m_stopped = false;
};

} // namespace orvex
