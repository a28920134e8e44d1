#include "WindowFixture.h"

#include "Id3Tag.h"
#include "Mp3Maker.h"

#include <QApplication>
#include <QTest>

using namespace orvex;
using orvex::testing::PumpUntil;

namespace {

constexpr int kDisabled = 1, kColoured = 2;

// The window over a folder of generated, tagged tracks, in Local mode.
class LocalPlaybackTest : public orvex::testing::WindowFixture {
protected:
    static void SetUpTestSuite()
    {
        s_music = new QTemporaryDir;
        AddTrack("long.mp3", 3.0, "Can\xe7\xe3o longa", 17);
        AddTrack("short.mp3", 0.8, "Curta", 13);
        QFile bad(s_music->filePath(QStringLiteral("bad.mp3")));
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
        bad.write(QByteArray("not music at all\n").repeated(100));
    }
    static void TearDownTestSuite() { delete s_music; }
    static void AddTrack(const char* name, double seconds, const QByteArray& title, int genre)
    {
        const QString path = s_music->filePath(QString::fromLatin1(name));
        ASSERT_TRUE(orvex::testing::MakeMp3(path, seconds));
        QByteArray tag = "TAG" + title.leftJustified(30, '\0') + QByteArray("Orvex").leftJustified(30, '\0') +
                         QByteArray("Testes").leftJustified(30, '\0') + "2026" + QByteArray(30, '\0') +
                         static_cast<char>(genre);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(tag);
    }

    void SetUp() override
    {
        WindowFixture::SetUp();
        OpenMusicFolder(s_music->path());
    }
    void ClickTrack(const char* name)
    {
        QListWidget* list = Form().mp3List;
        const auto found = list->findItems(QString::fromLatin1(name), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found[0]).center());
    }
    void PressButton(TMPBtnType kind)
    {
        const QPoint at(kind * 28 + 14, 15);
        QTest::mousePress(Form().mp3Player, Qt::LeftButton, {}, at);
        QTest::mouseRelease(Form().mp3Player, Qt::LeftButton, {}, at);
    }
    // Waits for the progress timer to tick n more times; each tick has
    // followed the player by the time this returns.
    void WaitForTicks(int n)
    {
        int ticks = 0;
        const auto counter = QObject::connect(Form().ProgressTimer, &QTimer::timeout, [&] { ++ticks; });
        EXPECT_TRUE(PumpUntil([&] { return ticks >= n; }));
        QObject::disconnect(counter);
    }
    std::vector<int> States()
    {
        TMediaPlayer* bar = Form().mp3Player;
        return {bar->GlyphState(btPlay), bar->GlyphState(btPause), bar->GlyphState(btStop)};
    }

    static QTemporaryDir* s_music;
};

QTemporaryDir* LocalPlaybackTest::s_music = nullptr;

} // namespace

