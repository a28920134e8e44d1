// What handlers, options and failed thread starts may do to a picture and
// its painters without breaking either.
#include "AnimationSupport.h"
#include "GIFOptions.h"
#include "StdControls.h"

#include <QCoreApplication>
#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <new>
#include <set>

using namespace orvex;
using namespace animtest;

namespace {

constexpr GifPaintOptions kThreaded{GifPaintOption::Threaded, GifPaintOption::DrawTransparent,
                                    GifPaintOption::Animate, GifPaintOption::Loop};

// Two full-size frames, red then green, looping for ever.
Bytes RedThenGreen(int width, int height, int disposal = 1)
{
    GifWriter w;
    w.Header(width, height, Colors()).Loop(0);
    w.GraphicControl(disposal, 10).Frame(Solid(0, 0, width, height, kRed));
    w.GraphicControl(disposal, 10).Frame(Solid(0, 0, width, height, kGreen));
    return w.Trailer().Data();
}

// Storage for an object that the test destroys behind the code's back, and
// then spoils as a heap block reused at once would be: whoever still uses
// the object reads garbage, deterministically.
template <class T>
struct Spoilable {
    alignas(T) std::byte storage[sizeof(T)];
    template <class... Args>
    T* Make(Args&&... args)
    {
        return new (storage) T(std::forward<Args>(args)...);
    }
    void DestroyAndSpoil(T* object)
    {
        object->~T();
        std::memset(storage, 0xA5, sizeof storage);
    }
};

} // namespace

TEST(PictureLifetime, AHandlerMayDestroyItsPictureDuringTheFirstDraw)
{
    const int before = SettledPainterCount();
    TGIFPainterEvent TGIFImage::*const handlers[] = {&TGIFImage::OnAnimationStart, &TGIFImage::OnBeforeFrame,
                                                     &TGIFImage::OnAfterFrame};
    for (auto handler : handlers) {
        Spoilable<TGIFImage> place;
        TGIFImage* picture = place.Make();
        TMemoryStream stream(RedThenGreen(2, 2));
        picture->LoadFromStream(stream);
        bool destroyed = false;
        picture->*handler = [&](TGIFPainter&) {
            if (!destroyed) {
                destroyed = true;
                place.DestroyAndSpoil(picture);
            }
        };
        TBitmap surface(2, 2);
        picture->Draw(surface.Canvas(), Bounds(0, 0, 2, 2));
        ASSERT_TRUE(ServeUntil([&] { return destroyed; }));
        EXPECT_TRUE(ServeUntil([&] { return TGIFPainter::LivingPainters() == before; }));
    }
}

TEST(PictureLifetime, ADirectPainterInAnImageControlDrawsIntoWhatTheControlShows)
{
    const int before = SettledPainterCount();
    {
        TImage image;
        image.resize(55, 55);
        image.SetStretch(true);
        auto picture = LoadPicture(RedThenGreen(2, 2));
        picture->PaintOptions.Include(GifPaintOption::PaintDirect);
        picture->PainterClock = std::make_shared<FakeClock>();
        image.Picture().SetGraphic(std::move(picture));
        image.show();
        std::set<QRgb> shown;
        auto look = [&] { shown.insert(image.grab().toImage().pixel(27, 27) | 0xFF000000u); };
        for (int paint = 0; paint < 20; ++paint) {
            image.repaint();
            CheckSynchronize(10);
            look();
        }
        const QRgb red = ToQRgb(Shown(kRed)) | 0xFF000000u, green = ToQRgb(Shown(kGreen)) | 0xFF000000u;
        EXPECT_TRUE(ServeUntil([&] {
            look();
            return shown.count(red) && shown.count(green);
        })) << "the control never showed both frames";
    }
    EXPECT_TRUE(ServeUntil([&] { return TGIFPainter::LivingPainters() == before; }));
}

TEST(PictureLifetime, ASurfaceDeletedRightAfterADirectDrawIsNeverDrawnInto)
{
    // Plain frames, and frames whose disposal needs restore buffers.
    for (int disposal : {1, 2}) {
        SCOPED_TRACE(disposal);
        auto picture = LoadPicture(RedThenGreen(2, 2, disposal));
        picture->PaintOptions.Include(GifPaintOption::PaintDirect).Include(GifPaintOption::CheckSurface);
        int frames = 0, ends = 0;
        picture->OnAfterFrame = [&](TGIFPainter&) { ++frames; };
        picture->OnAnimationEnd = [&](TGIFPainter&) { ++ends; };
        Spoilable<TBitmap> place;
        TBitmap* surface = place.Make(2, 2);
        picture->Draw(surface->Canvas(), Bounds(0, 0, 2, 2));
        place.DestroyAndSpoil(surface);
        ASSERT_TRUE(ServeUntil([&] { return AllFinished(*picture); }));
        EXPECT_EQ(frames, 0);
        EXPECT_EQ(ends, 0);
        EXPECT_EQ(picture->CurrentPainter(), nullptr);
    }
}

