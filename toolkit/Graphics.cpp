#include "Graphics.h"

#include "Exceptions.h"
#include "Streams.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace orvex {

// ---- fonts

namespace {

// The window's captions were fitted to a narrow face: Liberation Sans (the
// widths of the usual Western sans-serif) where it is installed, else the
// desktop's own sans-serif face.
QFont SansSerifFace()
{
    static const bool liberation = QFontDatabase::hasFamily(QStringLiteral("Liberation Sans"));
    return liberation ? QFont(QStringLiteral("Liberation Sans")) : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}

} // namespace

QFont ToQFont(const TFont& font)
{
    QFont qfont;
    if (font.Name.compare(QLatin1String("LcdD"), Qt::CaseInsensitive) == 0)
        qfont.setFamily(QStringLiteral("DSEG7 Classic"));
    else if (font.Name.compare(QLatin1String("MS Sans Serif"), Qt::CaseInsensitive) == 0)
        qfont = SansSerifFace();
    else
        qfont.setFamily(font.Name);
    qfont.setPixelSize(std::max(1, std::abs(font.Height)));
    qfont.setBold(font.Style & fsBold);
    qfont.setItalic(font.Style & fsItalic);
    qfont.setUnderline(font.Style & fsUnderline);
    qfont.setStrikeOut(font.Style & fsStrikeOut);
    qfont.setStyleStrategy(QFont::NoAntialias);
    return qfont;
}

QFont MakeFont(const QString& name, int height, unsigned style)
{
    TFont font;
    font.Name = name;
    font.Height = height;
    font.Style = style;
    return ToQFont(font);
}

// ---- TGraphic

void TGraphic::SetTransparent(bool value)
{
    if (value != m_transparent) {
        m_transparent = value;
        Changed();
    }
}

void TGraphic::LoadFromFile(const QString& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TGraphic::Changed()
{
    Modified = true;
    if (OnChange)
        OnChange(*this);
}

void TGraphic::Progress(TProgressStage stage, int percent, bool redrawNow, const TRect& rect, const QString& message)
{
    if (OnProgress)
        OnProgress(*this, stage, percent, redrawNow, rect, message);
}

// ---- TBitmap

QImage::Format TBitmap::QtFormat(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit: return QImage::Format_Mono;
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: return QImage::Format_Indexed8;
    default: return QImage::Format_RGB32;
    }
}

namespace {

QList<QRgb> DefaultColorTable(TPixelFormat format)
{
    QList<QRgb> table;
    if (format == TPixelFormat::pf1bit) {
        table = {0xFF000000u, 0xFFFFFFFFu};
    } else if (format == TPixelFormat::pf4bit) {
        // The sixteen colours of the standard VGA palette.
        for (TColor c : {clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple, clTeal, clGray, clSilver, clRed,
                         clLime, clYellow, clBlue, clFuchsia, clAqua, clWhite})
            table.push_back(ToQRgb(c));
    } else {
        for (int i = 0; i < 256; ++i)
            table.push_back(qRgb(i, i, i));
    }
    return table;
}

} // namespace

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height, TPixelFormat format) : m_format(format)
{
    SetSize(width, height);
}

TBitmap::~TBitmap() = default;

TBitmap::TBitmap(const TBitmap& other)
    : TGraphic(other), TransparentMode(other.TransparentMode), m_image(other.m_image), m_format(other.m_format),
      m_transparentColor(other.m_transparentColor)
{
    OnChange = nullptr;
    OnProgress = nullptr;
}

TBitmap& TBitmap::operator=(const TBitmap& other)
{
    if (this != &other) {
        m_image = other.m_image;
        m_format = other.m_format;
        m_transparentColor = other.m_transparentColor;
        TransparentMode = other.TransparentMode;
        Changed();
    }
    return *this;
}

