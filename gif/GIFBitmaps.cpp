// Frame bitmaps, transparency masks and palettes, and drawing one frame:
// scaled to its place in the picture, stretched or tiled, opaque or through
// its mask. Also the picture's composed bitmap, palette and size.
#include "GIFImage.h"

#include "DIBWriter.h"
#include "GIFExtensions.h"
#include "GIFMaskRows.h"
#include "GIFPainter.h"
#include "GIFPalette.h"

#include <cstring>
#include <optional>

namespace orvex {

namespace {

const QString& RenderingMessage()
{
    static const QString message = QStringLiteral("Rendering...");
    return message;
}

// A builder that fails after deciding to make the mask leaves it still
// needed, so that the next build makes it: the frame must not lose its
// transparency because one build was aborted.
class MaskDecision {
public:
    MaskDecision(bool& maskNeeded, bool transparent, const TGIFGraphicControlExtension* control)
        : m_maskNeeded(maskNeeded), m_build(maskNeeded && transparent && control)
    {
        m_maskNeeded = false;
    }
    ~MaskDecision()
    {
        if (m_build && !m_done)
            m_maskNeeded = true;
    }
    MaskDecision(const MaskDecision&) = delete;
    MaskDecision& operator=(const MaskDecision&) = delete;

    bool Build() const { return m_build; }
    void Done() { m_done = true; }

private:
    bool& m_maskNeeded;
    bool m_build;
    bool m_done = false;
};

// Calls draw for every tile of the picture's natural size laid over rect:
// the first at the frame's own offset, columns a picture width apart while
// their left edge is left of rect's right edge, rows likewise downwards.
// The tiles are not clipped to rect.
template <class Draw>
void WalkTiles(const TRect& rect, int frameLeft, int frameTop, int frameWidth, int frameHeight, int pictureWidth,
               int pictureHeight, Draw&& draw)
{
    // A picture of no size has no tiles (and would never step on).
    if (pictureWidth <= 0 || pictureHeight <= 0)
        return;
    for (int left = rect.Left + frameLeft; left < rect.Right; left += pictureWidth)
        for (int top = rect.Top + frameTop; top < rect.Bottom; top += pictureHeight)
            draw(Bounds(left, top, frameWidth, frameHeight));
}

} // namespace

// ---- frame bitmaps

void TGIFSubImage::ReportRendering(TProgressStage stage, int percent)
{
    if (m_image)
        m_image->ReportProgress(stage, percent, stage == TProgressStage::psEnding && m_image->PaletteModified,
                                RenderingMessage());
}

TBitmap* TGIFSubImage::FrameBitmap()
{
    if (m_bitmap || Empty())
        return m_bitmap.get();
    try {
        ReportRendering(TProgressStage::psStarting, 0);
        const bool dither = m_image && m_image->ShouldDither();
        try {
            m_bitmap = dither ? BuildDitheredFrameBitmap() : BuildFrameBitmap();
        } catch (...) {
            ReportRendering(TProgressStage::psEnding, 0);
            if (m_image && m_image->PaletteModified)
                m_image->NotifyChanged();
            throw;
        }
        ReportRendering(TProgressStage::psEnding, 100);
        if (m_image && m_image->PaletteModified)
            m_image->NotifyChanged();
    } catch (const EAbort&) {
        // A progress listener cancelled the build: keep what was there.
    }
    return m_bitmap.get();
}

std::unique_ptr<TBitmap> TGIFSubImage::NewFrameBitmap(int width, int height)
{
    auto bitmap = std::make_unique<TBitmap>();
    if (std::int64_t(width) * height > kLargeFramePixels)
        bitmap->SetPixelFormat(TPixelFormat::pf1bit);
    return bitmap;
}

std::unique_ptr<TBitmap> TGIFSubImage::StartFrameBitmap()
{
    std::unique_ptr<TBitmap> bitmap = NewFrameBitmap(Width(), Height());
    if (Empty()) {
        bitmap->SetSize(Width(), Height());
        bitmap->SetPalette(CopyPalette(FramePalette()));
    }
    return bitmap;
}

std::unique_ptr<TBitmap> TGIFSubImage::BuildFrameBitmap()
{
    std::unique_ptr<TBitmap> bitmap = StartFrameBitmap();
    if (Empty())
        return bitmap;
    const int width = Width(), height = Height();
    TDIBWriter writer(*bitmap, TPixelFormat::pf8bit, width, height, FramePalette());

    MaskDecision decision(m_maskNeeded, Transparent, GraphicControl);
    std::optional<TMaskRows> mask;
    std::uint8_t transparentIndex = 0;
    if (decision.Build()) {
        transparentIndex = GraphicControl->TransparentIndex();
        mask.emplace(width, height);
    }

    for (int row = 0; row < height; ++row) {
        std::uint8_t* line = writer.ScanLine(row);
        if (row % 32 == 0)
            ReportRendering(TProgressStage::psRunning, MulDiv(row, 100, height));
        // The indices are the bitmap's pixel values.
        const std::uint8_t* source = Pixels() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
        std::memcpy(line, source, static_cast<std::size_t>(width));
        if (!mask)
            continue;
        std::uint8_t* bits = mask->Row(row);
        std::uint8_t bit = 0x80, byte = 0;
        for (int x = 0; x < width; ++x) {
            if (source[x] == transparentIndex)
                byte |= bit;
            bit >>= 1;
            if (bit == 0) {
                *bits++ = byte;
                byte = 0;
                bit = 0x80;
            }
        }
        if (bit != 0x80)
            *bits = byte;
    }

    // A transparent frame none of whose pixels is see-through needs no mask.
    if (mask && mask->Used())
        m_mask = mask->ToBitmap();
    decision.Done();
    writer.Finish();
    return bitmap;
}

bool TGIFSubImage::HasMask()
{
    if (m_maskNeeded && Transparent) {
        FreeBitmap();
        FrameBitmap();
    }
    return m_mask != nullptr;
}

void TGIFSubImage::FreeBitmap()
{
    m_bitmap.reset();
}

void TGIFSubImage::FreeMask()
{
    m_mask.reset();
    m_maskNeeded = true;
}

// ---- palettes

TPalettePtr TGIFSubImage::FramePalette()
{
    if (m_bitmap) {
        if (TPalettePtr palette = m_bitmap->Palette())
            return palette;
    }
    if (m_palette)
        return m_palette;
    if (m_image && m_image->ShouldDither()) {
        m_palette = WebCubePalette();
        return m_palette;
    }
    if (LocalColorMap().ColorCount() > 0) {
        m_palette = ExportPalette(LocalColorMap());
        return m_palette;
    }
    return m_image ? m_image->PicturePalette() : TPalettePtr();
}

void TGIFSubImage::SetFramePalette(TPalettePtr value)
{
    if (value == m_palette)
        return;
    m_palette = std::move(value);
    if (m_bitmap && m_palette != m_bitmap->Palette()) {
        FreeBitmap();
        if (m_image) {
            m_image->PaletteModified = true;
            m_image->NotifyChanged();
        }
    }
}

TPalettePtr TGIFImage::PicturePalette()
{
    if (m_paletteLookup)
        RaiseGIFError(QStringLiteral("No global or local color table defined"));
    m_paletteLookup = true;
    struct Release {
        bool& flag;
        ~Release() { flag = false; }
    } release{m_paletteLookup};

    if (m_pictureBitmap) {
        if (TPalettePtr palette = m_pictureBitmap->Palette())
            return palette;
    }
    if (m_picturePalette)
        return m_picturePalette;
    if (ShouldDither()) {
        m_picturePalette = WebCubePalette();
        return m_picturePalette;
    }
    if (Header().GlobalColorMap().ColorCount() > 0) {
        m_picturePalette = ExportPalette(Header().GlobalColorMap());
        return m_picturePalette;
    }
    // A first frame without colours of its own asks here again, and the
    // guard above raises.
    if (Frames().Count() > 0)
        return Frames()[0].FramePalette();
    return {};
}

void TGIFImage::SetPicturePalette(TPalettePtr value)
{
    if (value == m_picturePalette)
        return;
    m_picturePalette = std::move(value);
    if (m_pictureBitmap && m_picturePalette != m_pictureBitmap->Palette()) {
        FreePictureBitmap();
        PaletteModified = true;
        NotifyChanged();
    }
}

// ---- the picture bitmap and size

void TGIFImage::FreePictureBitmap()
{
    if (TGIFPainter* painter = CurrentPainter())
        painter->RequestStop();
    m_pictureBitmap.reset();
}

TBitmap& TGIFImage::NewAnimationBitmap()
{
    if (m_pictureBitmap)
        return *m_pictureBitmap;
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPalette(CopyPalette(PicturePalette()));
    bitmap->SetSize(Width(), Height());
    bitmap->OnChange = [this](TGraphic&) { NotifyChanged(); };
    m_pictureBitmap = std::move(bitmap);
    return *m_pictureBitmap;
}

TBitmap* TGIFImage::PictureBitmap()
{
    if (Frames().Count() == 0)
        return nullptr;
    if (m_pictureBitmap)
        return m_pictureBitmap.get();
    m_pictureBitmap = std::make_unique<TBitmap>();
    m_pictureBitmap->OnChange = [this](TGraphic&) { NotifyChanged(); };
    try {
        TGIFSubImage& first = Frames()[0];
        if (first.Width() == Width() && first.Height() == Height()) {
            if (TBitmap* frameBitmap = first.FrameBitmap())
                *m_pictureBitmap = *frameBitmap;
            return m_pictureBitmap.get();
        }
        m_pictureBitmap->SetPalette(CopyPalette(PicturePalette()));
        m_pictureBitmap->SetSize(Width(), Height());
        first.DrawFrame(m_pictureBitmap->Canvas(), Bounds(0, 0, Width(), Height()), /*transparent=*/false,
                        /*tile=*/false);
    } catch (...) {
        // A half-made picture bitmap would be shown as if it were the picture.
        m_pictureBitmap.reset();
        throw;
    }
    return m_pictureBitmap.get();
}

void TGIFImage::SetWidth(int value)
{
    for (int i = 0; i < Frames().Count(); ++i) {
        const TGIFSubImage& frame = Frames()[i];
        if (frame.Left() + frame.Width() > value)
            RaiseGIFError(QStringLiteral("Image width too small for contained frames"));
    }
    if (value == Width())
        return;
    Header().ScreenDescriptor.ScreenWidth = static_cast<std::uint16_t>(value);
    FreePictureBitmap();
    NotifyChanged();
}

void TGIFImage::SetHeight(int value)
{
    for (int i = 0; i < Frames().Count(); ++i) {
        const TGIFSubImage& frame = Frames()[i];
        if (frame.Top() + frame.Height() > value)
            RaiseGIFError(QStringLiteral("Image height too small for contained frames"));
    }
    if (value == Height())
        return;
    Header().ScreenDescriptor.ScreenHeight = static_cast<std::uint16_t>(value);
    FreePictureBitmap();
    NotifyChanged();
}

// ---- frame geometry and pixels

TRect TGIFSubImage::ScaleFrameRect(const TRect& rect) const
{
    const int width = rect.Width(), height = rect.Height();
    const int pictureWidth = m_image ? m_image->Width() : Width();
    const int pictureHeight = m_image ? m_image->Height() : Height();
    return {rect.Left + MulDiv(Left(), width, pictureWidth), rect.Top + MulDiv(Top(), height, pictureHeight),
            rect.Left + MulDiv(Left() + Width(), width, pictureWidth),
            rect.Top + MulDiv(Top() + Height(), height, pictureHeight)};
}

void TGIFSubImage::DrawFrame(TCanvas& canvas, const TRect& rect, bool transparent, bool tile)
{
    if (tile)
        StretchDrawFrame(canvas, rect, transparent, true);
    else
        StretchDrawFrame(canvas, ScaleFrameRect(rect), transparent, false);
}

void TGIFSubImage::StretchDrawFrame(TCanvas& canvas, const TRect& rect, bool transparent, bool tile)
{
    const int pictureWidth = m_image ? m_image->Width() : Width();
    const int pictureHeight = m_image ? m_image->Height() : Height();
    if (transparent && Transparent && HasMask()) {
        const TBitmap* bitmap = FrameBitmap();
        if (!bitmap)
            return;
        const TBitmap& mask = *m_mask;
        if (!tile) {
            MaskedStretchBlit(canvas, rect.Left, rect.Top, rect.Width(), rect.Height(), *bitmap, 0, 0, Width(),
                              Height(), mask, 0, 0, MaskedBlitPath);
        } else {
            WalkTiles(rect, Left(), Top(), Width(), Height(), pictureWidth, pictureHeight, [&](const TRect& tileRect) {
                MaskedStretchBlit(canvas, tileRect.Left, tileRect.Top, Width(), Height(), *bitmap, 0, 0, Width(),
                                  Height(), mask, 0, 0, MaskedBlitPath);
            });
        }
        canvas.Bitmap().CanvasChanged();
        return;
    }
    TBitmap* bitmap = FrameBitmap();
    if (!bitmap)
        return; // an empty frame draws nothing
    if (!tile) {
        canvas.StretchDraw(rect, *bitmap);
        return;
    }
    WalkTiles(rect, Left(), Top(), Width(), Height(), pictureWidth, pictureHeight,
              [&](const TRect& tileRect) { canvas.StretchDraw(tileRect, *bitmap); });
}

std::uint8_t* TGIFSubImage::ScanLine(int row)
{
    if (row < 0 || row >= Height())
        RaiseGIFError(QStringLiteral("Invalid pixel coordinates"));
    RequirePixels();
    return Pixels() + static_cast<std::size_t>(row) * static_cast<std::size_t>(Width());
}

std::uint8_t& TGIFSubImage::PixelAt(int x, int y)
{
    if (x < 0 || x >= Width())
        RaiseGIFError(QStringLiteral("Invalid pixel coordinates"));
    return ScanLine(y)[x];
}

void TGIFSubImage::SetBounds(int left, int top, int width, int height)
{
    const bool resized = width != Width() || height != Height();
    Descriptor.Left = static_cast<std::uint16_t>(left);
    Descriptor.Top = static_cast<std::uint16_t>(top);
    Descriptor.Width = static_cast<std::uint16_t>(width);
    Descriptor.Height = static_cast<std::uint16_t>(height);
    if (resized) {
        FreeBitmap();
        FreeMask();
        FreePixels();
        AllocatePixels();
    }
    if (!m_image)
        return;
    // The stored (16-bit) values decide how far the picture must grow.
    bool warned = false;
    const int right = Left() + Width(), bottom = Top() + Height();
    if (m_image->Width() < right) {
        if (m_image->Width() > 0) {
            Warning(1, "Image width too small for contained frames");
            warned = true;
        }
        m_image->SetWidth(right);
    }
    if (m_image->Height() < bottom) {
        if (m_image->Height() > 0) {
            Warning(1, "Image height too small for contained frames");
            warned = true;
        }
        m_image->SetHeight(bottom);
    }
    if (warned)
        Warning(1, gifmsg::ExceedsScreen);
}

} // namespace orvex
