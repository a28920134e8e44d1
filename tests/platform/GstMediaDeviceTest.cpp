#include "Mp3Maker.h"

#include "Exceptions.h"
#include "GstMediaDevice.h"
#include "MediaPlayer.h"
#include "Mci.h"
#include "Streams.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cstdlib>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace orvex;

namespace {

// Collects the device-notification messages it is sent.
class NotifyRecorder : public QObject {
public:
    std::vector<unsigned> results;
    bool event(QEvent* event) override
    {
        if (event->type() == MciNotifyEvent::EventType()) {
            results.push_back(static_cast<MciNotifyEvent*>(event)->Result);
            return true;
        }
        return QObject::event(event);
    }
};

bool PumpUntil(const std::function<bool()>& done, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void Pump(int milliseconds)
{
    PumpUntil([] { return false; }, milliseconds);
}

// An audio sink that plays as the silent sink does (in real time) and can be
// told to refuse one state change, with an error on the bus as a sink that
// loses its output posts. Devices get it through ORVEX_AUDIO_SINK.
namespace refusing {

std::atomic<int> refused{0}; // the GstStateChange to refuse, 0 for none
GstElement* last = nullptr;  // the sink made last
GstElementClass* parentClass = nullptr;

GstStateChangeReturn ChangeState(GstElement* element, GstStateChange transition)
{
    if (refused.load() == static_cast<int>(transition)) {
        GST_ELEMENT_ERROR(element, RESOURCE, WRITE, ("the output refused"), (nullptr));
        return GST_STATE_CHANGE_FAILURE;
    }
    return parentClass->change_state(element, transition);
}

constexpr const char* kName = "orvexrefusingsink";

void Register()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gst_init(nullptr, nullptr);
        GstElement* plain = gst_element_factory_make("fakesink", nullptr); // loads its type
        ASSERT_NE(plain, nullptr);
        gst_object_unref(plain);
        GTypeQuery parent;
        g_type_query(g_type_from_name("GstFakeSink"), &parent);
        GTypeInfo info{};
        info.class_size = static_cast<guint16>(parent.class_size);
        info.instance_size = static_cast<guint16>(parent.instance_size);
        info.class_init = [](gpointer klass, gpointer) {
            parentClass = GST_ELEMENT_CLASS(g_type_class_peek_parent(klass));
            GST_ELEMENT_CLASS(klass)->change_state = ChangeState;
        };
        info.instance_init = [](GTypeInstance* instance, gpointer) {
            g_object_set(instance, "sync", TRUE, nullptr);
            last = GST_ELEMENT(instance);
        };
        const GType type = g_type_register_static(parent.type, "OrvexRefusingSink", &info, GTypeFlags(0));
        ASSERT_TRUE(gst_element_register(nullptr, kName, GST_RANK_NONE, type));
    });
}

// Devices opened while it lives play into a refusing sink.
class Use {
public:
    Use() : m_before(qgetenv("ORVEX_AUDIO_SINK"))
    {
        Register();
        refused = 0;
        qputenv("ORVEX_AUDIO_SINK", kName);
    }
    ~Use()
    {
        refused = 0;
        qputenv("ORVEX_AUDIO_SINK", m_before);
    }

private:
    QByteArray m_before;
};

} // namespace refusing

class GstDeviceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        ASSERT_TRUE(orvex::testing::MakeMp3(s_dir->filePath(QStringLiteral("tone3.mp3")), 3.0));
        ASSERT_TRUE(orvex::testing::MakeMp3(s_dir->filePath(QStringLiteral("tone1.mp3")), 1.2));
    }
    static void TearDownTestSuite() { delete s_dir; }
    static QString Track(const char* name) { return s_dir->filePath(QString::fromLatin1(name)); }

    MCIDEVICEID OpenDevice(const QString& file, MCIERROR* error = nullptr)
    {
        MCI_OPEN_PARMS open;
        open.lpstrElementName = file;
        open.dwCallback = &m_recorder;
        const MCIERROR result = mciSendCommand(0, MCI_OPEN, MCI_WAIT | MCI_OPEN_ELEMENT, &open);
        if (error)
            *error = result;
        return result == 0 ? open.wDeviceID : 0;
    }
    std::uint32_t Status(MCIDEVICEID id, std::uint32_t item)
    {
        MCI_STATUS_PARMS status;
        status.dwItem = item;
        EXPECT_EQ(mciSendCommand(id, MCI_STATUS, MCI_WAIT | MCI_STATUS_ITEM, &status), 0u);
        return status.dwReturn;
    }
    MCIERROR Send(MCIDEVICEID id, unsigned message, std::uint32_t flags)
    {
        MCI_PLAY_PARMS params; // large enough for the generic commands
        params.dwCallback = &m_recorder;
        return mciSendCommand(id, message, flags, &params);
    }

    static QTemporaryDir* s_dir;
    NotifyRecorder m_recorder;
};

