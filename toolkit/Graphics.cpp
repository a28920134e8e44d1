#include "Graphics.h"

#include "Exceptions.h"
#include "Streams.h"

#include <QBuffer>
#include <QFontDatabase>
#include <algorithm>
#include <limits>

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

// ---- palettes and arithmetic

TPalettePtr CopyPalette(const TPalettePtr& palette)
{
    if (!palette)
        return {};
    return std::make_shared<const TPalette>(*palette);
}

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    const std::uint64_t magnitude = product < 0 ? static_cast<std::uint64_t>(-product) : static_cast<std::uint64_t>(product);
    const std::uint64_t divisor = denominator < 0 ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(denominator))
                                                  : static_cast<std::uint64_t>(denominator);
    const std::uint64_t quotient = (magnitude + divisor / 2) / divisor;
    if (quotient > static_cast<std::uint64_t>(std::numeric_limits<int>::max()) + (negative ? 1u : 0u))
        return -1;
    return negative ? static_cast<int>(-static_cast<std::int64_t>(quotient)) : static_cast<int>(quotient);
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
    : TGraphic(other), TransparentMode(other.TransparentMode), m_image(other.m_image), m_palette(other.Palette()),
      m_format(other.m_format), m_transparentColor(other.m_transparentColor)
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
        m_palette = other.Palette(); // the copy shares the palette handle
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
        // A palette given before the bitmap had pixels colours them now.
        if (m_palette && m_image.colorCount() > 0 && m_format != TPixelFormat::pf1bit) {
            const TPalettePtr palette = m_palette;
            SetPalette(palette);
            return;
        }
    }
    Changed();
}

void TBitmap::Dormant()
{
    if (m_image.isNull())
        return;
    m_image = QImage();
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
    if (m_palette)
        return m_palette;
    if (m_image.isNull() || m_image.colorCount() == 0)
        return {};
    auto palette = std::make_shared<TPalette>();
    for (QRgb c : m_image.colorTable())
        palette->Entries.push_back(c);
    m_palette = palette;
    return m_palette;
}

void TBitmap::SetPalette(TPalettePtr palette)
{
    m_palette = palette;
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
    ImageReplaced();
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

TColor TBitmap::BlitTextColor() const
{
    return m_canvas ? m_canvas->TextColor : clBlack;
}

TColor TBitmap::BlitBkColor() const
{
    return m_canvas ? m_canvas->BkColor : clWhite;
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

} // namespace orvex
