#include "WindowFixture.h"

#include "LocalSound.h"
#include "Mp3Maker.h"
#include "ProgramFiles.h"

#include <QLabel>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

using namespace orvex;
using orvex::testing::PumpUntil;

namespace {

class StartPlaceTest : public orvex::testing::WindowFixture {
protected:
    static QSettings Settings() { return QSettings(QStringLiteral("Orvex"), QStringLiteral("Orvex")); }
    QByteArray PageLine28() const { return ReadFile(QStringLiteral("indexII.htm")).split('\n').value(27).trimmed(); }
    static QByteArray ParameterLine(const char* address)
    {
        return QByteArray("<PARAM NAME=\"FileName\" VALUE=\"") + address + "\">";
    }
};

} // namespace

// The folder, a typed station and the mode come back at the next start.
TEST_F(StartPlaceTest, ANewRunStartsWhereTheLastOneWasLeft)
{
    QTemporaryDir music;
    ASSERT_TRUE(orvex::testing::MakeMp3(music.filePath(QStringLiteral("song.mp3")), 0.5));
    OpenMusicFolder(music.path() + QLatin1Char('/'));
    Form().rdButtonSERVERAudio->setChecked(true);
    Form().PlayStation(QStringLiteral("Minha <b>r\u00e1dio</b>"), QStringLiteral("http://127.0.0.1:9/typed"));
    Form().rdButtonLOCALAudio->setChecked(true);
    m_form.reset();

    TfrmOrvex& form = Form();
    EXPECT_EQ(form.MusicFolder(), music.path() + QLatin1Char('/'));
    ASSERT_EQ(form.mp3List->count(), 1);
    EXPECT_TRUE(form.rdButtonLOCALAudio->isChecked());
    EXPECT_EQ(form.StationAddress(), QStringLiteral("http://127.0.0.1:9/typed"));
    EXPECT_EQ(form.StationName(), QStringLiteral("Minha <b>r\u00e1dio</b>"));
    EXPECT_EQ(PageLine28(), ParameterLine("http://127.0.0.1:9/typed"));
    // One of the box's stations comes back as picked.
    form.rdButtonSERVERAudio->setChecked(true);
    form.cmbBoxRadio->setCurrentIndex(6);
    form.cmbBoxRadioChange();
    m_form.reset();
    EXPECT_EQ(Form().cmbBoxRadio->currentIndex(), 6);
    EXPECT_EQ(PageLine28(), ParameterLine("http://globo.example.net/radio"));
}

// The start of the first run: nothing remembered, the home station
// remembered, a remembered place that is no longer valid, or the old start
// asked for.
TEST_F(StartPlaceTest, StartsAsAlwaysWhenNothingValidIsRemembered)
{
    QTemporaryDir music;
    const struct {
        const char* name;
        QString folder, address;
        bool home;
    } cases[] = {
        {"nothing", QString(), QString(), false},
        {"home station", QString(), QStringLiteral("http://127.0.0.1:8000"), false},
        {"gone", QStringLiteral("/nonexistent/music/"), QStringLiteral("javascript:alert(1)"), false},
        {"--home", music.path(), QStringLiteral("http://127.0.0.1:9/typed"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QSettings settings = Settings();
        settings.remove(QStringLiteral("Start"));
        if (!c.folder.isEmpty())
            settings.setValue(QStringLiteral("Start/MusicFolder"), c.folder);
        if (!c.address.isEmpty()) {
            settings.setValue(QStringLiteral("Start/StationAddress"), c.address);
            settings.setValue(QStringLiteral("Start/Mode"), QStringLiteral("local"));
        }
        settings.sync();
        if (c.home)
            qputenv("ORVEX_START_HOME", "1");
        TfrmOrvex& form = Form();
        qunsetenv("ORVEX_START_HOME");
        EXPECT_EQ(form.MusicFolder(), ProgramFiles::FirstMusicFolder());
        EXPECT_TRUE(form.rdButtonSERVERAudio->isChecked() || c.address.isEmpty());
        EXPECT_EQ(form.editAddress->text(), QStringLiteral("127.0.0.1:8000"));
        EXPECT_EQ(PageLine28(), ParameterLine("http://127.0.0.1:8000"));
        m_form.reset();
    }
}

TEST(LocalSoundText, ShowsElapsedAndTotalTime)
{
    EXPECT_EQ(LocalSound::TimeText(0, 0), QString());
    EXPECT_EQ(LocalSound::TimeText(61999, 205000), QStringLiteral("1:01 / 3:25"));
    EXPECT_EQ(LocalSound::TimeText(3723000, 7200000), QStringLiteral("1:02:03 / 2:00:00"));
}

// The wheel over the player bar sets the volume each opened track gets,
// remembered for the next run; the time follows the open track.
TEST_F(StartPlaceTest, LocalVolumeAndTimeFollowTheTrack)
{
    QTemporaryDir music;
    ASSERT_TRUE(orvex::testing::MakeMp3(music.filePath(QStringLiteral("song.mp3")), 1.0));
    Settings().remove(QStringLiteral("LocalMusic/Volume"));
    OpenMusicFolder(music.path());
    TfrmOrvex& form = Form();
    ASSERT_EQ(form.Sound->Volume(), 100);
    const QPointF at(10, 10);
    QWheelEvent down(at, form.mp3Player->mapToGlobal(at), {}, QPoint(0, -240), Qt::NoButton, {}, Qt::NoScrollPhase,
                     false);
    QCoreApplication::sendEvent(form.mp3Player, &down);
    EXPECT_EQ(form.Sound->Volume(), 90);
    ASSERT_TRUE(form.OpenTrackAt(0));
    EXPECT_EQ(form.mp3Player->Volume(), 900);
    EXPECT_EQ(form.Sound->TimeLabel->text(), QStringLiteral("0:00 / 0:01"));
    form.mp3Player->PressButton(btPlay);
    ASSERT_TRUE(PumpUntil([&] { return form.mp3Player->Mode() == mdStopped; }));
    m_form.reset();
    EXPECT_EQ(Form().Sound->Volume(), 90);
    EXPECT_EQ(Form().mp3Player->Volume(), 900);
    Settings().remove(QStringLiteral("LocalMusic/Volume"));
}
