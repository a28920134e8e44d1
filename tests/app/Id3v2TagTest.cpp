#include "WindowFixture.h"

#include "Id3Tag.h"
#include "Mp3Maker.h"

#include <QLineEdit>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>

using namespace orvex;

namespace {

struct Fields {
    QLineEdit title, artist, album, year, genre, comment;
    QStringList Read(const QString& path)
    {
        ReadId3Tag(path, &title, &artist, &album, &year, &genre, &comment);
        return {title.text(), artist.text(), album.text(), year.text(), genre.text(), comment.text()};
    }
};

// Text in one of the four encodings a version 2 tag may use, with its terminator.
QByteArray Encoded(int encoding, const QString& text, bool terminated = false)
{
    QByteArray bytes;
    switch (encoding) {
    case 0: bytes = text.toLatin1(); break;
    case 1: bytes = QStringEncoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom)(text); break;
    case 2: bytes = QStringEncoder(QStringEncoder::Utf16BE)(text); break;
    default: bytes = text.toUtf8(); break;
    }
    if (terminated)
        bytes += QByteArray(encoding == 1 || encoding == 2 ? 2 : 1, '\0');
    return bytes;
}

QByteArray BigEndian(quint32 value, int bytes, int bitsPerByte = 8)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((value >> (i * bitsPerByte)) & ((1u << bitsPerByte) - 1));
    return out;
}

// A version 2.2, 2.3 or 2.4 tag with the six fields, written byte by byte.
QByteArray Tag(int version, int encoding, const QStringList& fields)
{
    static const char* const ids[2][6] = {{"TT2", "TP1", "TAL", "TYE", "TCO", "COM"},
                                          {"TIT2", "TPE1", "TALB", "TYER", "TCON", "COMM"}};
    QByteArray frames;
    for (int i = 0; i < 6; ++i) {
        QByteArray id = ids[version == 2 ? 0 : 1][i];
        if (version == 4 && id == "TYER")
            id = "TDRC";
        QByteArray body = QByteArray(1, static_cast<char>(encoding));
        if (i == 5)
            body += "por" + Encoded(encoding, QString(), true);
        body += Encoded(encoding, fields[i]);
        if (version == 2)
            frames += id + BigEndian(body.size(), 3) + body;
        else
            frames += id + BigEndian(body.size(), 4, version == 4 ? 7 : 8) + QByteArray(2, '\0') + body;
    }
    frames += QByteArray(32, '\0'); // padding
    return "ID3" + QByteArray(1, static_cast<char>(version)) + QByteArray(2, '\0') + BigEndian(frames.size(), 4, 7) +
           frames;
}

// Audio-like bytes after the tag, without a version 1 trailer.
const QByteArray kBody(700, '\xAA');

} // namespace

TEST(Id3v2Tag, EachVersionAndEncodingShowsTheSixFields)
{
    const QStringList fields = {QStringLiteral("Can\u00e7\u00e3o do mar"), QStringLiteral("Jo\u00e3o"),
                                QStringLiteral("\u00c1lbum"), QStringLiteral("1999"), QStringLiteral("(17)"),
                                QStringLiteral("Coment\u00e1rio \u00e9 livre")};
    const QStringList shown = {fields[0], fields[1], fields[2], fields[3], QStringLiteral("Rock"), fields[5]};
    const struct {
        int version, encoding;
    } cases[] = {{2, 0}, {2, 1}, {3, 0}, {3, 1}, {4, 0}, {4, 1}, {4, 2}, {4, 3}};
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "2." << c.version << " encoding " << c.encoding);
        const QString path = dir.filePath(QStringLiteral("t%1%2.mp3").arg(c.version).arg(c.encoding));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Tag(c.version, c.encoding, fields) + kBody);
        file.close();
        Fields read;
        EXPECT_EQ(read.Read(path), shown);
    }
}

TEST(Id3v2Tag, ATagWrittenByTheId3v2ToolIsReadAndAVersionOneTrailerStillWins)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tool.mp3"));
    ASSERT_TRUE(orvex::testing::MakeMp3(path, 0.3));
    ASSERT_EQ(QProcess::execute(QStringLiteral("id3v2"),
                                {QStringLiteral("-2"), QStringLiteral("-t"), QStringLiteral("Song"), QStringLiteral("-a"),
                                 QStringLiteral("Band"), QStringLiteral("-A"), QStringLiteral("Record"),
                                 QStringLiteral("-y"), QStringLiteral("2024"), QStringLiteral("-g"),
                                 QStringLiteral("80"), QStringLiteral("-c"), QStringLiteral("Words"), path}),
              0);
    Fields read;
    EXPECT_EQ(read.Read(path), (QStringList{QStringLiteral("Song"), QStringLiteral("Band"), QStringLiteral("Record"),
                                            QStringLiteral("2024"), QStringLiteral("Folk"), QStringLiteral("Words")}));

    // With a version 1 trailer as well, the trailer is what shows.
    ASSERT_EQ(QProcess::execute(QStringLiteral("id3v2"), {QStringLiteral("-1"), QStringLiteral("-t"),
                                                          QStringLiteral("Velha"), path}),
              0);
    EXPECT_EQ(read.Read(path).first(), QStringLiteral("Velha"));

    // Neither: the no-tag text, as before.
    const QString bare = dir.filePath(QStringLiteral("bare.mp3"));
    QFile file(bare);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("ID3\x09" + kBody); // an unknown major version is no tag
    file.close();
    EXPECT_EQ(read.Read(bare), QStringList(6, kNoTagText));
}
