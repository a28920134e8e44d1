#include "Graphics.h"

#include <QImage>
#include <algorithm>
#include <array>
#include <cstring>

namespace orvex {

// ---- raster operations

namespace {

// The kinds of pixel value a raster operation combines.
enum class ValueKind { Rgb, Index, Bit };

ValueKind KindOf(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: return ValueKind::Bit;
    case QImage::Format_Indexed8: return ValueKind::Index;
    default: return ValueKind::Rgb;
    }
}

std::uint32_t RawValue(const QImage& image, ValueKind kind, int x, int y)
{
    switch (kind) {
    case ValueKind::Rgb:
        return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x] & 0xFFFFFF;
    case ValueKind::Index: return image.constScanLine(y)[x];
    case ValueKind::Bit:
        // Format_Mono keeps the leftmost pixel in the top bit.
        if (image.format() == QImage::Format_Mono)
            return (image.constScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1u;
        return static_cast<std::uint32_t>(image.pixelIndex(x, y));
    }
    return 0;
}

int NearestIndex(const QImage& image, QRgb color)
{
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < image.colorCount(); ++i) {
        const QRgb c = image.color(i);
        const long dr = qRed(c) - qRed(color), dg = qGreen(c) - qGreen(color), db = qBlue(c) - qBlue(color);
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = i;
            if (distance == 0)
                break;
        }
    }
    return best;
}

// A colour as a value of the destination's kind. A colour becomes a mask bit
// 1 where it is the source's background colour and 0 elsewhere.
std::uint32_t ValueOfColor(const QImage& dest, ValueKind kind, QRgb color, QRgb sourceBk = 0xFFFFFFFFu)
{
    switch (kind) {
    case ValueKind::Rgb: return color & 0xFFFFFF;
    case ValueKind::Index: return static_cast<std::uint32_t>(NearestIndex(dest, color));
    case ValueKind::Bit: return (color & 0xFFFFFF) == (sourceBk & 0xFFFFFF) ? 1u : 0u;
    }
    return 0;
}

// Reads a source pixel as a value of the destination's kind: the raw value
// when both kinds agree, the colour translated otherwise. A monochrome source
// drawn in colour takes the destination canvas's text colour for 0 bits and
// its background colour for 1 bits.
class SourceReader {
public:
    SourceReader(const TBitmap& source, const TBitmap& dest) : m_source(source.Image())
    {
        const QImage& target = dest.Image();
        m_sourceKind = KindOf(m_source);
        m_destKind = KindOf(target);
        m_sourceBk = ToQRgb(source.BlitBkColor());
        m_raw = m_sourceKind == m_destKind && (m_sourceKind != ValueKind::Index || m_source.colorTable() == target.colorTable());
        m_dest = &target;
        m_bits = m_source.constBits();
        m_bytesPerLine = m_source.bytesPerLine();
        m_mono = m_source.format() == QImage::Format_Mono;
        if (m_raw || m_sourceKind == ValueKind::Rgb)
            return;
        if (m_sourceKind == ValueKind::Bit) {
            m_translated[0] = ValueOfColor(target, m_destKind, ToQRgb(dest.BlitTextColor()));
            m_translated[1] = ValueOfColor(target, m_destKind, ToQRgb(dest.BlitBkColor()));
            m_translatedCount = 2;
        } else {
            m_translatedCount = std::min<std::size_t>(static_cast<std::size_t>(m_source.colorCount()), m_translated.size());
            for (std::size_t i = 0; i < m_translatedCount; ++i)
                m_translated[i] = ValueOfColor(target, m_destKind, m_source.color(static_cast<int>(i)), m_sourceBk);
        }
    }
    std::uint32_t operator()(int x, int y) const
    {
        if (m_raw)
            return Raw(x, y);
        if (m_sourceKind != ValueKind::Rgb) {
            const auto index = static_cast<std::size_t>(Raw(x, y));
            return index < m_translatedCount ? m_translated[index] : 0;
        }
        return ValueOfColor(*m_dest, m_destKind, m_source.pixel(x, y), m_sourceBk);
    }

private:
    // RawValue through the pointers taken once per blit.
    std::uint32_t Raw(int x, int y) const
    {
        const std::uint8_t* line = m_bits + static_cast<qsizetype>(y) * m_bytesPerLine;
        switch (m_sourceKind) {
        case ValueKind::Rgb: return reinterpret_cast<const QRgb*>(line)[x] & 0xFFFFFF;
        case ValueKind::Index: return line[x];
        case ValueKind::Bit:
            return m_mono ? (line[x >> 3] >> (7 - (x & 7))) & 1u : static_cast<std::uint32_t>(m_source.pixelIndex(x, y));
        }
        return 0;
    }