void TBitmap::SetSize(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (!m_image.isNull() && m_image.width() == width && m_image.height() == height)
        return;
    if (width == 0 || height == 0) {
        m_image = QImage();
    } else {
        QImage image(width, height, QtFormat(m_format));
        if (image.isNull())
            throw EOutOfResources(QStringLiteral("Out of system resources"));
        if (image.format() == QImage::Format_RGB32) {
            image.fill(0xFFFFFFFFu);
        } else {
            image.setColorTable(m_image.isNull() || m_image.format() != image.format() ? DefaultColorTable(m_format)
                                                                                        : m_image.colorTable());
            image.fill(image.format() == QImage::Format_Mono ? 1 : 0);
        }
        m_image = std::move(image);
    }
    Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    if (format == m_format)
        return;
    m_format = format;
    if (!m_image.isNull()) {
        const QImage::Format target = QtFormat(format);
        if (target == QImage::Format_RGB32)
            m_image = m_image.convertToFormat(target);
        else
            m_image = m_image.convertToFormat(target, DefaultColorTable(format));
    }
    Changed();
}

TPalettePtr TBitmap::Palette() const
{
    if (m_image.isNull() || m_image.colorCount() == 0)
        return {};
    auto palette = std::make_shared<TPalette>();
    for (QRgb c : m_image.colorTable())
        palette->Entries.push_back(c);
    return palette;
}

void TBitmap::SetPalette(TPalettePtr palette)
{
    if (!palette || m_image.isNull() || m_image.colorCount() == 0)
        return;
    QList<QRgb> table(palette->Entries.begin(), palette->Entries.end());
    const int needed = m_format == TPixelFormat::pf1bit ? 2 : m_format == TPixelFormat::pf4bit ? 16 : 256;
    while (table.size() < needed)
        table.push_back(0xFF000000u);
    table.resize(needed);
    m_image.setColorTable(table);
    Changed();
}

void TBitmap::Assign(const QImage& image)
{
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB) {
        m_format = TPixelFormat::pf1bit;
        m_image = image.convertToFormat(QImage::Format_Mono);
    } else if (image.format() == QImage::Format_Indexed8) {
        m_format = image.colorCount() <= 16 ? TPixelFormat::pf4bit : TPixelFormat::pf8bit;
        m_image = image;
    } else {
        m_format = TPixelFormat::pfDevice;
        m_image = image.convertToFormat(QImage::Format_RGB32);
    }
    Changed();
}

void TBitmap::LoadFromStream(TStream& stream)
{
    const std::vector<std::uint8_t> bytes = stream.ReadAll();
    QImage image;
    if (!image.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "BMP"))
        throw EInvalidGraphic(QStringLiteral("Bitmap image is not valid"));
    Assign(image);
}

void TBitmap::SaveToStream(TStream& stream) const
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    m_image.save(&buffer, "BMP");
    stream.WriteBuffer(data.constData(), data.size());
}

TColor TBitmap::TransparentColor() const
{
    if (TransparentMode == TTransparentMode::tmFixed && m_transparentColor != clDefault)
        return m_transparentColor;
    if (m_image.isNull())
        return clDefault;
    return PixelColor(0, m_image.height() - 1);
}

void TBitmap::SetTransparentColor(TColor color)
{
    m_transparentColor = color;
    TransparentMode = color == clDefault ? TTransparentMode::tmAuto : TTransparentMode::tmFixed;
    Changed();
}

TCanvas& TBitmap::Canvas()
{
    if (!m_canvas)
        m_canvas = std::make_unique<TCanvas>(*this);
    return *m_canvas;
}

std::uint8_t* TBitmap::ScanLine(int row)
{
    if (row < 0 || row >= m_image.height())
        throw EInvalidGraphic(QStringLiteral("Scan line index out of range"));
    return m_image.scanLine(row);
}

const std::uint8_t* TBitmap::ScanLine(int row) const
{
    if (row < 0 || row >= m_image.height())
        throw EInvalidGraphic(QStringLiteral("Scan line index out of range"));
    return m_image.constScanLine(row);
}

