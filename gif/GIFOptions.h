#pragma once

#include "GIFPaintOptions.h"

#include <atomic>

namespace orvex {

// Whether the screen is a palette display (8 or fewer bits per pixel over
// all its planes). Set once at start by DetectPaletteDisplay; tests set it
// directly. Painter threads read it, hence atomic.
inline std::atomic<bool> PaletteDisplay{false};
// Whether DitherOnPaletteDisplay lets frames dither; starts as PaletteDisplay.
inline std::atomic<bool> AutoDitherActive{false};

// A display of this depth shows at most 256 colours through a palette.
constexpr bool IsPaletteDepth(int bitsPerPixel, int planes)
{
    return bitsPerPixel * planes <= 8;
}

// Reads the primary screen's depth and sets PaletteDisplay and
// AutoDitherActive from it; without a screen neither is set.
void DetectPaletteDisplay();

// Frames are dithered to the 216-colour cube when Dither is on, unless
// DitherOnPaletteDisplay limits that to palette displays and this is not one.
constexpr bool ShouldDither(GifPaintOptions options, bool autoDitherActive)
{
    return options.Contains(GifPaintOption::Dither) &&
           (!options.Contains(GifPaintOption::DitherOnPaletteDisplay) || autoDitherActive);
}
inline bool ShouldDither(GifPaintOptions options)
{
    return ShouldDither(options, AutoDitherActive.load(std::memory_order_relaxed));
}

} // namespace orvex
