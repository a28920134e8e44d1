#pragma once

#include "Colors.h"

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace orvex {

class TStream;
class TCanvas;

// A rectangle whose right and bottom edges lie just outside it, as every
// drawing call of the program counts them.
struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    QRect ToQRect() const { return QRect(Left, Top, Width(), Height()); }
    static TRect FromQRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
    friend bool operator==(const TRect&, const TRect&) = default;
};
inline TRect Rect(int left, int top, int right, int bottom) { return {left, top, right, bottom}; }
inline TRect Bounds(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }

// A logical palette shared by bitmaps and pictures, in place of a palette
// handle: two palettes are the same palette only when they are the same object.
struct TPalette {
    std::uint16_t Version = 0x300;
    std::vector<QRgb> Entries;
    // One flag byte per entry (PC_NOCOLLAPSE ...); empty means all 0.
    std::vector<std::uint8_t> Flags;
};
using TPalettePtr = std::shared_ptr<const TPalette>;
inline constexpr std::uint8_t PC_NOCOLLAPSE = 4;
// A new palette with the same entries (a new handle, as CopyPalette gives).
TPalettePtr CopyPalette(const TPalettePtr& palette);

// number x numerator / denominator with a 64-bit product, rounded to the
// nearest integer (halves away from zero); -1 when the denominator is 0 or
// the result does not fit.
int MulDiv(int number, int numerator, int denominator);

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

struct TFont {
    QString Name = QStringLiteral("MS Sans Serif");
    int Height = -11;  // negative: character height in pixels
    unsigned Style = 0;
    TColor Color = clWindowText;
};
// Maps the program's face names to the desktop's: "MS Sans Serif" is
// Liberation Sans (or the desktop's sans-serif face), "LcdD" the
// seven-segment DSEG7 face.
QFont ToQFont(const TFont& font);
QFont MakeFont(const QString& name, int height, unsigned style = 0);

enum class TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum class TPenMode { pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
                      pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor };
struct TPen {
    TColor Color = clBlack;
    int Width = 1;
    TPenStyle Style = TPenStyle::psSolid;
    TPenMode Mode = TPenMode::pmCopy;
};

enum class TBrushStyle { bsSolid, bsClear };
struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = TBrushStyle::bsSolid;
};

// Raster operations: how a source pixel S meets the destination pixel D.
enum TRasterOp : std::uint32_t {
    BLACKNESS = 0x00000042,
    NOTSRCERASE = 0x001100A6, // ~(S | D)
    NOTSRCCOPY = 0x00330008,  // ~S
    SRCERASE = 0x00440328,    // S & ~D
    DSTINVERT = 0x00550009,   // ~D
    SRCINVERT = 0x00660046,   // S ^ D
    SRCAND = 0x008800C6,      // S & D
    MERGEPAINT = 0x00BB0226,  // ~S | D
    SRCCOPY = 0x00CC0020,     // S
    SRCPAINT = 0x00EE0086,    // S | D
    WHITENESS = 0x00FF0062,
    DSTCOPY = 0x00AA0029,     // D (leaves the destination alone)
    PATCOPY = 0x00F00021,     // P (the brush)
    PATINVERT = 0x005A0049,   // P ^ D
};
using TCopyMode = TRasterOp;

enum class TProgressStage { psStarting, psRunning, psEnding };

// The base of every picture class: the picture holder and the image
// control know pictures only through these operations.
class TGraphic {
public:
    using ChangeEvent = std::function<void(TGraphic& sender)>;
    using ProgressEvent = std::function<void(TGraphic& sender, TProgressStage stage, int percent, bool redrawNow,
                                             const TRect& rect, const QString& message)>;

    virtual ~TGraphic() = default;
    virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Empty() const = 0;
    virtual TPalettePtr Palette() const { return {}; }
    virtual void SetPalette(TPalettePtr) {}
    virtual bool Transparent() const { return m_transparent; }
    virtual void SetTransparent(bool value);
    virtual void LoadFromStream(TStream& stream) = 0;
    // Opens the file for reading with other writers excluded.
    void LoadFromFile(const QString& fileName);

    ChangeEvent OnChange;
    ProgressEvent OnProgress;
    bool Modified = false;

protected:
    virtual void Changed();
    void Progress(TProgressStage stage, int percent, bool redrawNow, const TRect& rect, const QString& message);

private:
    bool m_transparent = false;
};

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf24bit, pf32bit };
enum class TTransparentMode { tmAuto, tmFixed };

