#include "ScriptedDevice.h"

#include "MediaPlayer.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace orvex;
using orvex::testing::DeviceScript;
using orvex::testing::ScopedScriptedDriver;

namespace {

// Packs a track-format position.
std::uint32_t Tmsf(int track, int minutes, int seconds, int frames)
{
    return static_cast<std::uint32_t>(track | (minutes << 8) | (seconds << 16) | (frames << 24));
}

class PlayerDeviceTest : public ::testing::Test {
protected:
    PlayerDeviceTest() : m_driver(QStringLiteral("WaveAudio")), m_script(*m_driver.script)
    {
        m_player.DeviceType = dtWaveAudio;
        m_player.FileName = QStringLiteral("song.wav");
    }
    void OpenPlayer()
    {
        m_player.Open();
        m_script.Clear();
    }
    std::vector<unsigned> ActionMessages() const
    {
        std::vector<unsigned> messages;
        for (const auto& s : m_script.Actions())
            messages.push_back(s.message);
        return messages;
    }
    void Deliver() { QCoreApplication::sendPostedEvents(&m_player); }

    ScopedScriptedDriver m_driver;
    DeviceScript& m_script;
    TMediaPlayer m_player;
};

} // namespace

TEST_F(PlayerDeviceTest, OpenSendsTheTypeOrTheElementAndLearnsTheDevice)
{
    m_script.canRecord = true;
    m_script.deviceType = MCI_DEVTYPE_VCR;
    m_script.length = 12345;
    m_player.Shareable = true;
    m_player.Open();
    EXPECT_TRUE(m_player.Opened());
    EXPECT_NE(m_player.DeviceID(), 0);
    EXPECT_EQ(m_script.openFlags, static_cast<std::uint32_t>(MCI_WAIT | MCI_OPEN_TYPE | MCI_OPEN_SHAREABLE));
    EXPECT_EQ(m_script.openedElement, QStringLiteral("song.wav"));
    EXPECT_EQ(m_player.StepSize(), 1234);
    EXPECT_EQ(m_player.Capabilities(), cpCanPlay | cpCanRecord | cpCanStep);
    EXPECT_EQ(m_player.AutoEnabledButtons(),
              Bit(btNext) | Bit(btPrev) | Bit(btStep) | Bit(btBack) | Bit(btPlay) | Bit(btRecord));
    EXPECT_EQ(m_player.Error(), 0u); // the where query's result

    // A second open closes the first device.
    const MCIDEVICEID first = m_player.DeviceID();
    m_player.Open();
    EXPECT_EQ(m_script.closes, 1);
    EXPECT_NE(m_player.DeviceID(), first);
}

TEST_F(PlayerDeviceTest, AnOpenOnAPlayingDeviceShowsItPlaying)
{
    m_script.mode = MCI_MODE_PLAY;
    m_player.Open();
    EXPECT_EQ(m_player.AutoEnabledButtons(), Bit(btNext) | Bit(btPrev) | Bit(btPause) | Bit(btStop));
}

TEST_F(PlayerDeviceTest, AFailedOpenRaisesTheDevicesTextAndStaysClosed)
{
    m_script.openResult = MCIERR_INVALID_FILE;
    QString expected;
    ASSERT_TRUE(mciGetErrorString(MCIERR_INVALID_FILE, expected));
    try {
        m_player.Open();
        FAIL();
    } catch (const EMCIDeviceError& e) {
        EXPECT_EQ(e.Message(), expected);
    }
    EXPECT_FALSE(m_player.Opened());
    EXPECT_EQ(m_player.AutoEnabledButtons(), 0);
    m_script.openResult = 9999;
    try {
        m_player.Open();
        FAIL();
    } catch (const EMCIDeviceError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Unknown error code"));
    }
}

TEST_F(PlayerDeviceTest, CommandsWithoutADeviceRaiseOrSendNothing)
{
    m_player.Close();
    EXPECT_TRUE(m_script.sent.empty());
    for (auto command : {&TMediaPlayer::Play, &TMediaPlayer::Pause, &TMediaPlayer::Stop, &TMediaPlayer::Next,
                         &TMediaPlayer::Previous, &TMediaPlayer::Eject, &TMediaPlayer::Rewind}) {
        try {
            (m_player.*command)();
            ADD_FAILURE() << "no exception";
        } catch (const EMCIDeviceError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("No MCI device open"));
        }
    }
    EXPECT_THROW(m_player.Length(), EMCIDeviceError);
    EXPECT_EQ(m_player.Mode(), mdNotReady); // no answer: not ready
    EXPECT_EQ(m_player.Position(), 0);
    EXPECT_NE(m_player.Error(), 0u);
}

