#include "WindowFixture.h"

#include "IcecastServer.h"
#include "Mp3Maker.h"
#include "StationBox.h"
#include "StreamServer.h"
#include "Unit1.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSettings>
#include <QTcpServer>
#include <QTest>
#include <QToolTip>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdio>

using namespace orvex;
using orvex::testing::IcecastServer;
using orvex::testing::PumpUntil;

namespace {

class RadioTest : public orvex::testing::WindowFixture {
protected:
    // A template of count numbered lines, LF-ended.
    static QByteArray NumberedTemplate(int count)
    {
        QByteArray text;
        for (int i = 1; i <= count; ++i)
            text += "line " + QByteArray::number(i) + '\n';
        return text;
    }
    QList<QByteArray> PageLines() const
    {
        QByteArray page = ReadFile(QStringLiteral("indexII.htm"));
        EXPECT_TRUE(page.endsWith("\r\n"));
        page.chop(1);
        return page.split('\n');
    }
    static QByteArray Unterminated(QByteArray line)
    {
        EXPECT_TRUE(line.endsWith('\r')) << line.constData();
        line.chop(1);
        return line;
    }
    QString PagePath() const { return QUrl::fromLocalFile(ExePath(QStringLiteral("indexII.htm"))).toString(); }

    double AudioPosition()
    {
        return Evaluate(QStringLiteral("typeof orvexPlayer === 'undefined' ? -1 : orvexPlayer.audio.currentTime")).toDouble();
    }
    QString PlayerState()
    {
        return Evaluate(QStringLiteral("typeof orvexPlayer === 'undefined' ? '' : orvexPlayer.state")).toString();
    }
    // The address the page of the window's present settings plays.
    QString SetAddress()
    {
        return (Form().RdButtonHTTPMethod->isChecked() ? QStringLiteral("http://") : QStringLiteral("mms://")) +
               Form().editAddress->text();
    }
    // Waits until the page written for the window's present settings is
    // loaded and shows state; a page still loading or an older one does not count.
    bool WaitForState(const QString& state, int milliseconds = 20000)
    {
        const QString script = QStringLiteral("typeof orvexPlayer !== 'undefined' && orvexPlayer.given === '%1' && "
                                              "orvexPlayer.state === '%2'")
                                   .arg(SetAddress(), state);
        return PumpUntil([&] { return Evaluate(script).toBool(); }, milliseconds);
    }
    // Picks a station in the box's list as a user does: opens the list and
    // clicks the name.
    void PickStation(int position)
    {
        QComboBox* box = Form().cmbBoxRadio;
        box->showPopup();
        QAbstractItemView* list = box->view();
        ASSERT_TRUE(PumpUntil([&] { return list->isVisible(); }, 5000));
        const QModelIndex item = list->model()->index(position, 0);
        list->scrollTo(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
        ASSERT_TRUE(PumpUntil([&] { return !list->isVisible(); }, 5000));
    }
    // Waits until the page plays: its audio position above after and rising.
    bool PlaysPast(double after, int milliseconds)
    {
        double first = -1;
        return PumpUntil([&] {
            const double position = AudioPosition();
            if (position > after && first < 0)
                first = position;
            return first >= 0 && position > first;
        }, milliseconds);
    }
};

} // namespace

TEST_F(RadioTest, APageDiffersFromItsTemplateOnlyInLine28)
{
    WriteFile(QStringLiteral("indexIIc.htm"), NumberedTemplate(40));
    TfrmOrvex& form = Form();
    ASSERT_TRUE(m_errors.empty()) << m_errors[0].toStdString();
    QList<QByteArray> lines = PageLines();
    ASSERT_EQ(lines.size(), 40);
    for (int i = 1; i <= 40; ++i) {
        if (i != 28) {
            EXPECT_EQ(Unterminated(lines[i - 1]), "line " + QByteArray::number(i));
        }
    }
    EXPECT_EQ(Unterminated(lines[27]), "      <PARAM NAME=\"FileName\" VALUE=\"http://127.0.0.1:8000\">");

    // A second press with the same address writes the same page.
    const QByteArray first = ReadFile(QStringLiteral("indexII.htm"));
    form.bitBtnSETRemote->click();
    EXPECT_EQ(ReadFile(QStringLiteral("indexII.htm")), first);
}

TEST_F(RadioTest, TheParameterLineNamesSchemeAndAddressExactly)
{
    const QByteArray mms = StreamParameterLine(false, QStringLiteral("h:1234/x"));
    EXPECT_EQ(mms.size(), 52);
    EXPECT_EQ(mms.right(16), QByteArray("mms://h:1234/x\">"));
    EXPECT_EQ(StreamParameterLine(true, QString()).size(), 45);
    EXPECT_TRUE(StreamParameterLine(true, QString()).endsWith("VALUE=\"http://\">"));
    // The address is written in the page's code page.
    EXPECT_TRUE(StreamParameterLine(true, QStringLiteral("r\u00e1dio")).endsWith("r\xe1" "dio\">"));
    // A quote or bracket cannot break out of the parameter.
    EXPECT_EQ(StreamParameterLine(true, QStringLiteral("h/\"><script>")),
              "      <PARAM NAME=\"FileName\" VALUE=\"http://h/%22%3E%3Cscript%3E\">");
}

TEST_F(RadioTest, AnAddressTypedWithItsSchemeIsUsedAsTyped)
{
    const struct {
        bool http;
        const char* typed;
        const char* value;
    } cases[] = {
        {true, "https://h:8443/live", "https://h:8443/live"},
        {false, "HTTP://h/x", "HTTP://h/x"},
        {true, "Mms://h/x", "Mms://h/x"},
        {true, "hTtPs://h", "hTtPs://h"},
        // Without a scheme of its own the method's is put before it.
        {true, "h/http://x", "http://h/http://x"},
        {false, "h:1", "mms://h:1"},
        {true, "ftp://h", "http://ftp://h"},
        {true, "https://h/\"<", "https://h/%22%3C"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StreamParameterLine(c.http, QString::fromLatin1(c.typed)),
                  "      <PARAM NAME=\"FileName\" VALUE=\"" + QByteArray(c.value) + "\">")
            << c.typed;
}

TEST_F(RadioTest, TheMethodAndAddressOfTheWindowGoIntoThePage)
{
    WriteFile(QStringLiteral("indexIIc.htm"), NumberedTemplate(30));
    TfrmOrvex& form = Form();
    form.RdButtonMMSMethod->setChecked(true);
    form.editAddress->setText(QStringLiteral("h:1234/x"));
    form.bitBtnSETRemote->click();
    EXPECT_EQ(Unterminated(PageLines()[27]), StreamParameterLine(false, QStringLiteral("h:1234/x")));
    form.editAddress->clear();
    form.bitBtnSETRemote->click();
    EXPECT_EQ(Unterminated(PageLines()[27]), StreamParameterLine(false, QString()));
}

TEST_F(RadioTest, AShortTemplateIsPaddedWithEmptyLinesUpToTheParameter)
{
    WriteFile(QStringLiteral("indexIIc.htm"), NumberedTemplate(5));
    Form();
    ASSERT_TRUE(m_errors.empty());
    const QList<QByteArray> lines = PageLines();
    ASSERT_EQ(lines.size(), 28);
    EXPECT_EQ(Unterminated(lines[4]), "line 5");
    for (int i = 5; i < 27; ++i)
        EXPECT_EQ(Unterminated(lines[i]), QByteArray());
    EXPECT_TRUE(Unterminated(lines[27]).startsWith("      <PARAM NAME=\"FileName\""));
}

TEST_F(RadioTest, LineEndsAreReadWithOrWithoutCarriageReturnAndCtrlZEndsTheText)
{
    QByteArray text = "a\r\nb\nc\rd\n";
    for (int i = 4; i <= 29; ++i)
        text += "l" + QByteArray::number(i) + (i % 2 ? "\r\n" : "\n");
    text += "last\x1a" "after the end\r\nmore\r\n";
    WriteFile(QStringLiteral("indexIIc.htm"), text);
    Form();
    const QList<QByteArray> lines = PageLines();
    ASSERT_EQ(lines.size(), 30);
    EXPECT_EQ(Unterminated(lines[0]), "a");
    EXPECT_EQ(Unterminated(lines[1]), "b");
    EXPECT_EQ(Unterminated(lines[2]), "c\rd"); // a lone CR is no line end
    EXPECT_EQ(Unterminated(lines[28]), "l29");
    EXPECT_EQ(Unterminated(lines[29]), "last");
}

TEST_F(RadioTest, AMissingTemplateCreatesNoPageAndLeavesTheBrowserAlone)
{
    QFile::remove(ExePath(QStringLiteral("indexIIc.htm")));
    TfrmOrvex& form = Form();
    ASSERT_EQ(m_errors.size(), 1u);
    // Neither beside the program nor in an installed data folder.
    EXPECT_EQ(m_errors[0], QStringLiteral("The program's files are missing: \"indexIIc.htm\" is neither beside the program "
                                          "in \"%1/\" nor in its data folder \"%2/\"")
                               .arg(m_exeDir.path(), QDir::cleanPath(m_exeDir.path() + QStringLiteral("/../share/orvex"))));
    EXPECT_FALSE(QFile::exists(ExePath(QStringLiteral("indexII.htm"))));
    EXPECT_TRUE(form.WebBrowser1->LocationURL().isEmpty());
    // The window goes on: the switch still works.
    form.rdButtonLOCALAudio->setChecked(true);
    EXPECT_EQ(form.grpBoxLOCAL->y(), 24);
}

TEST_F(RadioTest, APageThatCannotBeWrittenIsReportedAndNotLoaded)
{
    ASSERT_TRUE(QDir(m_exeDir.path()).mkdir(QStringLiteral("indexII.htm")));
    TfrmOrvex& form = Form();
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(m_errors[0].startsWith(QStringLiteral("Cannot create \"%1\": ").arg(ExePath(QStringLiteral("indexII.htm")))));
    EXPECT_TRUE(form.WebBrowser1->LocationURL().isEmpty());
}

TEST_F(RadioTest, PickingAStationFillsAddressAndMethodAndSetsIt)
{
    TfrmOrvex& form = Form();
    form.show();
    form.RdButtonMMSMethod->setChecked(true);
    PickStation(7);
    EXPECT_EQ(form.cmbBoxRadio->currentText(), QStringLiteral("Globo AM (RJ)"));
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("198.51.100.7:8000"));
    EXPECT_TRUE(form.RdButtonHTTPMethod->isChecked());
    EXPECT_TRUE(ReadFile(QStringLiteral("indexII.htm")).contains("VALUE=\"http://198.51.100.7:8000\">"));

    // An mms entry, an entry without a scheme and one that names http later on.
    form.cmbBoxAddressRadio->setItemText(2, QStringLiteral("mms://h:1"));
    form.cmbBoxAddressRadio->setItemText(3, QStringLiteral("xyhost:9"));
    form.cmbBoxAddressRadio->setItemText(10, QStringLiteral("rtsp://a/http://b"));
    PickStation(2);
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("h:1"));
    EXPECT_TRUE(form.RdButtonMMSMethod->isChecked());
    EXPECT_TRUE(ReadFile(QStringLiteral("indexII.htm")).contains("VALUE=\"mms://h:1\">"));
    PickStation(3);
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("host:9"));
    EXPECT_TRUE(form.RdButtonMMSMethod->isChecked());
    // The last name, below the list's first screenful.
    PickStation(10);
    EXPECT_EQ(form.cmbBoxRadio->currentText(), QStringLiteral("Talkwire"));
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("a/http://b"));
    EXPECT_TRUE(form.RdButtonHTTPMethod->isChecked());
    // Picking the name shown again sets it again: a typed address gives way.
    form.editAddress->setText(QStringLiteral("typed:1"));
    PickStation(10);
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("a/http://b"));
}

