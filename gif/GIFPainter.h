#pragma once

#include "GIFPaintOptions.h"
#include "Graphics.h"
#include "Thread.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace orvex {

class TEvent;
class TGIFImage;
class TGIFSubImage;
class TPainterClock;

class TGIFPainter;
// An animation event; it runs on the window thread with the painter as sender.
using TGIFPainterEvent = std::function<void(TGIFPainter& sender)>;

// Plays the frames of one picture onto one surface at one rectangle: the
// frame delays and the speed, the frames' disposal through restore buffers,
// the loop count of the file's loop extension, five events and an orderly
// stop. With Threaded it runs on a thread of its own that only times frames
// and prepares their bitmaps, and hands every drawing step and event to the
// window thread, waiting until it has run there. Without Threaded the
// picture runs it on the calling thread, which it keeps responsive by
// pumping its messages while it waits.
//
// Only the picture creates, starts and stops painters; it keeps each one in
// its ActivePainters list until FinishPainter has run.
class TGIFPainter : public TThread {
public:
    // Built suspended. The owner slot (the picture's CurrentPainter), when
    // given, is made to name the new painter, and is cleared again when it
    // finishes if it still names it.
    TGIFPainter(TGIFPainter** ownerSlot, TGIFImage& picture, TCanvas& surface, const TRect& rect,
                GifPaintOptions options);
    ~TGIFPainter() override;

    // Lets a threaded painter's thread run; a painter without a thread is run
    // by its picture instead.
    void BeginRun();
    // Asks the painter to stop, from any thread: a threaded painter is woken
    // from its wait and let run, even if it never started, so that it ends.
    void RequestStop();
    // The animation itself: the thread body of a threaded painter, called by
    // the picture for one without a thread.
    void Run();
    bool Stopping() const { return Terminated(); }
    // Set while one of a threaded painter's steps (a drawing step or an
    // event handler) runs on the window thread: its thread waits for that
    // step, so whoever stops the painter from inside it must not wait for
    // the painter in turn.
    bool InWindowStep() const { return m_inWindowStep; }

    // The frame in hand, -1 when no run is in progress. An event handler may
    // set it to choose the frame that follows.
    int FrameIndex() const { return m_frameIndex; }
    void SetFrameIndex(int index) { m_frameIndex = index; }

    TGIFPainterEvent OnAnimationStart;
    TGIFPainterEvent OnBeforeFrame;
    TGIFPainterEvent OnAfterFrame;
    TGIFPainterEvent OnAnimationLoop;
    TGIFPainterEvent OnAnimationEnd;
    // The event being fired, while it runs.
    const TGIFPainterEvent* CurrentEvent() const { return m_currentEvent; }

    TGIFImage* Picture() const { return m_picture; }
    TCanvas& Surface() const { return m_surface; }
    const TRect& Rect() const { return m_rect; }
    GifPaintOptions Options() const { return m_options; }
    bool Threaded() const { return m_options.Contains(GifPaintOption::Threaded); }
    int Speed() const { return m_speed; }
    std::uint8_t CurrentDisposal() const { return m_currentDisposal; }
    std::uint8_t PreviousDisposal() const { return m_previousDisposal; }
    // Set once a frame has been drawn in this run.
    bool FirstFrameShown() const { return m_firstFrameShown; }
    // The wait planned before the frame in hand, in milliseconds (-1: until
    // woken); 0 before the first wait.
    int LastPlannedWait() const { return m_lastPlannedWait; }
    // The colour that restores a frame's area when the backdrop is not kept.
    TColor ClearingColor() const { return m_clearColor; }

    // The restore buffers; each exists only when the frames' disposal needs it.
    const TBitmap* ComposeBuffer() const { return m_compose.get(); }
    const TBitmap* ScratchBuffer() const { return m_scratch.get(); }
    const TBitmap* BackdropCapture() const { return m_backdrop.get(); }
    bool HasWakeEvent() const { return m_wake != nullptr; }
    // Whether the target surface still exists. A painter whose surface has
    // gone draws nothing more and stops.
    bool SurfaceAlive() const { return !m_surfaceToken.expired(); }

    // Painters that exist in the process, finished or not: a painter that
    // outlives its picture or never goes away shows here.
    static int LivingPainters();

    // The failure that ended the run, if one did.
    std::exception_ptr Failure() const { return m_failure; }

    // The picture is going away while this painter still runs further up
    // the window thread's stack: forget it and its owner slot, and finish
    // without touching either.
    void Detach();

    // The clean-up, exactly once: the owner slot and the picture's list let
    // go of the painter, and its buffers and wake event are freed. A
    // threaded painter runs it on the window thread as its end notification;
    // one without a thread when it is destroyed.
    void FinishPainter();

protected:
    void Execute() override;

private:
    void CreateRestoreBuffers();
    TColor WorkOutClearColor() const;
    void WaitBeforeFrame(class TFrameTimer& timer, int pendingDelay, TGIFSubImage& frame);
    void ReadFrameExtensions(TGIFSubImage& frame, int& loopCounter, int& loopStart, bool& loopSeen);
    void PaintPlain();
    void PaintBuffered();
    void ClearFrameArea();
    // Calls fn for each tile of the picture's natural size laid over the
    // buffer from its origin.
    template <class Fn>
    void ForEachTile(Fn&& fn) const;
    void RunOnWindowThread(const std::function<void()>& step);
    void FireAnimationEvent(const TGIFPainterEvent& handler);
    void ReportFailure();

    TGIFImage* m_picture;
    TCanvas& m_surface;
    const TRect m_rect;
    const GifPaintOptions m_options;
    const int m_speed;
    std::atomic<int> m_frameIndex{-1};
    std::uint8_t m_currentDisposal = 0;
    std::uint8_t m_previousDisposal = 0;
    std::unique_ptr<TBitmap> m_compose;
    std::unique_ptr<TBitmap> m_scratch;
    std::unique_ptr<TBitmap> m_backdrop;
    // The surface's liveness, taken on the window thread when the painter is
    // made: the painter's thread never reads the surface itself.
    std::weak_ptr<const void> m_surfaceToken;
    // Frames whose bitmaps this painter has had built ahead of their wait;
    // read and written on the painter's thread only.
    std::vector<bool> m_prepared;
    std::atomic<bool> m_firstFrameShown{false};
    TGIFPainter** m_ownerSlot;
    std::unique_ptr<TEvent> m_wake;
    std::exception_ptr m_failure;
    const TGIFPainterEvent* m_currentEvent = nullptr;
    TColor m_clearColor = clWhite;
    std::shared_ptr<TPainterClock> m_clock;
    std::atomic<int> m_lastPlannedWait{0};
    bool m_finished = false;
    std::atomic<bool> m_inWindowStep{false};
};

} // namespace orvex