    const QImage& m_source;
    const std::uint8_t* m_bits = nullptr;
    qsizetype m_bytesPerLine = 0;
    bool m_mono = false;
    const QImage* m_dest = nullptr;
    ValueKind m_sourceKind, m_destKind;
    QRgb m_sourceBk = 0xFFFFFFFFu;
    bool m_raw = false;
    // A blit allocates nothing: the translated colour table lives here.
    std::array<std::uint32_t, 256> m_translated{};
    std::size_t m_translatedCount = 0;
};

void StoreValue(QImage& image, ValueKind kind, int x, int y, std::uint32_t value)
{
    switch (kind) {
    case ValueKind::Rgb:
        reinterpret_cast<QRgb*>(image.scanLine(y))[x] = 0xFF000000u | (value & 0xFFFFFF);
        break;
    case ValueKind::Index:
        image.scanLine(y)[x] = static_cast<std::uint8_t>(std::min<std::uint32_t>(value & 0xFF, std::max(image.colorCount() - 1, 0)));
        break;
    case ValueKind::Bit:
        if (image.format() == QImage::Format_Mono) {
            std::uint8_t& byte = image.scanLine(y)[x >> 3];
            const auto bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
            byte = static_cast<std::uint8_t>((value & 1) ? (byte | bit) : (byte & ~bit));
        } else {
            image.setPixel(x, y, value & 1);
        }
        break;
    }
}

// Clips a copy of width x height from (sx, sy) to (x, y) against both images.
bool Clip(const QImage& dest, int& x, int& y, int& width, int& height, const QImage& source, int& sx, int& sy)
{
    if (x < 0) { sx -= x; width += x; x = 0; }
    if (y < 0) { sy -= y; height += y; y = 0; }
    if (sx < 0) { x -= sx; width += sx; sx = 0; }
    if (sy < 0) { y -= sy; height += sy; sy = 0; }
    width = std::min({width, dest.width() - x, source.width() - sx});
    height = std::min({height, dest.height() - y, source.height() - sy});
    return width > 0 && height > 0;
}

} // namespace

namespace {

// The operation's code byte is a truth table: bit (P*4 + S*2 + D) holds the
// result for pattern P, source S and destination D.
std::uint32_t Rop3(TRasterOp rop, std::uint32_t pattern, std::uint32_t source, std::uint32_t dest)
{
    const unsigned code = (rop >> 16) & 0xFF;
    std::uint32_t result = 0;
    for (unsigned bit = 0; bit < 8; ++bit) {
        if (!(code & (1u << bit)))
            continue;
        const std::uint32_t p = (bit & 4) ? pattern : ~pattern;
        const std::uint32_t s = (bit & 2) ? source : ~source;
        const std::uint32_t d = (bit & 1) ? dest : ~dest;
        result |= p & s & d;
    }
    return result;
}

} // namespace

std::uint32_t ApplyRop(TRasterOp rop, std::uint32_t source, std::uint32_t dest)
{
    // Copies between bitmaps have no brush: the pattern is all ones.
    return Rop3(rop, 0xFFFFFFFFu, source, dest);
}

namespace {

// A combined value as a device pixel: colour bits only, opaque.
inline QRgb StoreRgb(std::uint32_t value)
{
    return 0xFF000000u | (value & 0xFFFFFFu);
}

// ApplyRop with the operations of masked drawing spelled out: they run per
// pixel, and the truth table walks eight bits.
std::uint32_t Combine(TRasterOp rop, std::uint32_t source, std::uint32_t dest)
{
    switch ((rop >> 16) & 0xFF) {
    case 0xCC: return source;          // SRCCOPY
    case 0x88: return source & dest;   // SRCAND
    case 0xEE: return source | dest;   // SRCPAINT
    case 0x66: return source ^ dest;   // SRCINVERT
    case 0x33: return ~source;         // NOTSRCCOPY
    case 0xAA: return dest;            // DSTCOPY
    default: return ApplyRop(rop, source, dest);
    }
}

} // namespace