TEST_F(LocalPlaybackTest, AClickedTrackPlaysAndTheWindowFollowsIt)
{
    TfrmOrvex& form = Form();
    EXPECT_EQ(States(), (std::vector<int>{kDisabled, kDisabled, kDisabled}));
    ClickTrack("long.mp3");
    ASSERT_TRUE(m_errors.empty()) << m_errors[0].toStdString();
    EXPECT_EQ(form.TrackPath(), s_music->path() + QStringLiteral("/long.mp3"));
    EXPECT_EQ(form.edtTitle->text(), QStringLiteral("Can\u00e7\u00e3o longa"));
    EXPECT_EQ(form.edtGenre->text(), QStringLiteral("Rock"));
    const int length = form.mp3Player->Length();
    EXPECT_NEAR(length, 3000, 50);
    EXPECT_EQ(form.trackBar->maximum(), length);
    EXPECT_EQ(form.Gauge->MaxValue(), length);
    EXPECT_EQ(States(), (std::vector<int>{kColoured, kDisabled, kDisabled}));

    PressButton(btPlay);
    EXPECT_EQ(States(), (std::vector<int>{kDisabled, kColoured, kColoured}));
    ASSERT_TRUE(PumpUntil([&] { return form.trackBar->value() > 0 && form.Gauge->Progress() > 0; }));
    ASSERT_TRUE(PumpUntil([&] { return form.Gauge->PercentDone() >= 10; }));

    // Paused, the position holds: every tick copies exactly that position.
    PressButton(btPause);
    EXPECT_EQ(form.mp3Player->Mode(), mdPaused);
    const int held = form.mp3Player->Position();
    WaitForTicks(2);
    EXPECT_EQ(form.trackBar->value(), held);
    EXPECT_EQ(form.Gauge->Progress(), held);
    EXPECT_EQ(form.Gauge->PercentDone(), held * 100 / length);
    WaitForTicks(2);
    EXPECT_EQ(form.trackBar->value(), held);
    EXPECT_EQ(States(), (std::vector<int>{kColoured, kColoured, kColoured}));

    PressButton(btStop);
    EXPECT_EQ(form.mp3Player->Mode(), mdStopped);
    EXPECT_EQ(States(), (std::vector<int>{kColoured, kDisabled, kDisabled}));
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(LocalPlaybackTest, TheEndOfATrackEnablesPlayAgain)
{
    TfrmOrvex& form = Form();
    ClickTrack("short.mp3");
    PressButton(btPlay);
    ASSERT_TRUE(PumpUntil([&] { return form.mp3Player->GlyphState(btPlay) == kColoured; }));
    EXPECT_EQ(States(), (std::vector<int>{kColoured, kDisabled, kDisabled}));
    EXPECT_EQ(form.mp3Player->NotifyValue(), nfSuccessful);
    ASSERT_TRUE(PumpUntil([&] { return form.trackBar->value() == form.trackBar->maximum(); }));
    EXPECT_EQ(form.Gauge->PercentDone(), 100);
    // Play again starts from the top: the device left the end of the track.
    PressButton(btPlay);
    EXPECT_EQ(form.mp3Player->Mode(), mdPlaying);
    EXPECT_LT(form.mp3Player->Position(), form.mp3Player->Length());
}

TEST_F(LocalPlaybackTest, ClickingThePlayingTrackShowsTheOpenErrorAndPlaybackGoesOn)
{
    TfrmOrvex& form = Form();
    ClickTrack("long.mp3");
    PressButton(btPlay);
    ASSERT_TRUE(PumpUntil([&] { return form.trackBar->value() > 0; }));
    form.edtTitle->setText(QStringLiteral("kept"));
    ClickTrack("long.mp3");
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(m_errors[0].startsWith(QStringLiteral("Cannot open file \"%1/long.mp3\".").arg(s_music->path())));
    EXPECT_EQ(form.edtTitle->text(), QStringLiteral("kept"));
    EXPECT_EQ(form.mp3Player->Mode(), mdPlaying);
    const int before = form.trackBar->value();
    ASSERT_TRUE(PumpUntil([&] { return form.trackBar->value() > before + 200; }));
}

TEST_F(LocalPlaybackTest, AFileTheDeviceCannotOpenLeavesNothingFollowed)
{
    TfrmOrvex& form = Form();
    ClickTrack("long.mp3");
    ASSERT_TRUE(m_errors.empty());
    ClickTrack("bad.mp3");
    ASSERT_EQ(m_errors.size(), 1u);
    QString expected;
    mciGetErrorString(MCIERR_INVALID_FILE, expected);
    // The message names the file.
    EXPECT_EQ(m_errors[0], QStringLiteral("Cannot open file \"%1\". %2").arg(form.TrackPath(), expected));
    // The tag reader had its say first.
    EXPECT_EQ(form.edtTitle->text(), kNoTagText);
    EXPECT_EQ(form.trackBar->maximum(), 0);
    EXPECT_EQ(form.Gauge->MaxValue(), 0);
    EXPECT_FALSE(form.mp3Player->Opened());
    EXPECT_EQ(States(), (std::vector<int>{kDisabled, kDisabled, kDisabled}));
    // The timer follows nothing.
    WaitForTicks(3);
    EXPECT_EQ(form.trackBar->value(), 0);
}

TEST_F(LocalPlaybackTest, MovingTheSelectionWithTheKeyboardOpensTheTrack)
{
    TfrmOrvex& form = Form();
    ClickTrack("long.mp3");
    form.mp3List->setFocus();
    const int from = form.mp3List->currentRow();
    const int to = form.mp3List->row(form.mp3List->findItems(QStringLiteral("short.mp3"), Qt::MatchExactly)[0]);
    // Each step opens the track it lands on (the damaged one on the way may say so).
    for (int row = from; row != to; row += to > from ? 1 : -1)
        QTest::keyClick(form.mp3List, to > from ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_EQ(form.TrackPath(), s_music->path() + QStringLiteral("/short.mp3"));
    EXPECT_EQ(form.edtTitle->text(), QStringLiteral("Curta"));
    EXPECT_NEAR(form.trackBar->maximum(), 800, 50);
}

TEST_F(LocalPlaybackTest, AClickWithShiftOrCtrlHeldOpensTheTrackOnce)
{
    TfrmOrvex& form = Form();
    QListWidget* list = form.mp3List;
    ClickTrack("short.mp3");
    ASSERT_TRUE(m_errors.empty());
    // The modifier is pressed on the list first, as a user holding it does.
    const std::pair<Qt::Key, Qt::KeyboardModifier> held[] = {{Qt::Key_Shift, Qt::ShiftModifier},
                                                             {Qt::Key_Control, Qt::ControlModifier}};
    const char* tracks[] = {"long.mp3", "short.mp3"};
    for (int i = 0; i < 2; ++i) {
        const auto [key, modifier] = held[i];
        const auto found = list->findItems(QString::fromLatin1(tracks[i]), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        QTest::keyPress(list, key);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifier, list->visualItemRect(found[0]).center());
        QTest::keyRelease(list, key);
        // A second run would have found the file held by the device.
        EXPECT_TRUE(m_errors.empty()) << m_errors[0].toStdString();
        EXPECT_EQ(form.TrackPath(), s_music->path() + QLatin1Char('/') + QLatin1String(tracks[i]));
        EXPECT_TRUE(form.mp3Player->Opened());
        EXPECT_EQ(list->currentItem(), found[0]);
        EXPECT_TRUE(found[0]->isSelected());
    }
    // Ctrl on the open track keeps it selected; the click is a click on the
    // open track, whose file the device holds.
    QListWidgetItem* open = list->currentItem();
    QTest::keyPress(list, Qt::Key_Control);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, list->visualItemRect(open).center());
    QTest::keyRelease(list, Qt::Key_Control);
    EXPECT_TRUE(open->isSelected());
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(m_errors[0].endsWith(QStringLiteral("being used by another process")));
    EXPECT_TRUE(form.mp3Player->Opened());
}

TEST_F(LocalPlaybackTest, APressDraggedToAnotherTrackOpensTheTrackItEndsOn)
{
    TfrmOrvex& form = Form();
    QListWidget* list = form.mp3List;
    ClickTrack("short.mp3");
    ASSERT_TRUE(m_errors.empty());
    const QListWidgetItem* from = list->findItems(QStringLiteral("short.mp3"), Qt::MatchExactly)[0];
    QListWidgetItem* to = list->findItems(QStringLiteral("long.mp3"), Qt::MatchExactly)[0];
    // Press on the open track, drag to the other one, let go there.
    const QPoint start = list->visualItemRect(from).center(), end = list->visualItemRect(to).center();
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, start);
    QTest::mouseMove(list->viewport(), (start + end) / 2);
    QTest::mouseMove(list->viewport(), end);
    ASSERT_EQ(list->currentItem(), to) << "the drag did not move the selection";
    // Nothing opens before the button comes up.
    EXPECT_EQ(form.TrackPath(), s_music->path() + QStringLiteral("/short.mp3"));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, end);
    // What the list shows selected is what is open, opened once: a second
    // run would have found the file held by the device.
    EXPECT_TRUE(to->isSelected());
    EXPECT_TRUE(m_errors.empty()) << m_errors[0].toStdString();
    EXPECT_EQ(form.TrackPath(), s_music->path() + QStringLiteral("/long.mp3"));
    EXPECT_EQ(form.edtTitle->text(), QStringLiteral("Can\u00e7\u00e3o longa"));
    EXPECT_TRUE(form.mp3Player->Opened());
    EXPECT_NEAR(form.trackBar->maximum(), 3000, 50);

    // A plain click on the other track opens it once as well.
    ClickTrack("short.mp3");
    EXPECT_TRUE(m_errors.empty()) << m_errors[0].toStdString();
    EXPECT_EQ(form.edtTitle->text(), QStringLiteral("Curta"));
}