TEST(StationBox, ReadsStreamAddressesAndNothingElse)
{
    const struct {
        const char* text;
        bool ok;
        bool http;
    } cases[] = {
        {"host:8000", true, true},        {"radio.example.com/live", true, true}, {" 10.0.0.1:80/a?b=1 ", true, true},
        {"http://h/x", true, true},       {"HTTPS://h:443", true, true},          {"mms://h:1", true, false},
        {"javascript:alert(1)", false},   {"file:///etc/passwd", false},          {"ftp://h/x", false},
        {"http://", false},               {"My Radio", false},                    {"Globo", false},
        {"h:port", false},                {"my radio/live", false},
    };
    for (const auto& c : cases) {
        const TypedAddress typed = PickAddress(QString::fromUtf8(c.text));
        EXPECT_EQ(typed.ok, c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(typed.address, QString::fromUtf8(c.text).trimmed()) << c.text;
            EXPECT_EQ(typed.http, c.http) << c.text;
        }
    }
}

TEST_F(RadioTest, TypingInTheStationBoxStopsNothingAndOnlyANameOrEnterSetsAStation)
{
    TfrmOrvex& form = Form();
    form.show();
    StreamServer server;
    ASSERT_TRUE(SetTestStation(server, orvex::testing::kAssets + QStringLiteral("escala.mp3")));
    ASSERT_TRUE(WaitForState(QStringLiteral("playing")));
    QLineEdit* typed = form.cmbBoxRadio->lineEdit();
    // The box completes only while it has the keyboard, as when a user types.
    QApplication::setActiveWindow(&form);
    typed->setFocus();
    ASSERT_TRUE(PumpUntil([&] { return typed->hasFocus(); }, 5000));
    QSignalSpy sets(form.bitBtnSETRemote, &QPushButton::clicked);
    const QString playing = form.editAddress->text();
    // Types text over the box's text, key by key, each key taken as a user's is.
    const auto typeOver = [&](const QString& text) {
        typed->selectAll();
        for (const QChar key : text) {
            QTest::keyClicks(typed, QString(key));
            QCoreApplication::processEvents();
        }
    };
    const auto pageNames = [&](const QByteArray& address) {
        return ReadFile(QStringLiteral("indexII.htm")).contains("VALUE=\"" + address + "\">");
    };

    // "M" completes to a station, but a single letter does not pick it; no
    // keystroke of a name that is no station changes anything.
    typeOver(QStringLiteral("My Radio"));
    EXPECT_EQ(sets.count(), 0);
    EXPECT_EQ(form.editAddress->text(), playing);
    EXPECT_TRUE(PlaysPast(AudioPosition(), 10000));
    EXPECT_EQ(typed->text(), QStringLiteral("My Radio"));
    // Enter on it only says so; Esc brings back the name shown before.
    QTest::keyClick(typed, Qt::Key_Return);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Nenhuma esta\u00e7\u00e3o com esse nome"));
    EXPECT_EQ(sets.count(), 0);
    QTest::keyClick(typed, Qt::Key_Escape);
    EXPECT_EQ(typed->text(), playing); // the address typed beside the box plays

    // The box's completion of a beginning plays the completed station.
    typeOver(QStringLiteral("Glo"));
    ASSERT_TRUE(PumpUntil([&] { return pageNames("http://globo.example.net/radio"); }));
    EXPECT_EQ(typed->text(), QStringLiteral("Globo"));
    EXPECT_EQ(typed->selectedText(), QStringLiteral("bo"));
    EXPECT_EQ(form.cmbBoxRadio->currentIndex(), 6);
    EXPECT_EQ(form.StationName(), QStringLiteral("Globo"));
    // Typing through the name of the station that plays, or leaving the box
    // on another's completed name, does not set anything.
    sets.clear();
    typeOver(QStringLiteral("Glob"));
    typeOver(QStringLiteral("B"));
    form.editAddress->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(sets.count(), 0);
    EXPECT_EQ(form.StationName(), QStringLiteral("Globo"));

    // Enter picks a completed name, and plays an address as typed.
    typed->setFocus();
    typeOver(QStringLiteral("M"));
    QTest::keyClick(typed, Qt::Key_Return);
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("metropolitana.example.net:8010/"));
    typeOver(QStringLiteral("mms://h:1"));
    QTest::keyClick(typed, Qt::Key_Enter);
    EXPECT_EQ(sets.count(), 2);
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("mms://h:1"));
    EXPECT_TRUE(form.RdButtonMMSMethod->isChecked());
    EXPECT_TRUE(pageNames("mms://h:1"));
    typeOver(QStringLiteral("x"));
    QTest::keyClick(typed, Qt::Key_Escape);
    EXPECT_EQ(typed->text(), QStringLiteral("mms://h:1"));
}

