#pragma once

#include <cstdint>
#include <initializer_list>

namespace orvex {

// The flags that steer how a GIF picture and its painters draw; each value
// is the flag's bit position in the 16-bit set.
enum class GifPaintOption : std::uint8_t {
    Threaded = 0,               // the painter runs on its own thread
    DrawTransparent = 1,        // frames leave their transparent colour out
    Animate = 2,                // play all frames, not just the first
    Loop = 3,                   // repeat as the file's loop count says
    LoopForever = 4,            // repeat endlessly
    CheckSurface = 5,           // test the target surface before each buffered frame
    PaintDirect = 6,            // paint onto the caller's surface, not the picture bitmap
    ClearOnFirstFrame = 7,      // restore the frame area before frame 0
    Tile = 8,                   // tile frames at natural size instead of stretching
    Dither = 9,                 // dither frames to the 216-colour cube
    DitherOnPaletteDisplay = 10 // ... but only on a palette display
};

// A set of GifPaintOption flags stored in 16 bits, bit n for flag n.
class GifPaintOptions {
public:
    static constexpr std::uint16_t kAllBits = 0x07FF; // the eleven flags

    constexpr GifPaintOptions() = default;
    constexpr GifPaintOptions(std::initializer_list<GifPaintOption> options)
    {
        for (GifPaintOption option : options)
            Include(option);
    }
    // Bits above the eleven flags are dropped.
    static constexpr GifPaintOptions FromBits(std::uint16_t bits)
    {
        GifPaintOptions options;
        options.m_bits = static_cast<std::uint16_t>(bits & kAllBits);
        return options;
    }

    constexpr std::uint16_t Bits() const { return m_bits; }
    constexpr bool Contains(GifPaintOption option) const { return (m_bits & Bit(option)) != 0; }
    constexpr bool Empty() const { return m_bits == 0; }
    constexpr GifPaintOptions& Include(GifPaintOption option)
    {
        m_bits = static_cast<std::uint16_t>(m_bits | Bit(option));
        return *this;
    }
    constexpr GifPaintOptions& Exclude(GifPaintOption option)
    {
        m_bits = static_cast<std::uint16_t>(m_bits & ~Bit(option));
        return *this;
    }
    constexpr GifPaintOptions With(GifPaintOption option) const { return GifPaintOptions(*this).Include(option); }
    constexpr GifPaintOptions Without(GifPaintOption option) const { return GifPaintOptions(*this).Exclude(option); }

    friend constexpr bool operator==(GifPaintOptions, GifPaintOptions) = default;

private:
    static constexpr std::uint16_t Bit(GifPaintOption option)
    {
        return static_cast<std::uint16_t>(1u << static_cast<unsigned>(option));
    }
    std::uint16_t m_bits = 0;
};

} // namespace orvex
