#pragma once

#include <QString>
#include <array>

class QLineEdit;

namespace orvex {

// The ID3v1 genre names by code: the original 80, then the 68 added by
// later players, in their usual order.
extern const std::array<const char*, 148> Id3GenreNames;

// The text all six fields show for a file without a tag.
inline const QString kNoTagText = QStringLiteral("Incorreto ou sem informa\u00e7\u00e3o tag ID3");

// Shows the ID3v1 trailer (the last 128 bytes) of a file in six fields, or,
// when the file has none, the ID3v2 tag at its head (read with TagLib); the
// same for AAC files. FLAC, Ogg, Opus, M4A and WAV files show their own tags
// (Vorbis comments, MP4 atoms, a WAV file's ID3 or INFO tag), read with TagLib
// into the same six fields. The
// file is opened for reading without sharing, so a file that another handle
// holds raises the open error and the fields keep their text.
void ReadId3Tag(const QString& fileName, QLineEdit* title, QLineEdit* artist, QLineEdit* album, QLineEdit* year,
                QLineEdit* genre, QLineEdit* comment);

} // namespace orvex