TEST_F(PlayerDeviceTest, PlayAtTheEndRewindsUnlessAStartIsGiven)
{
    OpenPlayer();
    m_script.position = m_script.length;
    m_player.Play();
    ASSERT_EQ(m_script.Actions().size(), 2u);
    EXPECT_EQ(m_script.Actions()[0].message, static_cast<unsigned>(MCI_SEEK));
    EXPECT_EQ(m_script.Actions()[0].flags, static_cast<std::uint32_t>(MCI_WAIT | MCI_SEEK_TO_START));
    EXPECT_EQ(m_script.Actions()[1].message, static_cast<unsigned>(MCI_PLAY));
    EXPECT_EQ(m_script.Actions()[1].flags, static_cast<std::uint32_t>(MCI_NOTIFY));

    // A start alone, or an end alone, is enough to play without rewinding,
    // even from the end of the track.
    m_script.Clear();
    m_script.position = m_script.length;
    m_player.SetStartPos(500);
    m_player.Play();
    ASSERT_EQ(ActionMessages(), (std::vector<unsigned>{MCI_PLAY}));
    EXPECT_EQ(m_script.Actions()[0].flags, static_cast<std::uint32_t>(MCI_NOTIFY | MCI_FROM));
    EXPECT_EQ(m_script.Actions()[0].from, 500u);
    m_script.Clear();
    m_script.position = m_script.length;
    m_player.SetEndPos(900);
    m_player.Play();
    ASSERT_EQ(ActionMessages(), (std::vector<unsigned>{MCI_PLAY}));
    EXPECT_EQ(m_script.Actions()[0].flags, static_cast<std::uint32_t>(MCI_NOTIFY | MCI_TO));
    EXPECT_EQ(m_script.Actions()[0].to, 900u);
    // The overrides were for one command only.
    m_script.Clear();
    m_script.position = 0;
    m_player.Play();
    EXPECT_EQ(m_script.Actions()[0].flags, static_cast<std::uint32_t>(MCI_NOTIFY));
}

TEST_F(PlayerDeviceTest, WaitAndNotifyOverridesFollowEachCommandsDefault)
{
    OpenPlayer();
    m_player.SetNotify(true);
    m_player.Stop();
    m_player.SetWait(false);
    m_player.Stop();
    m_player.SetWait(true);
    m_player.SetNotify(false);
    m_player.Play();
    const auto actions = m_script.Actions();
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[0].flags, static_cast<std::uint32_t>(MCI_WAIT | MCI_NOTIFY));
    EXPECT_EQ(actions[1].flags, 0u);
    EXPECT_EQ(actions[2].flags, static_cast<std::uint32_t>(MCI_WAIT));
}

TEST_F(PlayerDeviceTest, PauseChoosesByModeAndResumeFallsBackToPlay)
{
    OpenPlayer();
    m_script.mode = MCI_MODE_STOP;
    m_player.Pause();
    EXPECT_TRUE(m_script.Actions().empty()); // stopped: nothing is sent

    m_script.mode = MCI_MODE_PLAY;
    m_player.Pause();
    EXPECT_EQ(ActionMessages(), (std::vector<unsigned>{MCI_PAUSE}));
    m_script.Clear();
    m_player.Pause(); // now paused: resumes
    EXPECT_EQ(ActionMessages(), (std::vector<unsigned>{MCI_RESUME}));
    EXPECT_EQ(m_script.Actions()[0].flags, static_cast<std::uint32_t>(MCI_NOTIFY));

    m_script.Clear();
    m_script.mode = MCI_MODE_PAUSE;
    m_script.results[MCI_RESUME] = MCIERR_UNSUPPORTED_FUNCTION;
    m_player.Resume();
    EXPECT_EQ(ActionMessages(), (std::vector<unsigned>{MCI_RESUME, MCI_PLAY}));
    EXPECT_EQ(m_player.Error(), 0u);
}

TEST_F(PlayerDeviceTest, NextAndPreviousSeekToTheEndsOutsideTrackFormat)
{
    OpenPlayer();
    m_player.Next();
    m_player.Previous();
    const auto actions = m_script.Actions();
    ASSERT_EQ(actions.size(), 2u);
    EXPECT_EQ(actions[0].flags, static_cast<std::uint32_t>(MCI_WAIT | MCI_SEEK_TO_END));
    EXPECT_EQ(actions[1].flags, static_cast<std::uint32_t>(MCI_WAIT | MCI_SEEK_TO_START));
}

