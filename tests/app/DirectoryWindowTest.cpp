#include "DirectoryWindow.h"

#include "FakeDirectory.h"
#include "IcecastServer.h"
#include "Mp3Maker.h"
#include "MyStations.h"
#include "ProgramFiles.h"
#include "Stations.h"
#include "WindowFixture.h"
#include "WindowMediaHost.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>

namespace orvex {
namespace {

using testing::FakeDirectory;
using testing::IcecastServer;
using testing::PumpUntil;

// The directory window over the tests' own directory, in the real window.
class DirectoryWindowTest : public testing::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        m_oldUrl = qgetenv("ORVEX_DIRECTORY_URL");
        ASSERT_TRUE(m_directory.Start());
        qputenv("ORVEX_DIRECTORY_URL", m_directory.Url().toLatin1());
    }
    void TearDown() override
    {
        WindowFixture::TearDown();
        qputenv("ORVEX_DIRECTORY_URL", m_oldUrl);
        QFile::remove(ProgramFiles::UserDataFolder() + QStringLiteral("stations.json"));
    }
    DirectoryWindow& OpenDirectory()
    {
        Form().show();
        Form().ShowDirectory();
        return *Form().DirectoryView;
    }
    bool Shows(DirectoryWindow& window, const QString& name)
    {
        return PumpUntil([&] {
            return !window.Shown().isEmpty() && std::all_of(window.Shown().cbegin(), window.Shown().cend(),
                                                            [&](const DirectoryStation& s) { return s.name.contains(name); });
        });
    }
    bool PagePlays(const QString& address)
    {
        const QString script = QStringLiteral("typeof orvexPlayer !== 'undefined' && orvexPlayer.given === '%1' && "
                                              "orvexPlayer.state === 'playing'").arg(address);
        return PumpUntil([&] { return Evaluate(script).toBool(); }, 20000);
    }

    QByteArray m_oldUrl;
    FakeDirectory m_directory{300};
};

TEST_F(DirectoryWindowTest, FindPlayKeepAndPickItFromTheStationBoxAfterARestart)
{
    const QString track = m_exeDir.filePath(QStringLiteral("live.mp3"));
    ASSERT_TRUE(testing::MakeMp3(track, 6.0));
    IcecastServer icecast;
    ASSERT_TRUE(icecast.Start(track)) << icecast.Error().toStdString();
    const QString stream = QStringLiteral("http://") + icecast.Address() + QStringLiteral("/orvex.mp3");
    m_directory.PointAt(stream, 10);

    // The window opens with its search field focused, on the most voted.
    DirectoryWindow& window = OpenDirectory();
    ASSERT_TRUE(PumpUntil([&] { return window.SearchField->hasFocus() && window.Shown().size() == 100; }));
    EXPECT_TRUE(m_directory.Requests.filter(QLatin1String("/json/stations/search")).value(0).contains(QLatin1String("order=votes")));
    QTest::keyClicks(window.SearchField, QStringLiteral("Alfa 40"));
    ASSERT_TRUE(Shows(window, QStringLiteral("Alfa 40")));
    ASSERT_EQ(window.Shown().size(), 1);
    const QString name = window.Shown()[0].name;

    // Down, Enter: it plays in the main window, the click is counted, and
    // the window stays with its selection.
    QTest::keyClick(window.SearchField, Qt::Key_Down);
    QTest::keyClick(window.Results, Qt::Key_Return);
    ASSERT_TRUE(PumpUntil([&] { return m_directory.Clicks(FakeDirectory::Uuid(40)) == 1; }));
    ASSERT_TRUE(PagePlays(stream));
    EXPECT_EQ(Form().editAddress->text(), icecast.Address() + QStringLiteral("/orvex.mp3"));
    EXPECT_EQ(Form().cmbBoxRadio->currentText(), name);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.Selected()->uuid, FakeDirectory::Uuid(40));

    // Ctrl+D keeps it; Delete takes it out; Ctrl+D again.
    QTest::keyClick(window.Results, Qt::Key_D, Qt::ControlModifier);
    ASSERT_TRUE(Form().KeptStations->Contains(FakeDirectory::Uuid(40)));
    QTest::keyClick(window.Results, Qt::Key_Delete);
    EXPECT_FALSE(Form().KeptStations->Contains(FakeDirectory::Uuid(40)));
    QTest::keyClick(window.Results, Qt::Key_D, Qt::ControlModifier);
    QTest::keyClick(window.Results, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());

    // After a restart it follows the eleven in the station box, and plays.
    m_form.reset();
    QComboBox* box = Form().cmbBoxRadio;
    Form().show();
    ASSERT_EQ(box->count(), static_cast<int>(kStations.size()) + 1);
    EXPECT_EQ(box->itemText(11), name);
    EXPECT_EQ(Form().cmbBoxAddressRadio->itemText(11), stream);
    box->setCurrentIndex(11);
    Form().cmbBoxRadioChange();
    EXPECT_TRUE(PagePlays(stream));
}

