#include "AdtsLength.h"

#include <QFile>
#include <array>

namespace orvex {

namespace {

constexpr int kHeadBytes = 64 * 1024;     // read to learn the frames' average size
constexpr int kTagHeaderBytes = 10;
// The sampling rates an ADTS header names by index.
constexpr std::array<int, 13> kSampleRates = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                              22050, 16000, 12000, 11025, 8000,  7350};
constexpr int kSamplesPerBlock = 1024;

} // namespace

std::uint32_t AdtsLengthMs(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const qint64 size = file.size();
    qint64 start = 0;
    QByteArray head = file.read(kTagHeaderBytes);
    if (head.size() == kTagHeaderBytes && head.startsWith("ID3")) {
        const auto* h = reinterpret_cast<const unsigned char*>(head.constData());
        start = kTagHeaderBytes + ((qint64(h[6] & 0x7f) << 21) | ((h[7] & 0x7f) << 14) | ((h[8] & 0x7f) << 7) |
                                   (h[9] & 0x7f));
    }
    if (!file.seek(start))
        return 0;
    head = file.read(kHeadBytes);
    const auto* bytes = reinterpret_cast<const unsigned char*>(head.constData());
    const qint64 count = head.size();
    qint64 at = 0, samples = 0;
    int rate = 0;
    // Frames one after another, each with its sync word; anything else ends the walk.
    while (at + 7 <= count && bytes[at] == 0xff && (bytes[at + 1] & 0xf6) == 0xf0) {
        const int rateIndex = (bytes[at + 2] >> 2) & 0x0f;
        const qint64 length = (qint64(bytes[at + 3] & 0x03) << 11) | (bytes[at + 4] << 3) | (bytes[at + 5] >> 5);
        if (rateIndex >= static_cast<int>(kSampleRates.size()) || length < 7 || (rate && kSampleRates[rateIndex] != rate))
            break;
        rate = kSampleRates[rateIndex];
        if (at + length > count)
            break;
        samples += qint64((bytes[at + 6] & 0x03) + 1) * kSamplesPerBlock;
        at += length;
    }
    if (at == 0 || rate == 0)
        return 0;
    // The rest of the file is taken to hold frames of the same average size.
    const double frameBytesPerSample = double(at) / double(samples);
    const double totalSamples = double(size - start) / frameBytesPerSample;
    return static_cast<std::uint32_t>(totalSamples * 1000.0 / rate);
}

} // namespace orvex
