// Drawing frames: scaled to their place, stretched, tiled, opaque or through
// the mask by either masked-blit path; and the picture's composed bitmap.
#include "GIFImage.h"
#include "GIFMaskedBlit.h"
#include "GifLoad.h"
#include "GifWriter.h"
#include "Streams.h"

#include <gtest/gtest.h>

using namespace orvex;
using namespace giftest;

namespace {

const std::vector<Rgb> kColors = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

// A picture of pictureWidth x pictureHeight with one frame at (left, top).
template <class F>
std::unique_ptr<TGIFImage> Picture(int pictureWidth, int pictureHeight, int left, int top, int width, int height,
                                   F pixel, int transparentIndex = -1)
{
    GifWriter w;
    w.Header(pictureWidth, pictureHeight, kColors);
    if (transparentIndex >= 0)
        w.GraphicControl(0, 0, transparentIndex);
    FrameSpec frame = MakeFrame(width, height, pixel);
    frame.Left = left;
    frame.Top = top;
    w.Frame(frame).Trailer();
    return LoadPicture(w.Data());
}

// A screen whose every pixel differs, so that a kept pixel is told from a drawn one.
TBitmap Backdrop(int width, int height)
{
    TBitmap screen(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            screen.Canvas().SetPixel(x, y, RGB(x * 3, y * 3, 77));
    return screen;
}

TColor ColorOf(int index)
{
    const Rgb& c = kColors[static_cast<std::size_t>(index)];
    return RGB(c.R, c.G, c.B);
}

} // namespace

TEST(DrawFrame, PlacesTheFrameAtItsScaledShareOfTheRectangle)
{
    auto image = Picture(100, 100, 10, 10, 20, 20, [](int, int) { return 0; });
    TGIFSubImage& frame = image->Frames()[0];
    EXPECT_EQ(frame.ScaleFrameRect(Rect(0, 0, 55, 55)), Rect(6, 6, 17, 17));
    EXPECT_EQ(frame.ScaleFrameRect(Rect(100, 200, 155, 255)), Rect(106, 206, 117, 217));
    TBitmap screen(55, 55);
    frame.DrawFrame(screen.Canvas(), Rect(0, 0, 55, 55), /*transparent=*/true, /*tile=*/false);
    EXPECT_EQ(screen.PixelColor(6, 6), clRed);
    EXPECT_EQ(screen.PixelColor(16, 16), clRed);
    EXPECT_EQ(screen.PixelColor(5, 6), clWhite);
    EXPECT_EQ(screen.PixelColor(6, 5), clWhite);
    EXPECT_EQ(screen.PixelColor(17, 16), clWhite);
    EXPECT_EQ(screen.PixelColor(16, 17), clWhite);
}

TEST(DrawFrame, TilesRepeatAtThePictureSizeAndReachPastTheRectangle)
{
    // Red at the tile's corner, see-through at (1, 0), lime elsewhere.
    auto image = Picture(20, 20, 0, 0, 20, 20, [](int x, int y) { return x == 0 && y == 0 ? 0 : x == 1 && y == 0 ? 3 : 1; },
                         /*transparentIndex=*/3);
    TGIFSubImage& frame = image->Frames()[0];
    for (bool transparent : {false, true}) {
        TBitmap screen = Backdrop(60, 60);
        frame.DrawFrame(screen.Canvas(), Rect(0, 0, 55, 55), transparent, /*tile=*/true);
        int corners = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 60; ++x)
                corners += screen.PixelColor(x, y) == clRed;
        EXPECT_EQ(corners, 9) << "transparent " << transparent;
        for (int x : {0, 20, 40})
            for (int y : {0, 20, 40}) {
                EXPECT_EQ(screen.PixelColor(x, y), clRed) << x << ", " << y;
                EXPECT_EQ(screen.PixelColor(x + 1, y), transparent ? RGB((x + 1) * 3, y * 3, 77) : clWhite);
            }
        EXPECT_EQ(screen.PixelColor(59, 59), clLime); // the outer tiles are not clipped
    }
}

TEST(MaskedDrawing, BothBlitPathsGiveTheSamePixelsWithoutScaling)
{
    auto image = Picture(8, 6, 0, 0, 8, 6, [](int x, int y) { return (x * 7 + y * 3) % 4; }, /*transparentIndex=*/2);
    TGIFSubImage& frame = image->Frames()[0];
    TBitmap direct = Backdrop(10, 8);
    TBitmap general = Backdrop(10, 8);
    frame.DrawFrame(direct.Canvas(), Bounds(1, 1, 8, 6), /*transparent=*/true, /*tile=*/false);
    frame.MaskedBlitPath = TMaskedBlitPath::General;
    frame.DrawFrame(general.Canvas(), Bounds(1, 1, 8, 6), /*transparent=*/true, /*tile=*/false);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            ASSERT_EQ(direct.PixelColor(x, y), general.PixelColor(x, y)) << x << ", " << y;
            const bool inside = x >= 1 && x < 9 && y >= 1 && y < 7;
            const int index = inside ? ((x - 1) * 7 + (y - 1) * 3) % 4 : -1;
            const TColor expected = !inside || index == 2 ? RGB(x * 3, y * 3, 77) : ColorOf(index);
            EXPECT_EQ(direct.PixelColor(x, y), expected) << x << ", " << y;
        }
}

