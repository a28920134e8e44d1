#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>

namespace orvex {

// HTTP Live Streaming playlists, as far as the reader needs to know them
// before GStreamer's HLS demuxer follows a media playlist: whether the
// stream is encrypted, which variants of a master playlist to try, and how
// long the live playlist may stay unchanged.
namespace hls {

// Whether a segment key other than METHOD=NONE is named: the audio is
// encrypted.
bool IsEncrypted(const QByteArray& body);

// Whether the playlist lists variants (#EXT-X-STREAM-INF) rather than
// segments.
bool IsMaster(const QByteArray& body);

// A master playlist's variants in the order to try them: audio-only
// renditions first, then by bandwidth, the highest under kMaxBandwidth
// first (the higher ones after, the lowest of those first); variants whose
// codecs the player page cannot play come last. Relative addresses are
// resolved against base; at most kMaxVariants.
QList<QUrl> Variants(const QByteArray& body, const QUrl& base);

// #EXT-X-TARGETDURATION in milliseconds, 0 when absent: a live playlist
// grows by about one segment of that length each time.
int TargetDurationMs(const QByteArray& body);

inline constexpr qint64 kMaxBandwidth = 320000; // bit/s
inline constexpr int kMaxVariants = 8;

} // namespace hls
} // namespace orvex
