// Frame bitmaps, transparency masks, palettes, the DIB writer and frame
// geometry, checked pixel by pixel on small hand-made pictures.
#include "DIBWriter.h"
#include "GIFExtensions.h"
#include "GIFImage.h"
#include "GIFOptions.h"
#include "GifLoad.h"
#include "GifWriter.h"
#include "Streams.h"

#include <gtest/gtest.h>

using namespace orvex;
using namespace giftest;

namespace {

const std::vector<Rgb> kColors = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

// One frame filling a picture of its own size, coloured from kColors (or
// the given global table), see-through at transparentIndex when >= 0.
template <class F>
std::unique_ptr<TGIFImage> OneFrame(int width, int height, F pixel, int transparentIndex = -1,
                                    const std::vector<Rgb>& globalColors = kColors)
{
    GifWriter w;
    w.Header(width, height, globalColors);
    if (transparentIndex >= 0)
        w.GraphicControl(0, 0, transparentIndex);
    w.Frame(MakeFrame(width, height, pixel)).Trailer();
    return LoadPicture(w.Data());
}

struct ProgressRecord {
    TProgressStage Stage;
    int Percent;
    bool Redraw;
    QString Message;
};

// Restores the process-wide dither flag that a test changes.
class AutoDitherGuard {
public:
    explicit AutoDitherGuard(bool value) : m_saved(AutoDitherActive.load()) { AutoDitherActive = value; }
    ~AutoDitherGuard() { AutoDitherActive = m_saved; }

private:
    bool m_saved;
};

} // namespace

TEST(FrameBitmap, CopiesTheIndicesUnderAColourTableOfThePalette)
{
    // Index 5 lies past the four colours of the table.
    auto image = OneFrame(3, 2, [](int x, int y) { return y == 1 && x == 2 ? 5 : x + y; });
    TGIFSubImage& frame = image->Frames()[0];
    TBitmap* bitmap = frame.FrameBitmap();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(bitmap->Image().colorCount(), 256);
    EXPECT_EQ(bitmap->Image().pixelIndex(1, 1), 2);
    EXPECT_EQ(bitmap->PixelColor(0, 0), clRed);
    EXPECT_EQ(bitmap->PixelColor(1, 0), clLime);
    EXPECT_EQ(bitmap->PixelColor(1, 1), clBlue);
    EXPECT_EQ(bitmap->Image().pixelIndex(2, 1), 5);
    EXPECT_EQ(bitmap->PixelColor(2, 1), clBlack);
    // Built once: the same bitmap comes back.
    EXPECT_EQ(frame.FrameBitmap(), bitmap);
    // Drawn onto the screen, the index past the table is black too.
    TBitmap screen(3, 2);
    frame.DrawFrame(screen.Canvas(), Bounds(0, 0, 3, 2), /*transparent=*/false, /*tile=*/false);
    EXPECT_EQ(screen.PixelColor(2, 1), clBlack);
    EXPECT_EQ(screen.PixelColor(2, 0), clBlue);
}

TEST(FrameBitmap, ReportsRenderingEvery32RowsAndNotForAnEmptyFrame)
{
    auto image = OneFrame(2, 40, [](int, int y) { return y % 4; });
    std::vector<ProgressRecord> reports;
    image->OnProgress = [&](TGraphic&, TProgressStage stage, int percent, bool redraw, const TRect&,
                            const QString& message) { reports.push_back({stage, percent, redraw, message}); };
    ASSERT_NE(image->Frames()[0].FrameBitmap(), nullptr);
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[0].Stage, TProgressStage::psStarting);
    EXPECT_EQ(reports[1].Stage, TProgressStage::psRunning);
    EXPECT_EQ(reports[1].Percent, 0);
    EXPECT_EQ(reports[2].Percent, 80); // row 32 of 40
    EXPECT_EQ(reports[3].Stage, TProgressStage::psEnding);
    EXPECT_EQ(reports[3].Percent, 100);
    EXPECT_FALSE(reports[3].Redraw);
    for (const ProgressRecord& r : reports)
        EXPECT_EQ(r.Message, QStringLiteral("Rendering..."));
    reports.clear();
    image->Frames()[0].FrameBitmap();
    EXPECT_TRUE(reports.empty());

    TGIFImage empty;
    empty.Frames().Add(std::make_unique<TGIFSubImage>(&empty));
    empty.OnProgress = image->OnProgress;
    EXPECT_EQ(empty.Frames()[0].FrameBitmap(), nullptr);
    EXPECT_TRUE(reports.empty());
}