TEST_F(RadioTest, TypingAnAddressChangesNothingUntilSet)
{
    TfrmOrvex& form = Form();
    const QByteArray before = ReadFile(QStringLiteral("indexII.htm"));
    form.show();
    form.editAddress->clear();
    QTest::keyClicks(form.editAddress, QStringLiteral("10.0.0.1:1"));
    EXPECT_EQ(ReadFile(QStringLiteral("indexII.htm")), before);
    // Moving the mouse over the field shows the address in its hint.
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.editAddress, &move);
    EXPECT_EQ(form.editAddress->toolTip(), QStringLiteral("Streaming Address: 10.0.0.1:1"));
    // Set, it is no station of the box: the box and the station's name say what plays.
    form.bitBtnSETRemote->click();
    EXPECT_EQ(form.cmbBoxRadio->currentText(), QStringLiteral("10.0.0.1:1"));
    EXPECT_EQ(form.StationName(), QStringLiteral("10.0.0.1:1"));
}

TEST_F(RadioTest, TheNavigationBarFollowsTheBrowser)
{
    TfrmOrvex& form = Form();
    // After start-up the location field holds the page's location.
    ASSERT_TRUE(PumpUntil([&] { return form.edtURL->text() == PagePath() && !form.WebBrowser1->Busy(); }));
    EXPECT_FALSE(form.BitBtnSTOP->isEnabled());
    EXPECT_FALSE(form.BitBtnBack->isEnabled());
    // Another page adds to the history: back becomes possible.
    WriteFile(QStringLiteral("other.htm"), "<html><body>other</body></html>");
    form.WebBrowser1->Navigate(ExePath(QStringLiteral("other.htm")));
    ASSERT_TRUE(PumpUntil([&] { return form.BitBtnBack->isEnabled(); }));
    form.BitBtnBack->click();
    ASSERT_TRUE(PumpUntil([&] {
        return form.BitBtnForw->isEnabled() && !form.BitBtnBack->isEnabled() && form.edtURL->text() == PagePath() &&
               !form.WebBrowser1->Busy();
    }));

    // Command 3 touches no button but refreshes the location.
    form.edtURL->setText(QStringLiteral("stale"));
    const bool back = form.BitBtnBack->isEnabled(), forward = form.BitBtnForw->isEnabled(),
               stop = form.BitBtnSTOP->isEnabled();
    form.WebBrowser1CommandStateChange(3, !forward);
    EXPECT_EQ(form.BitBtnBack->isEnabled(), back);
    EXPECT_EQ(form.BitBtnForw->isEnabled(), forward);
    EXPECT_EQ(form.BitBtnSTOP->isEnabled(), stop);
    EXPECT_EQ(form.edtURL->text(), PagePath());
    form.WebBrowser1CommandStateChange(CSC_NAVIGATEFORWARD, false);
    EXPECT_FALSE(form.BitBtnForw->isEnabled());
    form.WebBrowser1CommandStateChange(CSC_UPDATECOMMANDS, false);
    EXPECT_EQ(form.BitBtnSTOP->isEnabled(), form.WebBrowser1->Busy());
}