TEST_F(LocalPlaybackTest, TheTrackListKeepsTheFocusWhenPlayIsClicked)
{
    TfrmOrvex& form = Form();
    QApplication::setActiveWindow(&form);
    form.mp3List->setFocus();
    ASSERT_TRUE(form.mp3List->hasFocus());
    ClickTrack("long.mp3");
    PressButton(btPlay);
    EXPECT_EQ(form.mp3Player->Mode(), mdPlaying);
    EXPECT_TRUE(form.mp3List->hasFocus());
    // The arrows still move through the tracks.
    const int row = form.mp3List->currentRow();
    QTest::keyClick(form.mp3List, row == 0 ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_NE(form.mp3List->currentRow(), row);
}

// A Play pressed just before a click on the open track is heard while the
// "being used" box that click brings waits for the user.
TEST_F(LocalPlaybackTest, APlayGoesOnWhileTheBeingUsedBoxWaits)
{
    TfrmOrvex& form = Form();
    ClickTrack("long.mp3");
    ASSERT_TRUE(form.mp3Player->Opened());
    bool heard = false;
    Application().OnException = [&](const Exception& e) {
        m_errors.push_back(e.Message());
        heard = PumpUntil([&] { return form.mp3Player->Position() > 1000; });
    };
    PressButton(btPlay);
    ClickTrack("long.mp3");
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(m_errors[0].endsWith(QStringLiteral("being used by another process")));
    EXPECT_TRUE(heard) << form.mp3Player->Position();
}
