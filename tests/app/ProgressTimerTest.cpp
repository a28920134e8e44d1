#include "WindowFixture.h"

#include "ScriptedDevice.h"
#include "Unit1.h"

#include <algorithm>

using namespace orvex;
using orvex::testing::ScopedScriptedDriver;

namespace {

class ProgressTimerTest : public orvex::testing::WindowFixture {
protected:
    ProgressTimerTest() : m_driver(QStringLiteral("WaveAudio")) {}

    // Opens a scripted track in the player bar, scaled as a track click does.
    void OpenTrack(std::uint32_t length)
    {
        TfrmOrvex& form = Form();
        m_driver.script->length = length;
        form.mp3Player->DeviceType = dtWaveAudio;
        form.mp3Player->FileName = QStringLiteral("song.wav");
        form.mp3Player->Open();
        form.trackBar->setMaximum(form.mp3Player->Length());
        form.Gauge->SetMaxValue(form.mp3Player->Length());
        m_driver.script->Clear();
    }
    long PositionQueries() const
    {
        return std::count_if(m_driver.script->sent.begin(), m_driver.script->sent.end(), [](const auto& s) {
            return s.message == MCI_STATUS && s.item == MCI_STATUS_POSITION;
        });
    }

    ScopedScriptedDriver m_driver;
};

} // namespace

TEST_F(ProgressTimerTest, ATickAsksTheDeviceOnceAndShowsTheSameMomentInBoth)
{
    OpenTrack(10000);
    TfrmOrvex& form = Form();
    m_driver.script->position = 2500;
    form.ProgressTimerTimer();
    EXPECT_EQ(PositionQueries(), 1);
    EXPECT_EQ(form.trackBar->value(), 2500);
    EXPECT_EQ(form.Gauge->Progress(), 2500);
    EXPECT_EQ(form.Gauge->PercentDone(), 25);

    // The device moves on between ticks: the next tick follows it.
    m_driver.script->position = 7000;
    form.ProgressTimerTimer();
    EXPECT_EQ(PositionQueries(), 2);
    EXPECT_EQ(form.trackBar->value(), 7000);
    EXPECT_EQ(form.Gauge->Progress(), 7000);
}

TEST_F(ProgressTimerTest, WithNoTrackOpenTheTimerAsksNothing)
{
    TfrmOrvex& form = Form();
    // The window runs its timer from the start; let it tick a few times.
    int ticks = 0;
    QObject::connect(form.ProgressTimer, &QTimer::timeout, [&] { ++ticks; });
    ASSERT_TRUE(orvex::testing::PumpUntil([&] { return ticks >= 3; }));
    EXPECT_TRUE(m_driver.script->sent.empty());
    EXPECT_EQ(form.trackBar->maximum(), 0);
    EXPECT_EQ(form.trackBar->value(), 0);

    // The same once a track was open and the track bar's maximum went back to 0.
    OpenTrack(8000);
    form.trackBar->setMaximum(0);
    const int seen = ticks;
    ASSERT_TRUE(orvex::testing::PumpUntil([&] { return ticks >= seen + 2; }));
    EXPECT_EQ(PositionQueries(), 0);
}