TEST_F(RadioTest, EnterInTheLocationFieldNavigatesAndIsSwallowed)
{
    TfrmOrvex& form = Form();
    ASSERT_TRUE(PumpUntil([&] { return form.edtURL->text() == PagePath(); }));
    WriteFile(QStringLiteral("other.htm"), "<html><body>other</body></html>");
    form.edtURL->show();
    // Other keys reach the field as typed.
    form.edtURL->setText(ExePath(QStringLiteral("other.ht")));
    QTest::keyClick(form.edtURL, 'm');
    EXPECT_EQ(form.edtURL->text(), ExePath(QStringLiteral("other.htm")));
    int returnsSeen = 0;
    QObject::connect(form.edtURL, &QLineEdit::returnPressed, [&] { ++returnsSeen; });
    QTest::keyClick(form.edtURL, Qt::Key_Return);
    EXPECT_EQ(returnsSeen, 0); // the key did not reach the field
    ASSERT_TRUE(PumpUntil([&] { return form.WebBrowser1->LocationURL().endsWith(QStringLiteral("/other.htm")); }));
    // An empty location is handed on as empty: the browser leaves the page
    // shown for an empty one, and the field follows it.
    form.edtURL->clear();
    QTest::keyClick(form.edtURL, Qt::Key_Return);
    ASSERT_TRUE(PumpUntil([&] {
        return form.WebBrowser1->LocationURL() == QStringLiteral("about:blank") && !form.WebBrowser1->Busy();
    })) << form.WebBrowser1->LocationURL().toStdString();
    EXPECT_TRUE(PumpUntil([&] { return form.edtURL->text() == QStringLiteral("about:blank"); }));
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(RadioTest, GoingBackWithoutHistoryReportsTheBrowsersError)
{
    TfrmOrvex& form = Form();
    ASSERT_TRUE(PumpUntil([&] { return !form.WebBrowser1->Busy() && !form.edtURL->text().isEmpty(); }));
    form.BitBtnBack->setEnabled(true);
    form.BitBtnBack->click();
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0], QStringLiteral("Unspecified error"));
}