namespace {

// Combines a row of 32-bit pixels; the frequent operations have loops of
// their own, the rest go through the truth table. The alpha byte stays opaque.
void CombineRow(QRgb* dest, const QRgb* source, int count, TRasterOp rop)
{
    constexpr QRgb kOpaque = 0xFF000000u;
    switch (rop) {
    case SRCCOPY: std::memcpy(dest, source, sizeof(QRgb) * static_cast<std::size_t>(count)); return;
    case SRCINVERT:
        for (int i = 0; i < count; ++i)
            dest[i] = (dest[i] ^ source[i]) | kOpaque;
        return;
    case SRCAND:
        for (int i = 0; i < count; ++i)
            dest[i] = (dest[i] & source[i]) | kOpaque;
        return;
    case SRCPAINT:
        for (int i = 0; i < count; ++i)
            dest[i] = dest[i] | source[i] | kOpaque;
        return;
    case NOTSRCCOPY:
        for (int i = 0; i < count; ++i)
            dest[i] = ~source[i] | kOpaque;
        return;
    default:
        for (int i = 0; i < count; ++i)
            dest[i] = ApplyRop(rop, source[i], dest[i]) | kOpaque;
        return;
    }
}

} // namespace

void BitBlt(TBitmap& dest, int x, int y, int width, int height, const TBitmap& source, int sx, int sy, TRasterOp rop)
{
    QImage& target = dest.Image();
    const QImage& from = source.Image();
    if (target.isNull() || from.isNull() || !Clip(target, x, y, width, height, from, sx, sy))
        return;
    const ValueKind kind = KindOf(target);
    if (kind == ValueKind::Rgb && KindOf(from) == ValueKind::Rgb) {
        for (int row = 0; row < height; ++row)
            CombineRow(reinterpret_cast<QRgb*>(target.scanLine(y + row)) + x,
                       reinterpret_cast<const QRgb*>(from.constScanLine(sy + row)) + sx, width, rop);
    } else if (kind == ValueKind::Rgb) {
        // A palette or monochrome source onto a device bitmap: a row pointer
        // and the translated colours.
        const SourceReader read(source, dest);
        for (int row = 0; row < height; ++row) {
            QRgb* line = reinterpret_cast<QRgb*>(target.scanLine(y + row)) + x;
            for (int col = 0; col < width; ++col)
                line[col] = StoreRgb(Combine(rop, read(sx + col, sy + row), line[col]));
        }
    } else if (kind == ValueKind::Bit && target.format() == QImage::Format_Mono) {
        // Into a mask: bit by bit through a row pointer.
        const SourceReader read(source, dest);
        for (int row = 0; row < height; ++row) {
            std::uint8_t* line = target.scanLine(y + row);
            for (int col = 0; col < width; ++col) {
                const int tx = x + col;
                std::uint8_t& byte = line[tx >> 3];
                const unsigned shift = 7 - (tx & 7);
                const std::uint32_t value = Combine(rop, read(sx + col, sy + row), (byte >> shift) & 1u);
                byte = static_cast<std::uint8_t>((byte & ~(1u << shift)) | ((value & 1u) << shift));
            }
        }
    } else {
        const SourceReader read(source, dest);
        for (int row = 0; row < height; ++row)
            for (int col = 0; col < width; ++col)
                StoreValue(target, kind, x + col, y + row,
                           Combine(rop, read(sx + col, sy + row), RawValue(target, kind, x + col, y + row)));
    }
    dest.CanvasChanged();
}

void StretchBlt(TBitmap& dest, const TRect& destRect, const TBitmap& source, const TRect& sourceRect, TRasterOp rop)
{
    QImage& target = dest.Image();
    const QImage& from = source.Image();
    if (target.isNull() || from.isNull() || destRect.IsEmpty() || sourceRect.IsEmpty())
        return;
    if (destRect.Width() == sourceRect.Width() && destRect.Height() == sourceRect.Height()) {
        BitBlt(dest, destRect.Left, destRect.Top, destRect.Width(), destRect.Height(), source, sourceRect.Left,
               sourceRect.Top, rop);
        return;
    }
    const ValueKind kind = KindOf(target);
    const SourceReader read(source, dest);
    for (int dy = std::max(0, -destRect.Top); dy < destRect.Height() && destRect.Top + dy < target.height(); ++dy) {
        const int syy = sourceRect.Top + static_cast<int>(static_cast<long>(dy) * sourceRect.Height() / destRect.Height());
        if (syy < 0 || syy >= from.height())
            continue;
        QRgb* rgbLine = kind == ValueKind::Rgb ? reinterpret_cast<QRgb*>(target.scanLine(destRect.Top + dy)) : nullptr;
        for (int dx = std::max(0, -destRect.Left); dx < destRect.Width() && destRect.Left + dx < target.width(); ++dx) {
            const int sxx = sourceRect.Left + static_cast<int>(static_cast<long>(dx) * sourceRect.Width() / destRect.Width());
            if (sxx < 0 || sxx >= from.width())
                continue;
            const int tx = destRect.Left + dx, ty = destRect.Top + dy;
            if (rgbLine) {
                QRgb& pixel = rgbLine[tx];
                pixel = StoreRgb(Combine(rop, read(sxx, syy), pixel));
            } else {
                StoreValue(target, kind, tx, ty, Combine(rop, read(sxx, syy), RawValue(target, kind, tx, ty)));
            }
        }
    }
    dest.CanvasChanged();
}

