#pragma once

#include "Graphics.h"

#include <array>
#include <cstdint>
#include <vector>

namespace orvex {

// Maps a colour to an index of a fixed palette and gives back the palette's
// colour for it.
class TColorLookup {
public:
    explicit TColorLookup(TPalettePtr palette) : m_palette(std::move(palette)) {}
    virtual ~TColorLookup() = default;
    TColorLookup(const TColorLookup&) = delete;
    TColorLookup& operator=(const TColorLookup&) = delete;

    int Colors() const { return m_colors; }
    virtual int Lookup(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) const = 0;

protected:
    TPalettePtr m_palette;
    int m_colors = 0;
};

// The 216-colour cube of six levels per channel (0, 51, ... 255). The levels
// switch at 48, 99, 150, 201 and 252: (value + 3) div 51, not the midpoints.
class TNetscapeColorLookup : public TColorLookup {
public:
    // The cube is fixed: the palette is not consulted.
    explicit TNetscapeColorLookup(TPalettePtr palette = {});
    int Lookup(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) const override;
};

// Walks the pixels of a frame row by row in a serpentine: left to right,
// then right to left, and so on.
class TDitherEngine {
public:
    TDitherEngine(int width, const TColorLookup& lookup) : m_lookup(lookup), m_width(width) {}
    virtual ~TDitherEngine() = default;
    TDitherEngine(const TDitherEngine&) = delete;
    TDitherEngine& operator=(const TDitherEngine&) = delete;

    // Looks the colour up and moves to the next column.
    virtual int Dither(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue);
    // Turns round: the next row runs the other way from its first column.
    virtual void NextLine();
    void NextColumn() { m_column += m_direction; }

    int Direction() const { return m_direction; }
    int Column() const { return m_column; }
    int Width() const { return m_width; }

protected:
    int m_direction = 1; // 1 = left to right, -1 = right to left
    int m_column = 0;
    const TColorLookup& m_lookup;
    int m_width;
};

// Serpentine Floyd-Steinberg error diffusion in integers: errors are kept
// in sixteenths (7 ahead, 3, 5 and 1 on the next row) and rounded by + 8.
class TFloydSteinbergDitherer : public TDitherEngine {
public:
    TFloydSteinbergDitherer(int width, const TColorLookup& lookup);

    int Dither(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) override;
    void NextLine() override;

    // The carried state, for inspection.
    struct Channel {
        std::vector<std::int32_t> ErrorRow; // width + 2 slots, sixteenths
        std::int32_t Current = 0;           // 7 x the previous pixel's error
        std::int32_t Below = 0;             // the previous pixel's error
        std::int32_t BelowPrevious = 0;     // partial sum for the slot two pixels back
    };
    const Channel& ChannelState(int channel) const { return m_channels[static_cast<std::size_t>(channel)]; }
    int ErrorPosition() const { return m_errorPosition; }

private:
    std::array<Channel, 3> m_channels; // red, green, blue
    int m_errorPosition = 0;
};

} // namespace orvex
