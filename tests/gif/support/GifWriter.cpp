#include "GifWriter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace giftest {

std::vector<Rgb> TestColors(int count)
{
    std::vector<Rgb> colors;
    for (int i = 0; i < count; ++i)
        colors.push_back({static_cast<std::uint8_t>(i * 37 + 11), static_cast<std::uint8_t>(i * 91 + 3),
                          static_cast<std::uint8_t>(255 - i)});
    return colors;
}

namespace {

// Writes codes least significant bit first.
class BitWriter {
public:
    void Put(int code, int width)
    {
        m_accumulator |= std::uint32_t(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_out.push_back(static_cast<std::uint8_t>(m_accumulator & 0xFF));
            m_accumulator >>= 8;
            m_bits -= 8;
        }
    }
    Bytes Finish()
    {
        if (m_bits > 0)
            m_out.push_back(static_cast<std::uint8_t>(m_accumulator & 0xFF));
        m_bits = 0;
        m_accumulator = 0;
        return std::move(m_out);
    }

private:
    Bytes m_out;
    std::uint32_t m_accumulator = 0;
    int m_bits = 0;
};

} // namespace

Bytes LzwEncode(const Bytes& indices, int minimumCodeSize, const LzwOptions& options, std::vector<LzwCode>* codes)
{
    const int clear = 1 << minimumCodeSize;
    const int end = clear + 1;
    // The encoder's table: child[prefix * 256 + pixel] = code, or -1.
    std::vector<std::int16_t> child(4096 * 256, -1);
    int next = clear + 2;
    // The decoder's view: it adds its entries one code later, and its code
    // width grows when its next free slot reaches the limit.
    int decoderNext = clear + 2;
    int limit = 2 * clear;
    int width = minimumCodeSize + 1;
    bool firstAfterClear = true;
    int sinceClear = 0;

    BitWriter writer;
    auto emit = [&](int code) {
        writer.Put(code, width);
        if (codes)
            codes->push_back({code, width});
        if (code == clear) {
            decoderNext = clear + 2;
            limit = 2 * clear;
            width = minimumCodeSize + 1;
            firstAfterClear = true;
            return;
        }
        if (code == end)
            return;
        if (firstAfterClear) {
            firstAfterClear = false;
            return;
        }
        if (decoderNext < 4096) {
            ++decoderNext;
            if (decoderNext >= limit && limit < 4096) {
                limit *= 2;
                ++width;
            }
        }
    };
    auto reset = [&] {
        std::fill(child.begin(), child.end(), std::int16_t(-1));
        next = clear + 2;
        sinceClear = 0;
    };

    if (options.InitialClear)
        emit(clear);
    if (indices.empty()) {
        if (options.EndCode)
            emit(end);
        return writer.Finish();
    }
    int prefix = indices[0];
    for (std::size_t i = 1; i < indices.size(); ++i) {
        const int pixel = indices[i];
        const int found = child[static_cast<std::size_t>(prefix) * 256 + static_cast<std::size_t>(pixel)];
        if (found >= 0) {
            prefix = found;
            continue;
        }
        emit(prefix);
        ++sinceClear;
        if (next < 4096)
            child[static_cast<std::size_t>(prefix) * 256 + static_cast<std::size_t>(pixel)] =
                static_cast<std::int16_t>(next++);
        const bool full = next >= 4096 && options.ClearWhenFull;
        const bool periodic = options.ClearEvery > 0 && sinceClear >= options.ClearEvery;
        if (full || periodic) {
            emit(clear);
            reset();
        }
        prefix = pixel;
    }
    emit(prefix);
    if (options.EndCode)
        emit(end);
    return writer.Finish();
}

Bytes PackCodes(const std::vector<LzwCode>& codes)
{
    BitWriter writer;
    for (const LzwCode& c : codes)
        writer.Put(c.Code, c.Width);
    return writer.Finish();
}