TEST(FrameBitmap, AnAbortedBuildIsSwallowedAndStillMakesTheMaskNextTime)
{
    auto image = OneFrame(4, 4, [](int x, int) { return x == 0 ? 3 : 1; }, /*transparentIndex=*/3);
    TGIFSubImage& frame = image->Frames()[0];
    std::vector<TProgressStage> stages;
    bool abort = true;
    image->OnProgress = [&](TGraphic&, TProgressStage stage, int percent, bool, const TRect&, const QString&) {
        stages.push_back(stage);
        if (stage == TProgressStage::psEnding) {
            EXPECT_EQ(percent, abort ? 0 : 100);
        }
        if (abort && stage == TProgressStage::psRunning)
            throw EAbort();
    };
    EXPECT_EQ(frame.FrameBitmap(), nullptr);
    EXPECT_EQ(stages.back(), TProgressStage::psEnding);
    EXPECT_TRUE(frame.MaskNeeded());
    abort = false;
    EXPECT_TRUE(frame.HasMask());
    EXPECT_NE(frame.FrameBitmap(), nullptr);
}

TEST(FrameBitmap, OtherFailuresPropagateAfterTheEndingReport)
{
    auto image = OneFrame(2, 2, [](int, int) { return 0; });
    std::vector<int> endings;
    image->OnProgress = [&](TGraphic&, TProgressStage stage, int percent, bool, const TRect&, const QString&) {
        if (stage == TProgressStage::psEnding)
            endings.push_back(percent);
        if (stage == TProgressStage::psRunning)
            throw EInvalidOperation(QStringLiteral("listener failed"));
    };
    EXPECT_THROW(image->Frames()[0].FrameBitmap(), EInvalidOperation);
    EXPECT_EQ(endings, std::vector<int>{0});
    image->OnProgress = nullptr;
    EXPECT_NE(image->Frames()[0].FrameBitmap(), nullptr);
}

TEST(FrameBitmap, LargeFramesStartAtOneBitPerPixel)
{
    EXPECT_EQ(TGIFSubImage::NewFrameBitmap(1000, 500)->PixelFormat(), TPixelFormat::pfDevice); // exactly 500000
    EXPECT_EQ(TGIFSubImage::NewFrameBitmap(500001, 1)->PixelFormat(), TPixelFormat::pf1bit);
    // The finished bitmap is the 8-bit palette bitmap all the same.
    auto image = OneFrame(1000, 501, [](int x, int y) { return (x + y) % 4; });
    TBitmap* bitmap = image->Frames()[0].FrameBitmap();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(bitmap->PixelColor(999, 500), clWhite); // index (999 + 500) % 4 = 3
    EXPECT_EQ(bitmap->PixelColor(998, 500), clBlue);
}

TEST(TransparencyMask, MarksTheTransparentIndexWithOneBitsLeftmostPixelHighest)
{
    // 17 pixels wide: pixel 16 is the top bit of each row's third byte.
    auto image = OneFrame(17, 2, [](int x, int y) { return (y == 0 && x == 16) || (y == 1 && x == 0) ? 2 : 1; },
                          /*transparentIndex=*/2);
    TGIFSubImage& frame = image->Frames()[0];
    ASSERT_TRUE(frame.HasMask());
    const TBitmap* mask = frame.TransparencyMask();
    ASSERT_NE(mask, nullptr);
    EXPECT_TRUE(mask->Monochrome());
    EXPECT_EQ(mask->Width(), 17);
    EXPECT_EQ(mask->ScanLine(0)[0], 0x00);
    EXPECT_EQ(mask->ScanLine(0)[1], 0x00);
    EXPECT_EQ(mask->ScanLine(0)[2] & 0x80, 0x80);
    EXPECT_EQ(mask->ScanLine(1)[0] & 0x80, 0x80);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 17; ++x)
            EXPECT_EQ(mask->Image().pixelIndex(x, y), (y == 0 && x == 16) || (y == 1 && x == 0) ? 1 : 0)
                << x << ", " << y;
    EXPECT_FALSE(frame.MaskNeeded());
}

