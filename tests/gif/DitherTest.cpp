#include "GIFDither.h"

#include <gtest/gtest.h>

using namespace orvex;

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
