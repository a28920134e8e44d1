#include "WindowFixture.h"

#include "StreamServer.h"
#include "Unit1.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdio>

using namespace orvex;
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

    // Runs a script in the shown page and returns its value.
    QVariant Evaluate(const QString& script)
    {
        QVariant result;
        bool done = false;
        Form().WebBrowser1->View()->page()->runJavaScript(script, [&](const QVariant& value) {
            result = value;
            done = true;
        });
        PumpUntil([&] { return done; }, 5000);
        return result;
    }
    double AudioPosition()
    {
        return Evaluate(QStringLiteral("typeof orvexPlayer === 'undefined' ? -1 : orvexPlayer.audio.currentTime")).toDouble();
    }
    QString PlayerState()
    {
        return Evaluate(QStringLiteral("typeof orvexPlayer === 'undefined' ? '' : orvexPlayer.state")).toString();
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
    EXPECT_EQ(m_errors[0], QStringLiteral("Cannot open for reading \"%1\": No such file or directory")
                               .arg(ExePath(QStringLiteral("indexIIc.htm"))));
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
    form.RdButtonMMSMethod->setChecked(true);
    form.cmbBoxRadio->setCurrentIndex(7);
    form.cmbBoxRadioChange();
    EXPECT_EQ(form.cmbBoxRadio->currentText(), QStringLiteral("Globo AM (RJ)"));
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("198.51.100.7:8000"));
    EXPECT_TRUE(form.RdButtonHTTPMethod->isChecked());
    EXPECT_TRUE(ReadFile(QStringLiteral("indexII.htm")).contains("VALUE=\"http://198.51.100.7:8000\">"));

    // An mms entry, an entry without a scheme and one that names http later on.
    form.cmbBoxAddressRadio->setItemText(2, QStringLiteral("mms://h:1"));
    form.cmbBoxAddressRadio->setItemText(3, QStringLiteral("xyhost:9"));
    form.cmbBoxAddressRadio->setItemText(4, QStringLiteral("rtsp://a/http://b"));
    form.cmbBoxRadio->setCurrentIndex(2);
    form.cmbBoxRadioChange();
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("h:1"));
    EXPECT_TRUE(form.RdButtonMMSMethod->isChecked());
    EXPECT_TRUE(ReadFile(QStringLiteral("indexII.htm")).contains("VALUE=\"mms://h:1\">"));
    form.cmbBoxRadio->setCurrentIndex(3);
    form.cmbBoxRadioChange();
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("host:9"));
    EXPECT_TRUE(form.RdButtonMMSMethod->isChecked());
    form.cmbBoxRadio->setCurrentIndex(4);
    form.cmbBoxRadioChange();
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("a/http://b"));
    EXPECT_TRUE(form.RdButtonHTTPMethod->isChecked());
}

TEST_F(RadioTest, FreeTextInTheStationBoxEmptiesTheAddressAndChoosesMms)
{
    TfrmOrvex& form = Form();
    form.show();
    form.cmbBoxRadio->lineEdit()->clear();
    QTest::keyClicks(form.cmbBoxRadio->lineEdit(), QStringLiteral("Minha"));
    EXPECT_EQ(form.cmbBoxRadio->currentText(), QStringLiteral("Minha"));
    EXPECT_EQ(form.cmbBoxRadio->currentIndex(), -1);
    EXPECT_EQ(form.editAddress->text(), QString());
    EXPECT_TRUE(form.RdButtonMMSMethod->isChecked());
    EXPECT_TRUE(ReadFile(QStringLiteral("indexII.htm")).contains("VALUE=\"mms://\">"));
    // Typing a station's exact name picks it.
    form.cmbBoxRadio->lineEdit()->clear();
    QTest::keyClicks(form.cmbBoxRadio->lineEdit(), QStringLiteral("BH FM"));
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("bhfm.example.com:8080"));
    EXPECT_TRUE(form.RdButtonHTTPMethod->isChecked());
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
    form.BitBtnBackClick();
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
    EXPECT_FALSE(form.edtURLKeyPress(QLatin1Char('a')));
    WriteFile(QStringLiteral("other.htm"), "<html><body>other</body></html>");
    form.edtURL->show();
    form.edtURL->setText(ExePath(QStringLiteral("other.htm")));
    QTest::keyClick(form.edtURL, Qt::Key_Return);
    EXPECT_EQ(form.edtURL->text(), ExePath(QStringLiteral("other.htm"))); // the key did not reach the field
    ASSERT_TRUE(PumpUntil([&] { return form.WebBrowser1->LocationURL().endsWith(QStringLiteral("/other.htm")); }));
    // An empty location is handed on as empty.
    form.edtURL->clear();
    EXPECT_TRUE(form.edtURLKeyPress(QChar(13)));
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

