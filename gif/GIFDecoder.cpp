#include "GIFDecoder.h"

#include "GIFExtensions.h"
#include "GIFImage.h"
#include "Streams.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

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
//
// Decoding follows the classic scheme: a code names a string by its last
// pixel (suffix) and the code of the rest (prefix); a chain is unwound onto
// a stack and popped in display order. Three shortcuts leave the results
// untouched. Every entry built from well-formed parts records its length
// and first pixel, so its string can be written straight into the pixel
// buffer, back to front. Strings of up to 8 pixels are also kept whole in
// one 64-bit word and stored at once. And where a longer string already
// stands in the buffer in one piece, it is copied from there instead of
// unwinding the chain. Entries of a corrupt stream (an unchecked first
// code, a code beyond the table) have no length and always take the stack.
class FrameDecoder {
public:
    FrameDecoder(TGIFSubImage& frame, TStream& stream, int minimumCodeSize, std::uint8_t* pixels, std::uint8_t fill)
        : m_frame(frame),
          m_stream(stream),
          m_streamSize(stream.Size()),
          m_pixels(pixels),
          m_fill(fill),
          m_minimumCodeSize(minimumCodeSize),
          m_clearCode(1 << minimumCodeSize),
          m_endCode(m_clearCode + 1)
    {
        // Roots: one pixel, their own value.
        for (int i = 0; i < m_clearCode; ++i) {
            m_suffix[i] = static_cast<std::uint8_t>(i);
            m_first[i] = static_cast<std::uint8_t>(i);
            m_head[i] = static_cast<std::uint8_t>(i);
            m_length[i] = 1;
            m_start[i] = -1;
        }
    }

    // Fills the pixels [out, out + count) in order; false when the data
    // ended first.
    bool Emit(std::uint8_t* out, std::int64_t count)
    {
        std::uint8_t* const end = out + count;
        while (out < end) {
            if (m_top > 0) {
                const int n = static_cast<int>(std::min<std::int64_t>(m_top, end - out));
                // The stack holds the string last pixel first.
                const std::uint8_t* src = m_stack + m_top;
                for (int i = 0; i < n; ++i)
                    out[i] = *--src;
                m_top -= n;
                out += n;
                continue;
            }
            out = DecodeRun(out, end);
            if (out == end)
                break;
            const int written = NextString(out, end);
            if (written < 0) {
                // Short strings are stored eight bytes at a time; the pixels
                // after the last one get their fill value back.
                std::memset(out, m_fill, static_cast<std::size_t>(std::min<std::int64_t>(end - out, 8)));
                return false;
            }
            out += written;
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
            NextString(nullptr, nullptr);
    }

    // Data that codes more than the frame holds (or a clear code after the
    // last pixel) leaves the stream inside the image data: skip what is left
    // of it, up to and including its terminator, so that the blocks after it
    // are read as blocks.
    void SkipRestOfData()
    {
        if (!m_endCodeSeen && !m_terminatorSeen)
            SkipToTerminator();
    }

private:
    int ReadCode(int width)
    {
        if (!m_fresh && m_currentBit + width < m_lastBit) {
            // A code of up to 12 bits spans at most three bytes; the buffer
            // has room for the third even at its end.
            const int s = m_currentBit >> 3;
            const std::uint32_t raw = std::uint32_t(m_buffer[s]) | (std::uint32_t(m_buffer[s + 1]) << 8) |
                                      (std::uint32_t(m_buffer[s + 2]) << 16);
            const int code = static_cast<int>((raw >> (m_currentBit & 7)) & kCodeMask[width]);
            m_currentBit += width;
            return code;
        }
        return ReadCodeSlow(width);
    }
    int ReadCodeSlow(int width);
    // Skips the sub-blocks left in the image data, up to its terminator.
    void SkipToTerminator()
    {
        std::uint8_t length = 0;
        while (ReadByte(m_stream, length) && length != 0)
            m_stream.Seek(length, TSeekOrigin::soCurrent);
        m_terminatorSeen = true;
    }
    // Decodes codes of well-formed entries straight into [out, end) while
    // their bits are in the buffer; stops before any other code (clear, end,
    // a corrupt entry, a string that does not fit) and returns the new out.
    std::uint8_t* DecodeRun(std::uint8_t* out, std::uint8_t* end);
    // Decodes the next code. Its string goes straight to [out, end) when it
    // fits (the result is the number of pixels written), else onto the
    // stack (result 0). A negative result ends the pixels.
    int NextString(std::uint8_t* out, std::uint8_t* end);
    void ResetTable();
    void AddEntry(int firstPixel, std::int32_t start);
    void Push(std::uint8_t value)
    {
        if (m_top >= kStackSize)
            RaiseGIFError(kCircularEntry);
        m_stack[m_top++] = value;
    }
    int LengthOf(int code) const { return m_length[code]; }
    inline void WriteString(int code, int length, std::uint8_t* out) const;
    // Writes 8 bytes: a short string and whatever its tail holds, which the
    // following strings overwrite.
    static void StoreHead(std::uint8_t* out, std::uint64_t head)
    {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, &head, 8);
        } else {
            for (int i = 0; i < 8; ++i)
                out[i] = static_cast<std::uint8_t>(head >> (8 * i));
        }
    }

    TGIFSubImage& m_frame;
    TStream& m_stream;
    const std::int64_t m_streamSize;
    std::uint8_t* const m_pixels; // the frame's buffer, for copies of earlier strings
    const std::uint8_t m_fill;

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
    // Where the previous code's string was written into the buffer in one
    // piece, or -1.
    std::int32_t m_previousStart = -1;
    // Pixels are stored as their low 8 bits, so the suffixes and the stack
    // keep only those; the prefixes are full codes.
    std::uint16_t m_prefix[kTableSize] = {};
    std::uint8_t m_suffix[kTableSize] = {};
    // Per entry: its string's length (0 for entries of a corrupt stream),
    // its first pixel, and where it stands in the buffer (-1: nowhere).
    std::uint16_t m_length[kTableSize] = {};
    std::uint8_t m_first[kTableSize] = {};
    // The pixels of strings of up to 8, first pixel in the low byte.
    std::uint64_t m_head[kTableSize];
    std::int32_t m_start[kTableSize];
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
    bool m_endCodeSeen = false;
    bool m_fresh = true;
};