TColor TBitmap::PixelColor(int x, int y) const
{
    if (!m_image.valid(x, y))
        return clNone;
    return FromQRgb(m_image.pixel(x, y));
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect)
{
    if (Empty() || rect.IsEmpty())
        return;
    const TRect source = Bounds(0, 0, Width(), Height());
    if (!Transparent()) {
        StretchBlt(canvas.Bitmap(), rect, *this, source, canvas.CopyMode);
        return;
    }
    // See-through: a mask of the pixels that are not the transparent colour
    // picks where the bitmap is copied.
    const QRgb key = ToQRgb(TransparentColor()) & 0xFFFFFF;
    TBitmap mask(Width(), Height(), TPixelFormat::pf1bit);
    for (int y = 0; y < Height(); ++y)
        for (int x = 0; x < Width(); ++x)
            mask.Image().setPixel(x, y, (m_image.pixel(x, y) & 0xFFFFFF) != key ? 1 : 0);
    TBitmap stretched(rect.Width(), rect.Height(), TPixelFormat::pfDevice);
    StretchBlt(stretched, Bounds(0, 0, rect.Width(), rect.Height()), *this, source, SRCCOPY);
    TBitmap stretchedMask(rect.Width(), rect.Height(), TPixelFormat::pf1bit);
    StretchBlt(stretchedMask, Bounds(0, 0, rect.Width(), rect.Height()), mask, source, SRCCOPY);
    MaskBlt(canvas.Bitmap(), rect.Left, rect.Top, rect.Width(), rect.Height(), stretched, 0, 0, stretchedMask, 0, 0,
            SRCCOPY, DSTCOPY);
}

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
    case ValueKind::Bit: return static_cast<std::uint32_t>(image.pixelIndex(x, y));
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
// 1 where it is white (the background colour) and 0 elsewhere.
std::uint32_t ValueOfColor(const QImage& dest, ValueKind kind, QRgb color)
{
    switch (kind) {
    case ValueKind::Rgb: return color & 0xFFFFFF;
    case ValueKind::Index: return static_cast<std::uint32_t>(NearestIndex(dest, color));
    case ValueKind::Bit: return (color & 0xFFFFFF) == 0xFFFFFF ? 1u : 0u;
    }
    return 0;
}

// Reads a source pixel as a value of the destination's kind: the raw value
// when both kinds agree, the colour translated otherwise.
class SourceReader {
public:
    SourceReader(const QImage& source, const QImage& dest) : m_source(source), m_dest(dest)
    {
        m_sourceKind = KindOf(source);
        m_destKind = KindOf(dest);
        m_raw = m_sourceKind == m_destKind && (m_sourceKind != ValueKind::Index || source.colorTable() == dest.colorTable());
        if (!m_raw && m_sourceKind != ValueKind::Rgb) {
            for (int i = 0; i < source.colorCount(); ++i)
                m_translated.push_back(ValueOfColor(dest, m_destKind, source.color(i)));
        }
    }
    std::uint32_t operator()(int x, int y) const
    {
        if (m_raw)
            return RawValue(m_source, m_sourceKind, x, y);
        if (m_sourceKind != ValueKind::Rgb) {
            const auto index = static_cast<std::size_t>(RawValue(m_source, m_sourceKind, x, y));
            return index < m_translated.size() ? m_translated[index] : 0;
        }
        return ValueOfColor(m_dest, m_destKind, m_source.pixel(x, y));
    }

private:
    const QImage& m_source;
    const QImage& m_dest;
    ValueKind m_sourceKind, m_destKind;
    bool m_raw = false;
    std::vector<std::uint32_t> m_translated;
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
    case ValueKind::Bit: image.setPixel(x, y, value & 1); break;
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
    } else {
        const SourceReader read(from, target);
        for (int row = 0; row < height; ++row)
            for (int col = 0; col < width; ++col)
                StoreValue(target, kind, x + col, y + row,
                           ApplyRop(rop, read(sx + col, sy + row), RawValue(target, kind, x + col, y + row)));
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
    const SourceReader read(from, target);
    for (int dy = std::max(0, -destRect.Top); dy < destRect.Height() && destRect.Top + dy < target.height(); ++dy) {
        const int syy = sourceRect.Top + static_cast<int>(static_cast<long>(dy) * sourceRect.Height() / destRect.Height());
        if (syy < 0 || syy >= from.height())
            continue;
        for (int dx = std::max(0, -destRect.Left); dx < destRect.Width() && destRect.Left + dx < target.width(); ++dx) {
            const int sxx = sourceRect.Left + static_cast<int>(static_cast<long>(dx) * sourceRect.Width() / destRect.Width());
            if (sxx < 0 || sxx >= from.width())
                continue;
            const int tx = destRect.Left + dx, ty = destRect.Top + dy;
            StoreValue(target, kind, tx, ty, ApplyRop(rop, read(sxx, syy), RawValue(target, kind, tx, ty)));
        }
    }
    dest.CanvasChanged();
}

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
    const ValueKind kind = KindOf(target);
    const SourceReader read(from, target);
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const bool fore = bits.valid(mx + col, my + row) && bits.pixelIndex(mx + col, my + row) != 0;
            const int tx = x + col, ty = y + row;
            StoreValue(target, kind, tx, ty,
                       ApplyRop(fore ? foreground : background, read(sx + col, sy + row), RawValue(target, kind, tx, ty)));
        }
    }
    dest.CanvasChanged();
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

