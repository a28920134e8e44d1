#include "DIBWriter.h"

#include "Exceptions.h"
#include "GIFImage.h"

namespace orvex {

TDIBWriter::TDIBWriter(TBitmap& bitmap, TPixelFormat format, int width, int height, TPalettePtr palette)
    : m_bitmap(bitmap), m_width(width), m_height(height), m_palette(std::move(palette))
{
    if (format == TPixelFormat::pf8bit)
        m_bitsPerPixel = 8;
    else if (format == TPixelFormat::pf24bit)
        m_bitsPerPixel = 24;
    else
        throw GIFException(QStringLiteral("Unsupported PixelFormat"));
    if (width <= 0 || height <= 0)
        throw GIFException(QStringLiteral("Invalid image dimensions"));
}

void TDIBWriter::Allocate()
{
    // Format_BGR888 keeps the bytes in the device-independent order: blue, green, red.
    QImage pixels(m_width, m_height, m_bitsPerPixel == 8 ? QImage::Format_Indexed8 : QImage::Format_BGR888);
    if (pixels.isNull())
        throw EOutOfMemory(QStringLiteral("Failed to allocate memory for GIF DIB"));
    Q_ASSERT(pixels.bytesPerLine() == RowSize(m_width, m_bitsPerPixel));
    if (m_bitsPerPixel == 8) {
        // The palette's entries in order; the rest of the 256 are black.
        QList<QRgb> table(256, qRgb(0, 0, 0));
        if (m_palette) {
            const std::size_t count = std::min<std::size_t>(m_palette->Entries.size(), 256);
            for (std::size_t i = 0; i < count; ++i)
                table[static_cast<qsizetype>(i)] = 0xFF000000u | m_palette->Entries[i];
        }
        pixels.setColorTable(table);
    }
    pixels.fill(0);
    m_pixels = std::move(pixels);
}

std::uint8_t* TDIBWriter::ScanLine(int row)
{
    if (m_pixels.isNull() && !m_finished)
        Allocate();
    if (m_pixels.isNull())
        throw GIFException(QStringLiteral("Image has no DIB"));
    if (row < 0 || row >= m_height)
        throw EInvalidGraphicOperation(QStringLiteral("Scan line index out of range"));
    return m_pixels.scanLine(row);
}

void TDIBWriter::Finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_pixels.isNull())
        return;
    QImage pixels = std::move(m_pixels);
    m_pixels = QImage();
    m_bitmap.Assign(pixels);
}

} // namespace orvex