TEST(TransparencyMask, IsLeftOutWhenNoPixelUsesTheTransparentIndex)
{
    auto image = OneFrame(3, 3, [](int x, int) { return x; }, /*transparentIndex=*/3);
    TGIFSubImage& frame = image->Frames()[0];
    EXPECT_TRUE(frame.Transparent);
    EXPECT_FALSE(frame.HasMask());
    EXPECT_FALSE(frame.MaskNeeded());
    // ... and the frame draws opaque even when asked to draw see-through.
    TBitmap screen(3, 3);
    frame.DrawFrame(screen.Canvas(), Bounds(0, 0, 3, 3), /*transparent=*/true, /*tile=*/false);
    EXPECT_EQ(screen.PixelColor(0, 1), clRed);
    EXPECT_EQ(screen.PixelColor(2, 2), clBlue);
}

TEST(TransparencyMask, SurvivesABitmapRebuildAndIsRemadeOnlyWhenFreed)
{
    auto image = OneFrame(4, 1, [](int x, int) { return x; }, /*transparentIndex=*/0);
    TGIFSubImage& frame = image->Frames()[0];
    ASSERT_TRUE(frame.HasMask());
    const TBitmap* mask = frame.TransparencyMask();
    frame.FreeBitmap();
    ASSERT_NE(frame.FrameBitmap(), nullptr);
    EXPECT_EQ(frame.TransparencyMask(), mask); // not rebuilt
    frame.FreeMask();
    EXPECT_TRUE(frame.MaskNeeded());
    EXPECT_EQ(frame.TransparencyMask(), nullptr);
    EXPECT_TRUE(frame.HasMask()); // bitmap and mask made again
    EXPECT_EQ(frame.TransparencyMask()->Image().pixelIndex(0, 0), 1);
}

TEST(FramePalette, TakesTheFirstSourceThatHasColours)
{
    GifWriter w;
    FrameSpec local = MakeFrame(2, 1, [](int x, int) { return x; });
    local.LocalColors = {{1, 2, 3}, {4, 5, 6}};
    w.Header(2, 1, kColors).Frame(local).Frame(MakeFrame(2, 1, [](int x, int) { return x; })).Trailer();
    auto image = LoadPicture(w.Data());
    TGIFSubImage& withLocal = image->Frames()[0];
    TGIFSubImage& withoutLocal = image->Frames()[1];

    const TPalettePtr exported = withLocal.FramePalette();
    ASSERT_TRUE(exported);
    EXPECT_EQ(exported->Version, 0x300);
    EXPECT_EQ(exported->Entries, (std::vector<QRgb>{qRgb(1, 2, 3), qRgb(4, 5, 6)}));
    EXPECT_EQ(exported->Flags, (std::vector<std::uint8_t>{PC_NOCOLLAPSE, PC_NOCOLLAPSE}));
    EXPECT_EQ(withLocal.FramePalette(), exported); // cached

    // Without a local table the frame uses the picture's palette.
    const TPalettePtr global = withoutLocal.FramePalette();
    EXPECT_EQ(global, image->PicturePalette());
    EXPECT_EQ(global->Entries.size(), 4u);

    // Once built, the bitmap's own palette is the frame's.
    TBitmap* bitmap = withLocal.FrameBitmap();
    EXPECT_EQ(withLocal.FramePalette(), bitmap->Palette());
    EXPECT_EQ(bitmap->PixelColor(1, 0), RGB(4, 5, 6));
}

TEST(FramePalette, DitheringGivesTheColourCubeEverywhere)
{
    AutoDitherGuard palette(true);
    auto image = OneFrame(2, 1, [](int x, int) { return x; });
    ASSERT_TRUE(image->ShouldDither()); // the default options dither on a palette display
    const TPalettePtr cube = image->PicturePalette();
    ASSERT_EQ(cube->Entries.size(), 216u);
    EXPECT_EQ(cube->Entries[36 * 1 + 6 * 2 + 3], qRgb(51, 102, 153));
    EXPECT_EQ(cube->Entries[215], qRgb(255, 255, 255));
    EXPECT_EQ(image->Frames()[0].FramePalette()->Entries, cube->Entries);
    // The frame is dithered: pure red is cube entry 180.
    TBitmap* bitmap = image->Frames()[0].FrameBitmap();
    EXPECT_EQ(bitmap->Image().pixelIndex(0, 0), 180);
    EXPECT_EQ(bitmap->PixelColor(1, 0), clLime);
}