QTemporaryDir* GstDeviceTest::s_dir = nullptr;

} // namespace

TEST_F(GstDeviceTest, OpeningGivesTheLengthOfTheFile)
{
    const MCIDEVICEID id = OpenDevice(Track("tone3.mp3"));
    ASSERT_NE(id, 0);
    EXPECT_NEAR(static_cast<int>(Status(id, MCI_STATUS_LENGTH)), orvex::testing::Mp3AudioMs(3.0), 50);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), static_cast<std::uint32_t>(MCI_MODE_STOP));
    EXPECT_EQ(Status(id, MCI_STATUS_NUMBER_OF_TRACKS), 1u);
    EXPECT_EQ(Status(id, MCI_STATUS_TIME_FORMAT), static_cast<std::uint32_t>(MCI_FORMAT_MILLISECONDS));
    MCI_GETDEVCAPS_PARMS caps;
    for (auto [item, expected] : {std::pair{MCI_GETDEVCAPS_CAN_PLAY, 1u}, std::pair{MCI_GETDEVCAPS_CAN_RECORD, 0u},
                                  std::pair{MCI_GETDEVCAPS_CAN_EJECT, 0u}, std::pair{MCI_GETDEVCAPS_HAS_VIDEO, 0u},
                                  std::pair{MCI_GETDEVCAPS_DEVICE_TYPE, static_cast<unsigned>(MCI_DEVTYPE_DIGITAL_VIDEO)}}) {
        caps.dwItem = item;
        ASSERT_EQ(mciSendCommand(id, MCI_GETDEVCAPS, MCI_WAIT | MCI_GETDEVCAPS_ITEM, &caps), 0u);
        EXPECT_EQ(caps.dwReturn, expected) << item;
    }
    EXPECT_EQ(Send(id, MCI_CLOSE, MCI_WAIT), 0u);
    EXPECT_EQ(Send(id, MCI_STATUS, MCI_WAIT), static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_ID));
}

TEST_F(GstDeviceTest, PlayPauseResumeStopAndSeekMoveThePosition)
{
    const MCIDEVICEID id = OpenDevice(Track("tone3.mp3"));
    ASSERT_NE(id, 0);
    ASSERT_EQ(Send(id, MCI_PLAY, 0), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), static_cast<std::uint32_t>(MCI_MODE_PLAY));
    ASSERT_TRUE(PumpUntil([&] { return Status(id, MCI_STATUS_POSITION) > 200; }, 10000));

    // Paused, the position stands still however long it waits.
    ASSERT_EQ(Send(id, MCI_PAUSE, MCI_WAIT), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), static_cast<std::uint32_t>(MCI_MODE_PAUSE));
    const std::uint32_t paused = Status(id, MCI_STATUS_POSITION);
    Pump(300);
    EXPECT_NEAR(static_cast<int>(Status(id, MCI_STATUS_POSITION)), static_cast<int>(paused), 30);

    ASSERT_EQ(Send(id, MCI_RESUME, 0), 0u);
    EXPECT_TRUE(PumpUntil([&] { return Status(id, MCI_STATUS_POSITION) > paused + 150; }, 10000));

    ASSERT_EQ(Send(id, MCI_STOP, MCI_WAIT), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), static_cast<std::uint32_t>(MCI_MODE_STOP));
    const std::uint32_t stopped = Status(id, MCI_STATUS_POSITION);
    Pump(200);
    EXPECT_NEAR(static_cast<int>(Status(id, MCI_STATUS_POSITION)), static_cast<int>(stopped), 30);

    ASSERT_EQ(Send(id, MCI_SEEK, MCI_WAIT | MCI_SEEK_TO_START), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 0u);
    MCI_SEEK_PARMS seek;
    seek.dwTo = 2000;
    ASSERT_EQ(mciSendCommand(id, MCI_SEEK, MCI_WAIT | MCI_TO, &seek), 0u);
    EXPECT_NEAR(static_cast<int>(Status(id, MCI_STATUS_POSITION)), 2000, 30);
    seek.dwTo = 60000;
    EXPECT_EQ(mciSendCommand(id, MCI_SEEK, MCI_WAIT | MCI_TO, &seek), static_cast<MCIERROR>(MCIERR_OUTOFRANGE));
    Send(id, MCI_CLOSE, MCI_WAIT);
}

