#pragma once

#include "Graphics.h"

namespace orvex {

// Which way MaskedStretchBlit copies. Automatic takes the single masked blit
// when no scaling is needed and the general path otherwise; General forces
// the general path (tests compare the two).
enum class TMaskedBlitPath { Automatic, General };

// Copies the source rectangle (sx, sy, sw, sh) onto the destination
// rectangle (dx, dy, dw, dh), stretching as needed, except where the
// monochrome mask holds 1: there the destination stays as it was.
//
// The direct path reads the mask at (mx, my); the general path reads it at
// the source origin (sx, sy). The general path uses the destination's text
// and background colours for the mask and restores them afterwards, and its
// two work bitmaps are the only memory a call takes. Always returns true.
bool MaskedStretchBlit(TCanvas& dest, int dx, int dy, int dw, int dh, const TBitmap& source, int sx, int sy, int sw,
                       int sh, const TBitmap& mask, int mx, int my,
                       TMaskedBlitPath path = TMaskedBlitPath::Automatic);

} // namespace orvex