// A bitmap: indexed with a colour table for palette formats, 1-bit for masks,
// 32-bit for device bitmaps. Its canvas draws into it.
class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(int width, int height, TPixelFormat format = TPixelFormat::pfDevice);
    ~TBitmap() override;
    TBitmap(const TBitmap& other);
    TBitmap& operator=(const TBitmap& other);

    void Draw(TCanvas& canvas, const TRect& rect) override;
    int Width() const override { return m_image.width(); }
    int Height() const override { return m_image.height(); }
    bool Empty() const override { return m_image.isNull(); }
    TPalettePtr Palette() const override;
    void SetPalette(TPalettePtr palette) override;
    void LoadFromStream(TStream& stream) override;
    // Writes the bitmap as a BMP file image.
    void SaveToStream(TStream& stream) const;

    void SetSize(int width, int height);
    // Frees the pixels: the bitmap becomes empty (0 x 0).
    void Dormant();
    TPixelFormat PixelFormat() const { return m_format; }
    void SetPixelFormat(TPixelFormat format);
    bool Monochrome() const { return m_format == TPixelFormat::pf1bit; }

    // The colour drawn see-through when Transparent is set: the bottom-left
    // pixel's colour in automatic mode.
    TColor TransparentColor() const;
    void SetTransparentColor(TColor color);
    TTransparentMode TransparentMode = TTransparentMode::tmAuto;

    TCanvas& Canvas();
    std::uint8_t* ScanLine(int row);
    const std::uint8_t* ScanLine(int row) const;
    QImage& Image() { return m_image; }
    const QImage& Image() const { return m_image; }
    // Replaces the pixels; the format follows the image's.
    void Assign(const QImage& image);
    // Reads a pixel as a colour, whatever the format.
    TColor PixelColor(int x, int y) const;
    // Called by the canvas after it drew.
    void CanvasChanged() { Changed(); }
    // The canvas's colours for monochrome blits (black and white before the
    // canvas exists).
    TColor BlitTextColor() const;
    TColor BlitBkColor() const;

private:
    static QImage::Format QtFormat(TPixelFormat format);
    void ImageReplaced() { m_palette.reset(); }
    QImage m_image;
    // The palette handle the bitmap was given, or the one made from its
    // colour table on first request; dropped when the pixels are replaced.
    mutable TPalettePtr m_palette;
    TPixelFormat m_format = TPixelFormat::pfDevice;
    TColor m_transparentColor = clDefault;
    std::unique_ptr<TCanvas> m_canvas;
};

// A drawing surface over a bitmap, in place of a device context.
class TCanvas {
public:
    explicit TCanvas(TBitmap& target) : m_target(target) {}

    // Stands for the surface while it exists, as a device context's handle
    // does: whoever keeps the weak token can tell later that it is gone.
    std::weak_ptr<const void> LifeToken() const { return m_lifeToken; }

    TPen Pen;
    TBrush Brush;
    TFont Font;
    TCopyMode CopyMode = SRCCOPY;
    // Colours of blits between monochrome and colour bitmaps: a 0 bit drawn
    // onto this canvas becomes TextColor and a 1 bit BkColor; a pixel copied
    // from this canvas into a monochrome bitmap becomes 1 where it equals
    // BkColor and 0 elsewhere.
    TColor TextColor = clBlack;
    TColor BkColor = clWhite;

    TBitmap& Bitmap() { return m_target; }
    QPoint PenPos;

    void FillRect(const TRect& rect);
    void FrameRect(const TRect& rect);
    void Rectangle(const TRect& rect);
    void Ellipse(const TRect& rect);
    // A pie wedge of the ellipse inside the first four numbers, counter-clockwise
    // from the radial through (x3, y3) to the radial through (x4, y4).
    void Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    void Polygon(const std::vector<QPoint>& points);
    void Polyline(const std::vector<QPoint>& points);
    void MoveTo(int x, int y) { PenPos = QPoint(x, y); }
    void LineTo(int x, int y);
    void TextOut(int x, int y, const QString& text);
    void TextRect(const TRect& rect, int x, int y, const QString& text);
    int TextWidth(const QString& text) const;
    int TextHeight(const QString& text) const;
    TColor Pixel(int x, int y) const { return m_target.PixelColor(x, y); }
    void SetPixel(int x, int y, TColor color);

    void Draw(int x, int y, TGraphic& graphic);
    void StretchDraw(const TRect& rect, TGraphic& graphic);
    // Copies a rectangle of another canvas with CopyMode, stretching as needed.
    void CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect);

private:
    template <class Paint>
    void WithPainter(Paint&& paint);
    TBitmap& m_target;
    std::shared_ptr<const int> m_lifeToken = std::make_shared<const int>(0);
};

// Raster copies between bitmaps, exact to the bit (our own loops over scan
// lines). Coordinates outside either bitmap are clipped.
void BitBlt(TBitmap& dest, int x, int y, int width, int height, const TBitmap& source, int sx, int sy, TRasterOp rop);
// Nearest-pixel stretch of a source rectangle onto a destination rectangle.
void StretchBlt(TBitmap& dest, const TRect& destRect, const TBitmap& source, const TRect& sourceRect, TRasterOp rop);
// Per pixel, the 1-bit mask picks foreground (bit 1) or background (bit 0) operation.
// Mask pixels outside the mask count as 0.
void MaskBlt(TBitmap& dest, int x, int y, int width, int height, const TBitmap& source, int sx, int sy,
             const TBitmap& mask, int mx, int my, TRasterOp foreground, TRasterOp background);
// The four-operand form: the background operation's code in the top byte,
// the foreground operation in the low three bytes.
inline constexpr std::uint32_t MakeRop4(TRasterOp foreground, TRasterOp background)
{
    return ((static_cast<std::uint32_t>(background) << 8) & 0xFF000000u) | static_cast<std::uint32_t>(foreground);
}
void MaskBlt(TBitmap& dest, int x, int y, int width, int height, const TBitmap& source, int sx, int sy,
             const TBitmap& mask, int mx, int my, std::uint32_t rop4);
// Fills a rectangle with a colour combined by a raster operation (the colour is the pattern P).
void PatBlt(TBitmap& dest, const TRect& rect, TColor color, TRasterOp rop);

// Applies a raster operation to one pixel value.
std::uint32_t ApplyRop(TRasterOp rop, std::uint32_t source, std::uint32_t dest);

} // namespace orvex
