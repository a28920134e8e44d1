#include "GIFDecoder.h"

#include "GIFExtensions.h"
#include "GIFImage.h"
#include "Streams.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace orvex {

namespace {

// Codes are at most 12 bits wide, so the string table holds 4096 entries.
constexpr int kTableSize = 4096;
// Pending pixels of one string. A real string is at most 4096 long; a chain
// that grows past this is a loop in a corrupt table.
constexpr int kStackSize = 8192;
// Minimum code sizes from 12 up would put the clear code beyond the table.
constexpr int kMaxMinimumCodeSize = 11;

constexpr const char* kCircularEntry = "Circular decoder table entry";
constexpr const char* kBitBufferUnderrun = "Decoder bit buffer under-run";

// Masks for code widths 0 to 15.
constexpr std::uint32_t kCodeMask[16] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F,
                                         0x00FF, 0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF};

// Results of the decoding steps that end the pixels.
constexpr int kDataExhausted = -1;
constexpr int kEndOfInformation = -2;

// One frame's decoding state; lives for one DecodeFrameData call.
class FrameDecoder {
public:
    FrameDecoder(TGIFSubImage& frame, TStream& stream, int minimumCodeSize)
        : m_frame(frame),
          m_stream(stream),
          m_streamSize(stream.Size()),
          m_minimumCodeSize(minimumCodeSize),
          m_clearCode(1 << minimumCodeSize),
          m_endCode(m_clearCode + 1)
    {
        for (int i = 0; i < m_clearCode; ++i)
            m_suffix[i] = static_cast<std::uint8_t>(i);
    }

    // Fills count pixels in order; false when the data ended first.
    bool Emit(std::uint8_t* out, std::int64_t count)
    {
        while (count > 0) {
            if (m_top == 0 && NextString() < 0)
                return false;
            const int n = static_cast<int>(std::min<std::int64_t>(m_top, count));
            // The stack holds the string last pixel first.
            const std::uint8_t* src = m_stack + m_top;
            for (int i = 0; i < n; ++i)
                out[i] = *--src;
            m_top -= n;
            out += n;
            count -= n;
        }
        return true;
    }

    // Takes one more pixel and drops it: after the last pixel this reads
    // the end code, which skips the rest of the data up to its terminator.
    void DiscardPixel()
    {
        if (m_top > 0)
            --m_top;
        else
            NextString();
    }

private:
    int ReadCode(int width);
    // Decodes the next code's string onto the stack; a negative result ends
    // the pixels.
    int NextString();
    void ResetTable();
    void Push(std::uint8_t value)
    {
        if (m_top >= kStackSize)
            RaiseGIFError(kCircularEntry);
        m_stack[m_top++] = value;
    }

    TGIFSubImage& m_frame;
    TStream& m_stream;
    const std::int64_t m_streamSize;

    // Decoder.
    const int m_minimumCodeSize;
    const int m_clearCode;
    const int m_endCode;
    int m_codeSize = 0;
    int m_nextFree = 0;
    int m_widthLimit = 0;
    int m_highestFree = 0; // slots at and above it are still zero
    int m_firstCode = 0;
    int m_previousCode = 0;
    // Pixels are stored as their low 8 bits, so the suffixes and the stack
    // keep only those; the prefixes are full codes.
    std::uint16_t m_prefix[kTableSize] = {};
    std::uint8_t m_suffix[kTableSize] = {};
    std::uint8_t m_stack[kStackSize];
    int m_top = 0;

    // Code reader: bytes 0-1 of the buffer carry the last two bytes of the
    // previous sub-block, so a code may straddle two sub-blocks.
    std::uint8_t m_buffer[2 + 255 + 3] = {};
    int m_currentBit = 0;
    int m_lastBit = 0;
    int m_lastByte = 2;
    bool m_dataEnded = false;
    bool m_terminatorSeen = false;
    bool m_fresh = true;
};

int FrameDecoder::ReadCode(int width)
{
    if (m_fresh) {
        // Every frame starts as if with a clear code.
        m_fresh = false;
        return m_clearCode;
    }
    if (m_currentBit + width >= m_lastBit) {
        if (m_dataEnded) {
            if (m_currentBit >= m_lastBit)
                m_frame.Warning(1, kBitBufferUnderrun);
            return kDataExhausted;
        }
        m_buffer[0] = m_buffer[m_lastByte - 2];
        m_buffer[1] = m_buffer[m_lastByte - 1];
        std::uint8_t length = 0;
        if (!ReadByte(m_stream, length))
            return kDataExhausted;
        std::int64_t count = length;
        if (length == 0) {
            m_dataEnded = true;
            m_terminatorSeen = true;
        } else {
            const std::int64_t remaining = std::max<std::int64_t>(m_streamSize - m_stream.Position(), 0);
            if (count > remaining) {
                m_frame.Warning(1, gifmsg::PrematureEnd);
                count = remaining;
            }
            if (count > 0)
                ReadExactly(m_stream, m_buffer + 2, count);
        }
        m_lastByte = static_cast<int>(count) + 2;
        m_currentBit = m_currentBit - m_lastBit + 16;
        m_lastBit = m_lastByte * 8;
    }
    // A code of up to 12 bits spans at most three bytes; the buffer has
    // room for the third even at its end.
    const int s = m_currentBit >> 3;
    const std::uint32_t raw =
        std::uint32_t(m_buffer[s]) | (std::uint32_t(m_buffer[s + 1]) << 8) | (std::uint32_t(m_buffer[s + 2]) << 16);
    const int code = static_cast<int>((raw >> (m_currentBit & 7)) & kCodeMask[width]);
    m_currentBit += width;
    return code;
}