TEST_F(GstDeviceTest, TheEndOfAPlayIsReportedAsSuccessfulAndTheDeviceStops)
{
    const MCIDEVICEID id = OpenDevice(Track("tone1.mp3"));
    ASSERT_NE(id, 0);
    ASSERT_EQ(Send(id, MCI_PLAY, MCI_NOTIFY), 0u);
    ASSERT_TRUE(PumpUntil([&] { return !m_recorder.results.empty(); }, 10000));
    EXPECT_EQ(m_recorder.results, (std::vector<unsigned>{MCI_NOTIFY_SUCCESSFUL}));
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), static_cast<std::uint32_t>(MCI_MODE_STOP));
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), Status(id, MCI_STATUS_LENGTH));
    Send(id, MCI_CLOSE, MCI_WAIT);
}

TEST_F(GstDeviceTest, ANewerPlaySupersedesAndAStopAbortsThePendingNotification)
{
    const MCIDEVICEID id = OpenDevice(Track("tone3.mp3"));
    ASSERT_NE(id, 0);
    ASSERT_EQ(Send(id, MCI_PLAY, MCI_NOTIFY), 0u);
    ASSERT_EQ(Send(id, MCI_PLAY, MCI_NOTIFY), 0u); // interrupts the first play
    ASSERT_EQ(Send(id, MCI_STOP, MCI_WAIT), 0u);   // interrupts the second
    ASSERT_TRUE(PumpUntil([&] { return m_recorder.results.size() >= 2; }, 10000));
    EXPECT_EQ(m_recorder.results, (std::vector<unsigned>{MCI_NOTIFY_ABORTED, MCI_NOTIFY_ABORTED}));

    // Pausing keeps the play pending; a resume that asks for notice supersedes it.
    m_recorder.results.clear();
    ASSERT_EQ(Send(id, MCI_PLAY, MCI_NOTIFY), 0u);
    ASSERT_EQ(Send(id, MCI_PAUSE, MCI_WAIT), 0u);
    ASSERT_EQ(Send(id, MCI_RESUME, MCI_NOTIFY), 0u);
    ASSERT_TRUE(PumpUntil([&] { return !m_recorder.results.empty(); }, 10000));
    EXPECT_EQ(m_recorder.results.front(), static_cast<unsigned>(MCI_NOTIFY_SUPERSEDED));
    // Closing while playing aborts what is pending.
    m_recorder.results.clear();
    Send(id, MCI_CLOSE, MCI_WAIT);
    ASSERT_TRUE(PumpUntil([&] { return !m_recorder.results.empty(); }, 10000));
    EXPECT_EQ(m_recorder.results, (std::vector<unsigned>{MCI_NOTIFY_ABORTED}));
    // A resume on a stopped device is refused.
    const MCIDEVICEID again = OpenDevice(Track("tone3.mp3"));
    EXPECT_EQ(Send(again, MCI_RESUME, 0), static_cast<MCIERROR>(MCIERR_NONAPPLICABLE_FUNCTION));
    Send(again, MCI_CLOSE, MCI_WAIT);
}

