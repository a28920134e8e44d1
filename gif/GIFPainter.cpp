#include "GIFPainter.h"

#include "Application.h"
#include "GIFDefaults.h"
#include "GIFExtensions.h"
#include "GIFImage.h"
#include "GIFPainterTiming.h"
#include "MessagePump.h"
#include "SyncEvent.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>

namespace orvex {

namespace {

// The disposal numbers of the frames' graphic controls.
constexpr std::uint8_t kUnspecified = 0;
constexpr std::uint8_t kLeaveInPlace = 1;
constexpr std::uint8_t kRestoreBackground = 2;
constexpr std::uint8_t kRestorePrevious = 3;

int FrameCount(const TGIFImage& picture)
{
    return picture.Frames().Count();
}

TGIFSubImage& FrameAt(TGIFImage& picture, int index)
{
    return picture.Frames()[index];
}

std::atomic<int> livingPainters{0};

std::unique_ptr<TBitmap> NewBuffer(int width, int height)
{
    auto buffer = std::make_unique<TBitmap>(width, height, TPixelFormat::pfDevice);
    buffer->Canvas().CopyMode = SRCCOPY;
    return buffer;
}

} // namespace

TGIFPainter::TGIFPainter(TGIFPainter** ownerSlot, TGIFImage& picture, TCanvas& surface, const TRect& rect,
                         GifPaintOptions options)
    : TThread(/*createSuspended=*/true),
      m_picture(&picture),
      m_surface(surface),
      m_rect(rect),
      m_options(options),
      m_speed(picture.SpeedPercent),
      m_surfaceToken(surface.LifeToken()),
      m_ownerSlot(ownerSlot),
      m_clock(picture.PainterClock ? picture.PainterClock : TPainterClock::System())
{
    FreeOnTerminate = true;
    OnTerminate = [](TThread& sender) { static_cast<TGIFPainter&>(sender).FinishPainter(); };
    if (m_options.Contains(GifPaintOption::Threaded) && m_options.Contains(GifPaintOption::Animate) &&
        FrameCount(picture) > 1 && m_speed >= 0)
        m_wake = std::make_unique<TEvent>();
    m_clearColor = WorkOutClearColor();
    CreateRestoreBuffers();
    // Only a painter that was made whole is named by its slot.
    if (m_ownerSlot)
        *m_ownerSlot = this;
    ++livingPainters;
}

TGIFPainter::~TGIFPainter()
{
    // A threaded painter finished as its thread ended; one without a thread
    // finishes here.
    FinishPainter();
    --livingPainters;
}

int TGIFPainter::LivingPainters()
{
    return livingPainters;
}

TColor TGIFPainter::WorkOutClearColor() const
{
    if (m_picture->ClearColor != clNone)
        return ColorToRGB(m_picture->ClearColor);
    if (m_picture->Header().GlobalColorMap().ColorCount() > 0)
        return m_picture->BackgroundColor();
    return ColorToRGB(clWindow);
}

void TGIFPainter::CreateRestoreBuffers()
{
    bool restoreBackground = m_options.Contains(GifPaintOption::ClearOnFirstFrame);
    bool restorePrevious = false;
    const int count = FrameCount(*m_picture);
    for (int i = 0; i < count; ++i) {
        if (const TGIFGraphicControlExtension* control = FrameAt(*m_picture, i).GraphicControl) {
            restoreBackground |= control->Disposal() == kRestoreBackground;
            restorePrevious |= control->Disposal() == kRestorePrevious;
        }
    }
    const int width = m_rect.Width(), height = m_rect.Height();
    const TRect whole = Bounds(0, 0, width, height);
    if (restoreBackground && m_options.Contains(GifPaintOption::DrawTransparent)) {
        // What lies under the transparent parts of the frames.
        m_backdrop = NewBuffer(width, height);
        m_backdrop->Canvas().CopyRect(whole, m_surface, m_rect);
    }
    if (restoreBackground || restorePrevious) {
        m_compose = NewBuffer(width, height);
        m_compose->Canvas().Brush = TBrush{m_clearColor, TBrushStyle::bsSolid};
        m_compose->Canvas().CopyRect(whole, m_surface, m_rect);
        m_scratch = NewBuffer(width, height);
        m_scratch->Canvas().Brush = TBrush{m_clearColor, TBrushStyle::bsSolid};
    }
}

void TGIFPainter::BeginRun()
{
    if (!Threaded())
        return;
    try {
        Resume();
    } catch (...) {
        // No thread will run the painter's end: finish it here, so that the
        // picture's lists let it go and nothing waits for it, and free it
        // as its thread would have.
        FinishPainter();
        delete this;
        throw;
    }
}

void TGIFPainter::RequestStop()
{
    Terminate();
    if (!Threaded())
        return;
    if (m_wake)
        m_wake->Set();
    SetPriority(TThreadPriority::tpNormal);
    if (!Suspended())
        return;
    try {
        Resume();
    } catch (...) {
        // No thread can be made to run the painter's end: it ends here, as
        // BeginRun's failure ends it. A stop reports nothing, and a picture
        // being destroyed must not be brought down by it.
        FinishPainter();
        delete this;
    }
}

void TGIFPainter::Execute()
{
    // A painter stopped before it ever ran only finishes.
    if (!Stopping())
        Run();
}

void TGIFPainter::Run()
{
    const bool threaded = Threaded();
    const bool animate = m_options.Contains(GifPaintOption::Animate);
    const bool loop = m_options.Contains(GifPaintOption::Loop);
    const bool loopForever = m_options.Contains(GifPaintOption::LoopForever);
    try {
        m_frameIndex = 0;
        FireAnimationEvent(OnAnimationStart);
        m_firstFrameShown = false;

        int loopCounter = 1;
        int loopStart = 0;
        bool loopSeen = false;
        int pendingDelay = threaded ? 0 : 1;
        m_previousDisposal = kLeaveInPlace;
        TFrameTimer timer(*m_clock, m_speed, threaded);
        timer.Start();

        while ((loopCounter != 0 || loopForever) && !Stopping()) {
            m_frameIndex = loopStart;
            if (m_firstFrameShown)
                FireAnimationEvent(OnAnimationLoop);
            bool passShowedAFrame = false;
            // A handler may have sent the index anywhere: outside the frames
            // the pass is over.
            while (m_picture && m_frameIndex >= 0 && m_frameIndex < FrameCount(*m_picture) && !Stopping()) {
                TGIFSubImage& frame = FrameAt(*m_picture, m_frameIndex);
                if (frame.Empty())
                    break;
                WaitBeforeFrame(timer, pendingDelay, frame);
                if (Stopping())
                    break;
                FireAnimationEvent(OnBeforeFrame);
                if (Stopping())
                    break;
                ReadFrameExtensions(frame, loopCounter, loopStart, loopSeen);
                if (m_compose)
                    RunOnWindowThread([this] { PaintBuffered(); });
                else
                    RunOnWindowThread([this] { PaintPlain(); });
                m_previousDisposal = m_currentDisposal;
                passShowedAFrame = true;
                if (Stopping())
                    break;
                const TGIFGraphicControlExtension* control = frame.GraphicControl;
                pendingDelay = FrameDelayUnits(control != nullptr, control ? control->DelayTime() : 0, threaded);
                const int noted = m_frameIndex;
                FireAnimationEvent(OnAfterFrame);
                if (Stopping())
                    break;
                if (m_frameIndex == noted)
                    ++m_frameIndex;
                if (!animate)
                    break;
            }
            if (loopCounter > 0)
                --loopCounter;
            if (!animate || !loop)
                break;
            // A pass that starts at an empty frame shows nothing, and so would
            // every pass after it: looping on would only spin, and a draw
            // waiting for the first frame would wait for ever.
            if (!passShowedAFrame)
                break;
        }
        m_frameIndex = -1;
        FireAnimationEvent(OnAnimationEnd);
    } catch (...) {
        // The run ends here, and its end goes unannounced.
        m_failure = std::current_exception();
        Terminate();
    }
}

void TGIFPainter::ReadFrameExtensions(TGIFSubImage& frame, int& loopCounter, int& loopStart, bool& loopSeen)
{
    m_currentDisposal = kLeaveInPlace;
    const TGIFExtensionList& extensions = frame.Extensions();
    for (int i = 0; i < extensions.Count(); ++i) {
        const TGIFExtension* extension = &extensions[i];
        if (const auto* nsLoop = dynamic_cast<const TGIFAppExtNSLoop*>(extension)) {
            // Only the first loop extension of a run counts.
            if (loopSeen)
                continue;
            loopSeen = true;
            loopCounter = nsLoop->LoopCount;
            if ((loopCounter == 0 || m_options.Contains(GifPaintOption::LoopForever)) && Threaded())
                loopCounter = -1; // endless
            loopStart = m_frameIndex;
        } else if (const auto* control = dynamic_cast<const TGIFGraphicControlExtension*>(extension)) {
            m_currentDisposal = static_cast<std::uint8_t>(control->Disposal());
        }
    }
}

void TGIFPainter::WaitBeforeFrame(TFrameTimer& timer, int pendingDelay, TGIFSubImage& frame)
{
    if (pendingDelay <= 0) {
        m_clock->Sleep(0);
        return;
    }
    // Decode now, so that the wait covers it. The build reads and caches
    // the picture's palettes, which the window thread may change or free,
    // and it reports progress and changes to listeners that draw: a threaded
    // painter hands it to the window thread like any drawing step. Each frame
    // is built ahead once per painter: later passes find it cached and skip
    // the hand-over and its two wake-ups (a bitmap dropped meanwhile is
    // built by the drawing step instead).
    const auto index = static_cast<std::size_t>(m_frameIndex.load());
    if (index >= m_prepared.size() || !m_prepared[index]) {
        RunOnWindowThread([&frame] { frame.FrameBitmap(); });
        if (index >= m_prepared.size())
            m_prepared.resize(index + 1);
        m_prepared[index] = true;
    }
    const int wait = timer.PlanWait(pendingDelay);
    m_lastPlannedWait = wait;
    if (Threaded()) {
        if (wait > 0 || m_speed == 0) {
            if (!m_clock->WaitForWake(m_wake.get(), wait))
                timer.WaitEndedEarly();
        }
        return;
    }
    SleepInSlices(*m_clock, wait, [this] { return Stopping(); }, [this] {
        // A quit request stays with the message loop it was meant for, and
        // ends this painter.
        if (ProcessMessages().seen)
            Terminate();
    });
}

void TGIFPainter::PaintPlain()
{
    if (!SurfaceAlive()) {
        Terminate();
        return;
    }
    FrameAt(*m_picture, m_frameIndex)
        .DrawFrame(m_surface, m_rect, m_options.Contains(GifPaintOption::DrawTransparent),
                   m_options.Contains(GifPaintOption::Tile));
    m_firstFrameShown = true;
}

void TGIFPainter::PaintBuffered()
{
    // With CheckSurface a lost surface stops the painter; without it too,
    // since drawing into a surface that is gone is never harmless here.
    if (!SurfaceAlive()) {
        Terminate();
        return;
    }
    const bool clearFirst = m_options.Contains(GifPaintOption::ClearOnFirstFrame) && m_frameIndex == 0;
    const TRect whole = Bounds(0, 0, m_rect.Width(), m_rect.Height());

    // Where the frame is drawn, and which buffer then shows on the target.
    TCanvas* drawOn = nullptr;
    TRect drawRect = whole;
    TBitmap* show = nullptr;
    bool scratchFromCompose = false;
    if (m_currentDisposal == kUnspecified || m_currentDisposal == kLeaveInPlace ||
        m_currentDisposal == kRestoreBackground) {
        drawOn = &m_compose->Canvas();
        show = m_compose.get();
    } else if (m_currentDisposal == kRestorePrevious) {
        if (m_previousDisposal <= kLeaveInPlace) {
            // The compose buffer keeps the picture as it was before this frame.
            drawOn = &m_surface;
            drawRect = m_rect;
        } else if (m_previousDisposal <= kRestorePrevious) {
            drawOn = &m_scratch->Canvas();
            show = m_scratch.get();
            scratchFromCompose = true;
        }
    }
    // Reserved disposal numbers draw nothing; the frame still counts as
    // shown, so that nobody waits for it for ever.
    if (drawOn) {
        // There is no palette to realise on our true-colour surfaces: a frame's
        // palette lives in its bitmap's colour table.
        if (clearFirst)
            ClearFrameArea();
        if (scratchFromCompose)
            m_scratch->Canvas().CopyRect(whole, m_compose->Canvas(), whole);
        FrameAt(*m_picture, m_frameIndex)
            .DrawFrame(*drawOn, drawRect, m_options.Contains(GifPaintOption::DrawTransparent),
                       m_options.Contains(GifPaintOption::Tile));
        if (show) {
            m_surface.CopyMode = SRCCOPY;
            m_surface.CopyRect(m_rect, show->Canvas(), whole);
        }
        if (m_currentDisposal == kRestoreBackground)
            ClearFrameArea();
    }
    m_firstFrameShown = true;
}

template <class Fn>
void TGIFPainter::ForEachTile(Fn&& fn) const
{
    const int tileWidth = m_picture->Width(), tileHeight = m_picture->Height();
    if (tileWidth <= 0 || tileHeight <= 0)
        return;
    for (int x = 0; x < m_rect.Width(); x += tileWidth)
        for (int y = 0; y < m_rect.Height(); y += tileHeight)
            fn(x, y);
}

void TGIFPainter::ClearFrameArea()
{
    TGIFSubImage& frame = FrameAt(*m_picture, m_frameIndex);
    const TRect whole = Bounds(0, 0, m_rect.Width(), m_rect.Height());
    const bool transparent = m_options.Contains(GifPaintOption::DrawTransparent);
    const bool tile = m_options.Contains(GifPaintOption::Tile);
    TCanvas& compose = m_compose->Canvas();
    compose.CopyMode = SRCCOPY;
    if (transparent && m_backdrop) {
        if (!tile) {
            const TRect area = frame.ScaleFrameRect(whole);
            compose.CopyRect(area, m_backdrop->Canvas(), area);
        } else {
            ForEachTile([&](int x, int y) {
                const TRect area = Bounds(x + frame.Left(), y + frame.Top(), frame.Width(), frame.Height());
                compose.CopyRect(area, m_backdrop->Canvas(), area);
            });
        }
        return;
    }
    compose.Brush = TBrush{m_clearColor, TBrushStyle::bsSolid};
    // Tiled, the frame lies at its own place in every tile, whatever its
    // size; the scaled rectangle below is its place only when not tiling.
    if (!transparent && tile) {
        ForEachTile([&](int x, int y) {
            compose.FillRect(Bounds(x + frame.Left(), y + frame.Top(), frame.Width(), frame.Height()));
        });
        return;
    }
    compose.FillRect(frame.ScaleFrameRect(whole));
}

void TGIFPainter::RunOnWindowThread(const std::function<void()>& step)
{
    if (Stopping())
        return;
    if (!Threaded()) {
        step();
        return;
    }
    // A stop asked for while the step waited in the queue cancels it.
    Synchronize([this, &step] {
        if (Stopping())
            return;
        m_inWindowStep = true;
        struct ClearFlag {
            std::atomic<bool>& flag;
            ~ClearFlag() { flag = false; }
        } clear{m_inWindowStep};
        step();
    });
}

void TGIFPainter::FireAnimationEvent(const TGIFPainterEvent& handler)
{
    if (!handler)
        return;
    m_currentEvent = &handler;
    struct ClearCurrent {
        const TGIFPainterEvent*& current;
        ~ClearCurrent() { current = nullptr; }
    } clear{m_currentEvent};
    RunOnWindowThread([this, &handler] { handler(*this); });
}

void TGIFPainter::Detach()
{
    m_picture = nullptr;
    m_ownerSlot = nullptr;
}

void TGIFPainter::FinishPainter()
{
    if (m_finished)
        return;
    m_finished = true;
    if (TGIFImage* picture = m_picture) {
        std::lock_guard lock(picture->PaintersLock());
        if (m_ownerSlot && *m_ownerSlot == this)
            *m_ownerSlot = nullptr;
        auto& painters = picture->ActivePainters;
        painters.erase(std::remove(painters.begin(), painters.end(), this), painters.end());
    }
    m_picture = nullptr;
    m_ownerSlot = nullptr;
    m_compose.reset();
    m_scratch.reset();
    m_backdrop.reset();
    m_wake.reset();
    ReportFailure();
}

void TGIFPainter::ReportFailure()
{
    // Nobody up the painter's stack can take its failure: it goes to the
    // window thread's exception handler once that thread is back in its
    // message loop, never into a wait or a paint. Without a message loop it
    // is dropped; the painter keeps it in Failure either way.
    if (!m_failure || !QCoreApplication::instance())
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [failure = m_failure] { Application().HandleException(failure); },
        Qt::QueuedConnection);
}

} // namespace orvex
