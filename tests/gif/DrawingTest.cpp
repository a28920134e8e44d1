#include "AnimationSupport.h"
#include "GIFOptions.h"
#include "GIFPainter.h"
#include "GIFUnit.h"
#include "Picture.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <thread>

using namespace orvex;
using namespace animtest;

namespace {

void Fill(TBitmap& bitmap, TColor color)
{
    bitmap.Canvas().Brush = TBrush{color, TBrushStyle::bsSolid};
    bitmap.Canvas().FillRect(Bounds(0, 0, bitmap.Width(), bitmap.Height()));
}

// A 2 x 2 animation: red then green, each with a delay; the red frame's
// bottom-right pixel is transparent (blue is its transparent index).
Bytes RedThenGreen(int delay, int loopCount = 0)
{
    GifWriter w;
    w.Header(2, 2, Colors());
    if (loopCount >= 0)
        w.Loop(loopCount);
    w.GraphicControl(1, delay, kBlue).Frame(giftest::MakeFrame(2, 2, [](int x, int y) {
        return x == 1 && y == 1 ? kBlue : kRed;
    }));
    w.GraphicControl(1, delay).Frame(Solid(0, 0, 2, 2, kGreen));
    return w.Trailer().Data();
}

int Painters(const TGIFImage& picture)
{
    std::lock_guard lock(picture.PaintersLock());
    return static_cast<int>(picture.ActivePainters.size());
}

} // namespace

TEST(PictureDrawing, AOneFramePictureIsDrawnStillAndStartsNoPainter)
{
    GifWriter w;
    w.Header(2, 2, Colors()).Frame(Solid(0, 0, 2, 2, kRed)).Trailer();
    auto picture = LoadPicture(w.Data());
    TBitmap surface(4, 4);
    for (int i = 0; i < 2; ++i) {
        Fill(surface, clWhite);
        picture->Draw(surface.Canvas(), Bounds(0, 0, 4, 4));
        EXPECT_EQ(surface.PixelColor(3, 3), Shown(kRed));
    }
    EXPECT_EQ(Painters(*picture), 0);
    EXPECT_EQ(picture->CurrentPainter(), nullptr);
    EXPECT_FALSE(picture->HasPictureBitmap());
}

TEST(PictureDrawing, TheFirstDrawStartsOnePainterAndReturnsShowingTheFirstFrame)
{
    auto picture = LoadPicture(RedThenGreen(500));
    TBitmap surface(4, 4);
    Fill(surface, clWhite);
    picture->Draw(surface.Canvas(), Bounds(0, 0, 4, 4));
    EXPECT_EQ(Painters(*picture), 1);
    ASSERT_NE(picture->CurrentPainter(), nullptr);
    EXPECT_TRUE(picture->CurrentPainter()->Threaded());
    EXPECT_EQ(surface.PixelColor(0, 0), Shown(kRed));

    // Later draws copy the picture's bitmap, onto any surface, and start nothing.
    TBitmap other(8, 6);
    Fill(other, clBlack);
    picture->Draw(other.Canvas(), Bounds(0, 0, 8, 6));
    EXPECT_EQ(other.PixelColor(0, 0), Shown(kRed));
    EXPECT_EQ(other.PixelColor(7, 5), clWhite); // the transparent pixel, as the first surface showed it
    EXPECT_EQ(Painters(*picture), 1);
    picture->StopAllPainters();
    EXPECT_EQ(Painters(*picture), 0);
}

TEST(PictureDrawing, TransparentPartsKeepShowingTheSurfaceOfTheFirstDraw)
{
    auto picture = LoadPicture(RedThenGreen(500));
    TBitmap surface(2, 2);
    Fill(surface, clYellow);
    picture->Draw(surface.Canvas(), Bounds(0, 0, 2, 2));
    EXPECT_EQ(surface.PixelColor(1, 1), clYellow);
    Fill(surface, clNavy);
    picture->Draw(surface.Canvas(), Bounds(0, 0, 2, 2));
    EXPECT_EQ(surface.PixelColor(1, 1), clYellow);
    EXPECT_EQ(surface.PixelColor(0, 0), Shown(kRed));
}

TEST(PictureDrawing, AFiniteAnimationKeepsShowingItsLastFrame)
{
    auto picture = LoadPicture(RedThenGreen(10, /*loopCount=*/-1));
    picture->PainterClock = std::make_shared<FakeClock>();
    TBitmap surface(2, 2);
    picture->Draw(surface.Canvas(), Bounds(0, 0, 2, 2));
    ASSERT_TRUE(ServeUntil([&] { return AllFinished(*picture); }));
    EXPECT_EQ(picture->CurrentPainter(), nullptr);
    Fill(surface, clWhite);
    picture->Draw(surface.Canvas(), Bounds(0, 0, 2, 2));
    EXPECT_EQ(surface.PixelColor(0, 0), Shown(kGreen));
    EXPECT_EQ(Painters(*picture), 0) << "a finished animation started again";
}

