#include "Graphics.h"

#include <gtest/gtest.h>

using namespace orvex;

namespace {

TBitmap Filled(int width, int height, TColor color)
{
    TBitmap bitmap(width, height, TPixelFormat::pfDevice);
    bitmap.Canvas().Brush.Color = color;
    bitmap.Canvas().FillRect(Bounds(0, 0, width, height));
    return bitmap;
}

TBitmap Mask(const std::vector<int>& bits, int width)
{
    TBitmap mask(width, static_cast<int>(bits.size()) / width, TPixelFormat::pf1bit);
    for (std::size_t i = 0; i < bits.size(); ++i)
        mask.Image().setPixel(static_cast<int>(i) % width, static_cast<int>(i) / width, static_cast<uint>(bits[i]));
    return mask;
}

} // namespace

TEST(MulDiv, RoundsToTheNearestAndGivesMinusOneForNoDivisor)
{
    EXPECT_EQ(MulDiv(10, 55, 100), 6);    // 5.5 rounds up
    EXPECT_EQ(MulDiv(30, 55, 100), 17);   // 16.5 rounds up
    EXPECT_EQ(MulDiv(14, 55, 100), 8);    // 7.7
    EXPECT_EQ(MulDiv(12, 55, 100), 7);    // 6.6
    EXPECT_EQ(MulDiv(-10, 55, 100), -6);  // halves go away from zero
    EXPECT_EQ(MulDiv(10, 55, -100), -6);
    EXPECT_EQ(MulDiv(7, 1, 0), -1);
    // The product is taken in 64 bits.
    EXPECT_EQ(MulDiv(100000, 100000, 100000), 100000);
    EXPECT_EQ(MulDiv(0x7FFFFFFF, 2, 1), -1); // does not fit
}

TEST(Palettes, ABitmapKeepsItsPaletteHandleAndPadsItsColourTableWithBlack)
{
    auto palette = std::make_shared<TPalette>();
    palette->Entries = {qRgb(255, 0, 0), qRgb(0, 255, 0)};
    const TPalettePtr handle = palette;
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf8bit);
    bitmap.SetPalette(handle); // before the bitmap has pixels
    bitmap.SetSize(3, 1);
    EXPECT_EQ(bitmap.Palette(), handle);
    bitmap.ScanLine(0)[0] = 1;
    bitmap.ScanLine(0)[1] = 2; // past the palette's two entries
    bitmap.ScanLine(0)[2] = 255;
    EXPECT_EQ(bitmap.PixelColor(0, 0), clLime);
    EXPECT_EQ(bitmap.PixelColor(1, 0), clBlack);
    EXPECT_EQ(bitmap.PixelColor(2, 0), clBlack);
    // Drawn onto a colour surface, the indices past the palette stay black.
    TBitmap screen = Filled(3, 1, clWhite);
    BitBlt(screen, 0, 0, 3, 1, bitmap, 0, 0, SRCCOPY);
    EXPECT_EQ(screen.PixelColor(0, 0), clLime);
    EXPECT_EQ(screen.PixelColor(1, 0), clBlack);
    // A copy of the bitmap shares the handle; a copied palette is a new one.
    const TBitmap copy(bitmap);
    EXPECT_EQ(copy.Palette(), handle);
    const TPalettePtr copied = CopyPalette(handle);
    EXPECT_NE(copied, handle);
    EXPECT_EQ(copied->Entries, handle->Entries);
    // New pixels bring their own colour table and drop the handle.
    QImage image(1, 1, QImage::Format_Indexed8);
    image.setColorTable({qRgb(1, 2, 3)});
    bitmap.Assign(image);
    ASSERT_TRUE(bitmap.Palette());
    EXPECT_NE(bitmap.Palette(), handle);
    EXPECT_EQ(bitmap.Palette(), bitmap.Palette()); // made once, then kept
}

TEST(MonochromeBlits, ZeroBitsTakeTheTextColourAndOneBitsTheBackgroundColour)
{
    const TBitmap mask = Mask({0, 1}, 2);
    TBitmap screen = Filled(2, 1, clGray);
    // A fresh canvas draws 0 black and 1 white.
    BitBlt(screen, 0, 0, 2, 1, mask, 0, 0, SRCCOPY);
    EXPECT_EQ(screen.PixelColor(0, 0), clBlack);
    EXPECT_EQ(screen.PixelColor(1, 0), clWhite);
    screen.Canvas().TextColor = clRed;
    screen.Canvas().BkColor = clBlue;
    StretchBlt(screen, Bounds(0, 0, 2, 1), mask, Bounds(0, 0, 2, 1), SRCCOPY);
    EXPECT_EQ(screen.PixelColor(0, 0), clRed);
    EXPECT_EQ(screen.PixelColor(1, 0), clBlue);
    // Into a mask, a colour becomes 1 where it is the source's background colour.
    TBitmap colours = Filled(2, 1, clYellow);
    colours.Canvas().SetPixel(1, 0, clWhite);
    colours.Canvas().BkColor = clYellow;
    TBitmap bits(2, 1, TPixelFormat::pf1bit);
    BitBlt(bits, 0, 0, 2, 1, colours, 0, 0, SRCCOPY);
    EXPECT_EQ(bits.Image().pixelIndex(0, 0), 1);
    EXPECT_EQ(bits.Image().pixelIndex(1, 0), 0);
}

TEST(MaskBlt, TheFourOperandCodeKeepsTheDestinationWhereTheMaskIsSet)
{
    EXPECT_EQ(MakeRop4(DSTCOPY, SRCCOPY), 0xCCAA0029u);
    const TBitmap source = Filled(4, 2, clNavy);
    const TBitmap mask = Mask({1, 0, 1, 0, 0, 1, 0, 1}, 4);
    TBitmap screen = Filled(6, 3, clWhite);
    MaskBlt(screen, 1, 1, 4, 2, source, 0, 0, mask, 0, 0, MakeRop4(DSTCOPY, SRCCOPY));
    EXPECT_EQ(screen.PixelColor(1, 1), clWhite);
    EXPECT_EQ(screen.PixelColor(2, 1), clNavy);
    EXPECT_EQ(screen.PixelColor(3, 1), clWhite);
    EXPECT_EQ(screen.PixelColor(1, 2), clNavy);
    EXPECT_EQ(screen.PixelColor(4, 2), clWhite);
    EXPECT_EQ(screen.PixelColor(0, 0), clWhite); // outside the rectangle
    // The mask origin moves with clipping, and mask pixels beyond the mask count as 0.
    TBitmap clipped = Filled(3, 1, clWhite);
    MaskBlt(clipped, -1, 0, 4, 1, source, 0, 0, mask, 0, 0, MakeRop4(DSTCOPY, SRCCOPY));
    EXPECT_EQ(clipped.PixelColor(0, 0), clNavy); // mask (1, 0) = 0
    EXPECT_EQ(clipped.PixelColor(1, 0), clWhite); // mask (2, 0) = 1
    TBitmap shifted = Filled(2, 1, clWhite);
    MaskBlt(shifted, 0, 0, 2, 1, source, 0, 0, mask, 3, 0, MakeRop4(DSTCOPY, SRCCOPY));
    EXPECT_EQ(shifted.PixelColor(0, 0), clNavy);
    EXPECT_EQ(shifted.PixelColor(1, 0), clNavy);
}
