// The picture's drawing entry: still pictures, the animation painters it
// starts, stops and waits for, and the bitmap through which an animation
// reaches its control.
#include "GIFImage.h"

#include "GIFDefaults.h"
#include "GIFOptions.h"
#include "GIFPainter.h"
#include "Thread.h"

#include <system_error>
#include <thread>
#include <vector>

namespace orvex {

namespace {

// Runs the window thread's queued steps until none is left; when none was
// there, waits briefly for one (instead of spinning) so that a painter on its
// way out can hand over its last steps. Other threads only yield.
void ServeWindowThread()
{
    if (!IsMainThread()) {
        std::this_thread::yield();
        return;
    }
    bool ran = false;
    while (CheckSynchronize(0))
        ran = true;
    if (!ran)
        CheckSynchronize(5);
}

} // namespace

bool TGIFImage::ShouldDither() const
{
    return orvex::ShouldDither(PaintOptions);
}

void TGIFImage::Draw(TCanvas& canvas, const TRect& rect)
{
    // Re-entered from a message that a painter without a thread dispatched,
    // or nothing to draw: draw nothing.
    if (m_drawing || Empty())
        return;
    // The picture may be destroyed by a message pumped while it draws; the
    // flag is then no longer ours to clear.
    const std::weak_ptr<int> alive = m_lifeToken;
    m_drawing = true;
    struct ClearDrawing {
        TGIFImage& picture;
        const std::weak_ptr<int>& alive;
        ~ClearDrawing()
        {
            if (!alive.expired())
                picture.m_drawing = false;
        }
    } clear{*this, alive};

    const bool transparent = PaintOptions.Contains(GifPaintOption::DrawTransparent);
    const bool tile = PaintOptions.Contains(GifPaintOption::Tile);
    const bool paintDirect = PaintOptions.Contains(GifPaintOption::PaintDirect);

    // Still drawing.
    if (Frames().Count() == 1 || !PaintOptions.Contains(GifPaintOption::Animate)) {
        Frames()[0].DrawFrame(canvas, rect, transparent, tile);
        return;
    }
    // An animation under way, or over: its bitmap shows the frame in hand.
    if (HasPictureBitmap() && !paintDirect) {
        PlaceBitmap(canvas, rect);
        return;
    }

    const std::shared_ptr<std::recursive_mutex> paintersLock = m_paintersLock;
    std::unique_lock lock(*paintersLock);
    // A surface that went away may have left its address to this one: only
    // a painter whose own surface lives is drawing here.
    if (m_currentPainter && &m_currentPainter->Surface() == &canvas && m_currentPainter->SurfaceAlive() &&
        m_currentPainter->Rect() == rect)
        return; // that painter goes on
    StopCurrentPainter();

    TCanvas* target = &canvas;
    TRect targetRect = rect;
    if (!paintDirect) {
        TBitmap& bitmap = NewAnimationBitmap();
        target = &bitmap.Canvas();
        targetRect = Bounds(0, 0, bitmap.Width(), bitmap.Height());
        // The frames' transparent parts show what the surface showed.
        target->CopyMode = SRCCOPY;
        target->CopyRect(targetRect, canvas, rect);
    }
    StartPainter(&m_currentPainter, *target, targetRect, PaintOptions);
    if (alive.expired() || !m_currentPainter)
        return;
    try {
        m_currentPainter->BeginRun();
    } catch (const std::system_error&) {
        // No thread for the animation now (the painter is gone with its
        // failed start): the first frame shows as a still picture's would,
        // and the next paint tries the animation again.
        FreePictureBitmap();
        Frames()[0].DrawFrame(canvas, rect, transparent, tile);
        return;
    }
    if (paintDirect)
        return;
    // The painter's first steps run here, event handlers among them; one
    // may destroy this picture.
    WaitForFirstFrame(alive);
    if (!alive.expired() && HasPictureBitmap())
        PlaceBitmap(canvas, rect);
}

void TGIFImage::WaitForFirstFrame(const std::weak_ptr<int>& alive)
{
    for (;;) {
        if (alive.expired())
            return;
        {
            std::lock_guard lock(*m_paintersLock);
            if (!m_currentPainter || m_currentPainter->Stopping() || m_currentPainter->FirstFrameShown())
                return;
        }
        ServeWindowThread();
    }
}

void TGIFImage::PlaceBitmap(TCanvas& canvas, const TRect& rect)
{
    TBitmap* bitmap = PictureBitmap();
    if (!bitmap)
        return;
    if (!PaintOptions.Contains(GifPaintOption::Tile)) {
        canvas.StretchDraw(rect, *bitmap);
        return;
    }
    const int width = Width(), height = Height();
    if (width <= 0 || height <= 0)
        return;
    // Tiles at the natural size from the top-left corner; the last column
    // and row reach past the rectangle.
    for (int x = rect.Left; x < rect.Right; x += width)
        for (int y = rect.Top; y < rect.Bottom; y += height)
            canvas.StretchDraw(Bounds(x, y, width, height), *bitmap);
}

TGIFPainter* TGIFImage::StartPainter(TGIFPainter** ownerSlot, TCanvas& surface, const TRect& rect,
                                     GifPaintOptions options)
{
    if (Empty() || rect.IsEmpty()) {
        if (ownerSlot)
            *ownerSlot = nullptr;
        return nullptr;
    }
    if (Frames().Count() == 1)
        options = options.Without(GifPaintOption::Threaded).Without(GifPaintOption::Animate);

    auto* painter = new TGIFPainter(ownerSlot, *this, surface, rect, options);
    {
        std::lock_guard lock(*m_paintersLock);
        ActivePainters.push_back(painter);
    }
    painter->OnAnimationStart = OnAnimationStart;
    painter->OnBeforeFrame = OnBeforeFrame;
    painter->OnAfterFrame = OnAfterFrame;
    painter->OnAnimationLoop = OnAnimationLoop;
    painter->OnAnimationEnd = OnAnimationEnd;

    if (options.Contains(GifPaintOption::Threaded)) {
        painter->SetPriority(PainterPriority);
        return painter; // runs from BeginRun on
    }

    // The whole animation runs here, on the calling thread; the painter goes
    // with its end. The picture may not outlive it (a pumped message may
    // destroy it), so nothing of it is touched afterwards unless it lives.
    const std::weak_ptr<int> alive = m_lifeToken;
    {
        std::unique_ptr<TGIFPainter> owned(painter);
        owned->Run();
    }
    if (!alive.expired() && ownerSlot)
        *ownerSlot = nullptr;
    return nullptr;
}

void TGIFImage::StopCurrentPainter()
{
    for (;;) {
        {
            std::unique_lock lock(*m_paintersLock);
            if (!m_currentPainter)
                break;
            // A painter without a thread, or one whose step is what stops it,
            // runs further up this thread's stack and ends when it returns
            // there: waiting for it would never end. One that never started
            // and cannot may be gone once asked to stop.
            const bool waitable = m_currentPainter->Threaded() && !m_currentPainter->InWindowStep();
            m_currentPainter->RequestStop();
            if (!waitable)
                break;
        }
        ServeWindowThread();
    }
    FreePictureBitmap();
}

void TGIFImage::StopAllPainters()
{
    try {
        for (;;) {
            std::size_t threaded = 0;
            {
                std::unique_lock lock(*m_paintersLock);
                if (ActivePainters.empty())
                    break;
                // A painter that never started and cannot leaves the list
                // when asked to stop: walk a copy.
                const std::vector<TGIFPainter*> painters(ActivePainters.rbegin(), ActivePainters.rend());
                for (TGIFPainter* painter : painters) {
                    if (painter->Threaded() && !painter->InWindowStep())
                        ++threaded;
                    painter->RequestStop();
                }
            }
            // Painters without a thread, and threaded ones whose window step
            // is under way, run further up this thread's stack and end when
            // it returns to them.
            if (threaded == 0)
                break;
            ServeWindowThread();
        }
    } catch (...) {
        FreePictureBitmap();
        throw;
    }
    FreePictureBitmap();
}

void TGIFImage::StopAndDetachPainters()
{
    StopAllPainters();
    std::lock_guard lock(*m_paintersLock);
    for (TGIFPainter* painter : ActivePainters)
        painter->Detach();
    ActivePainters.clear();
    m_currentPainter = nullptr;
}

} // namespace orvex
