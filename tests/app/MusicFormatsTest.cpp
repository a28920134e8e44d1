// The formats people keep, beside MP3: listed, tagged and played as MP3s are.
#include "WindowFixture.h"

#include "Id3Tag.h"
#include "Mp3Maker.h"

#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>
#include <taglib/xiphcomment.h>

using namespace orvex;
using orvex::testing::MakeSample;
using orvex::testing::PumpUntil;

namespace {

const QStringList kFormats = {QStringLiteral("flac"), QStringLiteral("ogg"), QStringLiteral("oga"),
                              QStringLiteral("opus"), QStringLiteral("m4a"), QStringLiteral("aac"),
                              QStringLiteral("wav")};

QStringList ReadFields(const QString& path)
{
    QLineEdit title, artist, album, year, genre, comment;
    ReadId3Tag(path, &title, &artist, &album, &year, &genre, &comment);
    return {title.text(), artist.text(), album.text(), year.text(), genre.text(), comment.text()};
}

void Touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

} // namespace

TEST(MusicFormats, TheListShowsEveryFormatInNameOrderAndNothingElse)
{
    QTemporaryDir dir;
    for (const char* name : {"h.wav", "b.FLAC", "a.mp3", "C.ogg", "d.oga", "e.Opus", "f.m4a", "G.AAC", "i.txt",
                             "j.wma", "k.mp4", "l.flac.part"})
        Touch(dir.filePath(QString::fromLatin1(name)));
    QListWidget list;
    ListMp3Files(dir.path() + QLatin1Char('/'), &list);
    QStringList shown;
    for (int i = 0; i < list.count(); ++i)
        shown << list.item(i)->text();
    EXPECT_EQ(shown, QString::fromLatin1("a.mp3 b.FLAC C.ogg d.oga e.Opus f.m4a G.AAC h.wav").split(u' '));
}

TEST(MusicFormats, TagsOfEachFormatShowInTheSixFieldsAndNoTagSaysSo)
{
    QTemporaryDir dir;
    const QString markup = QStringLiteral("<b>T\u00edtulo</b> & \"aspas\"");
    for (const QString& format : kFormats) {
        SCOPED_TRACE(format.toStdString());
        const QString plain = dir.filePath(QStringLiteral("plain.") + format);
        ASSERT_TRUE(MakeSample(plain, 0.3));
        if (format != QLatin1String("aac")) {
            // The encoders write the test source's own comment; it goes.
            TagLib::FileRef file(QFile::encodeName(plain).constData());
            ASSERT_FALSE(file.isNull());
            file.file()->setProperties(TagLib::PropertyMap());
            file.save();
        }
        EXPECT_EQ(ReadFields(plain), QStringList(6, kNoTagText));

        const QString tagged = dir.filePath(QStringLiteral("tagged.") + format);
        ASSERT_TRUE(QFile::copy(plain, tagged));
        if (format == QLatin1String("aac")) {
            // The radio's recordings carry an ID3v2 tag before their frames.
            ASSERT_TRUE(orvex::testing::TagTitle(tagged, markup));
            EXPECT_EQ(ReadFields(tagged)[0], markup);
            continue;
        }
        TagLib::FileRef file(QFile::encodeName(tagged).constData());
        ASSERT_FALSE(file.isNull());
        TagLib::Tag* tag = file.tag();
        tag->setTitle(TagLib::String(markup.toStdString(), TagLib::String::UTF8));
        tag->setArtist("Artista");
        tag->setAlbum("Album");
        tag->setYear(1999);
        tag->setGenre("13");
        tag->setComment(TagLib::String(std::string(10000, 'x')));
        ASSERT_TRUE(file.save());
        EXPECT_EQ(ReadFields(tagged), (QStringList{markup, QStringLiteral("Artista"), QStringLiteral("Album"),
                                                   QStringLiteral("1999"), QStringLiteral("Pop"),
                                                   QString(10000, u'x')}));
    }
}

// A metadata block holds at most 16 MB: the largest picture a FLAC can carry.
TEST(MusicFormats, AFlacWithAHugePictureShowsItsTag)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("capa.flac"));
    ASSERT_TRUE(MakeSample(path, 0.3));
    {
        TagLib::FLAC::File file(QFile::encodeName(path).constData());
        auto* picture = new TagLib::FLAC::Picture;
        picture->setMimeType("image/jpeg");
        picture->setData(TagLib::ByteVector(16 * 1024 * 1024 - 1024, '\x5a'));
        file.addPicture(picture);
        file.xiphComment(true)->setTitle("Capa");
        ASSERT_TRUE(file.save());
    }
    EXPECT_GT(QFileInfo(path).size(), 16 * 1024 * 1024 - 1024);
    EXPECT_EQ(ReadFields(path)[0], QStringLiteral("Capa"));
}

namespace {

// The window over a folder of one short sample per format and a text file
// that only says it is Ogg.
class MusicFormatsPlayTest : public orvex::testing::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        QSettings(QStringLiteral("Orvex"), QStringLiteral("Orvex")).clear();
        for (int i = 0; i < kFormats.size(); ++i)
            ASSERT_TRUE(MakeSample(m_music.filePath(QStringLiteral("%1 tom.%2").arg(i).arg(kFormats[i])), 0.6));
        QFile liar(m_music.filePath(QStringLiteral("3 falso.ogg")));
        ASSERT_TRUE(liar.open(QIODevice::WriteOnly));
        liar.write(QByteArray("not music at all\n").repeated(100));
        liar.close();
        OpenMusicFolder(m_music.path() + QLatin1Char('/'));
        ASSERT_EQ(Form().mp3List->count(), kFormats.size() + 1);
    }
    QTemporaryDir m_music;
};

} // namespace

TEST_F(MusicFormatsPlayTest, EachFormatOpensSeeksAndPlaysThroughTheFolder)
{
    TfrmOrvex& form = Form();
    for (int row = 0; row < form.mp3List->count(); ++row) {
        const QString name = form.mp3List->item(row)->text();
        SCOPED_TRACE(name.toStdString());
        if (name.contains(QLatin1String("falso"))) {
            EXPECT_FALSE(form.OpenTrackAt(row));
            continue;
        }
        ASSERT_TRUE(form.OpenTrackAt(row));
        // Its length is known (an ADTS file's from its size and bit rate).
        EXPECT_NEAR(form.trackBar->maximum(), 600, 120);
        form.SeekTo(300);
        EXPECT_NEAR(static_cast<int>(form.mp3Player->Position()), 300, 60);
    }
    ASSERT_EQ(m_errors.size(), 1u);

    // From the first, the run plays every track and passes over the liar once.
    m_errors.clear();
    ASSERT_TRUE(form.OpenTrackAt(0));
    form.mp3Player->PressButton(btPlay);
    const int last = form.mp3List->count() - 1;
    EXPECT_TRUE(PumpUntil(
        [&] {
            return form.mp3List->currentRow() == last && form.mp3Player->Mode() == mdStopped &&
                   form.mp3Player->Position() == form.mp3Player->Length();
        },
        30000))
        << form.mp3List->currentRow() << " " << form.mp3Player->Mode() << " " << form.mp3Player->Position() << "/"
        << form.mp3Player->Length();
    EXPECT_EQ(m_errors.size(), 1u);
}
