#include "AudioFrames.h"

#include <algorithm>
#include <cstring>

namespace orvex {

namespace {

// Layer III bitrates in kbit/s by index: MPEG-1, then MPEG-2 and 2.5.
constexpr int kBitratesV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kBitratesV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
// Sample rates in Hz by index, for MPEG-1; MPEG-2 halves them, MPEG-2.5 quarters them.
constexpr int kMpeg1Rates[3] = {44100, 48000, 32000};
// ADTS sample rates by index (13 to 15 are reserved).
constexpr int kAdtsRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};

constexpr std::size_t kMp3HeaderSize = 4;
constexpr std::size_t kAdtsHeaderSize = 7;
constexpr std::size_t kId3v2HeaderSize = 10;
constexpr std::size_t kId3v1Size = 128;
// The most of a claimed ID3v2 tag skipped unseen: cover art fits, a bogus
// size does not swallow the stream.
constexpr std::size_t kMaxTagSkip = 1024 * 1024;

std::size_t HeaderSize(FrameFormat format)
{
    return format == FrameFormat::Mp3 ? kMp3HeaderSize : kAdtsHeaderSize;
}

} // namespace

std::optional<FrameHeader> ParseMp3Header(const std::uint8_t* data, std::size_t size)
{
    if (size < kMp3HeaderSize)
        return std::nullopt;
    const std::uint32_t h = (std::uint32_t{data[0]} << 24) | (std::uint32_t{data[1]} << 16) |
                            (std::uint32_t{data[2]} << 8) | data[3];
    if ((h & 0xFFE00000u) != 0xFFE00000u)
        return std::nullopt;
    const unsigned version = (h >> 19) & 3; // 0: MPEG-2.5, 1: reserved, 2: MPEG-2, 3: MPEG-1
    const unsigned layer = (h >> 17) & 3;   // 1: layer III
    const unsigned bitrateIndex = (h >> 12) & 15;
    const unsigned rateIndex = (h >> 10) & 3;
    const unsigned padding = (h >> 9) & 1;
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    const bool mpeg1 = version == 3;
    const int bitrate = (mpeg1 ? kBitratesV1 : kBitratesV2)[bitrateIndex] * 1000;
    const int rate = kMpeg1Rates[rateIndex] / (mpeg1 ? 1 : version == 2 ? 2 : 4);
    FrameHeader header;
    header.sampleRate = rate;
    header.samples = mpeg1 ? 1152 : 576;
    // Bytes per frame: samples / 8 bits per byte * bitrate / rate, plus the padding byte.
    header.length = (mpeg1 ? 144 : 72) * bitrate / rate + static_cast<int>(padding);
    // Sync, version, layer and sample rate stay; bitrate, padding and mode may change.
    header.key = h & 0xFFFE0C00u;
    return header;
}

std::optional<FrameHeader> ParseAdtsHeader(const std::uint8_t* data, std::size_t size)
{
    if (size < kAdtsHeaderSize)
        return std::nullopt;
    // 12 sync bits, then the MPEG version bit, a layer of 0 and the CRC-absent bit.
    if (data[0] != 0xFF || (data[1] & 0xF6) != 0xF0)
        return std::nullopt;
    const unsigned rateIndex = (data[2] >> 2) & 15;
    if (rateIndex >= 13)
        return std::nullopt;
    const bool crc = (data[1] & 1) == 0;
    const int length = ((data[3] & 3) << 11) | (data[4] << 3) | (data[5] >> 5);
    if (length < static_cast<int>(kAdtsHeaderSize) + (crc ? 2 : 0))
        return std::nullopt;
    FrameHeader header;
    header.length = length;
    header.sampleRate = kAdtsRates[rateIndex];
    header.samples = 1024 * ((data[6] & 3) + 1);
    // Version, profile, sample rate and channels stay the same.
    header.key = (std::uint32_t{data[1]} & 0x08) << 16 | (std::uint32_t{data[2]} << 8) | (data[3] & 0xC0);
    return header;
}

std::optional<FrameHeader> ParseFrameHeader(FrameFormat format, const std::uint8_t* data, std::size_t size)
{
    return format == FrameFormat::Mp3 ? ParseMp3Header(data, size) : ParseAdtsHeader(data, size);
}

void FrameSplitter::Append(const QByteArray& bytes)
{
    m_buffer.append(bytes);
}

bool FrameSplitter::SkipNonFrame()
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(m_buffer.constData()) + m_pos;
    const auto available = static_cast<std::size_t>(m_buffer.size() - m_pos);
    std::size_t skip = 1;
    if (available >= 3 && std::memcmp(p, "ID3", 3) == 0) {
        // An ID3v2 tag: its size is four 7-bit bytes, a footer follows when
        // flagged. The size is only a claim: the skip is bounded, and frames
        // found inside it end it (see TakeFrames).
        if (available < kId3v2HeaderSize)
            return false;
        if (p[3] != 0xFF && p[4] != 0xFF && ((p[6] | p[7] | p[8] | p[9]) & 0x80) == 0) {
            const std::size_t body = (std::size_t{p[6]} << 21) | (std::size_t{p[7]} << 14) |
                                     (std::size_t{p[8]} << 7) | p[9];
            skip = std::min(kId3v2HeaderSize + body + ((p[5] & 0x10) ? kId3v2HeaderSize : 0), kMaxTagSkip);
        }
    } else if (available >= 3 && std::memcmp(p, "TAG", 3) == 0) {
        skip = kId3v1Size; // the ID3v1 trailer of a file the station plays
    }
    // The rest of a tag is looked through byte by byte (TakeFrames), and
    // does not count as bytes that are no frames: only its bound does.
    ++m_pos;
    ++m_dropped;
    m_skipPending = skip - 1;
    return true;
}

QByteArray FrameSplitter::TakeFrames(std::vector<int>& lengths)
{
    lengths.clear();
    QByteArray frames;
    const std::size_t headerSize = HeaderSize(m_format);
    for (;;) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(m_buffer.constData()) + m_pos;
        const auto available = static_cast<std::size_t>(m_buffer.size() - m_pos);
        if (available < headerSize)
            break;
        const auto header = ParseFrameHeader(m_format, p, available);
        if (m_inSync) {
            if (header && header->key == m_key) {
                if (available < static_cast<std::size_t>(header->length))
                    break;
                frames.append(reinterpret_cast<const char*>(p), header->length);
                lengths.push_back(header->length);
                m_pos += header->length;
                m_dropped = 0;
                continue;
            }
            m_inSync = false;
        }
        if (header) {
            // A frame's start only when the next header agrees; inside a
            // claimed tag such a pair ends the tag.
            const auto length = static_cast<std::size_t>(header->length);
            if (available < length + headerSize)
                break;
            const auto next = ParseFrameHeader(m_format, p + length, available - length);
            if (next && next->key == header->key) {
                m_skipPending = 0;
                m_inSync = true;
                m_found = true;
                m_key = header->key;
                continue;
            }
        }
        if (m_skipPending > 0) {
            ++m_pos;
            --m_skipPending;
            continue;
        }
        if (!SkipNonFrame())
            break;
    }
    m_buffer.remove(0, m_pos);
    m_pos = 0;
    return frames;
}

} // namespace orvex