// ---- TCanvas

namespace {

QPainter::CompositionMode CompositionOf(TPenMode mode)
{
    switch (mode) {
    case TPenMode::pmXor: return QPainter::RasterOp_SourceXorDestination;
    case TPenMode::pmNotXor: return QPainter::RasterOp_NotSourceXorDestination;
    case TPenMode::pmNot: return QPainter::RasterOp_NotDestination;
    case TPenMode::pmMerge: return QPainter::RasterOp_SourceOrDestination;
    case TPenMode::pmMask: return QPainter::RasterOp_SourceAndDestination;
    case TPenMode::pmNotCopy: return QPainter::RasterOp_NotSource;
    default: return QPainter::CompositionMode_SourceOver;
    }
}

} // namespace

// Shapes and text go through QPainter with antialiasing off. Painter-friendly
// bitmaps are painted in place; indexed and 1-bit ones through a 32-bit copy
// mapped back to their colour table.
template <class Paint>
void TCanvas::WithPainter(Paint&& paint)
{
    QImage& image = m_target.Image();
    if (image.isNull())
        return;
    const bool direct = image.format() == QImage::Format_RGB32;
    QImage scratch = direct ? QImage() : image.convertToFormat(QImage::Format_RGB32);
    {
        QPainter painter(direct ? &image : &scratch);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setCompositionMode(CompositionOf(Pen.Mode));
        paint(painter);
    }
    if (!direct)
        image = scratch.convertToFormat(image.format(), image.colorTable(), Qt::ThresholdDither | Qt::AvoidDither);
    else if (Pen.Mode != TPenMode::pmCopy) {
        // Raster modes also combine the alpha byte; a device bitmap keeps it opaque.
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] |= 0xFF000000u;
        }
    }
    m_target.CanvasChanged();
}

namespace {

QPen QtPen(const TPen& pen)
{
    if (pen.Style == TPenStyle::psClear)
        return Qt::NoPen;
    QPen qpen(ToQColor(pen.Color));
    qpen.setWidth(pen.Width <= 1 ? 0 : pen.Width);
    switch (pen.Style) {
    case TPenStyle::psDash: qpen.setStyle(Qt::DashLine); break;
    case TPenStyle::psDot: qpen.setStyle(Qt::DotLine); break;
    case TPenStyle::psDashDot: qpen.setStyle(Qt::DashDotLine); break;
    case TPenStyle::psDashDotDot: qpen.setStyle(Qt::DashDotDotLine); break;
    default: break;
    }
    return qpen;
}

QBrush QtBrush(const TBrush& brush)
{
    if (brush.Style == TBrushStyle::bsClear)
        return Qt::NoBrush;
    return QBrush(ToQColor(brush.Color));
}

// A shape's outline sits inside its rectangle: right and bottom are excluded.
QRect InnerRect(const TRect& r)
{
    return QRect(r.Left, r.Top, std::max(r.Width() - 1, 0), std::max(r.Height() - 1, 0));
}

} // namespace

void TCanvas::FillRect(const TRect& rect)
{
    if (Brush.Style == TBrushStyle::bsClear)
        return;
    PatBlt(m_target, rect, Brush.Color, PATCOPY);
}

void TCanvas::FrameRect(const TRect& rect)
{
    if (rect.IsEmpty())
        return;
    PatBlt(m_target, Rect(rect.Left, rect.Top, rect.Right, rect.Top + 1), Brush.Color, PATCOPY);
    PatBlt(m_target, Rect(rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom), Brush.Color, PATCOPY);
    PatBlt(m_target, Rect(rect.Left, rect.Top, rect.Left + 1, rect.Bottom), Brush.Color, PATCOPY);
    PatBlt(m_target, Rect(rect.Right - 1, rect.Top, rect.Right, rect.Bottom), Brush.Color, PATCOPY);
}

void TCanvas::Rectangle(const TRect& rect)
{
    WithPainter([&](QPainter& p) {
        p.setPen(QtPen(Pen));
        p.setBrush(QtBrush(Brush));
        p.drawRect(InnerRect(rect));
    });
}