TEST(PictureLifetime, APictureWhosePainterCannotStartIsDestroyedQuietly)
{
    const int before = SettledPainterCount();
    auto picture = LoadPicture(RedThenGreen(1, 1));
    TBitmap target(1, 1);
    TGIFPainter* slot = nullptr;
    ASSERT_NE(picture->StartPainter(&slot, target.Canvas(), Bounds(0, 0, 1, 1), kThreaded), nullptr);
    FailThreadStartsForTesting(1);
    picture.reset(); // its stop cannot start the painter's thread either
    FailThreadStartsForTesting(0);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(TGIFPainter::LivingPainters(), before);
}

TEST(PictureDrawing, AFailedThreadStartShowsTheFirstFrameAndTheNextPaintAnimates)
{
    auto picture = LoadPicture(RedThenGreen(2, 2));
    TBitmap surface(2, 2);
    surface.Canvas().FillRect(Bounds(0, 0, 2, 2));
    FailThreadStartsForTesting(1);
    EXPECT_NO_THROW(picture->Draw(surface.Canvas(), Bounds(0, 0, 2, 2)));
    FailThreadStartsForTesting(0);
    EXPECT_EQ(surface.PixelColor(1, 1), Shown(kRed));
    EXPECT_EQ(picture->CurrentPainter(), nullptr);

    surface.Canvas().FillRect(Bounds(0, 0, 2, 2));
    picture->Draw(surface.Canvas(), Bounds(0, 0, 2, 2));
    EXPECT_NE(picture->CurrentPainter(), nullptr);
    EXPECT_EQ(surface.PixelColor(1, 1), Shown(kRed));
    picture->StopAllPainters();
}

TEST(DitheredFrameBitmap, DitheringSwitchedOnAfterTheFramesPaletteWasCachedColoursByTheCube)
{
    GifWriter w;
    w.Header(2, 1);
    giftest::FrameSpec frame = Solid(0, 0, 2, 1, kRed);
    frame.LocalColors = Colors();
    auto picture = LoadPicture(w.Frame(frame).Trailer().Data());
    picture->PaintOptions = GifPaintOptions{GifPaintOption::Animate};
    TGIFSubImage& first = picture->Frames()[0];
    ASSERT_NE(first.FramePalette(), nullptr); // made from the frame's colours and kept
    picture->PaintOptions = GifPaintOptions{GifPaintOption::Dither};
    TBitmap* bitmap = first.FrameBitmap();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->PixelColor(0, 0), Shown(kRed)); // (255, 0, 0) is a cube colour
}

TEST(PainterDisposal, TiledRestoreToBackgroundClearsTheFramesOwnAreaInEveryTile)
{
    // A 2 x 1 picture whose second frame, 1 x 1 at (1, 0), goes back to the
    // background; tiled twice onto 4 x 1.
    GifWriter w;
    w.Header(2, 1, Colors());
    w.GraphicControl(1, 1).Frame(Solid(0, 0, 2, 1, kRed));
    w.GraphicControl(2, 1).Frame(Solid(1, 0, 1, 1, kGreen));
    auto picture = LoadPicture(w.Trailer().Data());
    picture->ClearColor = clBlack;
    picture->PainterClock = std::make_shared<FakeClock>();
    std::vector<TColor> composed;
    picture->OnAfterFrame = [&](TGIFPainter& painter) {
        if (painter.FrameIndex() == 1)
            for (int x = 0; x < 4; ++x)
                composed.push_back(painter.ComposeBuffer()->PixelColor(x, 0));
    };
    TBitmap target(4, 1);
    TGIFPainter* slot = nullptr;
    picture->StartPainter(&slot, target.Canvas(), Bounds(0, 0, 4, 1),
                          GifPaintOptions{GifPaintOption::Animate, GifPaintOption::Tile});
    const TColor r = Shown(kRed);
    EXPECT_EQ(composed, (std::vector<TColor>{r, clBlack, r, clBlack}));
}
