#pragma once

#include <QByteArray>
#include <QString>

namespace orvex::testing {

// Encodes a sine tone of the given length into an MP3 file (CBR 128 kbit/s,
// 44.1 kHz stereo) with GStreamer. Returns false when encoding fails.
bool MakeMp3(const QString& path, double seconds);

// The same tone as a WAV file (8 kHz mono, 16 kB a second): audio that is
// no MP3.
bool MakeWav(const QString& path, double seconds);

// The tone in the format its name's extension says: FLAC, Ogg Vorbis (.ogg,
// .oga), Opus, AAC in MP4 (.m4a) or ADTS (.aac, as the radio records), WAV
// or MP3, each by GStreamer's encoder for it.
bool MakeSample(const QString& path, double seconds);

// Puts an ID3v2.4 tag with the title (UTF-8) before the file's audio.
bool TagTitle(const QString& path, const QString& title);

// Three seconds of a tone tagged with the title and the artist "Orvex",
// encoded by GStreamer with encoder (and muxer) into path: the file's
// bytes, empty when encoding fails.
QByteArray TaggedTone(const QString& path, const QString& encoder, const QString& title);

// Runs a GStreamer pipeline that writes the file at path until its end.
// Returns false when it fails, takes over 30 s, or writes nothing.
bool RunToEnd(const QString& description, const QString& path);

// The exact length, in milliseconds, of the audio MakeMp3 writes for seconds.
int Mp3AudioMs(double seconds);

} // namespace orvex::testing
