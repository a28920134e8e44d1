#pragma once

#include <QColor>
#include <cstdint>

namespace orvex {

// Colours are 0x00BBGGRR values; a set high byte 0xFF names a system colour
// (the low byte is its index), which follows the desktop theme.
using TColor = std::uint32_t;

inline constexpr TColor RGB(int r, int g, int b)
{
    return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

inline constexpr TColor clSystemColor = 0xFF000000;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

inline constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                        clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                        clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                        clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF,
                        clSkyBlue = 0xF0CAA6;

inline constexpr TColor clScrollBar = clSystemColor | 0, clBackground = clSystemColor | 1,
                        clActiveCaption = clSystemColor | 2, clInactiveCaption = clSystemColor | 3,
                        clMenu = clSystemColor | 4, clWindow = clSystemColor | 5, clWindowFrame = clSystemColor | 6,
                        clMenuText = clSystemColor | 7, clWindowText = clSystemColor | 8,
                        clCaptionText = clSystemColor | 9, clActiveBorder = clSystemColor | 10,
                        clInactiveBorder = clSystemColor | 11, clAppWorkSpace = clSystemColor | 12,
                        clHighlight = clSystemColor | 13, clHighlightText = clSystemColor | 14,
                        clBtnFace = clSystemColor | 15, clBtnShadow = clSystemColor | 16,
                        clGrayText = clSystemColor | 17, clBtnText = clSystemColor | 18,
                        clInactiveCaptionText = clSystemColor | 19, clBtnHighlight = clSystemColor | 20,
                        cl3DDkShadow = clSystemColor | 21, cl3DLight = clSystemColor | 22,
                        clInfoText = clSystemColor | 23, clInfoBk = clSystemColor | 24;

// Resolves a system colour through the application palette; plain colours
// come back unchanged.
TColor ColorToRGB(TColor color);

QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);
// 0xFFRRGGBB, as a 32-bit bitmap stores it.
inline std::uint32_t ToQRgb(TColor color)
{
    const TColor c = ColorToRGB(color);
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline TColor FromQRgb(std::uint32_t rgb)
{
    return RGB(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>(rgb & 0xFF));
}

} // namespace orvex
