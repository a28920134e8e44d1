#include "WindowFixture.h"

#include "FolderChooser.h"
#include "Id3Tag.h"
#include "PipeWatch.h"
#include "Streams.h"

#include <QDir>
#include <QLineEdit>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <cstring>
#include <sys/stat.h>

using namespace orvex;

namespace {

struct TagFields {
    QLineEdit title, artist, album, year, genre, comment;
    void Read(const QString& path) { ReadId3Tag(path, &title, &artist, &album, &year, &genre, &comment); }
    QStringList All() const
    {
        return {title.text(), artist.text(), album.text(), year.text(), genre.text(), comment.text()};
    }
};

// An ID3v1 trailer: each field given as raw bytes, cut or zero-padded to its width.
QByteArray Trailer(const QByteArray& title, const QByteArray& artist, const QByteArray& album,
                   const QByteArray& year, const QByteArray& comment, int genre, const char* marker = "TAG")
{
    auto field = [](QByteArray bytes, int width) {
        bytes = bytes.left(width);
        return bytes + QByteArray(width - bytes.size(), '\0');
    };
    QByteArray trailer = QByteArray(marker, 3) + field(title, 30) + field(artist, 30) + field(album, 30) +
                         field(year, 4) + field(comment, 30) + static_cast<char>(genre);
    EXPECT_EQ(trailer.size(), 128);
    return trailer;
}

class LocalMusicTest : public orvex::testing::WindowFixture {
protected:
    // An "mp3" file: some audio-like bytes, then the trailer.
    QString Track(const QString& name, const QByteArray& trailer)
    {
        WriteFile(name, QByteArray(700, '\xAA') + trailer);
        return ExePath(name);
    }
    void TearDown() override
    {
        FolderChooserHook = nullptr;
        WindowFixture::TearDown();
    }
    TagFields m_fields;
};

} // namespace

TEST_F(LocalMusicTest, ATagFillsTheSixFieldsWithTrailingBlanksKept)
{
    m_fields.Read(Track(QStringLiteral("t.mp3"), Trailer("Title ", "Artist", "Album", "1999", "Comment", 17)));
    EXPECT_EQ(m_fields.All(), (QStringList{QStringLiteral("Title "), QStringLiteral("Artist"), QStringLiteral("Album"),
                                           QStringLiteral("1999"), QStringLiteral("Rock"), QStringLiteral("Comment")}));
}

TEST_F(LocalMusicTest, FieldsWithoutAZeroByteShowAllTheirBytesAndNoMore)
{
    const QByteArray thirty = "123456789012345678901234567890";
    m_fields.Read(Track(QStringLiteral("t.mp3"), Trailer(thirty, thirty, thirty, "20261", thirty, 0)));
    EXPECT_EQ(m_fields.title.text(), QString::fromLatin1(thirty));
    EXPECT_EQ(m_fields.album.text(), QString::fromLatin1(thirty));
    EXPECT_EQ(m_fields.year.text(), QStringLiteral("2026")); // four bytes, not into the comment
    EXPECT_EQ(m_fields.comment.text(), QString::fromLatin1(thirty));
    EXPECT_EQ(m_fields.genre.text(), QStringLiteral("Blues"));
}

TEST_F(LocalMusicTest, AVersionOnePointOneCommentStopsAtItsZeroByte)
{
    QByteArray comment = "Short note";
    comment += QByteArray(28 - comment.size(), '\0');
    comment += '\0';
    comment += '\x07'; // track number 7: not shown
    m_fields.Read(Track(QStringLiteral("t.mp3"), Trailer("T", "A", "B", "2000", comment, 255)));
    EXPECT_EQ(m_fields.comment.text(), QStringLiteral("Short note"));
    EXPECT_EQ(m_fields.genre.text(), QStringLiteral("255"));
}

TEST_F(LocalMusicTest, GenreCodesAboveTheTableShowTheirNumber)
{
    m_fields.Read(Track(QStringLiteral("t.mp3"), Trailer("T", "A", "B", "2000", "", 147)));
    EXPECT_EQ(m_fields.genre.text(), QStringLiteral("Synthpop"));
    m_fields.Read(Track(QStringLiteral("t.mp3"), Trailer("T", "A", "B", "2000", "", 148)));
    EXPECT_EQ(m_fields.genre.text(), QStringLiteral("148"));
}