namespace {

// Code bytes of the two operations a masked copy mostly uses.
constexpr unsigned kKeepDestination = (DSTCOPY >> 16) & 0xFF;
constexpr unsigned kCopySource = (SRCCOPY >> 16) & 0xFF;

} // namespace

void MaskBlt(TBitmap& dest, int x, int y, int width, int height, const TBitmap& source, int sx, int sy,
             const TBitmap& mask, int mx, int my, TRasterOp foreground, TRasterOp background)
{
    QImage& target = dest.Image();
    const QImage& from = source.Image();
    const QImage& bits = mask.Image();
    const int ox = x, oy = y;
    if (target.isNull() || from.isNull() || !Clip(target, x, y, width, height, from, sx, sy))
        return;
    mx += x - ox;
    my += y - oy;
    const bool maskIsBits = KindOf(bits) == ValueKind::Bit;
    const ValueKind kind = KindOf(target);
    const SourceReader read(source, dest);
    for (int row = 0; row < height; ++row) {
        const int maskRow = my + row;
        const bool rowInMask = maskIsBits && maskRow >= 0 && maskRow < bits.height();
        const std::uint8_t* maskLine = rowInMask ? bits.constScanLine(maskRow) : nullptr;
        QRgb* rgbLine = kind == ValueKind::Rgb ? reinterpret_cast<QRgb*>(target.scanLine(y + row)) : nullptr;
        for (int col = 0; col < width; ++col) {
            const int maskCol = mx + col;
            // Format_Mono keeps the leftmost pixel in the top bit.
            const bool fore = maskLine && maskCol >= 0 && maskCol < bits.width() &&
                              ((maskLine[maskCol >> 3] >> (7 - (maskCol & 7))) & 1);
            const TRasterOp rop = fore ? foreground : background;
            const unsigned code = (rop >> 16) & 0xFF;
            if (code == kKeepDestination)
                continue;
            const int tx = x + col, ty = y + row;
            const std::uint32_t value = read(sx + col, sy + row);
            if (rgbLine)
                rgbLine[tx] = StoreRgb(code == kCopySource ? value : Combine(rop, value, rgbLine[tx]));
            else
                StoreValue(target, kind, tx, ty,
                           code == kCopySource ? value : Combine(rop, value, RawValue(target, kind, tx, ty)));
        }
    }
    dest.CanvasChanged();
}

void MaskBlt(TBitmap& dest, int x, int y, int width, int height, const TBitmap& source, int sx, int sy,
             const TBitmap& mask, int mx, int my, std::uint32_t rop4)
{
    // Only the code byte of each operation takes part in the combination.
    const auto foreground = static_cast<TRasterOp>(rop4 & 0x00FFFFFFu);
    const auto background = static_cast<TRasterOp>((rop4 >> 8) & 0x00FF0000u);
    MaskBlt(dest, x, y, width, height, source, sx, sy, mask, mx, my, foreground, background);
}

void PatBlt(TBitmap& dest, const TRect& rect, TColor color, TRasterOp rop)
{
    QImage& target = dest.Image();
    if (target.isNull())
        return;
    const ValueKind kind = KindOf(target);
    const std::uint32_t value = ValueOfColor(target, kind, ToQRgb(color));
    const QRect area = rect.ToQRect().intersected(target.rect());
    if (kind == ValueKind::Rgb && (rop == PATCOPY || rop == BLACKNESS || rop == WHITENESS)) {
        // Plain fills, a row at a time.
        const QRgb fill = 0xFF000000u | (rop == PATCOPY ? value : rop == WHITENESS ? 0xFFFFFFu : 0u);
        for (int y = area.top(); y <= area.bottom(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(target.scanLine(y));
            std::fill(line + area.left(), line + area.right() + 1, fill);
        }
        dest.CanvasChanged();
        return;
    }
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            StoreValue(target, kind, x, y, Rop3(rop, value, 0, RawValue(target, kind, x, y)));
    dest.CanvasChanged();
}

} // namespace orvex
