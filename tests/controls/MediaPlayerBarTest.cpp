#include "ScriptedDevice.h"

#include "Application.h"
#include "MediaPlayer.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>
#include <QTest>
#include <gtest/gtest.h>

using namespace orvex;
using orvex::testing::DeviceScript;
using orvex::testing::ScopedScriptedDriver;

namespace {

// The main window's bar: 85 x 30 with Play, Pause and Stop, stored width
// read before the buttons, over a scripted device that can play.
class PlayerBarTest : public ::testing::Test {
protected:
    PlayerBarTest() : m_driver(QStringLiteral("WaveAudio")), m_script(*m_driver.script)
    {
        m_window.resize(300, 100);
        m_bar = new TMediaPlayer(&m_window);
        m_bar->Loading = true;
        m_bar->setGeometry(10, 10, 85, 30);
        m_bar->SetVisibleButtons(Bit(btPlay) | Bit(btPause) | Bit(btStop));
        m_bar->SetEnabledButtons(kAllButtons & ~Bit(btPlay));
        m_bar->Loaded();
        m_bar->DeviceType = dtWaveAudio;
        m_bar->FileName = QStringLiteral("song.wav");
        m_window.show();
        QApplication::setActiveWindow(&m_window);
    }
    // Presses and releases the mouse at x (the middle of the bar's height).
    void ClickAt(int x)
    {
        QTest::mousePress(m_bar, Qt::LeftButton, {}, QPoint(x, 15));
        QTest::mouseRelease(m_bar, Qt::LeftButton, {}, QPoint(x, 15));
    }
    static int Middle(TMPBtnType kind) { return kind * 28 + 14; }
    std::vector<int> States() const
    {
        return {m_bar->GlyphState(btPlay), m_bar->GlyphState(btPause), m_bar->GlyphState(btStop)};
    }
    std::vector<unsigned> Sent() const
    {
        std::vector<unsigned> messages;
        for (const auto& s : m_script.Actions())
            messages.push_back(s.message);
        return messages;
    }
    // The first pixel, reading rows then columns inside a button, that is not the face colour.
    static QPoint FirstInk(const TBitmap& image, int left)
    {
        const TColor face = ColorToRGB(clBtnFace);
        for (int y = 3; y < image.Height() - 3; ++y)
            for (int x = left + 3; x < left + 26; ++x)
                if (image.PixelColor(x, y) != face)
                    return {x, y};
        return {-1, -1};
    }

    ScopedScriptedDriver m_driver;
    DeviceScript& m_script;
    QWidget m_window;
    TMediaPlayer* m_bar;
};

constexpr int kDisabled = 1, kColoured = 2;

} // namespace

TEST_F(PlayerBarTest, TheMainBarHasThreeButtonsOf29)
{
    EXPECT_EQ(m_bar->size(), QSize(85, 30));
    EXPECT_EQ(m_bar->ButtonWidth(), 29);
    EXPECT_EQ(m_bar->MinButtonWidth(), 29);
    EXPECT_EQ(m_bar->MinButtonHeight(), 20);
    // A button is hit from its left edge to its left edge plus its width,
    // both ends included: the left one of two neighbours wins what they share.
    EXPECT_EQ(m_bar->ButtonAt(0), btPlay);
    EXPECT_EQ(m_bar->ButtonAt(28), btPlay);
    EXPECT_EQ(m_bar->ButtonAt(29), btPlay);
    EXPECT_EQ(m_bar->ButtonAt(30), btPause);
    EXPECT_EQ(m_bar->ButtonAt(57), btPause);
    EXPECT_EQ(m_bar->ButtonAt(58), btStop);
    EXPECT_EQ(m_bar->ButtonAt(85), btStop);
    EXPECT_EQ(m_bar->ButtonAt(86), -1);
    const TBitmap image = m_bar->Render();
    const TColor frame = ColorToRGB(clWindowFrame);
    for (int x : {0, 28, 56, 84})
        EXPECT_EQ(image.PixelColor(x, 15), frame) << x;
    EXPECT_EQ(image.PixelColor(42, 0), frame);
    EXPECT_EQ(image.PixelColor(42, 29), frame);
}

