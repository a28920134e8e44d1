#pragma once

#include "GIFOptions.h"
#include "GIFPaintOptions.h"
#include "Thread.h"

namespace orvex {

// The GIF unit's process-wide settings. They are written only while the unit
// starts, before any picture exists, and read afterwards; a new picture takes
// its own copies of the defaults. The screen's PaletteDisplay and
// AutoDitherActive flags are kept beside the dither decision.
struct TGifDefaults {
    // Milliseconds counted for one delay unit of the format (whose unit is
    // 1/100 s: the animation runs a little slower than the file says).
    int DelayUnitMs = 12;
    // Delay units after a frame that gives no delay of its own.
    int FallbackDelay = 10;
    // Shorter frame delays are raised to this.
    int ShortestDelay = 3;
    // Longer frame delays are lowered to this for painters without a thread
    // of their own, which hold the window thread while they wait; it is also
    // their wait at speed 0 or below.
    int LongestDelay = 1000;

    // Threaded, DrawTransparent, Animate, Loop, Dither, DitherOnPaletteDisplay.
    GifPaintOptions DefaultPaintOptions = GifPaintOptions::FromBits(0x060F);
    int DefaultSpeedPercent = 100;
    TThreadPriority DefaultPainterPriority = TThreadPriority::tpNormal;

    // Carried for the writing side, unused by drawing.
    int DefaultReductionMethod = 6;
    int DefaultReductionBits = 8;
    int DefaultDitherMethod = 0;
    int DefaultCompressionMethod = 0;
};

extern TGifDefaults GifDefaults;

} // namespace orvex