TEST_F(GstDeviceTest, AnEndPositionHoldsForItsOwnPlayOnly)
{
    const MCIDEVICEID id = OpenDevice(Track("tone1.mp3"));
    ASSERT_NE(id, 0);
    const std::uint32_t length = Status(id, MCI_STATUS_LENGTH);
    MCI_PLAY_PARMS play;
    play.dwCallback = &m_recorder;
    // Plays and samples the position while the device plays, until the play ends.
    auto playToTheEnd = [&](std::uint32_t flags) {
        m_recorder.results.clear();
        std::uint32_t furthest = 0;
        EXPECT_EQ(mciSendCommand(id, MCI_PLAY, MCI_NOTIFY | flags, &play), 0u);
        EXPECT_TRUE(PumpUntil(
            [&] {
                if (Status(id, MCI_STATUS_MODE) == MCI_MODE_PLAY)
                    furthest = std::max(furthest, Status(id, MCI_STATUS_POSITION));
                return !m_recorder.results.empty();
            },
            10000));
        EXPECT_EQ(m_recorder.results, (std::vector<unsigned>{MCI_NOTIFY_SUCCESSFUL}));
        EXPECT_EQ(Status(id, MCI_STATUS_MODE), static_cast<std::uint32_t>(MCI_MODE_STOP));
        return furthest;
    };

    // A play with an end stops there, and the device says so.
    play.dwTo = 300;
    EXPECT_LE(playToTheEnd(MCI_TO), 300u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 300u);
    // The next play has no end: it goes on from there to the end of the media.
    EXPECT_GT(playToTheEnd(0), 500u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), length);

    // A seek forgets the end of the earlier play.
    play.dwFrom = 0;
    play.dwTo = 300;
    EXPECT_LE(playToTheEnd(MCI_FROM | MCI_TO), 300u);
    ASSERT_EQ(Send(id, MCI_SEEK, MCI_WAIT | MCI_SEEK_TO_START), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 0u);
    EXPECT_GT(playToTheEnd(0), 500u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), length);
    Send(id, MCI_CLOSE, MCI_WAIT);
}

TEST_F(GstDeviceTest, ARefusedPlayLeavesThePlayInProgressPending)
{
    const MCIDEVICEID id = OpenDevice(Track("tone1.mp3"));
    ASSERT_NE(id, 0);
    ASSERT_EQ(Send(id, MCI_PLAY, MCI_NOTIFY), 0u);
    MCI_PLAY_PARMS beyond;
    beyond.dwCallback = &m_recorder;
    beyond.dwFrom = 60000;
    EXPECT_EQ(mciSendCommand(id, MCI_PLAY, MCI_NOTIFY | MCI_FROM, &beyond), static_cast<MCIERROR>(MCIERR_OUTOFRANGE));
    beyond.dwFrom = 0;
    beyond.dwTo = 60000;
    EXPECT_EQ(mciSendCommand(id, MCI_PLAY, MCI_NOTIFY | MCI_TO, &beyond), static_cast<MCIERROR>(MCIERR_OUTOFRANGE));
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), static_cast<std::uint32_t>(MCI_MODE_PLAY));
    // The first play runs to its end and says so; nothing was aborted.
    ASSERT_TRUE(PumpUntil([&] { return !m_recorder.results.empty(); }, 10000));
    EXPECT_EQ(m_recorder.results, (std::vector<unsigned>{MCI_NOTIFY_SUCCESSFUL}));
    Send(id, MCI_CLOSE, MCI_WAIT);
}

TEST_F(GstDeviceTest, NoMessagePilesUpOnTheBusInALongSession)
{
    GstMediaDevice device;
    ASSERT_EQ(device.Open(Track("tone1.mp3"), MCI_OPEN_ELEMENT), 0u);
    EXPECT_FALSE(device.HasQueuedBusMessages()); // opening posts dozens
    MCI_PLAY_PARMS params;
    params.dwCallback = &m_recorder;
    // Every command and the playing itself post messages: state changes,
    // tags, clocks, latency, the end of the stream.
    ASSERT_EQ(device.Command(MCI_PLAY, MCI_NOTIFY, &params), 0u);
    ASSERT_EQ(device.Command(MCI_PAUSE, MCI_WAIT, &params), 0u);
    ASSERT_EQ(device.Command(MCI_RESUME, 0, &params), 0u);
    ASSERT_TRUE(PumpUntil([&] { return !m_recorder.results.empty(); }, 10000));
    EXPECT_EQ(m_recorder.results, (std::vector<unsigned>{MCI_NOTIFY_SUCCESSFUL}));
    MCI_SEEK_PARMS seek;
    seek.dwTo = 500;
    ASSERT_EQ(device.Command(MCI_SEEK, MCI_WAIT | MCI_TO, &seek), 0u);
    ASSERT_EQ(device.Command(MCI_STOP, MCI_WAIT, &params), 0u);
    EXPECT_FALSE(device.HasQueuedBusMessages());
    device.Closing();
}