TEST(PictureDrawing, PaintingDirectKeepsThePainterForTheSamePlaceOnly)
{
    auto picture = LoadPicture(RedThenGreen(500));
    picture->PaintOptions.Include(GifPaintOption::PaintDirect);
    TBitmap surface(4, 4);
    picture->Draw(surface.Canvas(), Bounds(0, 0, 4, 4));
    TGIFPainter* first = picture->CurrentPainter();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(ServeUntil([&] { return first->FirstFrameShown(); }));
    EXPECT_EQ(surface.PixelColor(0, 0), Shown(kRed));
    picture->Draw(surface.Canvas(), Bounds(0, 0, 4, 4));
    EXPECT_EQ(picture->CurrentPainter(), first);
    EXPECT_EQ(Painters(*picture), 1);

    picture->Draw(surface.Canvas(), Bounds(0, 0, 2, 2));
    ASSERT_NE(picture->CurrentPainter(), nullptr);
    EXPECT_EQ(picture->CurrentPainter()->Rect(), Bounds(0, 0, 2, 2));
    EXPECT_EQ(Painters(*picture), 1) << "the first painter was not stopped and waited for";
    picture->StopAllPainters();
}

TEST(PictureDrawing, TiledPicturesRepeatAtTheirNaturalSizeFromTheCorner)
{
    // 40 x 25 frames marked blue at their top-left pixel.
    GifWriter w;
    w.Header(40, 25, Colors()).Loop(0);
    w.GraphicControl(1, 500).Frame(giftest::MakeFrame(40, 25, [](int x, int y) { return x == 0 && y == 0 ? kBlue : kRed; }));
    w.GraphicControl(1, 500).Frame(Solid(0, 0, 40, 25, kGreen));
    auto picture = LoadPicture(w.Trailer().Data());
    picture->PaintOptions.Include(GifPaintOption::Tile);
    TBitmap surface(100, 60);
    Fill(surface, clWhite);
    picture->Draw(surface.Canvas(), Bounds(0, 0, 100, 60));
    picture->Draw(surface.Canvas(), Bounds(0, 0, 100, 60)); // the copy, tiled
    int marks = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x)
            marks += surface.PixelColor(x, y) == Shown(kBlue);
    EXPECT_EQ(marks, 9);
    for (int x : {0, 40, 80})
        for (int y : {0, 25, 50})
            EXPECT_EQ(surface.PixelColor(x, y), Shown(kBlue)) << x << "," << y;
    // The last column and row reach past the rectangle, unclipped.
    EXPECT_EQ(surface.PixelColor(99, 59), Shown(kRed));
    picture->StopAllPainters();
}

TEST(PictureDrawing, TheDitherDecisionFollowsTheOptionsAndTheDisplay)
{
    TGIFImage picture;
    const bool saved = AutoDitherActive;
    for (bool paletteDisplay : {false, true}) {
        AutoDitherActive = paletteDisplay;
        picture.PaintOptions = GifPaintOptions{GifPaintOption::Animate};
        EXPECT_FALSE(picture.ShouldDither());
        picture.PaintOptions = GifPaintOptions{GifPaintOption::Dither};
        EXPECT_TRUE(picture.ShouldDither());
        picture.PaintOptions = GifPaintOptions{GifPaintOption::Dither, GifPaintOption::DitherOnPaletteDisplay};
        EXPECT_EQ(picture.ShouldDither(), paletteDisplay);
    }
    AutoDitherActive = saved;
}