// ---- streams from real servers

TEST_F(RadioTest, TheHomeStationPlaysFromIcecastAsSoonAsItIsSet)
{
    const QString track = m_exeDir.filePath(QStringLiteral("live.mp3"));
    ASSERT_TRUE(orvex::testing::MakeMp3(track, 6.0));
    IcecastServer icecast;
    ASSERT_TRUE(icecast.Start(track)) << icecast.Error().toStdString();

    // The home station, at this server, picked in the box as a user would.
    TfrmOrvex& form = Form();
    form.show();
    form.cmbBoxAddressRadio->setItemText(0, QStringLiteral("http://") + icecast.Address());
    PickStation(0);
    EXPECT_EQ(form.editAddress->text(), icecast.Address());
    EXPECT_TRUE(ReadFile(QStringLiteral("indexII.htm")).contains("VALUE=\"http://" + icecast.Address().toLatin1() + "\">"));
    ASSERT_TRUE(WaitForState(QStringLiteral("playing"))) << PlayerState().toStdString();
    // The page read the stream itself, and the sound goes on.
    EXPECT_TRUE(Evaluate(QStringLiteral("orvexPlayer.fed")).toBool());
    EXPECT_TRUE(PlaysPast(0, 10000));
    EXPECT_EQ(Evaluate(QStringLiteral("orvexPlayer.plays")).toInt(), 1);

    // A long session lets go of what was heard: with the page's limits made
    // short, the start of what it holds moves on while the sound goes on.
    Evaluate(QStringLiteral("orvexPlayer.trimAfterSeconds = 1.5; orvexPlayer.keepSeconds = 0.5;"));
    ASSERT_TRUE(PumpUntil([&] {
        return Evaluate(QStringLiteral("var b = orvexPlayer.audio.buffered; b.length > 0 && b.start(0) > 0.5")).toBool();
    })) << Evaluate(QStringLiteral("orvexPlayer.audio.currentTime")).toDouble();
    EXPECT_LT(Evaluate(QStringLiteral("orvexPlayer.audio.currentTime - orvexPlayer.audio.buffered.start(0)")).toDouble(),
              5.0);
    EXPECT_GT(Evaluate(QStringLiteral("orvexPlayer.held()")).toDouble(), 0.0);
    // ... and has the chunks it read collected as it goes.
    Evaluate(QStringLiteral("orvexPlayer.collectAfterBytes = 1;"));
    EXPECT_TRUE(PumpUntil([&] { return Evaluate(QStringLiteral("orvexPlayer.collections")).toInt() > 0; }));
    EXPECT_TRUE(PlaysPast(AudioPosition(), 10000));
    EXPECT_EQ(PlayerState(), QStringLiteral("playing"));
}

