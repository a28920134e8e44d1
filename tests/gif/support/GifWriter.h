#pragma once

// Builds GIF files byte by byte for the tests: an LZW encoder whose code
// widths follow the decoder's rule exactly, and a writer for headers,
// colour tables, extensions and frames. Raw bytes can be put anywhere, so
// broken files are as easy to make as good ones.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace giftest {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    std::uint8_t R = 0, G = 0, B = 0;
};

// A colour table of count entries: a distinct, repeatable colour each.
std::vector<Rgb> TestColors(int count);

struct LzwOptions {
    // Start with a clear code (decoders start as if there were one anyway).
    bool InitialClear = true;
    // When the table is full: emit a clear code (true) or go on with
    // 12-bit codes and no new entries (false).
    bool ClearWhenFull = true;
    // Emit a clear code after this many data codes (0: never).
    int ClearEvery = 0;
    // End with the end code.
    bool EndCode = true;
};

// One code as the encoder emitted it, for tests that look at code streams.
struct LzwCode {
    int Code;
    int Width;
};

// Encodes indices (each below 1 << minimumCodeSize) into the packed code
// stream (not yet cut into sub-blocks).
Bytes LzwEncode(const Bytes& indices, int minimumCodeSize, const LzwOptions& options = {},
                std::vector<LzwCode>* codes = nullptr);

// Packs codes of given widths, least significant bit first.
Bytes PackCodes(const std::vector<LzwCode>& codes);

// Cuts data into sub-blocks of at most blockSize bytes and adds the
// terminator (unless terminate is false).
Bytes SubBlocks(const Bytes& data, int blockSize = 255, bool terminate = true);

// The smallest minimum code size (at least 2) that holds every index.
int MinimumCodeSizeFor(const Bytes& indices);

// Indices in display order, rearranged into the order an interlaced frame
// stores its rows.
Bytes InterlaceRows(const Bytes& indices, int width, int height);

struct FrameSpec {
    int Left = 0, Top = 0, Width = 1, Height = 1;
    bool Interlaced = false;
    std::vector<Rgb> LocalColors; // none: no local table
    Bytes Indices;                // display order; width x height
    int MinimumCodeSize = 0;      // 0: the smallest that fits
    LzwOptions Lzw;
    int SubBlockSize = 255;
};

class GifWriter {
public:
    // "GIF" + version, the screen descriptor and the global table.
    GifWriter& Header(int width, int height, const std::vector<Rgb>& globalColors = {}, std::uint8_t background = 0,
                      const char* signature = "GIF89a");
    // packed = disposal << 2 | user input << 1 | transparent flag.
    GifWriter& GraphicControl(int disposal, int delay, int transparentIndex = -1);
    GifWriter& Loop(int count, const char* identifier = "NETSCAPE2.0");
    GifWriter& Comment(const std::vector<std::string>& lines);
    GifWriter& Application(const std::string& identifier, const std::vector<Bytes>& blocks);
    GifWriter& Frame(const FrameSpec& frame);
    // A descriptor and local table only, for hand-written image data.
    GifWriter& Descriptor(int left, int top, int width, int height, std::uint8_t packed);
    GifWriter& Raw(std::initializer_list<std::uint8_t> bytes);
    GifWriter& Raw(const Bytes& bytes);
    GifWriter& Trailer();

    const Bytes& Data() const { return m_data; }
    std::size_t Size() const { return m_data.size(); }

private:
    void Put16(int value);
    void PutColors(const std::vector<Rgb>& colors);
    Bytes m_data;
};

// A frame of width x height with every pixel set by f(x, y).
template <class F>
FrameSpec MakeFrame(int width, int height, F f)
{
    FrameSpec frame;
    frame.Width = width;
    frame.Height = height;
    frame.Indices.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame.Indices[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>(f(x, y));
    return frame;
}

// A repeatable pseudo-random generator for test pictures.
class TestRandom {
public:
    explicit TestRandom(std::uint32_t seed) : m_state(seed ? seed : 1) {}
    std::uint32_t Next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }

private:
    std::uint32_t m_state;
};

} // namespace giftest
