#include "WindowFixture.h"

#include "Application.h"
#include "GIFImage.h"
#include "GIFPainter.h"
#include "GIFUnit.h"
#include "Picture.h"
#include "Unit1.h"
#include "UnitStrs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace orvex;
using orvex::testing::PumpUntil;

namespace {

class MainWindowTest : public orvex::testing::WindowFixture {
protected:
    void Touch(const QString& name) { WriteFile(name, {}); }
};

QStringList Items(const QListWidget* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

} // namespace

TEST_F(MainWindowTest, StartsInServerModeWithTheServerGroupInFront)
{
    TfrmOrvex& form = Form();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Orvex v.2.0.6.11 : MULTIChannel BroadCast Internet Radios"));
    // The window carries its icon, in the installed sizes.
    EXPECT_EQ(form.windowIcon().availableSizes().size(), 4);
    EXPECT_TRUE(form.rdButtonSERVERAudio->isChecked());
    EXPECT_FALSE(form.rdButtonLOCALAudio->isChecked());
    EXPECT_EQ(form.Height(), 335);
    EXPECT_EQ(form.Width(), 611);
    EXPECT_EQ(form.ClientWidth(), 605);
    EXPECT_EQ(form.grpBoxSERVER->geometry(), QRect(2, 24, 600, 273));
    EXPECT_EQ(form.grpBoxLOCAL->geometry(), QRect(2, 304, 600, 273));
    EXPECT_EQ(form.WebBrowser1->geometry(), QRect(2, 71, 527, 200));
    EXPECT_EQ(form.trackBar->maximum(), 0);
    EXPECT_TRUE(m_errors.empty());
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(MainWindowTest, SwitchingModesMovesTheGroupsAndSwitchingTwiceChangesNothingMore)
{
    TfrmOrvex& form = Form();
    form.rdButtonLOCALAudio->setChecked(true);
    EXPECT_FALSE(form.rdButtonSERVERAudio->isChecked());
    EXPECT_EQ(form.grpBoxLOCAL->y(), 24);
    EXPECT_EQ(form.grpBoxSERVER->y(), 304);
    EXPECT_EQ(form.Height(), 335);
    form.rdButtonLOCALAudioClick();
    EXPECT_EQ(form.grpBoxLOCAL->y(), 24);
    EXPECT_EQ(form.grpBoxSERVER->y(), 304);
    EXPECT_EQ(form.WebBrowser1->y(), 71);

    form.rdButtonSERVERAudio->setChecked(true);
    form.rdButtonSERVERAudioClick();
    EXPECT_EQ(form.grpBoxSERVER->y(), 24);
    EXPECT_EQ(form.grpBoxLOCAL->y(), 304);
    EXPECT_EQ(form.Height(), 335);
    EXPECT_EQ(form.grpBoxSERVER->x(), 2);
}

TEST_F(MainWindowTest, TheWindowCannotShrinkBelowItsMinimum)
{
    TfrmOrvex& form = Form();
    form.SetHeight(200);
    EXPECT_EQ(form.Height(), 328);
    form.SetWidth(300);
    EXPECT_EQ(form.Width(), 550);
}

TEST_F(MainWindowTest, ControlsStandWhereTheLayoutPutsThem)
{
    TfrmOrvex& form = Form();
    struct Expected {
        QWidget* control;
        QRect geometry;
        bool hidden;
        bool enabled;
    };
    const Expected controls[] = {
        {form.Image4, {375, 6, 18, 17}, false, true},
        {form.rdButtonLOCALAudio, {8, 8, 113, 17}, false, true},
        {form.rdButtonSERVERAudio, {144, 8, 113, 17}, false, true},
        {form.BitBtnBack, {232, 2, 25, 23}, true, false},
        {form.BitBtnForw, {256, 2, 25, 23}, true, true},
        {form.BitBtnSTOP, {280, 2, 23, 23}, true, true},
        {form.bitBtnGoSTATION, {198, 2, 97, 25}, true, true},
        {form.RdButtonHTTPMethod, {6, 27, 57, 17}, false, true},
        {form.RdButtonMMSMethod, {6, 43, 57, 17}, false, true},
        {form.editAddress, {63, 25, 433, 34}, false, true},
        {form.bitBtnSETRemote, {495, 32, 96, 22}, false, true},
        {form.cmbBoxRadio, {400, 8, 201, 21}, false, true},
        {form.cmbBoxAddressRadio, {240, 60, 297, 21}, true, true},
        {form.edtURL, {3, 70, 597, 28}, true, true},
        {form.Image1, {529, 110, 55, 55}, false, true},
        {form.Image2, {529, 182, 55, 55}, false, true},
        {form.Bevel1, {12, 22, 394, 25}, false, true},
        {form.lblKelvaraInc, {423, 8, 133, 13}, false, true},
        {form.lblQuilloAudioStation, {424, 24, 129, 13}, false, true},
        {form.mp3List, {12, 53, 185, 97}, false, true},
        {form.bitBtnOpenFolder, {13, 157, 85, 33}, false, true},
        {form.mp3Player, {108, 157, 85, 30}, false, true},
        {form.GroupBox1, {197, 47, 395, 166}, false, true},
        {form.edtTitle, {60, 20, 323, 21}, false, true},
        {form.edtComment, {60, 140, 323, 21}, false, true},
        {form.trackBar, {0, 215, 600, 34}, false, true},
        {form.Gauge, {13, 248, 579, 17}, false, true},
    };
    for (const Expected& e : controls) {
        SCOPED_TRACE(e.control->metaObject()->className());
        EXPECT_EQ(e.control->geometry(), e.geometry);
        EXPECT_EQ(e.control->isHidden(), e.hidden);
        EXPECT_EQ(e.control->isEnabled(), e.enabled);
    }
    EXPECT_EQ(form.Image1->parentWidget(), form.grpBoxSERVER);
    EXPECT_EQ(form.edtGenre->parentWidget(), form.GroupBox1);
    EXPECT_EQ(form.cmbBoxRadio->count(), 11);
    EXPECT_EQ(form.cmbBoxRadio->currentText(), QStringLiteral("Zorvel Radio"));
    EXPECT_EQ(form.cmbBoxRadio->itemText(1), QStringLiteral("R\u00e1dio Matel\u00e2ndia-PR"));
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("127.0.0.1:8000"));
    EXPECT_TRUE(form.RdButtonHTTPMethod->isChecked());
    EXPECT_EQ(form.bitBtnSETRemote->toolTip(), QStringLiteral("SET Station Address"));
    EXPECT_EQ(form.bitBtnSETRemote->NumGlyphs(), 2);
    EXPECT_EQ(form.bitBtnSETRemote->Spacing, 7);
    EXPECT_EQ(form.GroupBox1->title(), QStringLiteral(" Tag information: "));
    EXPECT_EQ(form.lblKelvaraInc->text(), QStringLiteral("www.kelvara.example.com"));
    EXPECT_EQ(form.Image4->Picture().Width(), 170);
    EXPECT_EQ(form.lblServerLOCATION->buddy(), form.editAddress);
    EXPECT_EQ(form.ProgressTimer->interval(), 100);
    EXPECT_TRUE(form.ProgressTimer->isActive());
}

TEST_F(MainWindowTest, TheDisabledGlyphHalfShowsOnADisabledButton)
{
    TfrmOrvex& form = Form();
    const QImage enabled = form.bitBtnOpenFolder->CurrentGlyph();
    form.bitBtnOpenFolder->setEnabled(false);
    const QImage disabled = form.bitBtnOpenFolder->CurrentGlyph();
    EXPECT_EQ(enabled.size(), QSize(18, 18));
    EXPECT_NE(enabled, disabled);
    // The olive background is see-through in both.
    EXPECT_EQ(qAlpha(enabled.pixel(0, 17)), 0);
    EXPECT_EQ(qAlpha(disabled.pixel(0, 17)), 0);
}

TEST_F(MainWindowTest, WideningTheWindowMovesAndStretchesAnchoredControls)
{
    TfrmOrvex& form = Form();
    form.SetWidth(661);
    EXPECT_EQ(form.grpBoxSERVER->width(), 650);
    EXPECT_EQ(form.editAddress->width(), 483);
    EXPECT_EQ(form.bitBtnSETRemote->x(), 545);
    EXPECT_EQ(form.RdButtonHTTPMethod->x(), 6);
    EXPECT_EQ(form.Gauge->width(), 629);
    EXPECT_EQ(form.lblKelvaraInc->x(), 473);
}

TEST_F(MainWindowTest, TheFolderLabelKeepsWidthMinus387CharactersThenDots)
{
    // A program folder deep enough to be cut: 224 characters are kept at 611 pixels.
    QString deep = m_exeDir.path();
    while (deep.size() < 300)
        deep += QStringLiteral("/folder_%1").arg(deep.size());
    ASSERT_TRUE(QDir().mkpath(deep));
    UseExeFolder(deep + QLatin1Char('/'));
    TfrmOrvex& form = Form();
    EXPECT_EQ(form.MusicFolder(), deep + QLatin1Char('/'));
    EXPECT_EQ(form.txtFolder->Caption(), form.MusicFolder().left(224) + QStringLiteral("..."));

    form.SetMusicFolder(QStringLiteral("/music/"));
    form.FormResize();
    EXPECT_EQ(form.txtFolder->Caption(), QStringLiteral("/music/..."));
    form.SetMusicFolder(QString());
    form.FormResize();
    EXPECT_EQ(form.txtFolder->Caption(), QStringLiteral("..."));
    // The label sizes itself to its text.
    EXPECT_EQ(form.txtFolder->size(), form.txtFolder->sizeHint());
}

TEST_F(MainWindowTest, TheTrackListShowsTheProgramFoldersTracks)
{
    Touch(QStringLiteral("one.mp3"));
    Touch(QStringLiteral("TWO.MP3"));
    Touch(QStringLiteral("cover.jpg"));
    QStringList items = Items(Form().mp3List);
    items.sort();
    EXPECT_EQ(items, (QStringList{QStringLiteral("TWO.MP3"), QStringLiteral("one.mp3")}));
}

TEST_F(MainWindowTest, AFolderWithoutTracksGivesAnEmptyList)
{
    EXPECT_EQ(Form().mp3List->count(), 0);
    EXPECT_EQ(Form().txtFolder->Caption(), LeftChars(m_exeDir.path() + QLatin1Char('/'), 224) + QStringLiteral("..."));
}

TEST_F(MainWindowTest, ShowingLoadsBothLoudspeakersAndAnimatesThem)
{
    TGIFUnit gifUnit;
    const int paintersBefore = TGIFPainter::LivingPainters();
    ASSERT_TRUE(QFile::copy(orvex::testing::kAssets + QStringLiteral("auto_falantes1.gif"),
                            ExePath(QStringLiteral("auto_falantes1.gif"))));
    TfrmOrvex& form = Form();
    form.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_errors.empty()) << m_errors[0].toStdString();
    for (TImage* image : {form.Image1, form.Image2}) {
        auto* picture = dynamic_cast<TGIFImage*>(image->Picture().Graphic());
        ASSERT_NE(picture, nullptr);
        EXPECT_GT(picture->Frames().Count(), 1);
        // The first paint starts the picture's painter; its frames then come
        // one after another, each shown stretched to the control.
        const QImage first = image->Render().Image();
        ASSERT_TRUE(PumpUntil([&] { return picture->CurrentPainter() != nullptr; }));
        EXPECT_TRUE(PumpUntil([&] { return image->Render().Image() != first; }))
            << "the loudspeaker does not move";
        EXPECT_EQ(picture->PictureBitmap()->Width(), picture->Width());
    }
    // Two painters, one per picture: closing the window stops both at once.
    EXPECT_EQ(TGIFPainter::LivingPainters(), paintersBefore + 2);
    QElapsedTimer timer;
    timer.start();
    m_form.reset();
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(PumpUntil([&] { return TGIFPainter::LivingPainters() == paintersBefore; }));
}