TEST_F(RadioTest, ThePageReconnectsByItselfWhenTheSourceComesBack)
{
    const QString track = m_exeDir.filePath(QStringLiteral("live.mp3"));
    ASSERT_TRUE(orvex::testing::MakeMp3(track, 6.0) && orvex::testing::TagTitle(track, QStringLiteral("A - Song")));
    IcecastServer icecast;
    ASSERT_TRUE(icecast.Start(track)) << icecast.Error().toStdString();
    TfrmOrvex& form = Form();
    form.editAddress->setText(icecast.Address());
    form.bitBtnSETRemote->click();
    ASSERT_TRUE(WaitForState(QStringLiteral("playing"))) << PlayerState().toStdString();
    const auto shownTitle = [&] { return Evaluate(QStringLiteral("document.getElementById('title').textContent")).toString(); };
    ASSERT_TRUE(PumpUntil([&] { return shownTitle() == QStringLiteral("A - Song"); }, 20000)) << shownTitle().toStdString();

    // The source goes: the server drops its listeners and the page notices
    // at once; the song that played is no longer shown.
    icecast.StopSource();
    ASSERT_TRUE(WaitForState(QStringLiteral("reconnecting"))) << PlayerState().toStdString();
    EXPECT_FALSE(icecast.MountPlays());
    EXPECT_EQ(shownTitle(), QString());
    // A try the feed could not open (the mount is gone) is a failed try:
    // the retries stay on the feed, which reads titles and records.
    ASSERT_TRUE(PumpUntil([&] {
        return Evaluate(QStringLiteral("orvexPlayer.tries >= 2 || orvexPlayer.via !== 'feed'")).toBool();
    }, 30000));
    EXPECT_EQ(Evaluate(QStringLiteral("orvexPlayer.via")).toString(), QStringLiteral("feed"));
    ASSERT_TRUE(icecast.StartSource()) << icecast.Error().toStdString();
    ASSERT_TRUE(PumpUntil([&] {
        return Evaluate(QStringLiteral("orvexPlayer.plays")).toInt() >= 2 && PlayerState() == QStringLiteral("playing");
    }, 30000)) << PlayerState().toStdString();
    EXPECT_TRUE(PlaysPast(0, 10000));
    EXPECT_EQ(Evaluate(QStringLiteral("orvexPlayer.via")).toString(), QStringLiteral("feed"));
    EXPECT_TRUE(form.Feed->StreamActive());
}

// The page's volume outlives the page and the browser's session.
TEST_F(RadioTest, ThePagesVolumeIsRemembered)
{
    QSettings settings(QStringLiteral("Orvex"), QStringLiteral("Orvex"));
    const QVariant before = settings.value(QStringLiteral("Radio/Volume"));
    StreamServer server;
    ASSERT_TRUE(SetTestStation(server, orvex::testing::kAssets + QStringLiteral("escala.mp3")));
    ASSERT_TRUE(WaitForState(QStringLiteral("playing"))) << PlayerState().toStdString();
    Evaluate(QStringLiteral("var v = document.getElementById('volume'); v.value = 20; "
                            "v.dispatchEvent(new Event('input')); v.dispatchEvent(new Event('change')); true"));
    ASSERT_TRUE(PumpUntil([&] { return settings.value(QStringLiteral("Radio/Volume")).toInt() == 20; }));
    Evaluate(QStringLiteral("localStorage.clear(); true"));
    Evaluate(QStringLiteral("orvexPlayer.old = true"));
    Form().bitBtnSETRemote->click();
    ASSERT_TRUE(PumpUntil([&] { return Evaluate(QStringLiteral("typeof orvexPlayer !== 'undefined' && !orvexPlayer.old")).toBool(); }));
    EXPECT_EQ(Evaluate(QStringLiteral("document.getElementById('volume').value")).toString(), QStringLiteral("20"));
    EXPECT_DOUBLE_EQ(Evaluate(QStringLiteral("orvexPlayer.audio.volume")).toDouble(), 0.2);
    if (before.isValid())
        settings.setValue(QStringLiteral("Radio/Volume"), before);
    else
        settings.remove(QStringLiteral("Radio/Volume"));
}