TEST_F(DirectoryWindowTest, AnOlderAnswerNeverReplacesANewerOne)
{
    m_directory.HoldSearches = true;
    DirectoryWindow& window = OpenDirectory();
    for (const char* name : {"Brisa", "Sol"}) {
        window.SearchField->setText(QString::fromLatin1(name));
        window.SearchNow();
    }
    ASSERT_TRUE(PumpUntil([&] { return m_directory.Held() == 3; }));
    m_directory.Release(2);
    ASSERT_TRUE(Shows(window, QStringLiteral("Sol")));
    m_directory.Release(1);
    m_directory.Release(0);
    ASSERT_TRUE(PumpUntil([&] { return Form().Directory->Pending() == 0; }));
    EXPECT_TRUE(Shows(window, QStringLiteral("Sol")));
}

TEST_F(DirectoryWindowTest, MyStationsFollowTheElevenAndAnHttpsOneKeepsItsScheme)
{
    const QString address = QStringLiteral("https://127.0.0.1:1/segura");
    Form().KeptStations->Add({QString(), QStringLiteral("Segura"), address, {}, {}, false});
    Form().cmbBoxRadio->setCurrentIndex(10);
    Form().cmbBoxRadioChange();
    // The desktop's Next goes on from the eleventh into My stations.
    WindowMediaHost host(Form());
    EXPECT_TRUE(host.CurrentState().canGoNext);
    for (bool fromDesktop : {true, false}) {
        SCOPED_TRACE(fromDesktop ? "the desktop's Next" : "played from the directory");
        Form().editAddress->clear();
        if (fromDesktop)
            host.Next();
        else
            Form().PlayStation(QStringLiteral("Segura"), address);
        ASSERT_TRUE(PumpUntil([&] { return Form().editAddress->text() == address; }));
        EXPECT_TRUE(ReadFile(QStringLiteral("indexII.htm")).contains("VALUE=\"" + address.toLatin1() + "\">"));
        EXPECT_EQ(Form().cmbBoxRadio->currentIndex(), 11);
        EXPECT_FALSE(host.CurrentState().canGoNext);
        EXPECT_TRUE(host.CurrentState().canGoPrevious);
    }
}

TEST_F(DirectoryWindowTest, ThePageOffersTheDirectoryAndAnUnreachableOneSaysSo)
{
    qputenv("ORVEX_DIRECTORY_URL", "http://127.0.0.1:1");
    // Nothing plays here: the failure offers the directory with the same control.
    Form().show();
    Form().editAddress->setText(QStringLiteral("127.0.0.1:1"));
    Form().bitBtnSETRemote->click();
    ASSERT_TRUE(PumpUntil([&] {
        return Evaluate(QStringLiteral("typeof orvexPlayer !== 'undefined' && orvexPlayer.state === 'failed' && "
                                       "!document.getElementById('directory-offer').hidden"))
            .toBool();
    }, 20000));
    Evaluate(QStringLiteral("document.getElementById('directory-offered').click()"));
    ASSERT_TRUE(PumpUntil([&] { return Form().DirectoryView && Form().DirectoryView->isVisible(); }));
    QLabel* status = Form().DirectoryView->StatusLine;
    EXPECT_TRUE(PumpUntil([&] {
        return status->text().startsWith(QStringLiteral("O diret\u00f3rio de esta\u00e7\u00f5es n\u00e3o respondeu: "));
    })) << status->text().toStdString();
    // The window goes on: the control beside Record opens it again.
    Form().DirectoryView->close();
    Evaluate(QStringLiteral("document.getElementById('directory').click()"));
    EXPECT_TRUE(PumpUntil([&] { return Form().DirectoryView->isVisible(); }));
}

} // namespace
} // namespace orvex