Bytes SubBlocks(const Bytes& data, int blockSize, bool terminate)
{
    Bytes out;
    for (std::size_t i = 0; i < data.size(); i += static_cast<std::size_t>(blockSize)) {
        const std::size_t n = std::min(data.size() - i, static_cast<std::size_t>(blockSize));
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    if (terminate)
        out.push_back(0);
    return out;
}

int MinimumCodeSizeFor(const Bytes& indices)
{
    int highest = 0;
    for (std::uint8_t v : indices)
        highest = std::max<int>(highest, v);
    int bits = 2;
    while ((1 << bits) <= highest)
        ++bits;
    return bits;
}

Bytes InterlaceRows(const Bytes& indices, int width, int height)
{
    // Row strides and offsets of the four interlace passes.
    static const int kStart[4] = {0, 4, 2, 1};
    static const int kStep[4] = {8, 8, 4, 2};
    Bytes out;
    out.reserve(indices.size());
    for (int pass = 0; pass < 4; ++pass)
        for (int row = kStart[pass]; row < height; row += kStep[pass])
            out.insert(out.end(), indices.begin() + std::ptrdiff_t(row) * width,
                       indices.begin() + std::ptrdiff_t(row + 1) * width);
    return out;
}

// ---- GifWriter

void GifWriter::Put16(int value)
{
    m_data.push_back(static_cast<std::uint8_t>(value & 0xFF));
    m_data.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void GifWriter::PutColors(const std::vector<Rgb>& colors)
{
    for (const Rgb& c : colors) {
        m_data.push_back(c.R);
        m_data.push_back(c.G);
        m_data.push_back(c.B);
    }
}

namespace {

// The size code n of a table of 2 << n entries; the table must have such a size.
int TableSizeCode(std::size_t count)
{
    for (int n = 0; n < 8; ++n)
        if ((std::size_t(2) << n) == count)
            return n;
    throw std::invalid_argument("colour table size must be a power of two from 2 to 256");
}

} // namespace

GifWriter& GifWriter::Header(int width, int height, const std::vector<Rgb>& globalColors, std::uint8_t background,
                             const char* signature)
{
    m_data.insert(m_data.end(), signature, signature + std::strlen(signature));
    Put16(width);
    Put16(height);
    std::uint8_t packed = 0x70; // 8 bits of colour resolution
    if (!globalColors.empty())
        packed |= static_cast<std::uint8_t>(0x80 | TableSizeCode(globalColors.size()));
    m_data.push_back(packed);
    m_data.push_back(background);
    m_data.push_back(0);
    PutColors(globalColors);
    return *this;
}

GifWriter& GifWriter::GraphicControl(int disposal, int delay, int transparentIndex)
{
    Raw({0x21, 0xF9, 4});
    m_data.push_back(static_cast<std::uint8_t>(((disposal & 7) << 2) | (transparentIndex >= 0 ? 1 : 0)));
    Put16(delay);
    m_data.push_back(static_cast<std::uint8_t>(transparentIndex >= 0 ? transparentIndex : 0));
    m_data.push_back(0);
    return *this;
}

GifWriter& GifWriter::Loop(int count, const char* identifier)
{
    Raw({0x21, 0xFF, 11});
    m_data.insert(m_data.end(), identifier, identifier + 11);
    Raw({3, 1});
    Put16(count);
    m_data.push_back(0);
    return *this;
}

GifWriter& GifWriter::Comment(const std::vector<std::string>& lines)
{
    Raw({0x21, 0xFE});
    for (const std::string& line : lines) {
        m_data.push_back(static_cast<std::uint8_t>(line.size()));
        m_data.insert(m_data.end(), line.begin(), line.end());
    }
    m_data.push_back(0);
    return *this;
}

GifWriter& GifWriter::Application(const std::string& identifier, const std::vector<Bytes>& blocks)
{
    Raw({0x21, 0xFF, static_cast<std::uint8_t>(identifier.size())});
    m_data.insert(m_data.end(), identifier.begin(), identifier.end());
    for (const Bytes& block : blocks) {
        m_data.push_back(static_cast<std::uint8_t>(block.size()));
        Raw(block);
    }
    m_data.push_back(0);
    return *this;
}

GifWriter& GifWriter::Descriptor(int left, int top, int width, int height, std::uint8_t packed)
{
    m_data.push_back(0x2C);
    Put16(left);
    Put16(top);
    Put16(width);
    Put16(height);
    m_data.push_back(packed);
    return *this;
}

GifWriter& GifWriter::Frame(const FrameSpec& frame)
{
    std::uint8_t packed = frame.Interlaced ? 0x40 : 0;
    if (!frame.LocalColors.empty())
        packed |= static_cast<std::uint8_t>(0x80 | TableSizeCode(frame.LocalColors.size()));
    Descriptor(frame.Left, frame.Top, frame.Width, frame.Height, packed);
    PutColors(frame.LocalColors);
    const int minimum = frame.MinimumCodeSize > 0 ? frame.MinimumCodeSize : MinimumCodeSizeFor(frame.Indices);
    m_data.push_back(static_cast<std::uint8_t>(minimum));
    const Bytes stored = frame.Interlaced ? InterlaceRows(frame.Indices, frame.Width, frame.Height) : frame.Indices;
    Raw(SubBlocks(LzwEncode(stored, minimum, frame.Lzw), frame.SubBlockSize));
    return *this;
}

GifWriter& GifWriter::Raw(std::initializer_list<std::uint8_t> bytes)
{
    m_data.insert(m_data.end(), bytes.begin(), bytes.end());
    return *this;
}

GifWriter& GifWriter::Raw(const Bytes& bytes)
{
    m_data.insert(m_data.end(), bytes.begin(), bytes.end());
    return *this;
}

GifWriter& GifWriter::Trailer()
{
    m_data.push_back(0x3B);
    return *this;
}

} // namespace giftest