TEST_F(RadioTest, AStreamThePageMayNotReadPlaysThroughTheProgramsFeed)
{
    // A server that does not let other origins read its answer: the
    // program reads it for the page, which feeds its media source.
    StreamServer server;
    server.ShareWithPages = false;
    ASSERT_TRUE(SetTestStation(server, orvex::testing::kAssets + QStringLiteral("escala.mp3")));
    ASSERT_TRUE(WaitForState(QStringLiteral("playing"))) << PlayerState().toStdString();
    EXPECT_TRUE(Evaluate(QStringLiteral("orvexPlayer.fed")).toBool());
    EXPECT_EQ(Evaluate(QStringLiteral("orvexPlayer.via")).toString(), QStringLiteral("feed"));
    EXPECT_TRUE(PlaysPast(0, 10000));
}

TEST_F(RadioTest, TheStationsTitleShowsAsTextAndTheProgramStopsAndPlaysThePage)
{
    // Icecast without the header that lets pages read it, with titles that
    // look like markup.
    const QString markup = QStringLiteral("<img src=x onerror=\"document.title='ran'\">");
    const QString first = m_exeDir.filePath(QStringLiteral("one.mp3"));
    const QString second = m_exeDir.filePath(QStringLiteral("two.mp3"));
    ASSERT_TRUE(orvex::testing::MakeMp3(first, 3.0) && orvex::testing::TagTitle(first, markup));
    ASSERT_TRUE(orvex::testing::MakeMp3(second, 3.0) && orvex::testing::TagTitle(second, QStringLiteral("Dois\n\\ 'b'")));
    IcecastServer icecast;
    icecast.AllowPages = false;
    ASSERT_TRUE(icecast.Start(QStringList{first, second})) << icecast.Error().toStdString();
    TfrmOrvex& form = Form();
    QSignalSpy infoChanges(&form, &TfrmOrvex::StreamInfoChanged);
    QSignalSpy stateChanges(&form, &TfrmOrvex::RadioStateChanged);
    form.editAddress->setText(icecast.Address());
    form.bitBtnSETRemote->click();
    ASSERT_TRUE(WaitForState(QStringLiteral("playing"))) << PlayerState().toStdString();
    // The page tells the program on its own time.
    EXPECT_TRUE(PumpUntil([&] { return form.RadioPlaying(); }));
    EXPECT_GE(stateChanges.size(), 1);
    EXPECT_EQ(Evaluate(QStringLiteral("orvexPlayer.via")).toString(), QStringLiteral("feed"));

    // Both titles come in turn; each shows as the characters it is.
    const auto shown = [&] { return Evaluate(QStringLiteral("document.getElementById('title').textContent")).toString(); };
    ASSERT_TRUE(PumpUntil([&] { return shown() == markup; }, 20000)) << shown().toStdString();
    EXPECT_EQ(Evaluate(QStringLiteral("document.querySelectorAll('#panel img').length + document.title")).toString(),
              QStringLiteral("0Orvex Radio Player"));
    ASSERT_TRUE(PumpUntil([&] { return shown() == QStringLiteral("Dois\n\\ 'b'"); }, 20000)) << shown().toStdString();
    EXPECT_EQ(form.StreamTitle(), QStringLiteral("Dois\n\\ 'b'"));
    EXPECT_GE(infoChanges.size(), 2);
    EXPECT_EQ(form.StationName(), QString::fromUtf8(orvex::testing::kStationName));
    EXPECT_EQ(Evaluate(QStringLiteral("document.getElementById('station').textContent")).toString(),
              QString::fromUtf8(orvex::testing::kStationName));
    EXPECT_EQ(icecast.Listeners(), 1);

    // The program stops the page: the station loses its listener, the page
    // says why and offers to play again.
    form.StopRadio(QStringLiteral("Parado <b>agora</b>"));
    ASSERT_TRUE(WaitForState(QStringLiteral("stopped"))) << PlayerState().toStdString();
    EXPECT_EQ(Evaluate(QStringLiteral("document.getElementById('detail').textContent")).toString(),
              QStringLiteral("Parado <b>agora</b>"));
    EXPECT_FALSE(Evaluate(QStringLiteral("document.getElementById('again').hidden")).toBool());
    ASSERT_TRUE(PumpUntil([&] { return icecast.Listeners() == 0 && !form.RadioPlaying(); })) << icecast.Listeners();
    EXPECT_TRUE(form.StreamTitle().isEmpty());
    EXPECT_EQ(form.StationName(), form.cmbBoxRadio->currentText()); // none sent now
    form.PlayRadio();
    ASSERT_TRUE(WaitForState(QStringLiteral("playing"))) << PlayerState().toStdString();
    EXPECT_TRUE(PumpUntil([&] { return form.RadioPlaying() && icecast.Listeners() == 1; }));

    // A new page lets the old one's connection go.
    form.editAddress->setText(QStringLiteral("127.0.0.1:9"));
    form.bitBtnSETRemote->click();
    EXPECT_TRUE(PumpUntil([&] { return icecast.Listeners() == 0; })) << icecast.Listeners();
}

