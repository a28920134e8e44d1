#include "WindowFixture.h"

#include "Mp3Maker.h"
#include "SleepTimer.h"
#include "StreamServer.h"

#include <QMenu>
#include <QSettings>

using namespace orvex;
using orvex::testing::PumpUntil;

namespace {

// The timer runs on a clock the test moves.
class SleepTimerTest : public orvex::testing::WindowFixture {
protected:
    SleepTimer& Timer()
    {
        SleepTimer& timer = *Form().Sleep;
        timer.Clock = [this] { return m_now; };
        return timer;
    }
    void At(qint64 ms)
    {
        m_now = ms;
        Form().Sleep->Tick();
    }
    QString PageSetting(const char* name)
    {
        return Evaluate(QStringLiteral("orvexPlayer.settings['%1'] || ''").arg(QLatin1String(name))).toString();
    }
    qint64 m_now = 0;
};

} // namespace

TEST(SleepTimerText, ShowsTheTimeLeftRoundedUp)
{
    const struct {
        qint64 ms;
        const char* text;
    } cases[] = {{0, "0:00"}, {1, "0:01"}, {59999, "1:00"}, {900000, "15:00"}, {5400000, "1:30:00"}};
    for (const auto& c : cases)
        EXPECT_EQ(SleepTimer::LeftText(c.ms), QLatin1String(c.text)) << c.ms;
}

// Chosen on the page, shown there and in the caption, kept across a station
// change; the radio fades over the last ten seconds and stops.
TEST_F(SleepTimerTest, FadesAndStopsTheRadio)
{
    StreamServer server;
    ASSERT_TRUE(SetTestStation(server, orvex::testing::kAssets + QStringLiteral("escala.mp3")));
    TfrmOrvex& form = Form();
    form.show();
    SleepTimer& timer = Timer();
    ASSERT_TRUE(PumpUntil([&] { return form.RadioPlaying(); }, 30000));
    const QString caption = form.windowTitle();
    const double volume = Evaluate(QStringLiteral("orvexPlayer.audio.volume")).toDouble();
    ASSERT_GT(volume, 0.1);
    Evaluate(QStringLiteral("var s = document.getElementById('sleep'); s.value = '30';"
                            "s.dispatchEvent(new Event('change')); true"));
    ASSERT_TRUE(PumpUntil([&] { return timer.Running(); }));
    EXPECT_EQ(form.windowTitle(), caption + QStringLiteral(" \u2014 \u263e 30:00"));
    ASSERT_TRUE(PumpUntil([&] {
        return Evaluate(QStringLiteral("document.getElementById('sleep').options[0].textContent")).toString() ==
               QStringLiteral("\u263e 30:00");
    }));

    // The same station anew, on a new page: the timer runs on.
    Evaluate(QStringLiteral("window.oldPage = true"));
    form.bitBtnSETRemote->click();
    ASSERT_TRUE(PumpUntil([&] {
        return Evaluate(QStringLiteral("!window.oldPage && !!window.orvexPlayer && orvexPlayer.state === 'playing'")).toBool();
    }, 30000));
    At(30 * 60000 - 5000);
    EXPECT_TRUE(timer.Running());
    EXPECT_DOUBLE_EQ(timer.Fade(), 0.5);
    ASSERT_TRUE(PumpUntil([&] { return Evaluate(QStringLiteral("orvexPlayer.audio.volume")).toDouble() <= volume * 0.51; }, 30000));
    EXPECT_EQ(form.windowTitle(), caption + QStringLiteral(" \u2014 \u263e 0:05"));

    At(30 * 60000);
    EXPECT_FALSE(timer.Running());
    ASSERT_TRUE(PumpUntil([&] { return !form.RadioPlaying() && PageSetting("sleep").isEmpty(); }));
    EXPECT_EQ(form.windowTitle(), caption);
    EXPECT_DOUBLE_EQ(Evaluate(QStringLiteral("orvexPlayer.audio.volume")).toDouble(), volume);
}

// Local playback: minutes fade the device's volume and stop the track; the
// end-of-track choice stops the run through the folder at that track.
TEST_F(SleepTimerTest, StopsTheLocalTrackAfterMinutesOrAtItsEnd)
{
    QTemporaryDir music;
    for (const char* name : {"a.mp3", "b.mp3"})
        ASSERT_TRUE(orvex::testing::MakeMp3(music.filePath(QLatin1String(name)), 3.0));
    QSettings(QStringLiteral("Orvex"), QStringLiteral("Orvex")).clear();
    OpenMusicFolder(music.path());
    TfrmOrvex& form = Form();
    SleepTimer& timer = Timer();
    ASSERT_TRUE(form.OpenTrackAt(0));
    form.mp3Player->PressButton(btPlay);
    ASSERT_EQ(form.mp3Player->Mode(), mdPlaying);

    timer.Start(15);
    At(15 * 60000 - 2500);
    EXPECT_EQ(form.mp3Player->Volume(), 250);
    At(15 * 60000);
    EXPECT_EQ(form.mp3Player->Mode(), mdStopped);
    EXPECT_EQ(form.mp3Player->Volume(), 1000);

    form.mp3Player->Rewind();
    form.mp3Player->PressButton(btPlay);
    ASSERT_TRUE(timer.StartAtTrackEnd());
    EXPECT_TRUE(form.windowTitle().endsWith(QStringLiteral("\u263e no fim da faixa")));
    ASSERT_TRUE(PumpUntil([&] { return !timer.Running(); }, 15000));
    EXPECT_EQ(form.mp3Player->Mode(), mdStopped);
    EXPECT_EQ(form.mp3List->currentRow(), 0);
    EXPECT_EQ(form.mp3Player->FileName, music.filePath(QStringLiteral("a.mp3")));
    EXPECT_FALSE(form.StopAfterTrack);
    // With nothing open there is no track's end to wait for.
    form.mp3Player->Close();
    form.trackBar->setMaximum(0);
    EXPECT_FALSE(timer.StartAtTrackEnd());
}
