#pragma once

namespace orvex {

// The clipboard format number of "GIF Image", given at unit start (0 before).
extern unsigned GifClipboardFormat;

// Announces the GIF picture to the picture framework, once, before the main
// window is made: files with the extension "GIF" ("GIF Image") load as a
// TGIFImage, the clipboard format "GIF Image" names it, and the screen's
// depth decides whether frames dither (PaletteDisplay, AutoDitherActive).
void InitializeGIFUnit();
// Takes the picture's entries out of the framework again.
void FinalizeGIFUnit();

// The unit's start and end over a scope, as the program's main holds it.
class TGIFUnit {
public:
    TGIFUnit() { InitializeGIFUnit(); }
    ~TGIFUnit() { FinalizeGIFUnit(); }
    TGIFUnit(const TGIFUnit&) = delete;
    TGIFUnit& operator=(const TGIFUnit&) = delete;
};

} // namespace orvex