TEST_F(LocalMusicTest, TagTextIsReadInTheWesternCodePage)
{
    m_fields.Read(Track(QStringLiteral("t.mp3"), Trailer("Can\xe7\xe3o", "Jo\xe3o \x80", "", "", "", 12)));
    EXPECT_EQ(m_fields.title.text(), QStringLiteral("Can\u00e7\u00e3o"));
    EXPECT_EQ(m_fields.artist.text(), QStringLiteral("Jo\u00e3o \u20ac"));
}

TEST_F(LocalMusicTest, FilesWithoutAnExactMarkerOrTooShortHaveNoTag)
{
    const QStringList none(6, kNoTagText);
    m_fields.Read(Track(QStringLiteral("lower.mp3"), Trailer("T", "A", "B", "2000", "", 1, "tag")));
    EXPECT_EQ(m_fields.All(), none);
    m_fields.title.setText(QStringLiteral("x"));
    WriteFile(QStringLiteral("short.mp3"), "TAG tiny");
    m_fields.Read(ExePath(QStringLiteral("short.mp3")));
    EXPECT_EQ(m_fields.All(), none);
    WriteFile(QStringLiteral("empty.mp3"), "");
    m_fields.Read(ExePath(QStringLiteral("empty.mp3")));
    EXPECT_EQ(m_fields.All(), none);
    // The shipped sample tracks carry tags.
    m_fields.Read(orvex::testing::kAssets + QStringLiteral("cancao.mp3"));
    EXPECT_EQ(m_fields.title.text(), QStringLiteral("Can\u00e7\u00e3o curta"));
}

TEST_F(LocalMusicTest, AFileHeldByAnotherStreamCannotBeReadAndTheFieldsStay)
{
    const QString path = Track(QStringLiteral("held.mp3"), Trailer("T", "A", "B", "2000", "", 1));
    m_fields.title.setText(QStringLiteral("before"));
    TFileStream holder(path, fmOpenRead | fmShareDenyWrite); // reading allowed to others, as a player holds it
    try {
        m_fields.Read(path);
        FAIL() << "the held file was opened";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Cannot open file \"%1\". The process cannot access the file because "
                                              "it is being used by another process").arg(path));
    }
    EXPECT_EQ(m_fields.title.text(), QStringLiteral("before"));
    EXPECT_THROW(m_fields.Read(ExePath(QStringLiteral("missing.mp3"))), EFOpenError);
}

TEST_F(LocalMusicTest, TheGenreTableHasItsListedSpellings)
{
    ASSERT_EQ(Id3GenreNames.size(), 148u);
    const std::pair<int, const char*> listed[] = {
        {0, "Blues"}, {12, "Other"}, {17, "Rock"}, {40, "AlternRock"}, {67, "Psychadelic"}, {79, "Hard Rock"},
        {80, "Folk"}, {85, "Bebob"}, {107, "Booty Bass"}, {123, "Acapella"}, {127, "Drum & Bass"},
        {132, "BritPop"}, {136, "Christian Gangsta Rap"}, {140, "Contemporary Christian"}, {144, "Trash Metal"},
        {145, "Anime"}, {146, "Jpop"}, {147, "Synthpop"},
    };
    for (const auto& [code, name] : listed)
        EXPECT_STREQ(Id3GenreNames[static_cast<std::size_t>(code)], name) << code;
}

TEST_F(LocalMusicTest, ChoosingAFolderListsItsTracksAndFitsTheLabel)
{
    QTemporaryDir music;
    for (const char* name : {"a.mp3", "B.MP3", ".x.mp3", "notes.txt"})
        QFile(music.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly);
    QDir(music.path()).mkdir(QStringLiteral("old.mp3"));
    TfrmOrvex& form = Form();
    QString askedTitle;
    FolderChooserHook = [&](const QString& title) {
        askedTitle = title;
        return music.path();
    };
    form.bitBtnOpenFolder->click();
    EXPECT_EQ(askedTitle, QStringLiteral("Mude a pasta com arquivos mp3"));
    EXPECT_EQ(form.MusicFolder(), music.path() + QLatin1Char('/'));
    EXPECT_EQ(form.txtFolder->Caption(), music.path() + QStringLiteral("/..."));
    QStringList items;
    for (int i = 0; i < form.mp3List->count(); ++i)
        items << form.mp3List->item(i)->text();
    items.sort();
    EXPECT_EQ(items, (QStringList{QStringLiteral(".x.mp3"), QStringLiteral("B.MP3"), QStringLiteral("a.mp3"),
                                  QStringLiteral("old.mp3")}));

    // The label's hint names the whole folder.
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.txtFolder, &move);
    EXPECT_EQ(form.txtFolder->toolTip(), form.MusicFolder());

    // Cancelling changes nothing; the root keeps a single separator.
    FolderChooserHook = [](const QString&) { return QString(); };
    form.bitBtnOpenFolderClick();
    EXPECT_EQ(form.MusicFolder(), music.path() + QLatin1Char('/'));
    EXPECT_EQ(form.mp3List->count(), 4);
    FolderChooserHook = [](const QString&) { return QStringLiteral("/"); };
    form.bitBtnOpenFolderClick();
    EXPECT_EQ(form.MusicFolder(), QStringLiteral("/"));
    EXPECT_EQ(form.txtFolder->Caption(), QStringLiteral("/..."));
}