std::uint8_t* FrameDecoder::DecodeRun(std::uint8_t* out, std::uint8_t* const end)
{
    if (m_fresh)
        return out;
    // The state lives in locals here: pixel stores through a byte pointer
    // would otherwise make the compiler reload every member after each one.
    int currentBit = m_currentBit;
    const int lastBit = m_lastBit;
    int codeSize = m_codeSize;
    int nextFree = m_nextFree;
    int widthLimit = m_widthLimit;
    int highestFree = m_highestFree;
    int previous = m_previousCode;
    int firstCode = m_firstCode;
    std::int32_t previousStart = m_previousStart;
    std::uint8_t* const pixels = m_pixels;
    const std::uint8_t* const buffer = m_buffer;

    while (out < end && currentBit + codeSize < lastBit) {
        const int s = currentBit >> 3;
        const std::uint32_t raw = std::uint32_t(buffer[s]) | (std::uint32_t(buffer[s + 1]) << 8) |
                                  (std::uint32_t(buffer[s + 2]) << 16);
        const int code = static_cast<int>((raw >> (currentBit & 7)) & kCodeMask[codeSize]);
        const std::int64_t room = end - out;
        const int previousLength = m_length[previous];
        int length;
        int first;
        if (code < nextFree) {
            length = m_length[code];
            if (length == 0 || length > room)
                break; // clear, end, a corrupt entry, or no room
            if (length <= 8 && room >= 8)
                StoreHead(out, m_head[code]);
            else
                WriteString(code, length, out);
            first = m_first[code];
        } else {
            // Not in the table yet: the previous string plus its first pixel.
            if (previousLength == 0 || previousLength + 1 > room)
                break;
            length = previousLength + 1;
            first = m_first[previous];
            if (length <= 8 && room >= 8) {
                StoreHead(out, m_head[previous] | (std::uint64_t(firstCode & 0xFF) << (8 * previousLength)));
            } else {
                WriteString(previous, previousLength, out);
                out[previousLength] = static_cast<std::uint8_t>(firstCode);
            }
        }
        currentBit += codeSize;
        const auto start = static_cast<std::int32_t>(out - pixels);
        if (nextFree < kTableSize) {
            m_prefix[nextFree] = static_cast<std::uint16_t>(previous);
            m_suffix[nextFree] = static_cast<std::uint8_t>(first);
            if (previousLength > 0) {
                m_length[nextFree] = static_cast<std::uint16_t>(previousLength + 1);
                m_first[nextFree] = m_first[previous];
                if (previousLength < 8)
                    m_head[nextFree] = m_head[previous] | (std::uint64_t(first) << (8 * previousLength));
                m_start[nextFree] = (previousStart >= 0 && previousStart + previousLength == start) ? previousStart : -1;
            }
            ++nextFree;
            highestFree = std::max(highestFree, nextFree);
            if (nextFree >= widthLimit && widthLimit < kTableSize) {
                widthLimit *= 2;
                ++codeSize;
            }
        }
        firstCode = first;
        previous = code;
        previousStart = start;
        out += length;
    }

    m_currentBit = currentBit;
    m_codeSize = codeSize;
    m_nextFree = nextFree;
    m_widthLimit = widthLimit;
    m_highestFree = highestFree;
    m_previousCode = previous;
    m_firstCode = firstCode;
    m_previousStart = previousStart;
    return out;
}