TEST_F(RadioTest, AnAddressThatNeverAnsweredFailsAtOnceWithTheReason)
{
    StreamServer server;
    ASSERT_TRUE(server.SetTracks({orvex::testing::kAssets + QStringLiteral("cancao.mp3")}));
    ASSERT_TRUE(server.Start(QHostAddress::LocalHost, 0));
    const quint16 closed = server.Port();
    server.Stop();
    TfrmOrvex& form = Form();
    form.editAddress->setText(QStringLiteral("127.0.0.1:%1/live").arg(closed));
    form.bitBtnSETRemote->click();
    ASSERT_TRUE(WaitForState(QStringLiteral("failed"))) << PlayerState().toStdString();
    // No series of retries, and the program's reason is on the page.
    EXPECT_EQ(Evaluate(QStringLiteral("orvexPlayer.tries")).toInt(), 0);
    EXPECT_TRUE(Evaluate(QStringLiteral("document.getElementById('detail').textContent")).toString()
                    .startsWith(QStringLiteral("The program could not open the stream (")));
    EXPECT_FALSE(form.RadioPlaying());

    // A server that takes the connection and never answers has the page's
    // while to answer, not a stall's.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    form.editAddress->setText(QStringLiteral("127.0.0.1:%1/live").arg(silent.serverPort()));
    form.bitBtnSETRemote->click();
    ASSERT_TRUE(WaitForState(QStringLiteral("failed"), 30000)) << PlayerState().toStdString();
    const QString detail = Evaluate(QStringLiteral("document.getElementById('detail').textContent")).toString();
    EXPECT_TRUE(detail.contains(QStringLiteral("did not answer within 10 s"))) << detail.toStdString();
}

TEST_F(RadioTest, AStreamThePageCannotFeedIsLeftToTheElement)
{
    // The server calls it MP3, but it is WAV: the media source the page
    // feeds finds nothing to play in it, and the next try lets the element
    // play it.
    const QString track = m_exeDir.filePath(QStringLiteral("tone.wav"));
    ASSERT_TRUE(orvex::testing::MakeWav(track, 20.0));
    StreamServer server;
    ASSERT_TRUE(SetTestStation(server, track));
    ASSERT_TRUE(WaitForState(QStringLiteral("playing"))) << PlayerState().toStdString();
    EXPECT_FALSE(Evaluate(QStringLiteral("orvexPlayer.fed")).toBool());
    EXPECT_TRUE(PlaysPast(0, 10000));
}

TEST_F(RadioTest, AnMmsAddressIsTriedOverHttpAndSaysSoWhenItFails)
{
    StreamServer server;
    TfrmOrvex& form = Form();
    form.RdButtonMMSMethod->setChecked(true);
    ASSERT_TRUE(SetTestStation(server, orvex::testing::kAssets + QStringLiteral("cancao.mp3"), QStringLiteral("/live")));
    ASSERT_TRUE(WaitForState(QStringLiteral("playing"))) << PlayerState().toStdString();
    EXPECT_EQ(Evaluate(QStringLiteral("orvexPlayer.address")).toString(),
              QStringLiteral("http://127.0.0.1:%1/live").arg(server.Port()));
    EXPECT_TRUE(PlaysPast(0, 10000));

    // Nobody answers: after its one try the page says it cannot play mms.
    QByteArray page = ReadFile(QStringLiteral("indexIIc.htm"));
    page.replace("NAME=\"MaxTries\" VALUE=\"8\"", "NAME=\"MaxTries\" VALUE=\"1\"");
    WriteFile(QStringLiteral("indexIIc.htm"), page);
    const quint16 closed = server.Port();
    server.Stop();
    form.editAddress->setText(QStringLiteral("127.0.0.1:%1/live").arg(closed));
    form.bitBtnSETRemote->click();
    ASSERT_TRUE(WaitForState(QStringLiteral("failed"))) << PlayerState().toStdString();
    EXPECT_TRUE(Evaluate(QStringLiteral("document.getElementById('detail').textContent")).toString()
                    .contains(QStringLiteral("cannot play mms://")));
}