TEST_F(LocalMusicTest, TheWindowsGaugeStartsEmpty)
{
    TfrmOrvex& form = Form();
    EXPECT_EQ(form.Gauge->MaxValue(), 0);
    EXPECT_EQ(form.Gauge->PercentDone(), 0);
    EXPECT_EQ(form.Gauge->BorderStyle(), TBorderStyle::bsSingle);
    EXPECT_EQ(form.Gauge->Font.Height, -19);
    EXPECT_EQ(form.Gauge->focusPolicy(), Qt::NoFocus);
}

TEST_F(LocalMusicTest, AFolderOrAPipeNamedLikeATrackGivesTheOpenErrorAndLeavesTheFields)
{
    QTemporaryDir music;
    ASSERT_TRUE(QDir(music.path()).mkdir(QStringLiteral("album.mp3")));
    const QString pipe = music.filePath(QStringLiteral("radio.mp3"));
    ASSERT_EQ(::mkfifo(pipe.toLocal8Bit().constData(), 0644), 0);
    orvex::testing::PipeWatch watch(pipe.toLocal8Bit());
    FolderChooserHook = [&](const QString&) { return music.path(); };
    TfrmOrvex& form = Form();
    form.show();
    form.rdButtonLOCALAudio->setChecked(true);
    form.bitBtnOpenFolder->click();
    m_errors.clear();
    for (QLineEdit* field : {form.edtTitle, form.edtArtist, form.edtAlbum, form.edtYear, form.edtGenre, form.edtComment})
        field->setText(QStringLiteral("before"));

    const std::pair<const char*, QString> entries[] = {
        {"album.mp3", QStringLiteral("Is a directory")},
        {"radio.mp3", QStringLiteral("The file cannot be accessed by the system")},
    };
    for (const auto& [name, reason] : entries) {
        m_errors.clear();
        const auto found = form.mp3List->findItems(QString::fromLatin1(name), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name;
        QTest::mouseClick(form.mp3List->viewport(), Qt::LeftButton, {}, form.mp3List->visualItemRect(found[0]).center());
        ASSERT_EQ(m_errors.size(), 1u) << name;
        EXPECT_EQ(m_errors[0], QStringLiteral("Cannot open file \"%1/%2\". %3").arg(music.path(), QLatin1String(name), reason));
        for (QLineEdit* field : {form.edtTitle, form.edtArtist, form.edtAlbum, form.edtYear, form.edtGenre, form.edtComment})
            EXPECT_EQ(field->text(), QStringLiteral("before")) << name;
        EXPECT_FALSE(form.mp3Player->Opened());
        EXPECT_EQ(form.trackBar->maximum(), 0);
    }
    EXPECT_FALSE(watch.ReaderSeen()) << "the pipe was opened, which blocks the window until a writer comes";
}

TEST_F(LocalMusicTest, TheFolderHintShowsAFolderThatLooksLikeMarkupAsItStands)
{
    QTemporaryDir parent;
    const QString folder = parent.filePath(QStringLiteral("<b>x"));
    ASSERT_TRUE(QDir().mkdir(folder));
    FolderChooserHook = [&](const QString&) { return folder; };
    TfrmOrvex& form = Form();
    form.show();
    form.rdButtonLOCALAudio->setChecked(true);
    form.bitBtnOpenFolder->click();
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.txtFolder, &move);
    QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), form.txtFolder->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(form.txtFolder, &hover);
    ASSERT_TRUE(QToolTip::isVisible());
    // What the hint label shows, read as it reads the text.
    QTextDocument shown;
    if (Qt::mightBeRichText(QToolTip::text()))
        shown.setHtml(QToolTip::text());
    else
        shown.setPlainText(QToolTip::text());
    EXPECT_EQ(shown.toPlainText(), folder + QLatin1Char('/'));
    QToolTip::hideText();
    // The label itself shows the folder as text too.
    EXPECT_EQ(form.txtFolder->textFormat(), Qt::PlainText);
    EXPECT_TRUE(form.txtFolder->Caption().startsWith(folder));
}
