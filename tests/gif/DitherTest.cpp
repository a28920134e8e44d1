#include "GIFDither.h"
#include "GIFImage.h"
#include "GIFOptions.h"
#include "GifWriter.h"
#include "Streams.h"

#include <gtest/gtest.h>

using namespace orvex;
using namespace giftest;

namespace {

struct Dithered {
    int Index;
    int Red, Green, Blue;
};

Dithered Grey(TDitherEngine& engine, int value)
{
    Dithered out{};
    out.Index = engine.Dither(value, value, value, out.Red, out.Green, out.Blue);
    return out;
}

int CubeIndex(int level) { return 36 * level + 6 * level + level; }

// A one-frame picture that always dithers, whatever the display.
std::unique_ptr<TGIFImage> DitheredPicture(int width, int height, const std::vector<Rgb>& colors,
                                           const std::vector<int>& indices, int transparentIndex = -1)
{
    GifWriter w;
    w.Header(width, height, colors);
    if (transparentIndex >= 0)
        w.GraphicControl(0, 0, transparentIndex);
    FrameSpec frame;
    frame.Width = width;
    frame.Height = height;
    frame.Indices.assign(indices.begin(), indices.end());
    w.Frame(frame).Trailer();
    TMemoryStream stream(w.Data());
    auto image = std::make_unique<TGIFImage>();
    image->PaintOptions = GifPaintOptions{GifPaintOption::Dither};
    image->LoadFromStream(stream);
    return image;
}

std::vector<int> Row(const TBitmap& bitmap, int y)
{
    std::vector<int> row;
    for (int x = 0; x < bitmap.Width(); ++x)
        row.push_back(bitmap.Image().pixelIndex(x, y));
    return row;
}

} // namespace

TEST(NetscapeColorLookup, LevelsSwitchThreeBelowEachMultipleOf51)
{
    const TNetscapeColorLookup lookup;
    EXPECT_EQ(lookup.Colors(), 216);
    int r = 0, g = 0, b = 0;
    EXPECT_EQ(lookup.Lookup(47, 0, 0, r, g, b), 0);
    EXPECT_EQ(lookup.Lookup(48, 0, 0, r, g, b), 36);
    EXPECT_EQ(r, 51);
    EXPECT_EQ(lookup.Lookup(0, 98, 0, r, g, b), 6);
    EXPECT_EQ(lookup.Lookup(0, 99, 0, r, g, b), 12);
    EXPECT_EQ(g, 102);
    EXPECT_EQ(lookup.Lookup(0, 0, 251, r, g, b), 4);
    EXPECT_EQ(lookup.Lookup(0, 0, 252, r, g, b), 5);
    EXPECT_EQ(b, 255);
    // Red counts 36, green 6, blue 1.
    EXPECT_EQ(lookup.Lookup(255, 150, 49, r, g, b), 36 * 5 + 6 * 3 + 1);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 153);
    EXPECT_EQ(b, 51);
}

TEST(FloydSteinberg, CubeColoursPassThroughWithNoErrorLeft)
{
    const TNetscapeColorLookup lookup;
    TFloydSteinbergDitherer ditherer(3, lookup);
    EXPECT_EQ(Grey(ditherer, 0).Index, 0);
    EXPECT_EQ(Grey(ditherer, 255).Index, 215);
    EXPECT_EQ(Grey(ditherer, 255).Index, 215);
    for (int c = 0; c < 3; ++c) {
        const auto& channel = ditherer.ChannelState(c);
        EXPECT_EQ(channel.Current, 0);
        EXPECT_EQ(channel.Below, 0);
        EXPECT_EQ(channel.BelowPrevious, 0);
        for (std::int32_t slot : channel.ErrorRow)
            EXPECT_EQ(slot, 0);
    }
}

TEST(FloydSteinberg, MidGreyCarriesSevenSixteenthsOfItsErrorToTheRight)
{
    const TNetscapeColorLookup lookup;
    TFloydSteinbergDitherer ditherer(4, lookup);
    const Dithered first = Grey(ditherer, 128);
    EXPECT_EQ(first.Index, CubeIndex(2));
    EXPECT_EQ(first.Red, 102);
    const auto& red = ditherer.ChannelState(0);
    EXPECT_EQ(red.Current, 7 * 26);
    EXPECT_EQ(red.Below, 26);
    EXPECT_EQ(red.BelowPrevious, 5 * 26);
    EXPECT_EQ(red.ErrorRow[0], 3 * 26);
    EXPECT_EQ(ditherer.ErrorPosition(), 1);
    EXPECT_EQ(ditherer.Column(), 1);
    // 128 + (182 + 8) / 16 = 139, still level 2, now with an error of 37.
    const Dithered second = Grey(ditherer, 128);
    EXPECT_EQ(second.Index, CubeIndex(2));
    EXPECT_EQ(red.Current, 7 * 37);
    EXPECT_EQ(red.Below, 37);
    EXPECT_EQ(red.BelowPrevious, 26 + 5 * 37);
    EXPECT_EQ(red.ErrorRow[1], 5 * 26 + 3 * 37);
    // 128 + (259 + 8) / 16 = 144: the error grows to 42.
    EXPECT_EQ(Grey(ditherer, 128).Index, CubeIndex(2));
    EXPECT_EQ(red.Current, 7 * 42);
}

