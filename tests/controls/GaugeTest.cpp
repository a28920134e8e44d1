#include "Exceptions.h"
#include "Gauge.h"

#include <gtest/gtest.h>

using namespace orvex;

namespace {

constexpr TColor kFore = 0x906030; // RGB(0x30, 0x60, 0x90)
constexpr TColor kBack = clBlack;

// The main window's gauge: 579 x 17, single border, a known bar colour.
struct MainGauge {
    TGauge gauge;
    MainGauge()
    {
        gauge.resize(579, 17);
        gauge.SetForeColor(kFore);
        gauge.SetBackColor(kBack);
        gauge.Font.Height = -19;
    }
};

// Which columns of a row hold the colour.
std::vector<int> ColumnsOf(const TBitmap& image, int row, TColor color)
{
    std::vector<int> columns;
    for (int x = 0; x < image.Width(); ++x)
        if (image.PixelColor(x, row) == color)
            columns.push_back(x);
    return columns;
}

} // namespace

TEST(FillLength, ExtendedArithmeticLosesOneOnSomeWholeProducts)
{
    EXPECT_EQ(FillLength(5, 20), 0);
    EXPECT_EQ(FillLength(10, 100), 9);
    EXPECT_EQ(FillLength(10, 10), 0);
    EXPECT_EQ(FillLength(50, 578), 289);
    for (int size : {1, 16, 578, 1000, 65535})
        EXPECT_EQ(FillLength(100, size), size) << size;
    EXPECT_EQ(FillLength(0, 578), 0);
}

TEST(Gauge, TheMainBarFillsTheColumnsOfItsPercentage)
{
    MainGauge g;
    g.gauge.SetShowText(false);
    g.gauge.SetMaxValue(1000);

    TBitmap image = g.gauge.Render();
    EXPECT_TRUE(ColumnsOf(image, 8, kFore).empty());
    EXPECT_EQ(image.PixelColor(0, 8), clBlack); // border
    EXPECT_EQ(image.PixelColor(578, 8), clBlack);

    g.gauge.SetProgress(500);
    image = g.gauge.Render();
    const std::vector<int> half = ColumnsOf(image, 8, kFore);
    ASSERT_FALSE(half.empty());
    EXPECT_EQ(half.front(), 1);
    EXPECT_EQ(half.back(), 288);
    EXPECT_EQ(half.size(), 288u);
    EXPECT_EQ(image.PixelColor(8, 0), clBlack); // top border row untouched
    EXPECT_EQ(image.PixelColor(8, 1), kFore);
    EXPECT_EQ(image.PixelColor(8, 15), kFore);
    EXPECT_EQ(image.PixelColor(8, 16), clBlack);

    g.gauge.SetProgress(1000);
    image = g.gauge.Render();
    const std::vector<int> full = ColumnsOf(image, 8, kFore);
    ASSERT_EQ(full.size(), 577u);
    EXPECT_EQ(full.front(), 1);
    EXPECT_EQ(full.back(), 577);
}

TEST(Gauge, ThePercentageShowsInTheInverseOfWhatLiesUnderIt)
{
    MainGauge g;
    g.gauge.SetMaxValue(100);
    g.gauge.SetProgress(50);
    const TBitmap image = g.gauge.Render();
    const TColor inverseFore = ~kFore & 0xFFFFFF;
    int overBar = 0, overBack = 0, other = 0;
    for (int y = 1; y < 16; ++y) {
        for (int x = 1; x < 578; ++x) {
            const TColor c = image.PixelColor(x, y);
            if (x <= 288)
                overBar += c == inverseFore, other += c != inverseFore && c != kFore;
            else
                overBack += c == clWhite, other += c != clWhite && c != kBack;
        }
    }
    // "50%" is centred on column 289: its glyphs fall on both sides.
    EXPECT_GT(overBar, 5);
    EXPECT_GT(overBack, 5);
    EXPECT_EQ(other, 0);
}