TEST_F(GstDeviceTest, MissingAndUnplayableFilesAreDistinctErrors)
{
    MCIERROR missing = 0, text = 0;
    EXPECT_EQ(OpenDevice(Track("none.mp3"), &missing), 0);
    const QString fake = Track("notes.mp3");
    QFile file(fake);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("These are notes, not music.\n").repeated(200));
    file.close();
    EXPECT_EQ(OpenDevice(fake, &text), 0);
    EXPECT_EQ(missing, static_cast<MCIERROR>(MCIERR_FILE_NOT_FOUND));
    EXPECT_EQ(text, static_cast<MCIERROR>(MCIERR_INVALID_FILE));
    QString missingText, textText;
    ASSERT_TRUE(mciGetErrorString(missing, missingText));
    ASSERT_TRUE(mciGetErrorString(text, textText));
    EXPECT_NE(missingText, textText);
    // The failed opens held nothing.
    EXPECT_NO_THROW(TFileStream(fake, fmOpenRead | fmShareExclusive));
}

TEST_F(GstDeviceTest, TrackFormatRecordingAndTheDoorAreRefused)
{
    const MCIDEVICEID id = OpenDevice(Track("tone1.mp3"));
    MCI_SET_PARMS set;
    set.dwTimeFormat = MCI_FORMAT_TMSF;
    EXPECT_EQ(mciSendCommand(id, MCI_SET, MCI_SET_TIME_FORMAT, &set), static_cast<MCIERROR>(MCIERR_BAD_TIME_FORMAT));
    EXPECT_EQ(mciSendCommand(id, MCI_SET, MCI_WAIT | MCI_SET_DOOR_OPEN, &set),
              static_cast<MCIERROR>(MCIERR_UNSUPPORTED_FUNCTION));
    EXPECT_EQ(Send(id, MCI_RECORD, 0), static_cast<MCIERROR>(MCIERR_UNSUPPORTED_FUNCTION));
    set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
    EXPECT_EQ(mciSendCommand(id, MCI_SET, MCI_SET_TIME_FORMAT, &set), 0u);
    Send(id, MCI_CLOSE, MCI_WAIT);
}

TEST_F(GstDeviceTest, AnOpenDeviceLetsOthersReadButNotTakeTheFileAlone)
{
    const MCIDEVICEID id = OpenDevice(Track("tone1.mp3"));
    ASSERT_NE(id, 0);
    EXPECT_THROW(TFileStream(Track("tone1.mp3"), fmOpenRead | fmShareCompat), EFOpenError);
    EXPECT_NO_THROW(TFileStream(Track("tone1.mp3"), fmOpenRead | fmShareDenyNone));
    Send(id, MCI_CLOSE, MCI_WAIT);
    EXPECT_NO_THROW(TFileStream(Track("tone1.mp3"), fmOpenRead | fmShareCompat));
    // A file held alone by somebody else cannot be opened by the device.
    TFileStream holder(Track("tone1.mp3"), fmOpenRead | fmShareExclusive);
    MCIERROR error = 0;
    EXPECT_EQ(OpenDevice(Track("tone1.mp3"), &error), 0);
    EXPECT_EQ(error, static_cast<MCIERROR>(MCIERR_DEVICE_LOCKED));
}

TEST_F(GstDeviceTest, ThePlayerControlDrivesTheRealDevice)
{
    TMediaPlayer player;
    player.FileName = Track("tone1.mp3");
    player.Close(); // nothing open: nothing happens
    player.Open();
    EXPECT_TRUE(player.Opened());
    EXPECT_NEAR(player.Length(), orvex::testing::Mp3AudioMs(1.2), 50);
    EXPECT_EQ(player.AutoEnabledButtons(), Bit(btPlay) | Bit(btNext) | Bit(btPrev) | Bit(btStep) | Bit(btBack));
    int notices = 0;
    player.OnNotify = [&](TMediaPlayer&) { ++notices; };
    player.Play();
    EXPECT_EQ(player.Mode(), mdPlaying);
    ASSERT_TRUE(PumpUntil([&] { return notices > 0; }, 10000));
    EXPECT_EQ(player.NotifyValue(), nfSuccessful);
    EXPECT_EQ(player.Mode(), mdStopped);
    EXPECT_EQ(player.Position(), player.Length());
    // Playing a finished track starts it again from the top.
    player.Play();
    EXPECT_LT(player.Position(), 300);
    EXPECT_EQ(player.Mode(), mdPlaying);
    player.Close();
    EXPECT_FALSE(player.Opened());
    EXPECT_EQ(player.AutoEnabledButtons(), 0);

    player.FileName = Track("gone.mp3");
    try {
        player.Open();
        FAIL() << "a missing file opened";
    } catch (const EMCIDeviceError& e) {
        QString text;
        mciGetErrorString(MCIERR_FILE_NOT_FOUND, text);
        EXPECT_EQ(e.Message(), text);
    }
    EXPECT_FALSE(player.Opened());
    EXPECT_EQ(player.DeviceID(), 0);
}

