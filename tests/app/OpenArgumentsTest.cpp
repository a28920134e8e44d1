// What the desktop hands the program on its command line: files, their
// file:// URLs, station addresses and playlists, and what it refuses.
#include "WindowFixture.h"

#include "Mp3Maker.h"
#include "OpenArguments.h"

#include <QDir>
#include <QUrl>

using namespace orvex;
using orvex::testing::PumpUntil;

namespace {

class OpenArgumentsTest : public orvex::testing::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        ASSERT_TRUE(orvex::testing::MakeSample(Music(QStringLiteral("a tom.flac")), 3.0));
        ASSERT_TRUE(orvex::testing::MakeSample(Music(QStringLiteral("b tom.mp3")), 0.5));
        Write(QStringLiteral("notas.txt"), "not music");
        Write(QStringLiteral("lista.pls"), "[playlist]\nNumberOfEntries=2\nFile1=http://192.0.2.1:8000/a\n"
                                           "File2=http://192.0.2.2/b\n");
        Write(QStringLiteral("lista.m3u"), "#EXTM3U\n#EXTINF:-1,Um\nicy://h:2/\n");
        Write(QStringLiteral("hls.m3u8"), "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nseg1.ts\n");
        ASSERT_TRUE(QDir(m_music.path()).mkdir(QStringLiteral("pasta.flac")));
        Form().show();
        m_errors.clear();
    }
    QString Music(const QString& name) const { return m_music.filePath(name); }
    void Write(const QString& name, const QByteArray& text)
    {
        QFile file(Music(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QTemporaryDir m_music;
};

} // namespace

TEST_F(OpenArgumentsTest, AFileOrItsUrlPlaysInLocalMusicWithItsFolderListed)
{
    TfrmOrvex& form = Form();
    EXPECT_FALSE(OpenArguments(form, {QStringLiteral("--home")}));
    const QString path = Music(QStringLiteral("a tom.flac"));
    for (const QString& given : {path, QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)}) {
        SCOPED_TRACE(given.toStdString());
        form.rdButtonSERVERAudio->setChecked(true);
        // The first plays; the others are files of its folder, listed with it.
        EXPECT_TRUE(OpenArguments(form, {given, Music(QStringLiteral("b tom.mp3"))}));
        EXPECT_TRUE(form.rdButtonLOCALAudio->isChecked());
        EXPECT_EQ(form.MusicFolder(), m_music.path() + QLatin1Char('/'));
        EXPECT_EQ(form.mp3List->count(), 3);
        EXPECT_EQ(form.TrackPath(), path);
        EXPECT_EQ(form.mp3Player->Mode(), mdPlaying);
        // The second time the track is the open one: it plays again.
        form.mp3Player->PressButton(btStop);
    }
    EXPECT_TRUE(m_boxes.empty()) << m_boxes.front().text.toStdString();
    EXPECT_TRUE(m_errors.empty()) << m_errors.front().toStdString();
}

TEST_F(OpenArgumentsTest, AnAddressOrAPlaylistPlaysAsATypedStation)
{
    TfrmOrvex& form = Form();
    const struct {
        QString given, address;
        bool http;
    } cases[] = {
        {QStringLiteral("http://127.0.0.1:9/live"), QStringLiteral("http://127.0.0.1:9/live"), true},
        {QStringLiteral("MMS://h:1/x"), QStringLiteral("MMS://h:1/x"), false},
        {Music(QStringLiteral("lista.pls")), QStringLiteral("http://192.0.2.1:8000/a"), true},
        {QUrl::fromLocalFile(Music(QStringLiteral("lista.m3u"))).toString(), QStringLiteral("http://h:2/"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given.toStdString());
        form.rdButtonLOCALAudio->setChecked(true);
        EXPECT_TRUE(OpenArguments(form, {c.given}));
        EXPECT_TRUE(form.rdButtonSERVERAudio->isChecked());
        EXPECT_EQ(form.editAddress->text(), c.address);
        EXPECT_EQ(form.RdButtonHTTPMethod->isChecked(), c.http);
        EXPECT_EQ(form.StationShown(), c.address);
        EXPECT_TRUE(ReadFile(QStringLiteral("indexII.htm")).contains("VALUE=\"" + c.address.toUtf8() + "\">"));
    }
    EXPECT_TRUE(m_boxes.empty()) << m_boxes.front().text.toStdString();
}

TEST_F(OpenArgumentsTest, WhatCannotBeOpenedSaysSoAndChangesNothing)
{
    TfrmOrvex& form = Form();
    const QString flac = Music(QStringLiteral("a tom.flac"));
    const struct {
        QStringList given;
        QString says;
    } cases[] = {
        {{Music(QStringLiteral("sumiu.flac"))}, QStringLiteral("Arquivo n\u00e3o encontrado: ")},
        {{Music(QStringLiteral("pasta.flac"))}, QStringLiteral("\u00c9 uma pasta")},
        {{m_music.path()}, QStringLiteral("\u00c9 uma pasta")},
        {{Music(QStringLiteral("notas.txt"))}, QStringLiteral("Formato n\u00e3o suportado: ")},
        {{Music(QStringLiteral("hls.m3u8"))}, QStringLiteral("Listas HLS")},
        {{QStringLiteral("javascript:alert(1)")}, QStringLiteral("Endere\u00e7o n\u00e3o suportado: javascript:")},
        {{QStringLiteral("file://elsewhere") + flac}, QStringLiteral("Endere\u00e7o n\u00e3o suportado: ")},
        {{QStringLiteral("ftp://h/a.flac")}, QStringLiteral("Endere\u00e7o n\u00e3o suportado: ")},
        {{QStringLiteral("http://")}, QStringLiteral("Endere\u00e7o n\u00e3o suportado: ")},
        {QStringList(1000, flac), QStringLiteral("Argumentos demais: 1000 (no m\u00e1ximo 100).")},
    };
    const QString folder = form.MusicFolder();
    const QString address = form.editAddress->text();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says.toStdString());
        m_boxes.clear();
        EXPECT_TRUE(OpenArguments(form, c.given));
        ASSERT_EQ(m_boxes.size(), 1u);
        EXPECT_TRUE(m_boxes[0].text.startsWith(c.says)) << m_boxes[0].text.toStdString();
        EXPECT_TRUE(form.rdButtonSERVERAudio->isChecked());
        EXPECT_EQ(form.MusicFolder(), folder);
        EXPECT_EQ(form.editAddress->text(), address);
        EXPECT_FALSE(form.mp3Player->Opened());
    }
}
