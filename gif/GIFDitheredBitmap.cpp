// A frame re-coloured to the 216-colour cube with serpentine Floyd-Steinberg
// error diffusion, for palette displays.
#include "GIFImage.h"

#include "DIBWriter.h"
#include "GIFDither.h"
#include "GIFExtensions.h"
#include "GIFMaskRows.h"
#include "GIFPalette.h"

#include <cstring>
#include <optional>

namespace orvex {

namespace {

// Index colours of the effective colour map. Indices past the map's colours
// (a broken file's) read as black, as the plain bitmap shows them.
class SourceColors {
public:
    explicit SourceColors(const TGIFColorMap& map) : m_map(map), m_count(std::min(map.ColorCount(), 256)) {}
    TGIFColor operator[](int index) const { return index < m_count ? m_map[index] : TGIFColor{}; }

private:
    const TGIFColorMap& m_map;
    int m_count;
};

// The mask bit of the pixel in hand, moving in the scan direction.
struct MaskCursor {
    std::uint8_t* Row = nullptr;
    int Byte = 0;
    unsigned Bit = 0x80;

    void Start(std::uint8_t* row, int direction, int width)
    {
        Row = row;
        if (direction == 1) {
            Byte = 0;
            Bit = 0x80;
        } else {
            // The last pixel's bit in the row's last used byte.
            Byte = (width + 7) / 8 - 1;
            Bit = 1u << ((8 - width % 8) % 8);
        }
    }
    void Set() { Row[Byte] = static_cast<std::uint8_t>(Row[Byte] | Bit); }
    void Step(int direction)
    {
        if (direction == 1) {
            Bit >>= 1;
            if (Bit == 0) {
                Bit = 0x80;
                ++Byte;
            }
        } else {
            Bit <<= 1;
            if (Bit > 0x80) {
                Bit = 0x01;
                --Byte;
            }
        }
    }
};

// The ditherer writes cube indices, so the colour table is the cube: the
// frame's palette when it is one, a new cube when the frame cached another
// palette before dithering was switched on.
TPalettePtr CubePalette(TPalettePtr cached)
{
    static const TPalettePtr cube = WebCubePalette();
    if (cached && cached->Entries == cube->Entries)
        return cached;
    return WebCubePalette();
}

} // namespace

std::unique_ptr<TBitmap> TGIFSubImage::BuildDitheredFrameBitmap()
{
    std::unique_ptr<TBitmap> bitmap = StartFrameBitmap();
    if (Empty())
        return bitmap;
    const int width = Width(), height = Height();
    const TPalettePtr palette = CubePalette(FramePalette());
    const TNetscapeColorLookup lookup(palette);
    TFloydSteinbergDitherer ditherer(width, lookup);
    TDIBWriter writer(*bitmap, TPixelFormat::pf8bit, width, height, palette);
    const SourceColors colors(EffectiveColorMap());

    // Build the mask as the plain builder does (see there).
    bool maskBuild = m_maskNeeded && Transparent && GraphicControl;
    m_maskNeeded = false;
    struct RestoreMaskNeeded {
        bool& needed;
        bool& pending;
        ~RestoreMaskNeeded()
        {
            if (pending)
                needed = true;
        }
    } restore{m_maskNeeded, maskBuild};

    std::optional<TMaskRows> mask;
    int transparentIndex = -1;
    std::uint8_t fillIndex = 0;
    bool maskUsed = false;
    if (maskBuild) {
        transparentIndex = GraphicControl->TransparentIndex();
        const TGIFColor t = colors[transparentIndex];
        // Past the cube for white (216), and so black when drawn opaque.
        fillIndex = static_cast<std::uint8_t>(
            (MulDiv(36, t.Red, 51) + MulDiv(6, t.Green, 51) + t.Blue / 51 + 1) % 256);
        mask.emplace(width, height);
    }

    MaskCursor cursor;
    for (int row = 0; row < height; ++row) {
        if (row % 32 == 0)
            ReportRendering(TProgressStage::psRunning, MulDiv(row, 100, height));
        std::uint8_t* line = writer.ScanLine(row);
        const std::uint8_t* source = Pixels() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
        const int direction = ditherer.Direction();
        if (mask) {
            std::memset(line, fillIndex, static_cast<std::size_t>(width));
            cursor.Start(mask->Row(row), direction, width);
        }
        for (int column = ditherer.Column(); column >= 0 && column < width; column = ditherer.Column()) {
            const int index = source[column];
            if (mask && index == transparentIndex) {
                // See-through: no lookup and no error carried; the fill stays.
                cursor.Set();
                maskUsed = true;
                ditherer.NextColumn();
            } else {
                const TGIFColor c = colors[index];
                int red = 0, green = 0, blue = 0;
                line[column] = static_cast<std::uint8_t>(ditherer.Dither(c.Red, c.Green, c.Blue, red, green, blue));
            }
            if (mask)
                cursor.Step(direction);
        }
        ditherer.NextLine();
    }

    if (mask && maskUsed)
        m_mask = mask->ToBitmap();
    maskBuild = false; // built: nothing to restore
    writer.Finish();
    return bitmap;
}

} // namespace orvex