TEST_F(MainWindowTest, TheLoudspeakersAreSeeThroughOverTheServerGroup)
{
    TGIFUnit gifUnit;
    ASSERT_TRUE(QFile::copy(orvex::testing::kAssets + QStringLiteral("auto_falantes1.gif"),
                            ExePath(QStringLiteral("auto_falantes1.gif"))));
    TfrmOrvex& form = Form();
    form.show();
    QCoreApplication::processEvents();
    // The loudspeaker picture's corners are transparent: the group box shows there.
    const TBitmap shown = form.Image1->Render();
    QImage under(form.Image1->size(), QImage::Format_RGB32);
    form.grpBoxSERVER->render(&under, QPoint(), QRegion(form.Image1->geometry()), QWidget::DrawWindowBackground);
    EXPECT_EQ(shown.Image().pixel(0, 0) & 0xFFFFFF, under.pixel(0, 0) & 0xFFFFFF);
    EXPECT_NE(shown.Image().pixel(27, 27) & 0xFFFFFF, under.pixel(27, 27) & 0xFFFFFF) << "no loudspeaker in the middle";
}

TEST_F(MainWindowTest, ABrokenPictureOnTheFirstImageIsReportedAndLeavesTheSecondUnloaded)
{
    TGIFUnit gifUnit;
    WriteFile(QStringLiteral("auto_falantes1.gif"), QByteArray("this is no picture at all"));
    TfrmOrvex& form = Form();
    form.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0], QStringLiteral("Invalid GIF signature"));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.Image1->Picture().Graphic(), nullptr);
    EXPECT_EQ(form.Image2->Picture().Graphic(), nullptr);

    // A missing picture names the file.
    QFile::remove(ExePath(QStringLiteral("auto_falantes1.gif")));
    m_errors.clear();
    Guarded([&] { form.FormShow(); });
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(m_errors[0].startsWith(QStringLiteral("Cannot open file \"%1auto_falantes1.gif\"").arg(m_exeDir.path() + QLatin1Char('/'))));
    EXPECT_EQ(form.Image2->Picture().Graphic(), nullptr);
}

