#include "GIFOptions.h"

#include <QGuiApplication>
#include <QScreen>

namespace orvex {

void DetectPaletteDisplay()
{
    const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                                ? QGuiApplication::primaryScreen()
                                : nullptr;
    // The screen's depth counts all its planes.
    const bool palette = screen && IsPaletteDepth(screen->depth(), 1);
    PaletteDisplay = palette;
    AutoDitherActive = palette;
}

} // namespace orvex