TEST_F(GstDeviceTest, ARefusedResumeIsReportedAndLeavesTheDevicePausedWithThePlayPending)
{
    refusing::Use sink;
    GstMediaDevice device;
    ASSERT_EQ(device.Open(Track("tone1.mp3"), MCI_OPEN_ELEMENT), 0u);
    MCI_PLAY_PARMS params;
    params.dwCallback = &m_recorder;
    MCI_STATUS_PARMS mode;
    mode.dwItem = MCI_STATUS_MODE;
    ASSERT_EQ(device.Command(MCI_PLAY, MCI_NOTIFY, &params), 0u);
    ASSERT_EQ(device.Command(MCI_PAUSE, MCI_WAIT, &params), 0u);

    refusing::refused = GST_STATE_CHANGE_PAUSED_TO_PLAYING;
    EXPECT_EQ(device.Command(MCI_RESUME, MCI_NOTIFY, &params), static_cast<MCIERROR>(MCIERR_HARDWARE));
    EXPECT_EQ(device.Command(MCI_RESUME, MCI_WAIT, &params), static_cast<MCIERROR>(MCIERR_HARDWARE));
    ASSERT_EQ(device.Command(MCI_STATUS, MCI_WAIT | MCI_STATUS_ITEM, &mode), 0u);
    EXPECT_EQ(mode.dwReturn, static_cast<std::uint32_t>(MCI_MODE_PAUSE));
    Pump(100);
    EXPECT_TRUE(m_recorder.results.empty()); // the refused resume superseded nothing

    // Once the output takes it, the same play goes on to its end and says so.
    refusing::refused = 0;
    ASSERT_EQ(device.Command(MCI_RESUME, 0, &params), 0u);
    ASSERT_TRUE(PumpUntil([&] { return !m_recorder.results.empty(); }, 10000));
    EXPECT_EQ(m_recorder.results, (std::vector<unsigned>{MCI_NOTIFY_SUCCESSFUL}));
    device.Closing();
}

TEST_F(GstDeviceTest, AnErrorLeftOnTheBusIsNotReportedByALaterCommand)
{
    refusing::Use sink;
    GstMediaDevice device;
    ASSERT_EQ(device.Open(Track("tone1.mp3"), MCI_OPEN_ELEMENT), 0u);
    MCI_PLAY_PARMS params;
    params.dwCallback = &m_recorder;
    ASSERT_EQ(device.Command(MCI_PLAY, 0, &params), 0u);
    ASSERT_EQ(device.Command(MCI_PAUSE, MCI_WAIT, &params), 0u);
    // An error of the past (a decoder's) waits on the bus, unread: the event
    // loop that would hand it over has not run.
    ASSERT_NE(refusing::last, nullptr);
    GST_ELEMENT_ERROR(refusing::last, STREAM, DECODE, ("an old failure"), (nullptr));
    ASSERT_TRUE(device.HasQueuedBusMessages());

    // The resume fails for a reason of its own, and reports that one.
    refusing::refused = GST_STATE_CHANGE_PAUSED_TO_PLAYING;
    EXPECT_EQ(device.Command(MCI_RESUME, 0, &params), static_cast<MCIERROR>(MCIERR_HARDWARE));
    Pump(50);
    EXPECT_FALSE(device.HasQueuedBusMessages());
    device.Closing();
}

// A short AVI film, with pictures and sound, made by GStreamer itself.
bool MakeFilm(const QString& path)
{
    return orvex::testing::RunToEnd(
        QStringLiteral("videotestsrc num-buffers=50 ! video/x-raw,framerate=25/1,width=64,height=48 ! jpegenc ! "
                       "avimux name=mux ! filesink location=\"%1\" audiotestsrc num-buffers=80 ! audioconvert ! "
                       "audio/x-raw,format=S16LE,rate=44100,channels=1 ! mux.")
            .arg(path),
        path);
}

