#include "Id3Tag.h"

#include "Ansi.h"
#include "Streams.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavfile.h>
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

// Genres as shown: their names as written, a code (bare or in parentheses,
// as version 2.3 writes it) named from the same table as a version 1 genre.
QString GenreText(const TagLib::StringList& fields)
{
    QStringList genres;
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

QString GenreText(const TagLib::ID3v2::Tag& tag)
{
    const TagLib::ID3v2::FrameList& frames = tag.frameListMap()["TCON"];
    if (frames.isEmpty())
        return {};
    const auto* frame = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frames.front());
    return GenreText(frame ? frame->fieldList() : TagLib::StringList(frames.front()->toString()));
}

struct TagTexts {
    QString title, artist, album, year, genre, comment;
};

TagTexts TextsOf(const TagLib::Tag& tag, const QString& genre)
{
    return {Text(tag.title()), Text(tag.artist()), Text(tag.album()),
            tag.year() ? QString::number(tag.year()) : QString(), genre, Text(tag.comment())};
}

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
    texts = TextsOf(*tag, GenreText(*tag));
    return true;
}

// MP3 files and the ADTS AAC files the radio records carry ID3 tags at
// their ends, read above; the other formats have tags of their own.
bool HasOwnTagFormat(const QString& fileName)
{
    static const QStringList kSuffixes = {QStringLiteral("flac"), QStringLiteral("ogg"), QStringLiteral("oga"),
                                          QStringLiteral("opus"), QStringLiteral("m4a"), QStringLiteral("wav")};
    return kSuffixes.contains(QFileInfo(fileName).suffix(), Qt::CaseInsensitive);
}

// Vorbis comments (FLAC, Ogg, Opus), MP4 atoms (M4A) and a WAV file's ID3 or
// INFO tag, as TagLib knows the file by its name or else by its content.
// Pictures are no field of ours; FLAC's are read and let go with the file.
bool ReadOwnTag(const QString& fileName, TagTexts& texts)
{
    const QByteArray path = QFile::encodeName(fileName);
    const TagLib::FileRef file(path.constData(), /*readAudioProperties=*/false);
    if (file.isNull() || !file.tag() || file.tag()->isEmpty())
        return false;
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file.file()); wav && wav->hasID3v2Tag()) {
        texts = TextsOf(*wav->ID3v2Tag(), GenreText(*wav->ID3v2Tag()));
        return true;
    }
    texts = TextsOf(*file.tag(), GenreText(file.file()->properties()["GENRE"]));
    return true;
}

} // namespace

void ReadId3Tag(const QString& fileName, QLineEdit* title, QLineEdit* artist, QLineEdit* album, QLineEdit* year,
                QLineEdit* genre, QLineEdit* comment)
{
    std::uint8_t trailer[kTrailerSize] = {};
    bool tagged = false;
    bool fromTagLib = false;
    TagTexts texts;
    {
        TFileStream stream(fileName, fmOpenRead | fmShareCompat);
        // A file shorter than a trailer has none.
        if (stream.Size() >= kTrailerSize) {
            stream.Seek(-kTrailerSize, TSeekOrigin::soEnd);
            stream.ReadBuffer(trailer, kTrailerSize);
            tagged = std::memcmp(trailer, "TAG", 3) == 0;
        }
        if (HasOwnTagFormat(fileName)) {
            tagged = false;
            fromTagLib = ReadOwnTag(fileName, texts);
        } else if (!tagged) {
            // A version 1 trailer wins; without one, a version 2 tag is shown.
            fromTagLib = ReadId3v2(stream, texts);
        }
    }
    if (fromTagLib) {
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