TEST(FramePalette, WithoutAnyColourTableTheLookupRaisesAndRecovers)
{
    auto image = OneFrame(2, 1, [](int x, int) { return x; }, -1, /*globalColors=*/{});
    TGIFSubImage& frame = image->Frames()[0];
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            frame.FramePalette();
            FAIL() << "no palette anywhere";
        } catch (const GIFException& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("No global or local color table defined"));
        }
    }
    EXPECT_THROW(frame.FrameBitmap(), GIFException);
    EXPECT_THROW(image->PicturePalette(), GIFException);
}

TEST(FramePalette, ReplacingItDropsABitmapOfAnotherPaletteAndTellsThePicture)
{
    auto image = OneFrame(2, 1, [](int x, int) { return x; });
    TGIFSubImage& frame = image->Frames()[0];
    int changes = 0;
    image->OnChange = [&](TGraphic&) { ++changes; };
    ASSERT_NE(frame.FrameBitmap(), nullptr);
    frame.SetFramePalette(frame.FrameBitmap()->Palette()); // the bitmap's own: kept
    EXPECT_NE(frame.FrameBitmap(), nullptr);
    EXPECT_EQ(changes, 0);
    image->PaletteModified = false;

    auto other = std::make_shared<TPalette>();
    other->Entries = {qRgb(9, 9, 9), qRgb(8, 8, 8)};
    frame.SetFramePalette(other);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(image->PaletteModified);
    EXPECT_EQ(frame.FramePalette(), other);
    frame.SetFramePalette(other); // the same again: nothing
    EXPECT_EQ(changes, 1);
    // The rebuilt bitmap is coloured by the new palette; the ending report asks for a redraw.
    bool redraw = false;
    image->OnProgress = [&](TGraphic&, TProgressStage stage, int, bool redrawNow, const TRect&, const QString&) {
        if (stage == TProgressStage::psEnding)
            redraw = redrawNow;
    };
    EXPECT_EQ(frame.FrameBitmap()->PixelColor(1, 0), RGB(8, 8, 8));
    EXPECT_TRUE(redraw);
}

TEST(DIBWriter, RefusesOtherDepthsAndSizesAndChecksItsRows)
{
    TBitmap bitmap;
    auto message = [&](auto&& make) -> QString {
        try {
            make();
        } catch (const Exception& e) {
            return e.Message();
        }
        return {};
    };
    EXPECT_EQ(message([&] { TDIBWriter w(bitmap, TPixelFormat::pf1bit, 2, 2, {}); }), "Unsupported PixelFormat");
    EXPECT_EQ(message([&] { TDIBWriter w(bitmap, TPixelFormat::pf32bit, 2, 2, {}); }), "Unsupported PixelFormat");
    EXPECT_EQ(message([&] { TDIBWriter w(bitmap, TPixelFormat::pf8bit, 0, 2, {}); }), "Invalid image dimensions");
    EXPECT_EQ(message([&] { TDIBWriter w(bitmap, TPixelFormat::pf8bit, 2, 0, {}); }), "Invalid image dimensions");

    TDIBWriter writer(bitmap, TPixelFormat::pf8bit, 3, 2, {});
    EXPECT_THROW(writer.ScanLine(2), EInvalidGraphicOperation);
    EXPECT_EQ(message([&] { writer.ScanLine(-1); }), "Scan line index out of range");
    writer.ScanLine(1)[2] = 7;
    writer.Finish();
    EXPECT_EQ(bitmap.Image().pixelIndex(2, 1), 7);
    EXPECT_EQ(bitmap.PixelColor(2, 1), clBlack); // no palette: every entry black
    EXPECT_EQ(message([&] { writer.ScanLine(0); }), "Image has no DIB");
}

TEST(DIBWriter, WritesTrueColourRowsAsBlueGreenRed)
{
    TBitmap bitmap;
    TDIBWriter writer(bitmap, TPixelFormat::pf24bit, 2, 1, {});
    std::uint8_t* row = writer.ScanLine(0);
    row[0] = 0x30; // blue
    row[1] = 0x20; // green
    row[2] = 0x10; // red
    writer.Finish();
    EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(bitmap.PixelColor(1, 0), clBlack);
    EXPECT_EQ(TDIBWriter::RowSize(17, 8), 20);
    EXPECT_EQ(TDIBWriter::RowSize(2, 24), 8);
}

