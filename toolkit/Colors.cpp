#include "Colors.h"

#include <QGuiApplication>
#include <QPalette>

namespace orvex {

namespace {

QColor SystemColor(unsigned index)
{
    const QPalette palette = QGuiApplication::palette();
    switch (index) {
    case 1: case 12: return palette.color(QPalette::Dark);            // desktop, workspace
    case 2: return palette.color(QPalette::Highlight);                // active caption
    case 3: case 11: return palette.color(QPalette::Mid);             // inactive caption, border
    case 4: case 5: return palette.color(QPalette::Base);             // menu, window
    case 6: case 21: return palette.color(QPalette::Shadow);          // window frame, 3D dark shadow
    case 7: case 8: return palette.color(QPalette::Text);             // menu and window text
    case 9: case 14: return palette.color(QPalette::HighlightedText); // caption text, highlight text
    case 13: return palette.color(QPalette::Highlight);
    case 16: return palette.color(QPalette::Dark);                    // button shadow
    case 17: return palette.color(QPalette::Disabled, QPalette::Text);
    case 18: return palette.color(QPalette::ButtonText);
    case 19: return palette.color(QPalette::Disabled, QPalette::WindowText);
    case 20: return palette.color(QPalette::Light);                   // button highlight
    case 22: return palette.color(QPalette::Midlight);
    case 23: return palette.color(QPalette::ToolTipText);
    case 24: return palette.color(QPalette::ToolTipBase);
    case 0: case 10: case 15: default: return palette.color(QPalette::Button); // scroll bar, border, face
    }
}

} // namespace

TColor ColorToRGB(TColor color)
{
    if ((color & 0xFF000000u) == clSystemColor)
        return FromQColor(SystemColor(color & 0xFF));
    return color & 0x00FFFFFFu;
}

QColor ToQColor(TColor color)
{
    const TColor c = ColorToRGB(color);
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

TColor FromQColor(const QColor& color)
{
    return RGB(color.red(), color.green(), color.blue());
}

} // namespace orvex