TEST_F(GstDeviceTest, StepsMoveAFilmAndReportWhatTheDeviceCouldNotDo)
{
    refusing::Use sink;
    const QString film = s_dir->filePath(QStringLiteral("film.avi"));
    ASSERT_TRUE(MakeFilm(film));
    GstMediaDevice device;
    ASSERT_EQ(device.Open(film, MCI_OPEN_ELEMENT), 0u);
    MCI_GETDEVCAPS_PARMS caps;
    caps.dwItem = MCI_GETDEVCAPS_HAS_VIDEO;
    ASSERT_EQ(device.Command(MCI_GETDEVCAPS, MCI_WAIT | MCI_GETDEVCAPS_ITEM, &caps), 0u);
    ASSERT_EQ(caps.dwReturn, static_cast<std::uint32_t>(MCI_TRUE));
    MCI_ANIM_STEP_PARMS step;
    step.dwCallback = &m_recorder;
    step.dwFrames = 5;
    EXPECT_EQ(device.Command(MCI_STEP, MCI_WAIT | MCI_STEP_FRAMES, &step), 0u);
    EXPECT_EQ(device.Command(MCI_STEP, MCI_WAIT | MCI_STEP_FRAMES | MCI_STEP_REVERSE, &step),
              static_cast<MCIERROR>(MCIERR_UNSUPPORTED_FUNCTION));

    // A step stops a play; an output that will not stop keeps it playing,
    // and the step says it failed.
    MCI_PLAY_PARMS play;
    play.dwCallback = &m_recorder;
    ASSERT_EQ(device.Command(MCI_PLAY, MCI_NOTIFY, &play), 0u);
    MCI_STATUS_PARMS position;
    position.dwItem = MCI_STATUS_POSITION;
    ASSERT_TRUE(PumpUntil([&] {
        return device.Command(MCI_STATUS, MCI_WAIT | MCI_STATUS_ITEM, &position) == 0 && position.dwReturn > 300;
    }, 10000));
    refusing::refused = GST_STATE_CHANGE_PLAYING_TO_PAUSED;
    EXPECT_EQ(device.Command(MCI_STEP, MCI_WAIT | MCI_STEP_FRAMES, &step), static_cast<MCIERROR>(MCIERR_HARDWARE));
    MCI_STATUS_PARMS mode;
    mode.dwItem = MCI_STATUS_MODE;
    ASSERT_EQ(device.Command(MCI_STATUS, MCI_WAIT | MCI_STATUS_ITEM, &mode), 0u);
    EXPECT_EQ(mode.dwReturn, static_cast<std::uint32_t>(MCI_MODE_PLAY));
    refusing::refused = 0;
    ASSERT_TRUE(PumpUntil([&] { return !m_recorder.results.empty(); }, 10000));
    EXPECT_EQ(m_recorder.results, (std::vector<unsigned>{MCI_NOTIFY_SUCCESSFUL}));
    device.Closing();

    // Sound alone has no frames to step.
    GstMediaDevice sound;
    ASSERT_EQ(sound.Open(Track("tone1.mp3"), MCI_OPEN_ELEMENT), 0u);
    EXPECT_EQ(sound.Command(MCI_STEP, MCI_WAIT | MCI_STEP_FRAMES, &step), static_cast<MCIERROR>(MCIERR_UNSUPPORTED_FUNCTION));
    sound.Closing();
}

TEST_F(GstDeviceTest, ATrackWithAnEncodersHeaderFramePlaysToItsEndWithoutACriticalWarning)
{
    // The sample tracks were encoded by lame, which writes such a frame.
    int criticals = 0;
    const guint handler = g_log_set_handler(
        "GStreamer-Audio", static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_FLAG_FATAL),
        [](const gchar*, GLogLevelFlags, const gchar*, gpointer count) { ++*static_cast<int*>(count); }, &criticals);
    const MCIDEVICEID id = OpenDevice(QStringLiteral(ORVEX_SOURCE_DIR "/assets/escala.mp3"));
    ASSERT_NE(id, 0);
    ASSERT_EQ(Send(id, MCI_PLAY, MCI_NOTIFY), 0u);
    ASSERT_TRUE(PumpUntil([&] { return !m_recorder.results.empty(); }, 20000));
    EXPECT_EQ(m_recorder.results, (std::vector<unsigned>{MCI_NOTIFY_SUCCESSFUL}));
    Send(id, MCI_CLOSE, MCI_WAIT);
    g_log_remove_handler("GStreamer-Audio", handler);
    EXPECT_EQ(criticals, 0);
}