TEST(FramePixels, ScanLinesAndPixelsAreCheckedAgainstTheFrame)
{
    auto image = OneFrame(3, 2, [](int x, int y) { return x + y; });
    TGIFSubImage& frame = image->Frames()[0];
    EXPECT_EQ(frame.ScanLine(1)[2], 3);
    frame.PixelAt(0, 1) = 2;
    EXPECT_EQ(frame.Pixels()[3], 2);
    auto message = [&](auto&& access) -> QString {
        try {
            access();
        } catch (const GIFException& e) {
            return e.Message();
        }
        return {};
    };
    EXPECT_EQ(message([&] { frame.ScanLine(-1); }), "Invalid pixel coordinates");
    EXPECT_EQ(message([&] { frame.ScanLine(2); }), "Invalid pixel coordinates");
    EXPECT_EQ(message([&] { frame.PixelAt(3, 0); }), "Invalid pixel coordinates");
    EXPECT_EQ(message([&] { frame.PixelAt(0, 2); }), "Invalid pixel coordinates");
    // A frame with rows but no columns has no pixels to give.
    frame.SetBounds(0, 0, 0, 2);
    EXPECT_EQ(message([&] { frame.ScanLine(0); }), "Image is empty");
}

TEST(FrameBounds, ANewSizeBringsZeroPixelsAndThePictureGrowsWithWarnings)
{
    auto image = OneFrame(4, 4, [](int, int) { return 1; }, /*transparentIndex=*/1);
    TGIFSubImage& frame = image->Frames()[0];
    ASSERT_TRUE(frame.HasMask());
    std::vector<QString> warnings;
    image->WarningHandler = [&](TPersistent&, std::uint8_t severity, const QString& message) {
        EXPECT_EQ(severity, 1);
        warnings.push_back(message);
    };
    int changes = 0;
    image->OnChange = [&](TGraphic&) { ++changes; };

    frame.SetBounds(1, 1, 3, 3); // smaller, and still inside the picture
    EXPECT_EQ(frame.PixelCount(), 9);
    EXPECT_EQ(frame.Pixels()[0], 0);
    EXPECT_EQ(frame.TransparencyMask(), nullptr);
    EXPECT_TRUE(frame.MaskNeeded());
    EXPECT_TRUE(warnings.empty());

    frame.SetBounds(2, 1, 3, 5); // 5 wide, 6 high
    EXPECT_EQ(image->Width(), 5);
    EXPECT_EQ(image->Height(), 6);
    EXPECT_EQ(warnings, (std::vector<QString>{"Image width too small for contained frames",
                                              "Image height too small for contained frames",
                                              "Image exceeds Logical Screen size"}));
    EXPECT_EQ(changes, 2);

    // A picture of no size grows silently.
    TGIFImage fresh;
    fresh.WarningHandler = image->WarningHandler;
    warnings.clear();
    fresh.Frames().Add(std::make_unique<TGIFSubImage>(&fresh));
    fresh.Frames()[0].SetBounds(0, 0, 7, 2);
    EXPECT_EQ(fresh.Width(), 7);
    EXPECT_EQ(fresh.Height(), 2);
    EXPECT_TRUE(warnings.empty());
}

TEST(PictureSize, RefusesToCutFramesAndTellsOfRealChanges)
{
    GifWriter w;
    FrameSpec frame = MakeFrame(4, 3, [](int, int) { return 0; });
    frame.Left = 2;
    frame.Top = 1;
    w.Header(10, 10, kColors).Frame(frame).Trailer();
    auto image = LoadPicture(w.Data());
    int changes = 0;
    image->OnChange = [&](TGraphic&) { ++changes; };
    try {
        image->SetWidth(5);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_EQ(e.Message(), "Image width too small for contained frames");
    }
    try {
        image->SetHeight(3);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_EQ(e.Message(), "Image height too small for contained frames");
    }
    EXPECT_EQ(image->Width(), 10);
    image->SetWidth(10);
    EXPECT_EQ(changes, 0);
    ASSERT_NE(image->PictureBitmap(), nullptr);
    changes = 0;
    image->SetWidth(6);
    image->SetHeight(4);
    EXPECT_EQ(image->Width(), 6);
    EXPECT_EQ(image->Height(), 4);
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(image->HasPictureBitmap()); // made again at the new size
    EXPECT_EQ(image->PictureBitmap()->Width(), 6);
}
