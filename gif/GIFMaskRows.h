#pragma once

#include "Graphics.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace orvex {

// A transparency mask while a frame bitmap is built: one row per pixel row,
// each a whole number of 16-bit words, the leftmost pixel in the top bit of
// the first byte, 1 where the pixel is see-through. Starts all 0.
class TMaskRows {
public:
    TMaskRows(int width, int height)
        : m_width(width), m_height(height), m_rowSize(RowSize(width)),
          m_bits(static_cast<std::size_t>(m_rowSize) * static_cast<std::size_t>(height), 0)
    {
    }
    static constexpr int RowSize(int width) { return (width + 15) / 16 * 2; }

    std::uint8_t* Row(int y) { return m_bits.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_rowSize); }
    // Whether any pixel is see-through.
    bool Used() const
    {
        for (std::uint8_t byte : m_bits)
            if (byte != 0)
                return true;
        return false;
    }
    // The mask as a monochrome bitmap (1 = white = see-through).
    std::unique_ptr<TBitmap> ToBitmap() const
    {
        auto mask = std::make_unique<TBitmap>(m_width, m_height, TPixelFormat::pf1bit);
        for (int y = 0; y < m_height; ++y)
            std::copy_n(m_bits.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_rowSize),
                        m_rowSize, mask->ScanLine(y));
        return mask;
    }

private:
    int m_width;
    int m_height;
    int m_rowSize;
    std::vector<std::uint8_t> m_bits;
};

} // namespace orvex