int FrameDecoder::ReadCodeSlow(int width)
{
    if (m_fresh) {
        // Every frame starts as if with a clear code.
        m_fresh = false;
        return m_clearCode;
    }
    // Note the ">=": a code that ends exactly at the end of the sub-block
    // is taken after the next sub-block is in, from the two carried bytes.
    if (m_currentBit + width >= m_lastBit) {
        do {
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
            // A sub-block of a single byte may not complete a wide code: the
            // code goes on in the next one. (The unread bits always lie in
            // the two carried bytes, so nothing is lost on the way.)
        } while (m_lastByte > 2 && m_currentBit + width > m_lastBit);
    }
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
        const auto n = static_cast<std::size_t>(m_highestFree - m_clearCode);
        std::memset(m_prefix + m_clearCode, 0, sizeof(m_prefix[0]) * n);
        std::memset(m_suffix + m_clearCode, 0, sizeof(m_suffix[0]) * n);
        std::memset(m_length + m_clearCode, 0, sizeof(m_length[0]) * n);
    }
    m_codeSize = m_minimumCodeSize + 1;
    m_widthLimit = 2 * m_clearCode;
    m_nextFree = m_clearCode + 2;
    m_highestFree = m_nextFree;
    m_top = 0;
}

// Adds the previous string plus the current string's first pixel. start:
// where the current string begins in the buffer, or -1.
void FrameDecoder::AddEntry(int firstPixel, std::int32_t start)
{
    if (m_nextFree >= kTableSize) {
        // A full table takes no more entries, and codes stay 12 bits wide
        // until the next clear code.
        return;
    }
    const int slot = m_nextFree;
    const int previous = m_previousCode;
    const int previousLength = LengthOf(previous);
    m_prefix[slot] = static_cast<std::uint16_t>(previous);
    m_suffix[slot] = static_cast<std::uint8_t>(firstPixel);
    if (previousLength > 0) {
        m_length[slot] = static_cast<std::uint16_t>(previousLength + 1);
        m_first[slot] = m_first[previous];
        if (previousLength < 8)
            m_head[slot] = m_head[previous] | (std::uint64_t(firstPixel & 0xFF) << (8 * previousLength));
        // The new string stands in the buffer when the previous one does and
        // the current one follows it directly.
        m_start[slot] = (m_previousStart >= 0 && start >= 0 && m_previousStart + previousLength == start)
                            ? m_previousStart
                            : -1;
    }
    ++m_nextFree;
    m_highestFree = std::max(m_highestFree, m_nextFree);
    if (m_nextFree >= m_widthLimit && m_widthLimit < kTableSize) {
        m_widthLimit *= 2;
        ++m_codeSize;
    }
}

// Writes the string of a well-formed entry (or root) to out[0, length).
inline void FrameDecoder::WriteString(int code, int length, std::uint8_t* out) const
{
    if (length > 8) {
        const std::int32_t start = m_start[code];
        if (start >= 0) {
            // Copy the earlier occurrence; front to back, so that a source
            // that runs into the destination repeats as the string does.
            const std::uint8_t* src = m_pixels + start;
            if (src + length <= out || out + length <= src) {
                std::memcpy(out, src, static_cast<std::size_t>(length));
            } else {
                for (int i = 0; i < length; ++i)
                    out[i] = src[i];
            }
            return;
        }
    }
    // The length is exact, so the walk ends at the root without a test.
    for (int i = length - 1; i >= 0; --i) {
        out[i] = m_suffix[code];
        code = m_prefix[code];
    }
}

int FrameDecoder::NextString(std::uint8_t* out, std::uint8_t* end)
{
    int code = ReadCode(m_codeSize);
    if (code < 0)
        return code;
    const std::int64_t room = end - out;

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
        if (room > 0) {
            *out = static_cast<std::uint8_t>(code);
            m_previousStart = static_cast<std::int32_t>(out - m_pixels);
            return 1;
        }
        m_previousStart = -1;
        m_stack[m_top++] = static_cast<std::uint8_t>(code);
        return 0;
    }

    if (code == m_endCode) {
        m_endCodeSeen = true;
        if (!m_terminatorSeen)
            SkipToTerminator();
        return kEndOfInformation;
    }

    const int incoming = code;
    // Codes of well-formed entries mostly go through DecodeRun; here come
    // the rest (codes that needed a new sub-block, strings that do not fit
    // the room left, entries of a corrupt stream): unwind the chain onto
    // the stack.
    if (code >= m_nextFree) {
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
    AddEntry(m_firstCode, -1);
    m_previousCode = incoming;
    m_previousStart = -1;
    return 0;
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

    // About 70 KB of tables and stack: kept off the caller's stack.
    auto decoder = std::make_unique<FrameDecoder>(frame, stream, minimumCodeSize, frame.Pixels(),
                                                  frame.FillIndex());
    bool complete = true;
    if (frame.PixelCount() > 0) {
        if (frame.Interlaced())
            complete = FillInterlaced(*decoder, frame.Pixels(), frame.Width(), frame.Height());
        else
            complete = decoder->Emit(frame.Pixels(), frame.PixelCount());
    }
    // With every pixel stored, the next code should be the end code, which
    // skips the rest of the data up to its terminator. After an early end
    // code (already skipped to the terminator) or data that ran out there
    // is nothing more to read: another request would take the blocks after
    // the terminator for image data and lose them.
    if (complete) {
        decoder->DiscardPixel();
        decoder->SkipRestOfData();
    }
}

} // namespace orvex