TEST_F(PlayerBarTest, GlyphsFollowOpenPlayPauseAndStop)
{
    EXPECT_EQ(States(), (std::vector<int>{kDisabled, kDisabled, kDisabled}));
    ClickAt(Middle(btPlay)); // ignored before any open
    EXPECT_TRUE(m_script.sent.empty());

    m_bar->Open();
    EXPECT_EQ(States(), (std::vector<int>{kColoured, kDisabled, kDisabled}));
    m_script.Clear();
    ClickAt(Middle(btPlay));
    EXPECT_EQ(Sent(), (std::vector<unsigned>{MCI_PLAY}));
    EXPECT_EQ(States(), (std::vector<int>{kDisabled, kColoured, kColoured}));
    ClickAt(Middle(btPause));
    EXPECT_EQ(States(), (std::vector<int>{kColoured, kColoured, kColoured}));
    ClickAt(Middle(btPause)); // resumes; all stay enabled
    EXPECT_EQ(Sent(), (std::vector<unsigned>{MCI_PLAY, MCI_PAUSE, MCI_RESUME}));
    EXPECT_EQ(States(), (std::vector<int>{kColoured, kColoured, kColoured}));
    ClickAt(Middle(btStop));
    EXPECT_EQ(States(), (std::vector<int>{kColoured, kDisabled, kDisabled}));
    m_bar->Close();
    EXPECT_EQ(States(), (std::vector<int>{kDisabled, kDisabled, kDisabled}));

    // The glyphs drawn are the glyphs of those states: the coloured Play is green.
    m_bar->Open();
    const TBitmap image = m_bar->Render();
    int green = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 1; x < 28; ++x)
            green += image.PixelColor(x, y) == clLime;
    EXPECT_GT(green, 20);
}

TEST_F(PlayerBarTest, APressedButtonIsDrawnOnePixelDownAndRight)
{
    m_bar->Open();
    const QPoint up = FirstInk(m_bar->Render(), 0);
    QTest::mousePress(m_bar, Qt::LeftButton, {}, QPoint(Middle(btPlay), 15));
    EXPECT_TRUE(m_bar->Down());
    const TBitmap pressed = m_bar->Render();
    EXPECT_EQ(FirstInk(pressed, 0), up + QPoint(1, 1));
    // Pressed in: the top-left bevel is the shadow colour.
    EXPECT_EQ(pressed.PixelColor(1, 10), ColorToRGB(clBtnShadow));
    // Moving out raises it again; a release outside clicks nothing.
    QTest::mouseMove(m_bar, QPoint(200, 15));
    QMouseEvent move(QEvent::MouseMove, QPointF(200, 15), QPointF(200, 15), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_bar, &move);
    EXPECT_FALSE(m_bar->Down());
    EXPECT_TRUE(m_bar->Pressed());
    m_script.Clear();
    QTest::mouseRelease(m_bar, Qt::LeftButton, {}, QPoint(200, 15));
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(m_bar->Pressed());
}

TEST_F(PlayerBarTest, TheFocusMarkSitsInsideTheFocusedButton)
{
    m_bar->Open();
    m_bar->clearFocus();
    const TBitmap without = m_bar->Render();
    m_bar->setFocus();
    ASSERT_TRUE(m_bar->hasFocus());
    const TBitmap with = m_bar->Render();
    // The mark runs 3 pixels inside the Play button; the other buttons are untouched.
    EXPECT_NE(with.PixelColor(3, 3), without.PixelColor(3, 3));
    EXPECT_EQ(with.PixelColor(2, 2), without.PixelColor(2, 2));
    for (int x = 29; x < 85; ++x)
        for (int y = 0; y < 30; ++y)
            ASSERT_EQ(with.PixelColor(x, y), without.PixelColor(x, y)) << x << "," << y;
}

TEST_F(PlayerBarTest, AClickLeavesTheFocusWhereItWasAndTabStillReachesTheBar)
{
    auto* field = new QLineEdit(&m_window);
    field->show();
    QWidget::setTabOrder(field, m_bar);
    m_bar->Open();
    field->setFocus();
    ASSERT_TRUE(field->hasFocus());
    const TBitmap before = m_bar->Render();
    ClickAt(Middle(btPlay));
    EXPECT_EQ(Sent().back(), static_cast<unsigned>(MCI_PLAY));
    EXPECT_TRUE(field->hasFocus());
    // No focus mark on the clicked button: only its glyph changed.
    const TBitmap after = m_bar->Render();
    EXPECT_EQ(after.PixelColor(3, 3), before.PixelColor(3, 3));
    EXPECT_EQ(after.PixelColor(Middle(btPlay), 3), before.PixelColor(Middle(btPlay), 3));

    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_TRUE(m_bar->hasFocus());
}

TEST_F(PlayerBarTest, AnEmptyBarIsOneButtonWideAndIgnoresPresses)
{
    m_bar->Open();
    m_bar->SetVisibleButtons(0);
    EXPECT_EQ(m_bar->width(), 29);
    m_script.Clear();
    ClickAt(10);
    EXPECT_TRUE(m_script.sent.empty());
    // The bar grows back to what its buttons need.
    m_bar->SetVisibleButtons(Bit(btPlay) | Bit(btPause));
    m_bar->resize(20, 10);
    EXPECT_EQ(m_bar->size(), QSize(57, 20));
}

