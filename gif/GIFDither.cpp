#include "GIFDither.h"

#include <algorithm>

namespace orvex {

TNetscapeColorLookup::TNetscapeColorLookup(TPalettePtr palette) : TColorLookup(std::move(palette))
{
    m_colors = 216;
}

int TNetscapeColorLookup::Lookup(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) const
{
    const int r = (red + 3) / 51, g = (green + 3) / 51, b = (blue + 3) / 51;
    outRed = 51 * r;
    outGreen = 51 * g;
    outBlue = 51 * b;
    return 36 * r + 6 * g + b;
}

int TDitherEngine::Dither(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue)
{
    const int index = m_lookup.Lookup(red, green, blue, outRed, outGreen, outBlue);
    NextColumn();
    return index;
}

void TDitherEngine::NextLine()
{
    m_direction = -m_direction;
    m_column = m_direction == 1 ? 0 : m_width - 1;
}

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int width, const TColorLookup& lookup) : TDitherEngine(width, lookup)
{
    for (Channel& channel : m_channels)
        channel.ErrorRow.assign(static_cast<std::size_t>(std::max(width, 0)) + 2, 0);
}

int TFloydSteinbergDitherer::Dither(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue)
{
    const auto slot = static_cast<std::size_t>(m_errorPosition);
    const int input[3] = {red, green, blue};
    for (std::size_t c = 0; c < 3; ++c) {
        Channel& channel = m_channels[c];
        // Integer division truncates toward zero, as the carried errors expect.
        const std::int32_t corrected = input[c] + (channel.ErrorRow[slot] + channel.Current + 8) / 16;
        channel.Current = std::clamp<std::int32_t>(corrected, 0, 255);
    }
    const int index = TDitherEngine::Dither(m_channels[0].Current, m_channels[1].Current, m_channels[2].Current, outRed,
                                            outGreen, outBlue);
    const int chosen[3] = {outRed, outGreen, outBlue};
    for (std::size_t c = 0; c < 3; ++c) {
        Channel& channel = m_channels[c];
        const std::int32_t error = channel.Current - chosen[c];
        if (error != 0) {
            channel.ErrorRow[slot] = channel.BelowPrevious + 3 * error;
            channel.BelowPrevious = channel.Below + 5 * error;
            channel.Below = error;
            channel.Current = 7 * error;
        } else {
            // An exact hit carries nothing ahead and leaves the row alone.
            channel.Current = 0;
        }
    }
    m_errorPosition += m_direction;
    return index;
}

void TFloydSteinbergDitherer::NextLine()
{
    for (Channel& channel : m_channels) {
        channel.ErrorRow[static_cast<std::size_t>(m_errorPosition)] = channel.BelowPrevious;
        channel.Current = 0;
        channel.Below = 0;
        channel.BelowPrevious = 0;
    }
    TDitherEngine::NextLine();
    m_errorPosition = m_direction == 1 ? 0 : m_width + 1;
}

} // namespace orvex
