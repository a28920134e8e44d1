#include "WindowFixture.h"

#include "IcecastServer.h"
#include "Mp3Maker.h"
#include "Recording.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>

using namespace orvex;
using orvex::testing::IcecastServer;
using orvex::testing::PumpUntil;

namespace {

class RecordingTest : public orvex::testing::WindowFixture {
protected:
    QString PageStatus() { return Evaluate(QStringLiteral("document.getElementById('status').textContent")).toString(); }
    void PressRecord() { Evaluate(QStringLiteral("document.getElementById('record').click(); true")); }
};

} // namespace

// A station of three tagged songs, recorded across all of them from the
// page's Record control, then found, read and played in Local mode.
TEST_F(RecordingTest, RecordsOneTaggedPlayableFilePerSong)
{
    QStringList tracks;
    ASSERT_TRUE(QDir().mkpath(ExePath(QStringLiteral("source"))));
    for (int i = 1; i <= 3; ++i) {
        const QString track = ExePath(QStringLiteral("source/track%1.mp3").arg(i));
        ASSERT_TRUE(orvex::testing::MakeMp3(track, 5.0)); // long enough to be a song of its own
        ASSERT_TRUE(orvex::testing::TagTitle(track, QStringLiteral("Artist %1 - Song %1").arg(i)));
        tracks << track;
    }
    // Local mode lists a music folder of the user's (never the program's own).
    QTemporaryDir music;
    ASSERT_TRUE(orvex::testing::MakeMp3(music.filePath(QStringLiteral("sample.mp3")), 0.5));
    IcecastServer icecast;
    ASSERT_TRUE(icecast.Start(tracks)) << icecast.Error().toStdString();

    TfrmOrvex& form = Form();
    form.show();
    m_errors.clear(); // the loudspeaker picture is not this test's concern
    form.ShowMusicFolder(music.path() + u'/');
    // A track picked in Local mode stays picked when new ones appear.
    form.mp3List->setCurrentRow(0);
    ASSERT_EQ(form.mp3List->currentItem()->text(), QStringLiteral("sample.mp3"));
    form.editAddress->setText(icecast.Address());
    form.bitBtnSETRemote->click();
    ASSERT_TRUE(PumpUntil([&] { return form.Feed->StreamActive(); }, 30000));
    ASSERT_TRUE(PumpUntil([&] { return Evaluate(QStringLiteral("!!document.getElementById('record')")).toBool(); }));

    QSignalSpy finished(&form.Recording->Recorder(), &StreamRecorder::FileFinished);
    PressRecord();
    ASSERT_TRUE(PumpUntil([&] { return form.Recording->IsOn(); }));
    const QString station = form.StationName();
    // The page says what it writes while the songs go by.
    ASSERT_TRUE(PumpUntil([&] {
        const QString file = form.Recording->Recorder().FileName();
        return !file.isEmpty() && PageStatus() == RadioRecording::RecordingText(file);
    }));
    const auto recorded = [&](int song) {
        for (const QList<QVariant>& file : finished)
            if (file.at(0).toString() == music.filePath(QStringLiteral("Artist %1 - Song %1.mp3").arg(song)))
                return true;
        return false;
    };
    ASSERT_TRUE(PumpUntil([&] { return recorded(1) && recorded(2) && recorded(3); }, 60000)) << [&] {
        QStringList names;
        for (const QList<QVariant>& file : finished)
            names << QFileInfo(file.at(0).toString()).fileName();
        return names.join(QStringLiteral(" | ")).toStdString();
    }();
    PressRecord();
    ASSERT_TRUE(PumpUntil([&] { return !form.Recording->IsOn() && PageStatus().isEmpty(); }));

    form.rdButtonLOCALAudio->setChecked(true);
    ASSERT_TRUE(form.mp3List->currentItem());
    EXPECT_EQ(form.mp3List->currentItem()->text(), QStringLiteral("sample.mp3"));
    for (int song = 1; song <= 3; ++song) {
        const QString name = QStringLiteral("Artist %1 - Song %1.mp3").arg(song);
        SCOPED_TRACE(name.toStdString());
        const auto found = form.mp3List->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        form.mp3List->setCurrentItem(found[0]);
        form.mp3ListClick();
        EXPECT_EQ(form.edtTitle->text(), QStringLiteral("Song %1").arg(song));
        EXPECT_EQ(form.edtArtist->text(), QStringLiteral("Artist %1").arg(song));
        EXPECT_EQ(form.edtAlbum->text(), station.left(30));
        EXPECT_EQ(form.edtComment->text(), QStringLiteral("Radio"));
        EXPECT_EQ(form.edtGenre->text(), QStringLiteral("255"));
        ASSERT_GT(form.mp3Player->Length(), 1000);
        form.mp3Player->Play();
        EXPECT_TRUE(PumpUntil([&] { return form.mp3Player->Position() > 200; }));
    }
    EXPECT_TRUE(m_errors.empty()) << m_errors.front().toStdString();
}