TEST_F(PlayerBarTest, AClickHandlerCanRefuseTheOperation)
{
    m_bar->Open();
    int posts = 0;
    m_bar->OnClick = [](TMediaPlayer&, TMPBtnType, bool& doDefault) { doDefault = false; };
    m_bar->OnPostClick = [&](TMediaPlayer&, TMPBtnType) { ++posts; };
    m_script.Clear();
    ClickAt(Middle(btPlay));
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(posts, 0);
    // The buttons still move on as after a play.
    EXPECT_EQ(States(), (std::vector<int>{kDisabled, kColoured, kColoured}));

    m_bar->OnClick = nullptr;
    ClickAt(Middle(btStop));
    EXPECT_EQ(posts, 1);
}

TEST_F(PlayerBarTest, AFailedCommandLeavesTheButtons)
{
    m_bar->Open();
    m_script.results[MCI_PLAY] = MCIERR_HARDWARE;
    ClickAt(Middle(btPlay));
    EXPECT_EQ(m_bar->Error(), static_cast<MCIERROR>(MCIERR_HARDWARE));
    EXPECT_EQ(States(), (std::vector<int>{kColoured, kDisabled, kDisabled}));
}

TEST_F(PlayerBarTest, WithoutAutoEnableTheEnabledSetAloneDecides)
{
    m_bar->SetAutoEnable(false);
    m_bar->Open();
    // The stored set leaves out Play.
    EXPECT_EQ(States(), (std::vector<int>{kDisabled, kColoured, kColoured}));
    m_script.Clear();
    ClickAt(Middle(btPlay));
    EXPECT_TRUE(Sent().empty());
    ClickAt(Middle(btStop));
    EXPECT_EQ(Sent(), (std::vector<unsigned>{MCI_STOP}));
    EXPECT_EQ(States(), (std::vector<int>{kDisabled, kColoured, kColoured}));
}

TEST_F(PlayerBarTest, ADisabledBarShowsDisabledGlyphsAndTakesNoPress)
{
    m_bar->Open();
    m_bar->setEnabled(false);
    EXPECT_EQ(States(), (std::vector<int>{kDisabled, kDisabled, kDisabled}));
    m_script.Clear();
    ClickAt(Middle(btPlay));
    EXPECT_TRUE(m_script.sent.empty());
}

TEST_F(PlayerBarTest, TheArrowsMoveTheFocusAndSpaceClicksTheFocusedButton)
{
    m_bar->Open();
    m_bar->setFocus();
    QTest::keyClick(m_bar, Qt::Key_Right);
    EXPECT_EQ(m_bar->FocusedButton(), btPause);
    QTest::keyClick(m_bar, Qt::Key_Right);
    EXPECT_EQ(m_bar->FocusedButton(), btStop);
    // Past the last visible button the focus goes to Eject, hidden.
    QTest::keyClick(m_bar, Qt::Key_Right);
    EXPECT_EQ(m_bar->FocusedButton(), btEject);
    EXPECT_TRUE(m_bar->hasFocus()); // the arrows stay with the bar
    QTest::keyClick(m_bar, Qt::Key_Left);
    EXPECT_EQ(m_bar->FocusedButton(), btStop);

    // Space on Stop (in the enabled set) stops.
    m_script.Clear();
    QTest::keyClick(m_bar, Qt::Key_Space);
    EXPECT_EQ(Sent(), (std::vector<unsigned>{MCI_STOP}));
    // Space on Play does nothing: the stored enabled set leaves it out.
    QTest::keyClick(m_bar, Qt::Key_Left);
    QTest::keyClick(m_bar, Qt::Key_Left);
    EXPECT_EQ(m_bar->FocusedButton(), btPlay);
    m_script.Clear();
    QTest::keyClick(m_bar, Qt::Key_Space);
    EXPECT_TRUE(Sent().empty());

    // With Play hidden, Left from the first visible button goes to Play.
    m_bar->SetVisibleButtons(Bit(btPause) | Bit(btStop));
    QTest::keyClick(m_bar, Qt::Key_Right);
    QTest::keyClick(m_bar, Qt::Key_Left);
    QTest::keyClick(m_bar, Qt::Key_Left);
    EXPECT_EQ(m_bar->FocusedButton(), btPlay);
}

TEST_F(PlayerBarTest, AnExceptionFromTheDeviceSkipsTheRestOfTheClick)
{
    // Pause is enabled by the stored set; without a device it raises.
    m_bar->SetAutoEnable(false);
    int posts = 0;
    m_bar->OnPostClick = [&](TMediaPlayer&, TMPBtnType) { ++posts; };
    QString shown;
    Application().OnException = [&](const Exception& e) { shown = e.Message(); };
    ClickAt(Middle(btPause));
    Application().OnException = nullptr;
    EXPECT_EQ(shown, QStringLiteral("No MCI device open"));
    EXPECT_EQ(posts, 0);
}