TEST(FloydSteinberg, NegativeCarriesTruncateTowardZero)
{
    const TNetscapeColorLookup lookup;
    TFloydSteinbergDitherer ditherer(3, lookup);
    // 48 is already level 1 (51): an error of -3 carries -21 sixteenths.
    EXPECT_EQ(Grey(ditherer, 48).Index, CubeIndex(1));
    EXPECT_EQ(ditherer.ChannelState(1).Current, -21);
    // (-21 + 8) / 16 is 0 toward zero (-1 rounding down would give 47, level 0).
    EXPECT_EQ(Grey(ditherer, 48).Index, CubeIndex(1));
}

TEST(FloydSteinberg, ACarryPastTheTopIsClampedTo255)
{
    const TNetscapeColorLookup lookup;
    TFloydSteinbergDitherer ditherer(2, lookup);
    int r = 0, g = 0, b = 0;
    ditherer.Dither(0, 0, 47, r, g, b); // blue 47 is level 0: 329 sixteenths carried
    EXPECT_EQ(ditherer.ChannelState(2).Current, 7 * 47);
    // 250 + (329 + 8) / 16 = 271, clamped to 255: an exact hit, nothing carried on.
    ditherer.Dither(0, 0, 250, r, g, b);
    EXPECT_EQ(b, 255);
    EXPECT_EQ(ditherer.ChannelState(2).Current, 0);
    EXPECT_EQ(ditherer.ChannelState(2).Below, 47);
}

TEST(FloydSteinberg, RowsAlternateDirectionAndHandOnTheLastPartialSum)
{
    const TNetscapeColorLookup lookup;
    TFloydSteinbergDitherer ditherer(3, lookup);
    for (int i = 0; i < 3; ++i)
        Grey(ditherer, 128);
    const std::int32_t pending = ditherer.ChannelState(2).BelowPrevious;
    ASSERT_NE(pending, 0);
    EXPECT_EQ(ditherer.ErrorPosition(), 3);
    ditherer.NextLine();
    EXPECT_EQ(ditherer.ChannelState(2).ErrorRow[3], pending);
    EXPECT_EQ(ditherer.Direction(), -1);
    EXPECT_EQ(ditherer.Column(), 2); // the last pixel comes first
    EXPECT_EQ(ditherer.ErrorPosition(), 4);
    EXPECT_EQ(ditherer.ChannelState(2).Current, 0);
    EXPECT_EQ(ditherer.ChannelState(2).Below, 0);
    Grey(ditherer, 128);
    EXPECT_EQ(ditherer.Column(), 1);
    EXPECT_EQ(ditherer.ErrorPosition(), 3);
    ditherer.NextLine();
    EXPECT_EQ(ditherer.Direction(), 1);
    EXPECT_EQ(ditherer.Column(), 0);
    EXPECT_EQ(ditherer.ErrorPosition(), 0);
}

TEST(FloydSteinberg, AOnePixelWideFrameStaysInColumnZero)
{
    const TNetscapeColorLookup lookup;
    TFloydSteinbergDitherer ditherer(1, lookup);
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(ditherer.Column(), 0) << "row " << row;
        Grey(ditherer, 128);
        EXPECT_EQ(ditherer.Column(), ditherer.Direction()) << "row " << row;
        ditherer.NextLine();
    }
    // Error slots 0 .. 2 are the whole row; nothing was written past them.
    EXPECT_EQ(ditherer.ChannelState(0).ErrorRow.size(), 3u);
}

