#include "WindowFixture.h"

#include "History.h"
#include "HistoryWindow.h"
#include "IcecastServer.h"
#include "Mp3Maker.h"
#include "SongHistory.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace orvex;
using orvex::testing::IcecastServer;
using orvex::testing::PumpUntil;

namespace {

HistoryEntry Song(const QString& title, int minute = 0)
{
    return {QDateTime(QDate(2026, 5, 1), QTime(20, minute), Qt::OffsetFromUTC, -3 * 3600), QStringLiteral("FM"),
            QStringLiteral("http://127.0.0.1:1/fm"), title, QString()};
}

QStringList Titles(const SongHistory& history)
{
    QStringList titles;
    for (const HistoryEntry& entry : history.Entries())
        titles << entry.title;
    return titles;
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

// Damaged files: the readable lines load, the rest is skipped, and what is
// appended next is read back with them.
TEST(SongHistoryFile, LoadsReadableLinesAndAppendsAfterAnything)
{
    const QByteArray good = SongHistory::EntryLine(Song(QStringLiteral("Old song")));
    QByteArray huge(50 * 1024 * 1024, 'x');
    huge += '\n' + good;
    const struct {
        const char* name;
        QByteArray content;
        QStringList before;
    } cases[] = {
        {"missing", QByteArray(), {}},
        {"empty", "", {}},
        {"not json", "<html>\n\x01\x02\xff\n[1,2]\n{\"title\": 5}\n", {}},
        {"cut mid-line", good + good.left(20), {"Old song"}},
        {"mixed", "garbage\n" + good + "{\n", {"Old song"}},
        {"50 MB", huge, {"Old song"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("orvex/history.jsonl"));
        if (qstrcmp(c.name, "missing") != 0) {
            QDir().mkpath(dir.filePath(QStringLiteral("orvex")));
            WriteBytes(path, c.content);
        }
        SongHistory history(path);
        EXPECT_EQ(Titles(history), c.before);
        ASSERT_TRUE(history.Add(Song(QStringLiteral("New <b>song</b>"), 5))) << history.Error().toStdString();
        SongHistory again(path);
        EXPECT_EQ(Titles(again), QStringList{QStringLiteral("New <b>song</b>")} + c.before);
    }
}

// The newest 2,000 are kept across runs; a recorded song's file is one entry;
// clearing empties the file.
TEST(SongHistoryFile, KeepsTheNewestAndUpdatesAndClears)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.jsonl"));
    {
        QByteArray lines;
        for (int i = 0; i < 2100; ++i)
            lines += SongHistory::EntryLine(Song(QStringLiteral("Song %1").arg(i)));
        WriteBytes(path, lines);
    }
    SongHistory history(path);
    ASSERT_EQ(history.Entries().size(), SongHistory::kMaxEntries);
    EXPECT_EQ(history.Entries().first().title, QStringLiteral("Song 2099"));
    EXPECT_EQ(history.Entries().last().title, QStringLiteral("Song 100"));
    // Enough appends to have the file written anew, bounded again.
    for (int i = 0; i < SongHistory::kMaxEntries; ++i)
        ASSERT_TRUE(history.Add(Song(QStringLiteral("More %1").arg(i), i % 60)));
    ASSERT_TRUE(history.SetNewestFile(QStringLiteral("/music/More.mp3")));
    EXPECT_LE(QFileInfo(path).size(), 3 * SongHistory::kMaxEntries * SongHistory::EntryLine(Song("More 1999")).size());
    SongHistory reread(path);
    ASSERT_EQ(reread.Entries().size(), SongHistory::kMaxEntries);
    EXPECT_EQ(reread.Entries().first().file, QStringLiteral("/music/More.mp3"));
    EXPECT_EQ(reread.Entries().at(1).title, QStringLiteral("More 1998"));
    EXPECT_EQ(reread.Entries().first().time, Song(QString(), 1999 % 60).time);
    ASSERT_TRUE(reread.Clear());
    EXPECT_TRUE(SongHistory(path).Entries().isEmpty());
}

// A full disk fails the write, said once, and the entry stays for the run.
TEST(SongHistoryFile, SaysOnceThatAFullDiskTakesNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.jsonl"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), path));
    SongHistory history(path);
    QSignalSpy failed(&history, &SongHistory::WriteFailed);
    EXPECT_FALSE(history.Add(Song(QStringLiteral("One"))));
    EXPECT_FALSE(history.Add(Song(QStringLiteral("Two"), 1)));
    EXPECT_EQ(failed.size(), 1);
    EXPECT_EQ(Titles(history), (QStringList{QStringLiteral("Two"), QStringLiteral("One")}));
}

TEST(SongHistorySearch, PercentEncodesTheTitleIntoTheAddress)
{
    EXPECT_EQ(RadioHistory::SearchAddress(QStringLiteral("AC/DC - \"Back\" & <b>é</b> 100%")),
              QStringLiteral("https://duckduckgo.com/?q=AC%2FDC%20-%20%22Back%22%20%26%20%3Cb%3E%C3%A9%3C%2Fb%3E%20100%25"));
}

namespace {

class HistoryWindowTest : public orvex::testing::WindowFixture {};

} // namespace

// Titles from a real station reach the file with station, address and time;
// a new run reads them back into its window, which filters, copies and plays
// the station again.
TEST_F(HistoryWindowTest, KeepsTheStationsTitlesAcrossARestart)
{
    QStringList tracks;
    for (int i = 1; i <= 2; ++i) {
        const QString track = ExePath(QStringLiteral("track%1.mp3").arg(i));
        ASSERT_TRUE(orvex::testing::MakeMp3(track, 2.0));
        ASSERT_TRUE(orvex::testing::TagTitle(track, QStringLiteral("Artist %1 - Song <%1>").arg(i)));
        tracks << track;
    }
    IcecastServer icecast;
    ASSERT_TRUE(icecast.Start(tracks)) << icecast.Error().toStdString();
    const QString path = SongHistory::DefaultPath();
    ASSERT_TRUE(path.startsWith(qEnvironmentVariable("XDG_DATA_HOME"))) << path.toStdString();
    QFile::remove(path);

    {
        TfrmOrvex& form = Form();
        form.show();
        form.editAddress->setText(icecast.Address());
        form.bitBtnSETRemote->click();
        SongHistory& store = form.History->Store();
        ASSERT_TRUE(PumpUntil([&] { return store.Entries().size() >= 2; }, 60000));
        const HistoryEntry& entry = store.Entries().first();
        EXPECT_EQ(entry.address, QStringLiteral("http://") + icecast.Address());
        EXPECT_EQ(entry.station, QString::fromUtf8(orvex::testing::kStationName));
        EXPECT_LE(qAbs(entry.time.secsTo(QDateTime::currentDateTime())), 60);
        // The page's control opens the window.
        ASSERT_TRUE(PumpUntil([&] { return Evaluate(QStringLiteral("!!document.getElementById('history')")).toBool(); }));
        Evaluate(QStringLiteral("document.getElementById('history').click(); true"));
        ASSERT_TRUE(PumpUntil([&] { return form.History->Window() && form.History->Window()->isVisible(); }));
        form.StopRadio(QStringLiteral("test"));
    }
    m_form.reset();

    TfrmOrvex& form = Form();
    // The previous run's songs, newest first, whatever the station plays now.
    const QStringList titles = Titles(form.History->Store());
    ASSERT_GE(titles.size(), 2);
    EXPECT_TRUE(titles.contains(QStringLiteral("Artist 1 - Song <1>")));
    EXPECT_TRUE(titles.contains(QStringLiteral("Artist 2 - Song <2>")));
    HistoryWindow* window = form.History->ShowWindow();
    window->Filter->setText(QStringLiteral("song <2"));
    ASSERT_EQ(window->ShownRows(), 1);
    window->Table->selectAll();
    window->CopySelected();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Artist 2 - Song <2>"));
    ASSERT_TRUE(window->ListenButton->isEnabled());
    form.rdButtonLOCALAudio->setChecked(true);
    form.editAddress->setText(QStringLiteral("192.0.2.1:9"));
    window->ListenButton->click();
    EXPECT_TRUE(form.rdButtonSERVERAudio->isChecked());
    EXPECT_EQ(form.StationAddress(), QStringLiteral("http://") + icecast.Address());

    // Cleared only once the question is answered yes.
    for (const bool answer : {false, true}) {
        RadioHistory::ConfirmHook = [answer](const QString&) { return answer; };
        window->ClearButton->click();
        EXPECT_EQ(form.History->Store().Entries().isEmpty(), answer);
    }
    RadioHistory::ConfirmHook = nullptr;
    EXPECT_EQ(window->Table->rowCount(), 0);
}