TEST_F(PlayerDeviceTest, TrackFormatNextAndPreviousPlayTheChosenTrackWhilePlaying)
{
    ScopedScriptedDriver cd(QStringLiteral("CDAudio"));
    DeviceScript& disc = *cd.script;
    disc.tracks = 3;
    disc.trackPositions = {{1, Tmsf(1, 0, 0, 0)}, {2, Tmsf(2, 3, 10, 5)}, {3, Tmsf(3, 7, 0, 0)}};
    m_player.DeviceType = dtCDAudio;
    m_player.Open();
    // Opening a disc sets track format.
    EXPECT_EQ(disc.timeFormat, static_cast<std::uint32_t>(MCI_FORMAT_TMSF));

    disc.mode = MCI_MODE_PLAY;
    disc.position = Tmsf(2, 4, 0, 0);
    disc.Clear();
    m_player.Next();
    ASSERT_EQ(disc.Actions().size(), 1u);
    EXPECT_EQ(disc.Actions()[0].message, static_cast<unsigned>(MCI_PLAY));
    EXPECT_EQ(disc.Actions()[0].from, Tmsf(3, 7, 0, 0));
    EXPECT_EQ(m_player.CurrentButton(), btPlay);

    // Within the first second of track 2: back to track 1.
    disc.Clear();
    disc.position = Tmsf(2, 3, 10, 60);
    m_player.Previous();
    EXPECT_EQ(disc.Actions()[0].from, Tmsf(1, 0, 0, 0));
    // Later in track 2: its own start.
    disc.Clear();
    disc.position = Tmsf(2, 3, 12, 0);
    m_player.Previous();
    EXPECT_EQ(disc.Actions()[0].from, Tmsf(2, 3, 10, 5));
    // Track 1 never goes further back; not playing, it only seeks.
    disc.Clear();
    disc.mode = MCI_MODE_STOP;
    disc.position = Tmsf(1, 0, 0, 10);
    m_player.Previous();
    ASSERT_EQ(disc.Actions().size(), 1u);
    EXPECT_EQ(disc.Actions()[0].message, static_cast<unsigned>(MCI_SEEK));
    EXPECT_EQ(disc.Actions()[0].flags, static_cast<std::uint32_t>(MCI_WAIT | MCI_TO));
    EXPECT_EQ(disc.Actions()[0].to, Tmsf(1, 0, 0, 0));
    // Next on the last track stays on it.
    disc.Clear();
    disc.position = Tmsf(3, 8, 0, 0);
    m_player.Next();
    EXPECT_EQ(disc.Actions()[0].to, Tmsf(3, 7, 0, 0));
}

TEST_F(PlayerDeviceTest, StepBackAndEjectNeedTheirCapabilities)
{
    OpenPlayer();
    m_player.Step();
    m_player.Back();
    m_player.Eject();
    EXPECT_TRUE(m_script.Actions().empty());

    ScopedScriptedDriver video(QStringLiteral("DigitalVideo"));
    video.script->hasVideo = true;
    video.script->canEject = true;
    video.script->deviceType = MCI_DEVTYPE_DIGITAL_VIDEO;
    video.script->length = 1000;
    m_player.DeviceType = dtDigitalVideo;
    m_player.Open();
    EXPECT_EQ(m_player.DisplayWidth(), 320);
    EXPECT_EQ(m_player.DisplayHeight(), 240);
    video.script->Clear();
    m_player.Step();
    m_player.Back();
    m_player.Eject();
    const auto actions = video.script->Actions();
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[0].flags, static_cast<std::uint32_t>(MCI_WAIT | MCI_STEP_FRAMES));
    EXPECT_EQ(actions[0].frames, 100u);
    EXPECT_EQ(actions[1].flags, static_cast<std::uint32_t>(MCI_WAIT | MCI_STEP_FRAMES | MCI_STEP_REVERSE));
    EXPECT_EQ(actions[2].message, static_cast<unsigned>(MCI_SET));
    EXPECT_EQ(actions[2].flags, static_cast<std::uint32_t>(MCI_WAIT | MCI_SET_DOOR_OPEN));
}

TEST_F(PlayerDeviceTest, TheDisplayIsHandedToAVideoDeviceAndTakenBackWhenItGoes)
{
    ScopedScriptedDriver video(QStringLiteral("DigitalVideo"));
    video.script->hasVideo = true;
    m_player.DeviceType = dtDigitalVideo;
    auto display = std::make_unique<QWidget>();
    m_player.SetDisplay(display.get()); // nothing open: only stored
    EXPECT_TRUE(video.script->sent.empty());
    m_player.Open();
    auto windows = [&] {
        std::vector<QWidget*> sent;
        for (const auto& s : video.script->sent)
            if (s.message == MCI_WINDOW)
                sent.push_back(s.window);
        return sent;
    };
    EXPECT_EQ(windows(), (std::vector<QWidget*>{display.get()}));
    display.reset();
    EXPECT_EQ(windows().back(), nullptr);
    EXPECT_EQ(m_player.Display(), nullptr);

    // A refused window leaves no display.
    auto other = std::make_unique<QWidget>();
    video.script->results[MCI_WINDOW] = MCIERR_NO_WINDOW;
    m_player.SetDisplay(other.get());
    EXPECT_EQ(m_player.Display(), nullptr);
}

