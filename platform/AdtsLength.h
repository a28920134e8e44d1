#pragma once

#include <QString>
#include <cstdint>

namespace orvex {

// The length of an ADTS AAC file (the radio's recordings), in milliseconds,
// reckoned from the frames at its head and its size: such a file states no
// length, and the parser learns one only while it plays. 0 when the file is
// no ADTS stream (an ID3v2 tag before the frames is passed over).
std::uint32_t AdtsLengthMs(const QString& path);

} // namespace orvex