void TCanvas::Ellipse(const TRect& rect)
{
    WithPainter([&](QPainter& p) {
        p.setPen(QtPen(Pen));
        p.setBrush(QtBrush(Brush));
        p.drawEllipse(InnerRect(rect));
    });
}

void TCanvas::Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    const double cx = (x1 + x2) / 2.0, cy = (y1 + y2) / 2.0;
    // Screen y grows downwards; angles count counter-clockwise as on paper.
    auto angle = [&](int x, int y) { return std::atan2(cy - y, x - cx) * 180.0 / std::numbers::pi; };
    const double start = angle(x3, y3);
    double span = angle(x4, y4) - start;
    if (span <= 0)
        span += 360.0;
    WithPainter([&](QPainter& p) {
        p.setPen(QtPen(Pen));
        p.setBrush(QtBrush(Brush));
        p.drawPie(InnerRect(Rect(x1, y1, x2, y2)), static_cast<int>(std::lround(start * 16)),
                  static_cast<int>(std::lround(span * 16)));
    });
}

void TCanvas::Polygon(const std::vector<QPoint>& points)
{
    WithPainter([&](QPainter& p) {
        p.setPen(QtPen(Pen));
        p.setBrush(QtBrush(Brush));
        p.drawPolygon(points.data(), static_cast<int>(points.size()));
    });
}

void TCanvas::Polyline(const std::vector<QPoint>& points)
{
    WithPainter([&](QPainter& p) {
        p.setPen(QtPen(Pen));
        p.drawPolyline(points.data(), static_cast<int>(points.size()));
    });
    if (!points.empty())
        PenPos = points.back();
}

void TCanvas::LineTo(int x, int y)
{
    // The end point itself is not drawn.
    const QPoint from = PenPos, to(x, y);
    WithPainter([&](QPainter& p) {
        p.setPen(QtPen(Pen));
        if (from == to)
            return;
        const QPoint step((to.x() > from.x()) - (to.x() < from.x()), (to.y() > from.y()) - (to.y() < from.y()));
        const bool straight = from.x() == to.x() || from.y() == to.y();
        p.drawLine(from, straight ? to - step : to);
    });
    PenPos = to;
}

void TCanvas::TextOut(int x, int y, const QString& text)
{
    const QFont font = ToQFont(Font);
    const QFontMetrics metrics(font);
    WithPainter([&](QPainter& p) {
        if (Brush.Style != TBrushStyle::bsClear)
            p.fillRect(QRect(x, y, metrics.horizontalAdvance(text), metrics.height()), ToQColor(Brush.Color));
        p.setFont(font);
        p.setPen(ToQColor(Font.Color));
        p.drawText(x, y + metrics.ascent(), text);
    });
    PenPos = QPoint(x + metrics.horizontalAdvance(text), y);
}

void TCanvas::TextRect(const TRect& rect, int x, int y, const QString& text)
{
    const QFont font = ToQFont(Font);
    const QFontMetrics metrics(font);
    WithPainter([&](QPainter& p) {
        p.setClipRect(rect.ToQRect());
        if (Brush.Style != TBrushStyle::bsClear)
            p.fillRect(rect.ToQRect(), ToQColor(Brush.Color));
        p.setFont(font);
        p.setPen(ToQColor(Font.Color));
        p.drawText(x, y + metrics.ascent(), text);
    });
}

int TCanvas::TextWidth(const QString& text) const
{
    return QFontMetrics(ToQFont(Font)).horizontalAdvance(text);
}

int TCanvas::TextHeight(const QString& text) const
{
    // The height of the font's cell, whatever the text.
    (void)text;
    return QFontMetrics(ToQFont(Font)).height();
}

void TCanvas::SetPixel(int x, int y, TColor color)
{
    PatBlt(m_target, Bounds(x, y, 1, 1), color, PATCOPY);
}

void TCanvas::Draw(int x, int y, TGraphic& graphic)
{
    graphic.Draw(*this, Bounds(x, y, graphic.Width(), graphic.Height()));
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic& graphic)
{
    graphic.Draw(*this, rect);
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect)
{
    StretchBlt(m_target, dest, source.Bitmap(), sourceRect, CopyMode);
}

} // namespace orvex