TEST_F(PlayerDeviceTest, OnlyTheDisplayInUseIsWatched)
{
    ScopedScriptedDriver video(QStringLiteral("DigitalVideo"));
    video.script->hasVideo = true;
    m_player.DeviceType = dtDigitalVideo;
    m_player.Open();
    auto first = std::make_unique<QWidget>();
    m_player.SetDisplay(first.get());
    ASSERT_EQ(m_player.Display(), first.get());

    // The device refuses a second display: the first one's end sends nothing.
    auto refused = std::make_unique<QWidget>();
    video.script->results[MCI_WINDOW] = MCIERR_NO_WINDOW;
    m_player.SetDisplay(refused.get());
    video.script->results.clear();
    video.script->Clear();
    first.reset();
    EXPECT_TRUE(video.script->Actions().empty());

    // A display kept while no device is open outlives an earlier one.
    auto taken = std::make_unique<QWidget>();
    m_player.SetDisplay(taken.get());
    ASSERT_EQ(m_player.Display(), taken.get());
    m_player.Close();
    auto kept = std::make_unique<QWidget>();
    m_player.SetDisplay(kept.get());
    video.script->Clear();
    taken.reset();
    EXPECT_EQ(m_player.Display(), kept.get());
    EXPECT_TRUE(video.script->sent.empty());
    // Opened again, the device takes the kept display, and hears of its end.
    m_player.Open();
    video.script->Clear();
    kept.reset();
    ASSERT_EQ(video.script->Actions().size(), 1u);
    EXPECT_EQ(video.script->Actions()[0].message, static_cast<unsigned>(MCI_WINDOW));
    EXPECT_EQ(video.script->Actions()[0].window, nullptr);
    EXPECT_EQ(m_player.Display(), nullptr);
}

TEST_F(PlayerDeviceTest, NotificationsSetTheValueAndEnableByMode)
{
    OpenPlayer();
    int notices = 0;
    m_player.OnNotify = [&](TMediaPlayer&) { ++notices; };
    m_player.Play(); // the operation alone changes no button
    EXPECT_EQ(m_player.AutoEnabledButtons(), Bit(btNext) | Bit(btPrev) | Bit(btPlay));
    // Play pressed on the bar (space on the focused Play button): Pause and Stop on, Play off.
    m_script.mode = MCI_MODE_PLAY;
    QTest::keyClick(&m_player, Qt::Key_Space);
    EXPECT_EQ(m_player.AutoEnabledButtons(), Bit(btNext) | Bit(btPrev) | Bit(btPause) | Bit(btStop));

    // While paused a notification changes no button.
    m_script.mode = MCI_MODE_PAUSE;
    const TButtonSet before = m_player.AutoEnabledButtons();
    QCoreApplication::postEvent(&m_player, new MciNotifyEvent(MCI_NOTIFY_SUPERSEDED, m_player.DeviceID()));
    Deliver();
    EXPECT_EQ(m_player.NotifyValue(), nfSuperseded);
    EXPECT_EQ(m_player.AutoEnabledButtons(), before);
    EXPECT_EQ(notices, 1);

    // Stopped: Play back on, Pause and Stop off.
    m_script.mode = MCI_MODE_STOP;
    QCoreApplication::postEvent(&m_player, new MciNotifyEvent(MCI_NOTIFY_SUCCESSFUL, m_player.DeviceID()));
    Deliver();
    EXPECT_EQ(m_player.NotifyValue(), nfSuccessful);
    EXPECT_EQ(m_player.AutoEnabledButtons(), Bit(btNext) | Bit(btPrev) | Bit(btPlay));
    // An unknown result leaves the value.
    QCoreApplication::postEvent(&m_player, new MciNotifyEvent(77, m_player.DeviceID()));
    Deliver();
    EXPECT_EQ(m_player.NotifyValue(), nfSuccessful);
    EXPECT_EQ(notices, 3);
}

TEST_F(PlayerDeviceTest, ARefusedCloseKeepsTheDeviceOpen)
{
    OpenPlayer();
    // The layer always closes; a refusal can only come from a device that is gone.
    const MCIDEVICEID id = m_player.DeviceID();
    MCI_GENERIC_PARMS close;
    ASSERT_EQ(mciSendCommand(id, MCI_CLOSE, MCI_WAIT, &close), 0u);
    m_player.Close();
    EXPECT_EQ(m_player.Error(), static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_ID));
    EXPECT_TRUE(m_player.Opened());
    EXPECT_EQ(m_player.DeviceID(), id);
}
