#include "Graphics.h"

#include <QGuiApplication>
#include <QPalette>
#include <gtest/gtest.h>

using namespace orvex;

namespace {

TBitmap Filled(int width, int height, TColor color, TPixelFormat format = TPixelFormat::pfDevice)
{
    TBitmap bitmap(width, height, format);
    bitmap.Canvas().Brush.Color = color;
    bitmap.Canvas().FillRect(Bounds(0, 0, width, height));
    return bitmap;
}

} // namespace

TEST(RasterOps, EachOperationCombinesSourceAndDestinationAsNamed)
{
    const std::uint32_t s = 0x00F0F0F0, d = 0x00CC33AA;
    const std::uint32_t rgb = 0xFFFFFF;
    EXPECT_EQ(ApplyRop(BLACKNESS, s, d) & rgb, 0u);
    EXPECT_EQ(ApplyRop(WHITENESS, s, d) & rgb, rgb);
    EXPECT_EQ(ApplyRop(SRCCOPY, s, d) & rgb, s);
    EXPECT_EQ(ApplyRop(DSTCOPY, s, d) & rgb, d);
    EXPECT_EQ(ApplyRop(SRCINVERT, s, d) & rgb, (s ^ d) & rgb);
    EXPECT_EQ(ApplyRop(SRCAND, s, d) & rgb, s & d);
    EXPECT_EQ(ApplyRop(SRCPAINT, s, d) & rgb, s | d);
    EXPECT_EQ(ApplyRop(NOTSRCCOPY, s, d) & rgb, ~s & rgb);
    EXPECT_EQ(ApplyRop(DSTINVERT, s, d) & rgb, ~d & rgb);
    EXPECT_EQ(ApplyRop(SRCERASE, s, d) & rgb, s & ~d & rgb);
    EXPECT_EQ(ApplyRop(NOTSRCERASE, s, d) & rgb, ~(s | d) & rgb);
    EXPECT_EQ(ApplyRop(MERGEPAINT, s, d) & rgb, (~s | d) & rgb);
}

TEST(RasterOps, XorTwiceRestoresTheDestination)
{
    TBitmap dest = Filled(8, 4, RGB(10, 200, 30));
    const TBitmap source = Filled(8, 4, RGB(255, 0, 128));
    BitBlt(dest, 0, 0, 8, 4, source, 0, 0, SRCINVERT);
    EXPECT_EQ(dest.PixelColor(3, 2), RGB(10 ^ 255, 200, 30 ^ 128));
    BitBlt(dest, 0, 0, 8, 4, source, 0, 0, SRCINVERT);
    EXPECT_EQ(dest.PixelColor(3, 2), RGB(10, 200, 30));
}

TEST(RasterOps, CopiesAreClippedToBothBitmaps)
{
    TBitmap dest = Filled(4, 4, clWhite);
    TBitmap source = Filled(4, 4, clRed);
    source.Canvas().SetPixel(1, 1, clBlue);
    // Starting above and left of the destination: only the overlap is copied,
    // and the source's (1, 1) lands on (0, 0).
    BitBlt(dest, -1, -1, 10, 10, source, 0, 0, SRCCOPY);
    EXPECT_EQ(dest.PixelColor(0, 0), clBlue);
    EXPECT_EQ(dest.PixelColor(2, 2), clRed);
    EXPECT_EQ(dest.PixelColor(3, 3), clWhite); // beyond the source's last column
    // Entirely outside: nothing changes and nothing is touched out of bounds.
    BitBlt(dest, 10, 10, 4, 4, source, 0, 0, BLACKNESS);
    EXPECT_EQ(dest.PixelColor(3, 3), clWhite);
}

TEST(RasterOps, StretchingRepeatsPixelsWithoutBlending)
{
    TBitmap source(2, 2, TPixelFormat::pfDevice);
    source.Canvas().SetPixel(0, 0, clRed);
    source.Canvas().SetPixel(1, 0, clLime);
    source.Canvas().SetPixel(0, 1, clBlue);
    source.Canvas().SetPixel(1, 1, clBlack);
    TBitmap dest(4, 4, TPixelFormat::pfDevice);
    StretchBlt(dest, Bounds(0, 0, 4, 4), source, Bounds(0, 0, 2, 2), SRCCOPY);
    EXPECT_EQ(dest.PixelColor(1, 1), clRed);
    EXPECT_EQ(dest.PixelColor(2, 1), clLime);
    EXPECT_EQ(dest.PixelColor(1, 2), clBlue);
    EXPECT_EQ(dest.PixelColor(3, 3), clBlack);
}

TEST(RasterOps, TheMaskPicksForegroundOrBackgroundPerPixel)
{
    TBitmap dest = Filled(2, 1, clWhite);
    const TBitmap source = Filled(2, 1, clNavy);
    TBitmap mask(2, 1, TPixelFormat::pf1bit);
    mask.Image().setPixel(0, 0, 1);
    mask.Image().setPixel(1, 0, 0);
    MaskBlt(dest, 0, 0, 2, 1, source, 0, 0, mask, 0, 0, SRCCOPY, DSTCOPY);
    EXPECT_EQ(dest.PixelColor(0, 0), clNavy);
    EXPECT_EQ(dest.PixelColor(1, 0), clWhite);
}