TEST(PictureLifetime, DestroyingAPictureBetweenFramesStopsAndWaitsForItsPainter)
{
    const int before = SettledPainterCount();
    auto picture = LoadPicture(RedThenGreen(5000)); // a minute between frames
    TBitmap surface(2, 2);
    picture->Draw(surface.Canvas(), Bounds(0, 0, 2, 2));
    ASSERT_EQ(Painters(*picture), 1);
    QElapsedTimer timer;
    timer.start();
    picture.reset();
    // The stop woke the painter from its wait instead of waiting it out.
    EXPECT_LT(timer.elapsed(), 20000);
    // Its end notification, which needs this thread, ran before the picture
    // went: without serving this thread again, all that is left is the
    // painter's thread freeing it.
    QElapsedTimer gone;
    gone.start();
    while (TGIFPainter::LivingPainters() != before && gone.elapsed() < 10000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(TGIFPainter::LivingPainters(), before) << "a painter outlived its picture";
    // A painter that did outlive it must not run on into the next test.
    ServeUntil([&] { return TGIFPainter::LivingPainters() == before; });
}

TEST(PictureLifetime, LoadingAnotherFileStopsTheAnimationBeforeReadingIt)
{
    auto picture = LoadPicture(RedThenGreen(100));
    TBitmap surface(2, 2);
    picture->Draw(surface.Canvas(), Bounds(0, 0, 2, 2));
    ASSERT_NE(picture->CurrentPainter(), nullptr);
    GifWriter w;
    w.Header(2, 2, Colors()).Loop(0);
    w.GraphicControl(1, 100).Frame(Solid(0, 0, 2, 2, kYellow));
    w.GraphicControl(1, 100).Frame(Solid(0, 0, 2, 2, kGreen));
    TMemoryStream stream(w.Trailer().Data());
    picture->LoadFromStream(stream);
    EXPECT_EQ(Painters(*picture), 0);
    EXPECT_EQ(picture->CurrentPainter(), nullptr);
    EXPECT_FALSE(picture->HasPictureBitmap());
    picture->Draw(surface.Canvas(), Bounds(0, 0, 2, 2));
    EXPECT_EQ(surface.PixelColor(0, 0), Shown(kYellow));
    picture->StopAllPainters();
}

TEST(PictureLifetime, AnEmptyPictureOrRectangleStartsNothingAndClearsTheSlot)
{
    auto picture = LoadPicture(RedThenGreen(10));
    TBitmap surface(2, 2);
    TGIFPainter* slot = reinterpret_cast<TGIFPainter*>(&surface); // anything but none
    EXPECT_EQ(picture->StartPainter(&slot, surface.Canvas(), Rect(1, 1, 1, 2), picture->PaintOptions), nullptr);
    EXPECT_EQ(slot, nullptr);
    TGIFImage empty;
    slot = reinterpret_cast<TGIFPainter*>(&surface);
    EXPECT_EQ(empty.StartPainter(&slot, surface.Canvas(), Rect(0, 0, 2, 2), empty.PaintOptions), nullptr);
    EXPECT_EQ(slot, nullptr);
    Fill(surface, clWhite);
    empty.Draw(surface.Canvas(), Rect(0, 0, 2, 2));
    EXPECT_EQ(surface.PixelColor(0, 0), clWhite);
    EXPECT_EQ(Painters(*picture), 0);
}

TEST(PictureLifetime, APainterWithoutAThreadRunsInsideTheDrawWhichIsNotReentered)
{
    auto picture = LoadPicture(RedThenGreen(10, /*loopCount=*/-1));
    picture->PaintOptions.Exclude(GifPaintOption::Threaded);
    picture->PainterClock = std::make_shared<FakeClock>();
    TBitmap elsewhere(2, 2);
    Fill(elsewhere, clWhite);
    int frames = 0;
    picture->OnAfterFrame = [&](TGIFPainter&) {
        ++frames;
        picture->Draw(elsewhere.Canvas(), Bounds(0, 0, 2, 2)); // as a pumped paint message would
    };
    TBitmap surface(2, 2);
    picture->Draw(surface.Canvas(), Bounds(0, 0, 2, 2));
    EXPECT_EQ(frames, 2);
    EXPECT_EQ(elsewhere.PixelColor(0, 0), clWhite) << "the draw was re-entered";
    EXPECT_EQ(Painters(*picture), 0);
    picture->OnAfterFrame = nullptr;
    picture->Draw(elsewhere.Canvas(), Bounds(0, 0, 2, 2));
    EXPECT_EQ(elsewhere.PixelColor(0, 0), Shown(kGreen));
}

TEST(PictureLifetime, APictureDestroyedByAMessageItsOwnPainterPumpedIsLeftAlone)
{
    const int before = TGIFPainter::LivingPainters();
    auto picture = LoadPicture(RedThenGreen(10, /*loopCount=*/0));
    picture->PaintOptions.Exclude(GifPaintOption::Threaded);
    picture->PaintOptions.Include(GifPaintOption::LoopForever);
    picture->PainterClock = std::make_shared<FakeClock>();
    picture->OnAfterFrame = [&](TGIFPainter&) {
        QTimer::singleShot(0, [&] { picture.reset(); });
    };
    TBitmap surface(2, 2);
    TGIFImage* raw = picture.get();
    raw->Draw(surface.Canvas(), Bounds(0, 0, 2, 2));
    EXPECT_EQ(picture, nullptr);
    EXPECT_EQ(TGIFPainter::LivingPainters(), before);
}

TEST(GifUnit, StartRegistersTheFileAndClipboardFormatsAndEndRemovesThem)
{
    {
        TGIFUnit unit;
        const TGraphicFactory* factory = TPictureFormats::Instance().Find(QStringLiteral("GIF"));
        ASSERT_NE(factory, nullptr);
        EXPECT_NE(dynamic_cast<TGIFImage*>((*factory)().get()), nullptr);
        EXPECT_TRUE(TPictureFormats::Instance().Filters().contains(QStringLiteral("GIF Image (*.gif)")));
        EXPECT_NE(GifClipboardFormat, 0u);
        EXPECT_EQ(TPictureFormats::Instance().ClipboardFormat(QStringLiteral("TGIFImage")), GifClipboardFormat);
        // The offscreen test screen is a true-colour one: frames do not dither.
        EXPECT_FALSE(PaletteDisplay);
        EXPECT_EQ(AutoDitherActive, PaletteDisplay);
    }
    EXPECT_EQ(TPictureFormats::Instance().Find(QStringLiteral("gif")), nullptr);
    EXPECT_EQ(TPictureFormats::Instance().ClipboardFormat(QStringLiteral("TGIFImage")), 0u);
}