void FrameDecoder::ResetTable()
{
    // Slots from the clear code on go back to zero; those above the highest
    // slot filled since the last reset are zero already.
    if (m_highestFree > m_clearCode) {
        std::memset(m_prefix + m_clearCode, 0, sizeof(m_prefix[0]) * std::size_t(m_highestFree - m_clearCode));
        std::memset(m_suffix + m_clearCode, 0, sizeof(m_suffix[0]) * std::size_t(m_highestFree - m_clearCode));
    }
    m_codeSize = m_minimumCodeSize + 1;
    m_widthLimit = 2 * m_clearCode;
    m_nextFree = m_clearCode + 2;
    m_highestFree = m_nextFree;
    m_top = 0;
}

int FrameDecoder::NextString()
{
    int code = ReadCode(m_codeSize);
    if (code < 0)
        return code;

    if (code == m_clearCode) {
        ResetTable();
        do {
            code = ReadCode(m_codeSize);
        } while (code == m_clearCode);
        if (code < 0)
            return code;
        // The first code after a clear is a pixel as it stands: it is not
        // compared with the end code or the table.
        m_firstCode = code;
        m_previousCode = code;
        m_stack[m_top++] = static_cast<std::uint8_t>(code);
        return code;
    }

    if (code == m_endCode) {
        if (!m_terminatorSeen) {
            // Skip what is left of the data, up to its terminator.
            std::uint8_t length = 0;
            while (ReadByte(m_stream, length) && length != 0)
                m_stream.Seek(length, TSeekOrigin::soCurrent);
        }
        return kEndOfInformation;
    }

    const int incoming = code;
    if (code >= m_nextFree) {
        // Not in the table yet: the previous string plus its own first pixel.
        Push(static_cast<std::uint8_t>(m_firstCode));
        code = m_previousCode;
    }
    while (code >= m_clearCode) {
        Push(m_suffix[code]);
        if (m_prefix[code] == code)
            RaiseGIFError(kCircularEntry);
        code = m_prefix[code];
    }
    m_firstCode = m_suffix[code];
    Push(static_cast<std::uint8_t>(m_firstCode));

    if (m_nextFree < kTableSize) {
        m_prefix[m_nextFree] = static_cast<std::uint16_t>(m_previousCode);
        m_suffix[m_nextFree] = static_cast<std::uint8_t>(m_firstCode);
        ++m_nextFree;
        m_highestFree = std::max(m_highestFree, m_nextFree);
        if (m_nextFree >= m_widthLimit && m_widthLimit < kTableSize) {
            m_widthLimit *= 2;
            ++m_codeSize;
        }
    }
    // A full table takes no more entries, and codes stay 12 bits wide until
    // the next clear code.
    m_previousCode = incoming;
    return m_firstCode;
}

// Decodes the rows of an interlaced frame in place. The four passes: every
// 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
bool FillInterlaced(FrameDecoder& decoder, std::uint8_t* pixels, int width, int height)
{
    int row = 0;
    int pass = 0;
    int step = 8;
    for (int i = 0; i < height; ++i) {
        if (!decoder.Emit(pixels + std::int64_t(row) * width, width))
            return false;
        row += step;
        while (row >= height && step > 0) {
            if (pass > 0)
                step /= 2;
            ++pass;
            row = step / 2;
        }
    }
    return true;
}

} // namespace

void DecodeFrameData(TGIFSubImage& frame, TStream& stream)
{
    frame.AllocatePixels(frame.FillIndex());

    std::uint8_t minimumCodeSize = 0;
    if (!ReadByte(stream, minimumCodeSize))
        return;
    if (minimumCodeSize > kMaxMinimumCodeSize)
        RaiseGIFError(gifmsg::InvalidData);

    // 12 KB of tables and 8 KB of stack: kept off the caller's stack.
    auto decoder = std::make_unique<FrameDecoder>(frame, stream, minimumCodeSize);
    try {
        if (frame.PixelCount() > 0) {
            if (frame.Interlaced())
                FillInterlaced(*decoder, frame.Pixels(), frame.Width(), frame.Height());
            else
                decoder->Emit(frame.Pixels(), frame.PixelCount());
        }
    } catch (...) {
        // The load is aborted and rewinds the stream; the first failure is
        // the one to report.
        try {
            decoder->DiscardPixel();
        } catch (...) {
        }
        throw;
    }
    decoder->DiscardPixel();
}

} // namespace orvex