TEST_F(RadioTest, ALocalStreamPlaysAndComesBackAfterADrop)
{
    StreamServer server;
    ASSERT_TRUE(server.SetTracks({orvex::testing::kAssets + QStringLiteral("escala.mp3"), orvex::testing::kAssets + QStringLiteral("arpejo.mp3")}));
    ASSERT_TRUE(server.Start(QHostAddress::LocalHost, 0));
    const quint16 port = server.Port();

    TfrmOrvex& form = Form();
    form.show();
    form.editAddress->setText(QStringLiteral("127.0.0.1:%1").arg(port));
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(form.bitBtnSETRemote, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return AudioPosition() > 0; }, 20000)) << PlayerState().toStdString();
    const qint64 toSound = clock.elapsed();
    std::printf("[ measured ] SET Station to first audio position: %lld ms\n", static_cast<long long>(toSound));
    RecordProperty("set_station_to_sound_ms", static_cast<int>(toSound));
    ASSERT_TRUE(PlaysPast(0, 10000));
    EXPECT_EQ(PlayerState(), QStringLiteral("playing"));

    // The server goes away: the page notices and keeps trying.
    server.Stop();
    ASSERT_TRUE(PumpUntil([&] { return PlayerState() == QStringLiteral("reconnecting"); }, 20000)) << PlayerState().toStdString();
    ASSERT_TRUE(server.Start(QHostAddress::LocalHost, port));
    ASSERT_TRUE(PumpUntil([&] {
        return Evaluate(QStringLiteral("orvexPlayer.plays")).toInt() >= 2 && PlayerState() == QStringLiteral("playing");
    }, 30000)) << PlayerState().toStdString();
    EXPECT_TRUE(PlaysPast(0, 10000));
    EXPECT_GE(server.Listeners(), 1);
}

TEST_F(RadioTest, AnMmsAddressIsTriedOverHttpAndSaysSoWhenItFails)
{
    StreamServer server;
    ASSERT_TRUE(server.SetTracks({orvex::testing::kAssets + QStringLiteral("cancao.mp3")}));
    ASSERT_TRUE(server.Start(QHostAddress::LocalHost, 0));
    TfrmOrvex& form = Form();
    form.RdButtonMMSMethod->setChecked(true);
    form.editAddress->setText(QStringLiteral("127.0.0.1:%1/live").arg(server.Port()));
    form.bitBtnSETRemote->click();
    ASSERT_TRUE(PlaysPast(0, 20000)) << PlayerState().toStdString();
    EXPECT_EQ(Evaluate(QStringLiteral("orvexPlayer.audio.src")).toString(),
              QStringLiteral("http://127.0.0.1:%1/live").arg(server.Port()));

    // Nobody answers: after its one try the page says it cannot play mms.
    QByteArray page = ReadFile(QStringLiteral("indexIIc.htm"));
    page.replace("NAME=\"MaxTries\" VALUE=\"8\"", "NAME=\"MaxTries\" VALUE=\"1\"");
    WriteFile(QStringLiteral("indexIIc.htm"), page);
    const quint16 closed = server.Port();
    server.Stop();
    form.editAddress->setText(QStringLiteral("127.0.0.1:%1/live").arg(closed));
    form.bitBtnSETRemote->click();
    ASSERT_TRUE(PumpUntil([&] { return PlayerState() == QStringLiteral("failed"); }, 20000)) << PlayerState().toStdString();
    EXPECT_TRUE(Evaluate(QStringLiteral("document.getElementById('detail').textContent")).toString()
                    .contains(QStringLiteral("cannot play mms://")));
}
