#include "Id3Tag.h"

#include "Ansi.h"
#include "Streams.h"

#include <QLineEdit>
#include <cstdint>
#include <cstring>

namespace orvex {

const std::array<const char*, 148> Id3GenreNames = {
    // 0 to 79: the original list
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal",
    "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel",
    "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop", "Instrumental Rock",
    "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream",
    "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle",
    "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal",
    "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    // 80 to 147: the later additions
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival", "Celtic",
    "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock",
    "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera",
    "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club",
    "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock",
    "Drum Solo", "Acapella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore",
    "Terror", "Indie", "BritPop", "Afro-Punk", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal",
    "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Trash Metal",
    "Anime", "Jpop", "Synthpop",
};

namespace {

constexpr int kTrailerSize = 128;

// A field's text: its bytes up to the first zero within its width, or all of them.
QString Field(const std::uint8_t* trailer, int offset, int width)
{
    const auto* start = reinterpret_cast<const char*>(trailer + offset);
    const void* zero = std::memchr(start, 0, static_cast<std::size_t>(width));
    const int length = zero ? static_cast<int>(static_cast<const char*>(zero) - start) : width;
    return AnsiToString(QByteArray(start, length));
}

} // namespace

void ReadId3Tag(const QString& fileName, QLineEdit* title, QLineEdit* artist, QLineEdit* album, QLineEdit* year,
                QLineEdit* genre, QLineEdit* comment)
{
    std::uint8_t trailer[kTrailerSize] = {};
    bool tagged = false;
    {
        TFileStream stream(fileName, fmOpenRead | fmShareCompat);
        // A file shorter than a trailer has none.
        if (stream.Size() >= kTrailerSize) {
            stream.Seek(-kTrailerSize, TSeekOrigin::soEnd);
            stream.ReadBuffer(trailer, kTrailerSize);
            tagged = std::memcmp(trailer, "TAG", 3) == 0;
        }
    }
    if (!tagged) {
        for (QLineEdit* field : {title, artist, album, year, genre, comment})
            field->setText(kNoTagText);
        return;
    }
    title->setText(Field(trailer, 3, 30));
    artist->setText(Field(trailer, 33, 30));
    album->setText(Field(trailer, 63, 30));
    year->setText(Field(trailer, 93, 4));
    const int code = trailer[127];
    genre->setText(code < static_cast<int>(Id3GenreNames.size()) ? QString::fromLatin1(Id3GenreNames[code])
                                                                 : QString::number(code));
    comment->setText(Field(trailer, 97, 30));
}

} // namespace orvex