TEST(RasterOps, PaletteBitmapsTakeTheNearestColourOfTheirTable)
{
    TBitmap indexed(2, 2, TPixelFormat::pf4bit);
    indexed.Canvas().Brush.Color = RGB(250, 250, 5); // nearest VGA colour: yellow
    indexed.Canvas().FillRect(Bounds(0, 0, 2, 2));
    EXPECT_EQ(indexed.Image().pixelIndex(0, 0), 11);
    EXPECT_EQ(indexed.PixelColor(1, 1), clYellow);
    // A colour copy into a 1-bit mask: white becomes 1, everything else 0.
    TBitmap colour = Filled(2, 1, clWhite);
    colour.Canvas().SetPixel(1, 0, clSilver);
    TBitmap mask(2, 1, TPixelFormat::pf1bit);
    BitBlt(mask, 0, 0, 2, 1, colour, 0, 0, SRCCOPY);
    EXPECT_EQ(mask.Image().pixelIndex(0, 0), 1);
    EXPECT_EQ(mask.Image().pixelIndex(1, 0), 0);
}

TEST(Canvas, ShapesLeaveTheirRightAndBottomEdgesOut)
{
    TBitmap bitmap = Filled(6, 6, clWhite);
    TCanvas& canvas = bitmap.Canvas();
    canvas.Pen.Color = clBlack;
    canvas.Brush.Color = clRed;
    canvas.Rectangle(Rect(0, 0, 4, 4));
    EXPECT_EQ(bitmap.PixelColor(0, 0), clBlack);
    EXPECT_EQ(bitmap.PixelColor(3, 3), clBlack);
    EXPECT_EQ(bitmap.PixelColor(1, 2), clRed);
    EXPECT_EQ(bitmap.PixelColor(4, 4), clWhite);
    // A line does not draw its end point.
    canvas.MoveTo(0, 5);
    canvas.LineTo(5, 5);
    EXPECT_EQ(bitmap.PixelColor(4, 5), clBlack);
    EXPECT_EQ(bitmap.PixelColor(5, 5), clWhite);
}

TEST(Canvas, APieRunsCounterClockwiseFromTheFirstRadial)
{
    TBitmap bitmap = Filled(41, 41, clWhite);
    TCanvas& canvas = bitmap.Canvas();
    canvas.Pen.Style = TPenStyle::psClear;
    canvas.Brush.Color = clBlack;
    // From three o'clock to twelve o'clock: the upper-right quarter.
    canvas.Pie(0, 0, 41, 41, 40, 20, 20, 0);
    EXPECT_EQ(bitmap.PixelColor(28, 12), clBlack);
    EXPECT_EQ(bitmap.PixelColor(12, 12), clWhite);
    EXPECT_EQ(bitmap.PixelColor(28, 28), clWhite);
}

TEST(Canvas, TextIsDrawnInTheFontColourAndMeasured)
{
    TBitmap bitmap = Filled(40, 20, clBlack);
    TCanvas& canvas = bitmap.Canvas();
    canvas.Font.Color = clWhite;
    canvas.Font.Height = -16;
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.TextOut(2, 2, QStringLiteral("88"));
    int lit = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            lit += bitmap.PixelColor(x, y) == clWhite;
    EXPECT_GT(lit, 10);
    EXPECT_GT(canvas.TextWidth(QStringLiteral("88")), canvas.TextWidth(QStringLiteral("8")));
}

TEST(Bitmap, ATransparentBitmapLeavesItsKeyColourUnpainted)
{
    TBitmap glyph = Filled(2, 2, clOlive);
    glyph.Canvas().SetPixel(0, 0, clRed);
    glyph.SetTransparent(true);
    EXPECT_EQ(glyph.TransparentColor(), clOlive); // the bottom-left pixel
    TBitmap dest = Filled(4, 4, clWhite);
    dest.Canvas().StretchDraw(Bounds(0, 0, 4, 4), glyph);
    EXPECT_EQ(dest.PixelColor(0, 0), clRed);
    EXPECT_EQ(dest.PixelColor(1, 1), clRed);
    EXPECT_EQ(dest.PixelColor(3, 3), clWhite);
    glyph.SetTransparent(false);
    dest.Canvas().StretchDraw(Bounds(0, 0, 4, 4), glyph);
    EXPECT_EQ(dest.PixelColor(3, 3), clOlive);
}

TEST(Colors, SystemColoursFollowTheApplicationPalette)
{
    const QPalette saved = QGuiApplication::palette();
    QPalette palette = saved;
    palette.setColor(QPalette::Button, QColor(1, 2, 3));
    palette.setColor(QPalette::Highlight, QColor(40, 50, 60));
    QGuiApplication::setPalette(palette);
    EXPECT_EQ(ColorToRGB(clBtnFace), RGB(1, 2, 3));
    EXPECT_EQ(ColorToRGB(clHighlight), RGB(40, 50, 60));
    EXPECT_EQ(ColorToRGB(clSkyBlue), clSkyBlue);
    EXPECT_EQ(ToQColor(clSkyBlue), QColor(0xA6, 0xCA, 0xF0));
    QGuiApplication::setPalette(saved);
}