TEST(DitherDecision, DitherOnPaletteDisplayLimitsDitheringToPaletteDisplays)
{
    using enum GifPaintOption;
    EXPECT_FALSE(ShouldDither(GifPaintOptions{}, true));
    EXPECT_FALSE(ShouldDither(GifPaintOptions{DitherOnPaletteDisplay}, true));
    EXPECT_TRUE(ShouldDither(GifPaintOptions{Dither}, false));
    EXPECT_TRUE(ShouldDither(GifPaintOptions{Dither, DitherOnPaletteDisplay}, true));
    EXPECT_FALSE(ShouldDither(GifPaintOptions{Dither, DitherOnPaletteDisplay}, false));
    EXPECT_TRUE(IsPaletteDepth(8, 1));
    EXPECT_TRUE(IsPaletteDepth(4, 2));
    EXPECT_FALSE(IsPaletteDepth(16, 1));
}

TEST(DitheredFrameBitmap, TheSecondRowRunsRightToLeft)
{
    auto image = DitheredPicture(3, 2, {{128, 128, 128}, {0, 0, 0}}, {0, 0, 0, 0, 0, 0});
    const TBitmap* bitmap = image->Frames()[0].FrameBitmap();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Palette()->Entries.size(), 256u);
    EXPECT_EQ(Row(*bitmap, 0), (std::vector<int>{86, 86, 86}));
    // Right to left, the carries reach the left pixels: 128 + 27 and 128 + 22
    // are level 3 (a left-to-right walk would leave (0, 1) at level 2).
    EXPECT_EQ(Row(*bitmap, 1), (std::vector<int>{CubeIndex(3), CubeIndex(3), CubeIndex(2)}));
    EXPECT_EQ(bitmap->PixelColor(0, 1), RGB(153, 153, 153));
}

TEST(DitheredFrameBitmap, ATransparentPixelTakesTheFillIndexAndLeavesTheErrorAlone)
{
    // 140 leaves an error of 38: carried past the white see-through pixel, it
    // lifts the third pixel to level 3.
    auto image = DitheredPicture(3, 1, {{140, 140, 140}, {255, 255, 255}}, {0, 1, 0}, /*transparentIndex=*/1);
    TGIFSubImage& frame = image->Frames()[0];
    const TBitmap* bitmap = frame.FrameBitmap();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(Row(*bitmap, 0), (std::vector<int>{CubeIndex(2), 216, CubeIndex(3)}));
    EXPECT_EQ(bitmap->PixelColor(1, 0), clBlack); // 216 lies past the cube
    ASSERT_NE(frame.TransparencyMask(), nullptr);
    EXPECT_EQ(frame.TransparencyMask()->ScanLine(0)[0], 0x40);
    // Drawn see-through, the backdrop shows there.
    TBitmap screen(3, 1);
    screen.Canvas().Brush.Color = clTeal;
    screen.Canvas().FillRect(Bounds(0, 0, 3, 1));
    frame.DrawFrame(screen.Canvas(), Bounds(0, 0, 3, 1), /*transparent=*/true, /*tile=*/false);
    EXPECT_EQ(screen.PixelColor(1, 0), clTeal);
    EXPECT_EQ(screen.PixelColor(2, 0), RGB(153, 153, 153));
}

TEST(DitheredFrameBitmap, TheMaskCursorFollowsTheReversedRow)
{
    // 13 wide: the last pixel is bit 0x08 of each row's second byte.
    std::vector<int> indices(26, 0);
    for (int x : {5, 13 + 12, 13 + 0, 13 + 7})
        indices[static_cast<std::size_t>(x)] = 1;
    auto image = DitheredPicture(13, 2, {{200, 10, 10}, {0, 0, 0}}, indices, /*transparentIndex=*/1);
    TGIFSubImage& frame = image->Frames()[0];
    const TBitmap* bitmap = frame.FrameBitmap();
    ASSERT_NE(bitmap, nullptr);
    const TBitmap* mask = frame.TransparencyMask();
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(mask->ScanLine(1)[1] & 0xF8, 0x08);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 13; ++x) {
            const bool seeThrough = indices[static_cast<std::size_t>(y * 13 + x)] == 1;
            EXPECT_EQ(mask->Image().pixelIndex(x, y), seeThrough ? 1 : 0) << x << ", " << y;
            // The fill index of black is 1.
            if (seeThrough) {
                EXPECT_EQ(bitmap->Image().pixelIndex(x, y), 1) << x << ", " << y;
            }
        }
}

TEST(DitheredFrameBitmap, IndicesPastTheColourTableAreBlack)
{
    // A broken file: a two-colour table and pixels that index far past it.
    auto image = DitheredPicture(3, 1, {{255, 255, 255}, {255, 255, 255}}, {200, 1, 255});
    const TBitmap* bitmap = image->Frames()[0].FrameBitmap();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(Row(*bitmap, 0), (std::vector<int>{0, 215, 0}));
}
