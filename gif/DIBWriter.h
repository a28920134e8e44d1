#pragma once

#include "Graphics.h"

#include <QImage>
#include <cstdint>

namespace orvex {

// Fills a bitmap through one block of device-independent pixel memory and
// hands it over in one piece: 8 bits per pixel with a 256-entry colour table
// (the palette's entries, the rest black), or 24 bits (blue, green, red).
// The memory is taken on the first scan-line request; Finish loads it into
// the bitmap. A writer destroyed without Finish leaves the bitmap alone.
class TDIBWriter {
public:
    // Raises "Unsupported PixelFormat" for another depth than 8 or 24 bits and
    // "Invalid image dimensions" for a width or height of 0.
    TDIBWriter(TBitmap& bitmap, TPixelFormat format, int width, int height, TPalettePtr palette);
    TDIBWriter(const TDIBWriter&) = delete;
    TDIBWriter& operator=(const TDIBWriter&) = delete;

    // Row 0 is the top row.
    std::uint8_t* ScanLine(int row);
    void Finish();

    // Bytes per row: width x bits rounded up to whole 32-bit words.
    static constexpr int RowSize(int width, int bitsPerPixel) { return ((width * bitsPerPixel + 31) & ~31) / 8; }
    // Info header and colour table: 40 + 256 x 4 for 8 bits, 40 for 24.
    static constexpr int HeaderSize(int bitsPerPixel) { return bitsPerPixel == 8 ? 40 + 256 * 4 : 40; }

private:
    void Allocate();

    TBitmap& m_bitmap;
    int m_bitsPerPixel;
    int m_width;
    int m_height;
    TPalettePtr m_palette;
    QImage m_pixels; // the pixel memory, rows 32-bit aligned
    bool m_finished = false;
};

} // namespace orvex
