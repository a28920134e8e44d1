#pragma once

#include "Graphics.h"

namespace orvex {

class TGIFColorMap;

// The colour map as a palette: one entry per colour (at most 256), marked
// PC_NOCOLLAPSE; none for an empty map. A new palette each call.
TPalettePtr ExportPalette(const TGIFColorMap& map);

// The 216-colour cube that dithered frames use: entry 36 r + 6 g + b is
// (51 r, 51 g, 51 b) for r, g, b from 0 to 5. A new palette each call.
TPalettePtr WebCubePalette();

} // namespace orvex
