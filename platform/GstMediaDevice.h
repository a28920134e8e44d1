#pragma once

#include "Mci.h"

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <vector>

typedef struct _GstElement GstElement;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;

namespace orvex {

// A media device over GStreamer's playbin: plays local files and http
// addresses. Opening prerolls the media with a time-out and turns a missing
// file, an unplayable one and a missing decoder into their own errors.
// Positions and lengths are in milliseconds. While open, the device holds its
// file: others may read it but not open it exclusively.
//
// The audio goes to the desktop's default output, or to the sink named by
// the environment variable ORVEX_AUDIO_SINK ("fakesink" plays silently in
// real time, for tests and headless machines).
class GstMediaDevice : public MciDevice {
public:
    // How long a command may wait for the pipeline before it reports that
    // the device did not answer.
    static constexpr int kOpenTimeoutMs = 10000;
    static constexpr int kCommandTimeoutMs = 3000;

    GstMediaDevice();
    ~GstMediaDevice() override;

    MCIERROR Open(const QString& element, std::uint32_t flags) override;
    MCIERROR Command(unsigned message, std::uint32_t flags, void* params) override;
    void Closing() override;

    // Whether messages wait on the pipeline's bus. Every message is taken
    // off as it is posted or by the next command, so none should.
    bool HasQueuedBusMessages() const;

private:
    enum class Mode { NotReady, Stopped, Playing, Paused, Seeking };

    MCIERROR Play(std::uint32_t flags, MCI_PLAY_PARMS* params);
    MCIERROR Seek(std::uint32_t flags, MCI_SEEK_PARMS* params);
    MCIERROR Status(std::uint32_t flags, MCI_STATUS_PARMS* params);
    MCIERROR DeviceCaps(std::uint32_t flags, MCI_GETDEVCAPS_PARMS* params);
    MCIERROR Where(MCI_ANIM_RECT_PARMS* params);
    MCIERROR StepFrames(std::uint32_t flags, MCI_ANIM_STEP_PARMS* params);

    // Moves the pipeline to a position and waits until it holds there; the
    // media then plays up to stopMs, or to its end when that is -1.
    MCIERROR SeekTo(std::int64_t ms, std::int64_t stopMs = -1);
    // Asks for a state and waits up to timeoutMs for it (0: refused at once
    // or not at all); a refusal gives the pipeline's reason.
    MCIERROR SetState(int state, int timeoutMs);
    std::uint32_t LengthMs() const;
    std::uint32_t PositionMs() const;

    // A pending play notification ends as aborted (the command interrupts
    // the play) or superseded (another command asked for a notification).
    void EndPending(unsigned result);
    void BusMessage(int type, std::uint32_t seqnum);
    static int OnBusMessage(GstBus* bus, GstMessage* message, void* self);
    void DropBusMessages();
    void ReleasePipeline();

    GstElement* m_pipeline = nullptr;
    QObject m_receiver; // bus messages reach the main thread through it
    Mode m_mode = Mode::NotReady;
    bool m_atEnd = false;
    std::uint32_t m_estimatedMs = 0; // an ADTS file's length, reckoned when opened
    std::int64_t m_stopMs = -1; // where the current play ends, -1 at the end of the media
    bool m_hasVideo = false;
    bool m_hasAudio = false;
    std::uint64_t m_shareTicket = 0;
    QPointer<QObject> m_pending;
    // Errors that a failed command took off the bus and reported, by
    // sequence number, until their hand-over to the main thread arrives.
    std::vector<std::uint32_t> m_answeredErrors;
};

} // namespace orvex
