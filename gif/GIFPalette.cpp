#include "GIFPalette.h"

#include "GIFImage.h"

namespace orvex {

TPalettePtr ExportPalette(const TGIFColorMap& map)
{
    const int count = std::min(map.ColorCount(), 256);
    if (count <= 0)
        return {};
    auto palette = std::make_shared<TPalette>();
    palette->Entries.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const TGIFColor& c = map[i];
        palette->Entries.push_back(qRgb(c.Red, c.Green, c.Blue));
    }
    palette->Flags.assign(static_cast<std::size_t>(count), PC_NOCOLLAPSE);
    return palette;
}

TPalettePtr WebCubePalette()
{
    auto palette = std::make_shared<TPalette>();
    palette->Entries.reserve(216);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                palette->Entries.push_back(qRgb(51 * r, 51 * g, 51 * b));
    palette->Flags.assign(216, 0);
    return palette;
}

} // namespace orvex
