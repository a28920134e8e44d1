#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvex {

// The compressed audio a recording can cut: MPEG audio layer III frames
// (MPEG-1, 2 and 2.5) or AAC in ADTS frames.
enum class FrameFormat { Mp3, Adts };

// What one frame header says.
struct FrameHeader {
    int length = 0;        // the whole frame in bytes, header included
    int sampleRate = 0;    // Hz
    int samples = 0;       // audio samples per channel in the frame
    std::uint32_t key = 0; // the header fields every frame of one stream shares
};

// Reads the frame header at data; nothing when the bytes are not one (or
// fewer than a header's bytes are given). MP3 headers with the free-format or
// the reserved bitrate, or a reserved sample rate, are refused.
std::optional<FrameHeader> ParseMp3Header(const std::uint8_t* data, std::size_t size);
std::optional<FrameHeader> ParseAdtsHeader(const std::uint8_t* data, std::size_t size);
std::optional<FrameHeader> ParseFrameHeader(FrameFormat format, const std::uint8_t* data, std::size_t size);

// Splits a byte stream into whole frames. Bytes that are not frames (ID3
// tags of the files a station plays, a broken frame, the middle of a frame
// the stream was joined at) are dropped: a header counts as a frame's start
// only when the header right after its frame agrees with it, and from there
// on each frame follows the one before until one does not.
class FrameSplitter {
public:
    explicit FrameSplitter(FrameFormat format) : m_format(format) {}

    void Append(const QByteArray& bytes);
    // Takes every whole frame received so far, in order and joined; the
    // length of each goes into lengths. The bytes of a frame not yet
    // complete stay for the next call.
    QByteArray TakeFrames(std::vector<int>& lengths);

    // Whether a frame has ever been found, and the bytes dropped since the
    // last frame, not counting those inside a claimed tag (at most 1 MB each).
    bool Found() const { return m_found; }
    std::size_t Dropped() const { return m_dropped; }

private:
    // At a place that is no frame: skips a tag there, or one byte. False
    // when more bytes are needed to tell.
    bool SkipNonFrame();

    FrameFormat m_format;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_inSync = false;
    bool m_found = false;
    std::uint32_t m_key = 0;
    std::size_t m_dropped = 0;
    std::size_t m_skipPending = 0; // bytes of a claimed tag still to come, unless frames come first
};

} // namespace orvex
