#include "GIFMaskedBlit.h"

namespace orvex {

namespace {

// Keeps the destination where the mask is 1 and copies the source where it
// is 0: foreground "leave the destination", background SRCCOPY.
constexpr std::uint32_t kKeepWhereMaskIsSet = MakeRop4(DSTCOPY, SRCCOPY);
static_assert(kKeepWhereMaskIsSet == 0xCCAA0029u);

// Puts the canvas's monochrome-blit colours back on every way out.
class BlitColorsGuard {
public:
    explicit BlitColorsGuard(TCanvas& canvas)
        : m_canvas(canvas), m_text(canvas.TextColor), m_background(canvas.BkColor)
    {
    }
    ~BlitColorsGuard()
    {
        m_canvas.TextColor = m_text;
        m_canvas.BkColor = m_background;
    }
    BlitColorsGuard(const BlitColorsGuard&) = delete;
    BlitColorsGuard& operator=(const BlitColorsGuard&) = delete;

private:
    TCanvas& m_canvas;
    TColor m_text;
    TColor m_background;
};

void GeneralPath(TCanvas& dest, const TRect& destRect, const TBitmap& source, int sx, int sy, int sw, int sh,
                 const TBitmap& mask)
{
    // The source where the frame is opaque and black where it is see-through.
    TBitmap work(sw, sh, TPixelFormat::pfDevice);
    {
        TBitmap inverted(sw, sh, TPixelFormat::pf1bit);
        BitBlt(inverted, 0, 0, sw, sh, mask, sx, sy, NOTSRCCOPY); // 1 = opaque
        // A fresh canvas draws 1 bits white and 0 bits black.
        BitBlt(work, 0, 0, sw, sh, inverted, 0, 0, SRCCOPY);
        BitBlt(work, 0, 0, sw, sh, source, sx, sy, SRCAND);
    }
    const TRect sourceRect = Bounds(sx, sy, sw, sh);
    BlitColorsGuard colors(dest);
    dest.TextColor = clBlack;
    dest.BkColor = clWhite;
    // Black where the frame is opaque, the destination where it is not ...
    StretchBlt(dest.Bitmap(), destRect, mask, sourceRect, SRCAND);
    // ... and the frame's pixels merged into the black.
    StretchBlt(dest.Bitmap(), destRect, work, Bounds(0, 0, sw, sh), SRCPAINT);
}

} // namespace

bool MaskedStretchBlit(TCanvas& dest, int dx, int dy, int dw, int dh, const TBitmap& source, int sx, int sy, int sw,
                       int sh, const TBitmap& mask, int mx, int my, TMaskedBlitPath path)
{
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return true;
    const bool scaling = sw != dw || sh != dh;
    if (path == TMaskedBlitPath::Automatic && !scaling)
        MaskBlt(dest.Bitmap(), dx, dy, dw, dh, source, sx, sy, mask, mx, my, kKeepWhereMaskIsSet);
    else
        GeneralPath(dest, Bounds(dx, dy, dw, dh), source, sx, sy, sw, sh, mask);
    return true;
}

} // namespace orvex