TEST(Gauge, TheVerticalBarAtFullLeavesTheTopRowWithoutABorder)
{
    TGauge gauge;
    gauge.resize(10, 20);
    gauge.SetShowText(false);
    gauge.SetKind(TGaugeKind::gkVerticalBar);
    gauge.SetForeColor(kFore);
    gauge.SetProgress(100);
    TBitmap image = gauge.Render();
    EXPECT_EQ(image.PixelColor(5, 0), clBlack);
    EXPECT_EQ(image.PixelColor(5, 1), kFore);
    EXPECT_EQ(image.PixelColor(5, 18), kFore);
    EXPECT_EQ(image.PixelColor(5, 19), clBlack);

    gauge.SetBorderStyle(TBorderStyle::bsNone);
    image = gauge.Render();
    EXPECT_EQ(image.PixelColor(5, 0), clWhite); // the back colour: F = H - 1
    EXPECT_EQ(image.PixelColor(5, 1), kFore);
    EXPECT_EQ(image.PixelColor(5, 19), kFore);
    EXPECT_EQ(image.PixelColor(0, 10), kFore);
    EXPECT_EQ(image.PixelColor(9, 10), kFore);
}

TEST(Gauge, ThePieGrowsClockwiseFromTheTop)
{
    TGauge gauge;
    gauge.resize(41, 41);
    gauge.SetShowText(false);
    gauge.SetKind(TGaugeKind::gkPie);
    gauge.SetForeColor(clRed);
    gauge.SetBackColor(clWhite);
    gauge.Color = clNavy;
    gauge.SetProgress(25);
    const TBitmap image = gauge.Render();
    EXPECT_EQ(image.PixelColor(28, 12), clRed);   // upper right
    EXPECT_EQ(image.PixelColor(12, 12), clWhite); // upper left
    EXPECT_EQ(image.PixelColor(28, 28), clWhite); // lower right
    EXPECT_EQ(image.PixelColor(2, 2), clNavy);    // the surround
}

TEST(Gauge, TheNeedlePointsAlongItsPercentage)
{
    TGauge gauge;
    gauge.resize(41, 21);
    gauge.SetShowText(false);
    gauge.SetKind(TGaugeKind::gkNeedle);
    gauge.SetForeColor(clRed);
    gauge.SetBackColor(clWhite);
    gauge.Color = clNavy;
    gauge.SetProgress(50);
    const TBitmap image = gauge.Render();
    // Straight up from the middle of the base.
    EXPECT_EQ(image.PixelColor(20, 10), clRed);
    EXPECT_EQ(image.PixelColor(10, 15), clWhite);
}

TEST(Gauge, BoundsAreCheckedAndProgressIsClamped)
{
    TGauge gauge;
    gauge.SetProgress(50);
    gauge.SetMaxValue(0); // pulls the progress down
    EXPECT_EQ(gauge.Progress(), 0);
    EXPECT_EQ(gauge.PercentDone(), 0);
    gauge.SetMaxValue(200);
    gauge.SetProgress(500);
    EXPECT_EQ(gauge.Progress(), 200);
    gauge.SetProgress(-5);
    EXPECT_EQ(gauge.Progress(), 0);

    try {
        gauge.SetMinValue(201);
        FAIL();
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Value must be between -2147483647 and 199"));
    }
    gauge.SetMinValue(200); // equal bounds are allowed
    EXPECT_EQ(gauge.Progress(), 200);
    try {
        gauge.SetMaxValue(10);
        FAIL();
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Value must be between 201 and 2147483647"));
    }
    EXPECT_EQ(gauge.MaxValue(), 200);
    gauge.Loading = true;
    gauge.SetMaxValue(10);
    EXPECT_EQ(gauge.MaxValue(), 10);
}

TEST(Gauge, OnlyAChangeOfTheWholePercentageRepaints)
{
    TGauge gauge;
    gauge.SetMaxValue(1000);
    const int before = gauge.RepaintCount();
    gauge.SetProgress(101);
    EXPECT_EQ(gauge.RepaintCount(), before + 1); // 0 % -> 10 %
    gauge.SetProgress(105);
    gauge.SetProgress(109);
    EXPECT_EQ(gauge.RepaintCount(), before + 1);
    gauge.SetProgress(110);
    EXPECT_EQ(gauge.RepaintCount(), before + 2);
    gauge.SetKind(TGaugeKind::gkHorizontalBar); // unchanged value: nothing
    EXPECT_EQ(gauge.RepaintCount(), before + 2);
    // A large range needs 64-bit arithmetic for its percentage.
    gauge.SetMaxValue(2000000000);
    gauge.SetProgress(1500000000);
    EXPECT_EQ(gauge.PercentDone(), 75);
}

TEST(Gauge, EqualBoundsShowZeroPercentAndNoBar)
{
    MainGauge g;
    g.gauge.SetMaxValue(0);
    const TBitmap image = g.gauge.Render();
    EXPECT_TRUE(ColumnsOf(image, 8, kFore).empty());
    EXPECT_EQ(g.gauge.PercentDone(), 0);
}
