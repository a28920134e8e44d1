#include "WindowFixture.h"

#include "FolderChooser.h"
#include "Mp3Maker.h"

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace orvex;
using orvex::testing::PumpUntil;

namespace {

class WindowKeysTest : public orvex::testing::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        TfrmOrvex& form = Form();
        form.show();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        m_errors.clear();
    }
    void TearDown() override
    {
        FolderChooserHook = nullptr;
        WindowFixture::TearDown();
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(Form().windowHandle(), key, modifiers);
    }
    // Whether the keyboard focus is on the control or inside it.
    static bool FocusOn(QWidget* control)
    {
        QWidget* focus = QApplication::focusWidget();
        return focus && (focus == control || control->isAncestorOf(focus));
    }
};

} // namespace

TEST_F(WindowKeysTest, TabAndMnemonicsReachOnlyTheModeShown)
{
    TfrmOrvex& form = Form();
    int chooserCalls = 0;
    FolderChooserHook = [&](const QString&) {
        ++chooserCalls;
        return QString();
    };
    struct Mnemonic {
        Qt::Key key;
        QWidget* reached; // nullptr: the focus stays where it was
    };
    // The player page keeps Tab for itself: the Server walk starts after the
    // page's place in the chain and ends in the page.
    const struct {
        QRadioButton* mode;
        QWidget* tabFrom;
        QGroupBox *shown, *hidden;
        std::vector<Mnemonic> mnemonics;
    } modes[] = {
        {form.rdButtonSERVERAudio, form.cmbBoxRadio, form.grpBoxSERVER, form.grpBoxLOCAL,
         {{Qt::Key_R, form.cmbBoxRadio}, {Qt::Key_T, nullptr}, {Qt::Key_M, nullptr}, {Qt::Key_L, form.editAddress}}},
        {form.rdButtonLOCALAudio, form.rdButtonLOCALAudio, form.grpBoxLOCAL, form.grpBoxSERVER,
         {{Qt::Key_R, form.edtGenre}, {Qt::Key_L, nullptr}, {Qt::Key_T, form.edtTitle}}},
    };
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode.mode->text().toStdString());
        // A click on the selected mode button keeps it selected.
        QTest::mouseClick(mode.mode, Qt::LeftButton);
        QTest::mouseClick(mode.mode, Qt::LeftButton);
        EXPECT_TRUE(mode.mode->isChecked());
        mode.tabFrom->setFocus();

        // Tab goes round the shown controls and back to the mode buttons.
        int shownStops = 0;
        for (int step = 0; step < 40; ++step) {
            Key(Qt::Key_Tab);
            if (FocusOn(mode.mode) || FocusOn(form.WebBrowser1))
                break;
            EXPECT_FALSE(FocusOn(mode.hidden)) << QApplication::focusWidget()->metaObject()->className();
            shownStops += FocusOn(mode.shown);
        }
        EXPECT_TRUE(FocusOn(mode.mode) || FocusOn(mode.shown));
        EXPECT_GE(shownStops, 2);

        for (const Mnemonic& m : mode.mnemonics) {
            mode.mode->setFocus();
            Key(m.key, Qt::AltModifier);
            EXPECT_TRUE(FocusOn(m.reached ? m.reached : mode.mode)) << QKeySequence(m.key).toString().toStdString();
        }
    }
    EXPECT_EQ(chooserCalls, 0);
    // Alt+S in Local mode is the Server button's alone.
    Key(Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(PumpUntil([&] { return form.rdButtonSERVERAudio->isChecked(); }));
    EXPECT_EQ(form.grpBoxSERVER->y(), 24);
}

TEST_F(WindowKeysTest, TheCommentCaptionShowsWholeBeforeItsField)
{
    TfrmOrvex& form = Form();
    const QList<QLabel*> labels = form.GroupBox1->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 6);
    for (const QLabel* label : labels) {
        SCOPED_TRACE(label->text().toStdString());
        const int needed = label->fontMetrics().horizontalAdvance(QString(label->text()).remove(u'&'));
        EXPECT_LE(needed, label->width());
        EXPECT_LE(label->geometry().right(), form.edtComment->x());
    }
    const auto comment = std::find_if(labels.begin(), labels.end(), [](const QLabel* label) {
        return label->text() == QStringLiteral("&Coment\u00e1rio");
    });
    ASSERT_NE(comment, labels.end());
    EXPECT_EQ((*comment)->pos(), QPoint(5, 141));
}

TEST_F(WindowKeysTest, TheFolderChooserOpensAtTheMusicFolder)
{
    TfrmOrvex& form = Form();
    QTemporaryDir music;
    FolderChooserHook = [&](const QString&) { return music.path(); };
    form.bitBtnOpenFolder->click();
    FolderChooserHook = nullptr;
    // The real chooser: read where it opened, then cancel it.
    QString openedAt;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            openedAt = dialog->directory().absolutePath();
            dialog->reject();
        }
    });
    poll.start(20);
    form.bitBtnOpenFolderClick();
    EXPECT_EQ(openedAt, music.path());
    EXPECT_EQ(form.MusicFolder(), music.path() + QLatin1Char('/'));
}

// The track list is a Tab stop right after the mode button, and its arrow
// keys move the selection (opening the track) after a click on a row.
TEST_F(WindowKeysTest, TheTrackListTakesTabAndArrowKeys)
{
    QTemporaryDir music;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        ASSERT_TRUE(orvex::testing::MakeMp3(music.filePath(QString::fromLatin1(name)), 0.5));
    OpenMusicFolder(music.path());
    TfrmOrvex& form = Form();
    QApplication::setActiveWindow(&form);
    form.rdButtonLOCALAudio->setFocus();
    Key(Qt::Key_Tab);
    EXPECT_TRUE(FocusOn(form.mp3List)) << QApplication::focusWidget()->metaObject()->className();
    QTest::mouseClick(form.mp3List->viewport(), Qt::LeftButton, {}, form.mp3List->visualItemRect(form.mp3List->item(0)).center());
    ASSERT_EQ(form.mp3List->currentRow(), 0);
    EXPECT_TRUE(FocusOn(form.mp3List));
    const std::pair<Qt::Key, int> keys[] = {{Qt::Key_Down, 1}, {Qt::Key_Down, 2}, {Qt::Key_Up, 1}, {Qt::Key_Home, 0}, {Qt::Key_End, 2}};
    for (const auto& [key, row] : keys) {
        Key(key);
        EXPECT_EQ(form.mp3List->currentRow(), row) << QKeySequence(key).toString().toStdString();
    }
    EXPECT_TRUE(form.TrackPath().endsWith(QLatin1String("c.mp3")));
}
