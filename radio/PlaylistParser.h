#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

namespace orvex {

// Station playlists: the small files (.pls, .m3u, .asx, .xspf) in which
// stations publish the addresses of their streams.
namespace playlist {

enum class Format { None, Pls, M3u, Asx, Xspf };

// What a server's answer holds, judged by its first bytes, then its content
// type, then the address's file name; None for a stream.
Format Sniff(const QString& contentType, const QUrl& address, const QByteArray& head);

// Whether an M3U file is an HLS playlist (segments or variants, not
// stations), which the reader follows with GStreamer's HLS demuxer.
bool IsHls(const QByteArray& body);

// The stream addresses a downloaded playlist lists, in its order, relative
// ones resolved against base; only http and https addresses (icy:// and
// mms:// are taken as http).
QList<QUrl> Entries(const QByteArray& body, Format format, const QUrl& base);

// An address as a station gives it, made one the reader can open: icy://
// and mms:// become http://, no scheme means http://. Empty when it is none.
QUrl StreamAddress(const QUrl& address);

// A playlist file's entries with the names it gives them (empty when none),
// the addresses as written, resolved against the file's folder; for lists
// of stations a user brings from other players.
struct NamedEntry {
    QString address;
    QString title;
};
QList<NamedEntry> NamedEntries(const QString& file);

} // namespace playlist
} // namespace orvex
