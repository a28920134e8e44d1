#include "Id3Tag.h"

#include "Ansi.h"
#include "Streams.h"

#include <QLineEdit>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>

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

QString Text(const TagLib::String& text)
{
    return QString::fromUtf8(text.toCString(true));
}

// The genre of a version 2 tag: its names as written, a code (bare or in
// parentheses, as version 2.3 writes it) named from the same table as a
// version 1 genre.
QString GenreText(const TagLib::ID3v2::Tag& tag)
{
    const TagLib::ID3v2::FrameList& frames = tag.frameListMap()["TCON"];
    if (frames.isEmpty())
        return {};
    QStringList genres;
    const auto* frame = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frames.front());
    const TagLib::StringList fields = frame ? frame->fieldList() : TagLib::StringList(frames.front()->toString());
    for (const TagLib::String& field : fields) {
        QString genre = Text(field);
        if (genre.startsWith(u'(') && genre.endsWith(u')'))
            genre = genre.mid(1, genre.size() - 2);
        bool number = false;
        const int code = genre.toInt(&number);
        if (number && code >= 0 && code < static_cast<int>(Id3GenreNames.size()))
            genre = QString::fromLatin1(Id3GenreNames[static_cast<std::size_t>(code)]);
        if (!genre.isEmpty() && !genres.contains(genre))
            genres << genre;
    }
    return genres.join(QStringLiteral(" / "));
}

struct TagTexts {
    QString title, artist, album, year, genre, comment;
};

// A version 2 tag (2.2, 2.3 or 2.4) at the head of the file: its bytes are
// read through the stream the caller holds and handed to TagLib. False when
// the file starts with none.
bool ReadId3v2(TFileStream& stream, TagTexts& texts)
{
    constexpr int kHeaderSize = 10;
    const std::int64_t size = stream.Size();
    if (size < kHeaderSize)
        return false;
    std::uint8_t header[kHeaderSize] = {};
    stream.Seek(0, TSeekOrigin::soBeginning);
    stream.ReadBuffer(header, kHeaderSize);
    if (std::memcmp(header, "ID3", 3) != 0 || header[3] < 2 || header[3] > 4 || header[4] == 0xff)
        return false;
    // The tag's size is four 7-bit bytes; a footer (2.4) adds another header's worth.
    std::int64_t tagSize = 0;
    for (int i = 6; i < kHeaderSize; ++i) {
        if (header[i] & 0x80)
            return false;
        tagSize = (tagSize << 7) | header[i];
    }
    tagSize += kHeaderSize;
    if (header[3] == 4 && (header[5] & 0x10))
        tagSize += kHeaderSize;
    tagSize = std::min(tagSize, size);
    TagLib::ByteVector bytes(static_cast<unsigned>(tagSize), '\0');
    std::memcpy(bytes.data(), header, kHeaderSize);
    stream.ReadBuffer(bytes.data() + kHeaderSize, tagSize - kHeaderSize);

    TagLib::ByteVectorStream data(bytes);
    TagLib::MPEG::File file(&data, TagLib::ID3v2::FrameFactory::instance(), false);
    const TagLib::ID3v2::Tag* tag = file.isValid() ? file.ID3v2Tag() : nullptr;
    if (!tag)
        return false;
    texts.title = Text(tag->title());
    texts.artist = Text(tag->artist());
    texts.album = Text(tag->album());
    texts.year = tag->year() ? QString::number(tag->year()) : QString();
    texts.genre = GenreText(*tag);
    texts.comment = Text(tag->comment());
    return true;
}

} // namespace

void ReadId3Tag(const QString& fileName, QLineEdit* title, QLineEdit* artist, QLineEdit* album, QLineEdit* year,
                QLineEdit* genre, QLineEdit* comment)
{
    std::uint8_t trailer[kTrailerSize] = {};
    bool tagged = false;
    bool version2 = false;
    TagTexts texts;
    {
        TFileStream stream(fileName, fmOpenRead | fmShareCompat);
        // A file shorter than a trailer has none.
        if (stream.Size() >= kTrailerSize) {
            stream.Seek(-kTrailerSize, TSeekOrigin::soEnd);
            stream.ReadBuffer(trailer, kTrailerSize);
            tagged = std::memcmp(trailer, "TAG", 3) == 0;
        }
        // A version 1 trailer wins; without one, a version 2 tag is shown.
        if (!tagged)
            version2 = ReadId3v2(stream, texts);
    }
    if (version2) {
        title->setText(texts.title);
        artist->setText(texts.artist);
        album->setText(texts.album);
        year->setText(texts.year);
        genre->setText(texts.genre);
        comment->setText(texts.comment);
        return;
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