TEST_F(MainWindowTest, RunCommandLineReportsAMissingProgramAndNothingForOneThatStarts)
{
    TfrmOrvex::RunCommandLine(QStringLiteral("orvex-missing-program-xyz http://a.example/"), 1);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, QStringLiteral("Arquivo especificado n\u00e3o encontrado!"));
    EXPECT_EQ(m_boxes[0].caption, QStringLiteral("Orvex"));
    EXPECT_EQ(m_boxes[0].type, TMsgDlgType::mtCustom);

    TfrmOrvex::RunCommandLine(QStringLiteral("/orvex/no/such/path/program"), 1);
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[1].text, QStringLiteral("Caminho especificado n\u00e3o encontrado!"));

    TfrmOrvex::RunCommandLine(QStringLiteral("true"), 1);
    EXPECT_EQ(m_boxes.size(), 2u);
}

TEST_F(MainWindowTest, ClickingTheWebLabelOpensTheMakersAddressAndTheMailLabelNothing)
{
    // A recording opener, first on the search path: each run adds a line.
    QTemporaryDir bin;
    const QString record = bin.filePath(QStringLiteral("opened"));
    QFile opener(bin.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
    opener.write(QStringLiteral("#!/bin/sh\necho \"$@\" >> '%1'\n").arg(record).toLocal8Bit());
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ':' + savedPath);

    // The user's clicks, on the labels where they stand in Local mode.
    TfrmOrvex& form = Form();
    form.show();
    form.rdButtonLOCALAudio->setChecked(true);
    m_errors.clear(); // what showing said of its pictures
    QTest::mouseClick(form.lblQuilloAudioStation, Qt::LeftButton);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_TRUE(m_errors.empty());
    QTest::mouseClick(form.lblKelvaraInc, Qt::LeftButton);
    qputenv("PATH", savedPath);
    // The opener's file exists before its line is written: wait for the line.
    auto lines = [&] {
        QFile result(record);
        const QByteArray text = result.open(QIODevice::ReadOnly) ? result.readAll() : QByteArray();
        return text.endsWith('\n') ? text.trimmed().split('\n') : QList<QByteArray>();
    };
    ASSERT_TRUE(PumpUntil([&] { return !lines().isEmpty(); }));
    // Only the web label ran the opener.
    EXPECT_EQ(lines(), QList<QByteArray>{QByteArray("http://www.kelvara.example.com")});
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(MainWindowTest, TracksAreListedThirteenPixelsApart)
{
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        Touch(QString::fromLatin1(name));
    TListBox* list = Form().mp3List;
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->ItemHeight(), 13);
    for (int row = 0; row < 3; ++row) {
        const QRect rect = list->visualItemRect(list->item(row));
        EXPECT_EQ(rect.height(), 13) << row;
        EXPECT_EQ(rect.top(), list->visualItemRect(list->item(0)).top() + 13 * row) << row;
    }
}

TEST(UnitStrs, LeftCharsCountsCharacters)
{
    EXPECT_EQ(LeftChars(QStringLiteral("abc"), 2), QStringLiteral("ab"));
    EXPECT_EQ(LeftChars(QStringLiteral("abc"), 9), QStringLiteral("abc"));
    EXPECT_EQ(LeftChars(QStringLiteral("abc"), 0), QString());
    EXPECT_EQ(LeftChars(QStringLiteral("abc"), -4), QString());
}