TEST(MaskedDrawing, TheStretchedWindowCaseKeepsTheBackgroundAndTheCanvasColours)
{
    // 64 x 64 drawn into 55 x 55: a see-through square in the middle.
    auto image = Picture(64, 64, 0, 0, 64, 64,
                         [](int x, int y) { return x >= 16 && x < 48 && y >= 16 && y < 48 ? 3 : (x / 8 + y / 8) % 3; },
                         /*transparentIndex=*/3);
    TGIFSubImage& frame = image->Frames()[0];
    TBitmap screen = Backdrop(55, 55);
    screen.Canvas().TextColor = clFuchsia;
    screen.Canvas().BkColor = clTeal;
    frame.DrawFrame(screen.Canvas(), Rect(0, 0, 55, 55), /*transparent=*/true, /*tile=*/false);
    EXPECT_EQ(screen.Canvas().TextColor, clFuchsia);
    EXPECT_EQ(screen.Canvas().BkColor, clTeal);
    for (int y = 0; y < 55; ++y)
        for (int x = 0; x < 55; ++x) {
            // Nearest pixel: destination d shows source d * 64 / 55.
            const int sx = x * 64 / 55, sy = y * 64 / 55;
            const bool seeThrough = sx >= 16 && sx < 48 && sy >= 16 && sy < 48;
            const TColor expected = seeThrough ? RGB(x * 3, y * 3, 77) : ColorOf((sx / 8 + sy / 8) % 3);
            ASSERT_EQ(screen.PixelColor(x, y), expected) << x << ", " << y;
        }
}

TEST(MaskedDrawing, TheGeneralPathRestoresTheDestinationColoursAlsoUnscaled)
{
    auto image = Picture(2, 1, 0, 0, 2, 1, [](int x, int) { return x == 0 ? 1 : 3; }, /*transparentIndex=*/3);
    TGIFSubImage& frame = image->Frames()[0];
    ASSERT_TRUE(frame.HasMask());
    TBitmap screen = Backdrop(2, 1);
    screen.Canvas().TextColor = clRed;
    screen.Canvas().BkColor = clNavy;
    MaskedStretchBlit(screen.Canvas(), 0, 0, 2, 1, *frame.FrameBitmap(), 0, 0, 2, 1, *frame.TransparencyMask(), 0, 0,
                      TMaskedBlitPath::General);
    EXPECT_EQ(screen.PixelColor(0, 0), clLime);
    EXPECT_EQ(screen.PixelColor(1, 0), RGB(3, 0, 77));
    EXPECT_EQ(screen.Canvas().TextColor, clRed);
    EXPECT_EQ(screen.Canvas().BkColor, clNavy);
}

TEST(PictureBitmap, IsACopyOfAFullSizeFirstFrame)
{
    auto image = Picture(3, 2, 0, 0, 3, 2, [](int x, int y) { return x + y; });
    EXPECT_FALSE(image->HasPictureBitmap());
    TBitmap* picture = image->PictureBitmap();
    ASSERT_NE(picture, nullptr);
    TBitmap* frame = image->Frames()[0].FrameBitmap();
    EXPECT_NE(picture, frame);
    EXPECT_EQ(picture->Palette(), frame->Palette());
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(picture->PixelColor(x, y), frame->PixelColor(x, y));
    EXPECT_EQ(image->PictureBitmap(), picture);
    // Drawing on it is a change of the picture.
    int changes = 0;
    image->OnChange = [&](TGraphic&) { ++changes; };
    picture->Canvas().SetPixel(0, 0, clBlack);
    EXPECT_GE(changes, 1);
    // A new palette for the picture drops its bitmap.
    image->SetPicturePalette(std::make_shared<TPalette>());
    EXPECT_FALSE(image->HasPictureBitmap());
    EXPECT_TRUE(image->PaletteModified);
}

TEST(PictureBitmap, DrawsASmallerFirstFrameOpaqueAtItsPlace)
{
    auto image = Picture(4, 4, 2, 1, 2, 2, [](int x, int) { return x == 0 ? 2 : 3; }, /*transparentIndex=*/3);
    TBitmap* picture = image->PictureBitmap();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->Width(), 4);
    EXPECT_EQ(picture->Height(), 4);
    EXPECT_EQ(picture->PixelColor(2, 1), clBlue);
    EXPECT_EQ(picture->PixelColor(3, 2), clWhite); // see-through index, drawn opaque
    EXPECT_EQ(picture->PixelColor(0, 0), clWhite); // outside the frame: the new bitmap's fill
    EXPECT_EQ(picture->Palette()->Entries.size(), 4u);

    TGIFImage empty;
    EXPECT_EQ(empty.PictureBitmap(), nullptr);
}
