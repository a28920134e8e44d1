// The program as a media player on a private session bus (the test program
// runs itself under dbus-run-session), driven by playerctl as desktops do.
#include "WindowFixture.h"

#include "FolderChooser.h"
#include "Mp3Maker.h"
#include "Mpris.h"
#include "StreamServer.h"
#include "WindowMediaHost.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QProcess>
#include <QSettings>
#include <QWebEnginePage>
#include <QWebEngineView>

using namespace orvex;
using orvex::testing::PumpUntil;

namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

// Runs playerctl on the program's player; returns what it printed.
QString Playerctl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("playerctl"), QStringList{QStringLiteral("--player=orvex")} + arguments);
    EXPECT_TRUE(PumpUntil([&] { return process.state() == QProcess::NotRunning; }, 20000));
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// A second connection to the bus, as another program would have: what it
// asks goes through the bus, and it hears the player's signals.
class Client : public QObject {
    Q_OBJECT
public:
    Client() : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("test-client"))) {}
    ~Client() override { QDBusConnection::disconnectFromBus(QStringLiteral("test-client")); }

    void Listen(const QString& service)
    {
        m_bus.connect(service, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                      QStringLiteral("PropertiesChanged"), this, SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
        m_bus.connect(service, kPath, kPlayer, QStringLiteral("Seeked"), this, SLOT(Seeked(qlonglong)));
    }
    QDBusMessage Call(const QString& service, const QString& interface, const QString& method,
                      const QVariantList& arguments = {})
    {
        QDBusMessage call = QDBusMessage::createMethodCall(service, kPath, interface, method);
        call.setArguments(arguments);
        const QDBusPendingCall pending = m_bus.asyncCall(call);
        EXPECT_TRUE(PumpUntil([&] { return pending.isFinished(); }));
        return pending.reply();
    }
    QDBusConnection& Bus() { return m_bus; }

    std::vector<QVariantMap> changes;
    std::vector<qlonglong> seeks;

public slots:
    void PropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
    {
        if (interface == kPlayer)
            changes.push_back(changed);
    }
    void Seeked(qlonglong position) { seeks.push_back(position); }

private:
    QDBusConnection m_bus;
};

class FakeHost : public MediaHost {
public:
    State state;
    qint64 position = 0;
    QStringList calls;

    State CurrentState() override { return state; }
    qint64 PositionUs() override { return position; }
    void Play() override { calls << QStringLiteral("Play"); }
    void Pause() override { calls << QStringLiteral("Pause"); }
    void Stop() override { calls << QStringLiteral("Stop"); }
    void Next() override { calls << QStringLiteral("Next"); }
    void Previous() override { calls << QStringLiteral("Previous"); }
    void SeekTo(qint64 us) override
    {
        calls << QStringLiteral("SeekTo %1").arg(us);
        position = us;
    }
    void Raise() override { calls << QStringLiteral("Raise"); }
    void Quit() override { calls << QStringLiteral("Quit"); }
};

MediaHost::Track Song(const QString& key)
{
    return {key, QStringLiteral("Can\u00e7\u00e3o"), {QStringLiteral("Orvex")}, QStringLiteral("Testes"), 20'000'000};
}

// The bus side over a fake window.
class MprisFakeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.state.track = Song(QStringLiteral("one"));
        service = std::make_unique<MprisService>(host);
        ASSERT_EQ(service->BusName(), QStringLiteral("org.mpris.MediaPlayer2.orvex"));
        client.Listen(service->BusName());
    }
    QDBusMessage Call(const QString& method, const QVariantList& arguments = {})
    {
        return client.Call(service->BusName(), kPlayer, method, arguments);
    }
    QDBusObjectPath TrackId()
    {
        const QDBusMessage reply = client.Call(service->BusName(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                               QStringLiteral("Get"), {kPlayer, QStringLiteral("Metadata")});
        const QVariantMap metadata =
            qdbus_cast<QVariantMap>(reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>());
        return metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>();
    }

    FakeHost host;
    std::unique_ptr<MprisService> service;
    Client client;
};

TEST_F(MprisFakeTest, ASecondPlayerTakesAnInstanceName)
{
    QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
    FakeHost otherHost;
    {
        MprisService second(otherHost, QStringLiteral("orvex"), other);
        EXPECT_EQ(second.BusName(),
                  QStringLiteral("org.mpris.MediaPlayer2.orvex.instance%1").arg(QCoreApplication::applicationPid()));
    }
    EXPECT_FALSE(other.interface()->isServiceRegistered(
        QStringLiteral("org.mpris.MediaPlayer2.orvex.instance%1").arg(QCoreApplication::applicationPid())));
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
}

TEST_F(MprisFakeTest, CommandsReachTheWindowOnlyWhenTheyFit)
{
    using S = MediaHost::Status;
    struct Case {
        S status;
        bool canPlay, canPause, canGoNext, canGoPrevious;
        const char* method;
        const char* call; // "" for none
    };
    const Case cases[] = {
        {S::Stopped, true, true, false, false, "PlayPause", "Play"},
        {S::Playing, true, true, false, false, "PlayPause", "Pause"},
        {S::Paused, true, true, false, false, "PlayPause", "Play"},
        {S::Stopped, false, false, false, false, "PlayPause", ""},
        {S::Stopped, false, false, false, false, "Play", ""},
        {S::Playing, true, true, false, false, "Play", ""},
        {S::Paused, true, true, false, false, "Pause", ""},
        {S::Playing, true, false, false, false, "Pause", ""},
        {S::Stopped, true, true, false, false, "Stop", ""},
        {S::Paused, true, true, false, false, "Stop", "Stop"},
        {S::Playing, true, true, false, true, "Next", ""},
        {S::Playing, true, true, true, false, "Next", "Next"},
        {S::Playing, true, true, true, false, "Previous", ""},
        {S::Stopped, true, true, false, true, "Previous", "Previous"},
        {S::Playing, true, true, true, true, "OpenUri", ""},
    };
    for (const Case& c : cases) {
        host.state.status = c.status;
        host.state.canPlay = c.canPlay;
        host.state.canPause = c.canPause;
        host.state.canGoNext = c.canGoNext;
        host.state.canGoPrevious = c.canGoPrevious;
        host.calls.clear();
        const QString method = QString::fromLatin1(c.method);
        const QVariantList arguments =
            method == QLatin1String("OpenUri") ? QVariantList{QStringLiteral("file:///etc/passwd")} : QVariantList{};
        EXPECT_EQ(Call(method, arguments).type(), QDBusMessage::ReplyMessage) << c.method;
        EXPECT_EQ(host.calls.join(QLatin1Char(',')), QString::fromLatin1(c.call))
            << c.method << " in status " << static_cast<int>(c.status);
    }
}

TEST_F(MprisFakeTest, StatusAndMetadataReadAsPlayerctlShowsThem)
{
    host.state.status = MediaHost::Status::Paused;
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), QStringLiteral("Paused"));
    host.state.canPlay = true;
    const QStringList format = {QStringLiteral("metadata"), QStringLiteral("--format"),
                                QStringLiteral("{{xesam:title}}|{{xesam:artist}}|{{xesam:album}}|{{mpris:length}}|"
                                               "{{mpris:trackid}}")};
    EXPECT_EQ(Playerctl(format),
              QStringLiteral("Can\u00e7\u00e3o|Orvex|Testes|20000000|'/com/example/kelvara/Orvex/Track/1'"));
    host.state.track = {};
    EXPECT_EQ(Playerctl(format), QStringLiteral("||||'/org/mpris/MediaPlayer2/TrackList/NoTrack'"));
}

TEST_F(MprisFakeTest, EveryChangeButThePositionIsAnnounced)
{
    const auto announced = [&](const char* what) {
        const std::size_t before = client.changes.size();
        emit host.Changed();
        EXPECT_TRUE(PumpUntil([&] { return client.changes.size() > before; })) << what;
        return client.changes.size() > before ? client.changes.back().keys() : QStringList();
    };
    host.state.status = MediaHost::Status::Playing;
    EXPECT_EQ(announced("status"), QStringList{QStringLiteral("PlaybackStatus")});
    // A moved position alone sends nothing: the next signal carries the next change only.
    host.position = 5'000'000;
    emit host.Changed();
    host.state.canGoNext = true;
    EXPECT_EQ(announced("next"), QStringList{QStringLiteral("CanGoNext")});
    const QDBusObjectPath first = TrackId();
    host.state.track = Song(QStringLiteral("two"));
    host.state.track.title = QStringLiteral("Outra");
    EXPECT_EQ(announced("track"), QStringList{QStringLiteral("Metadata")});
    EXPECT_NE(TrackId(), first);
    EXPECT_EQ(client.changes.size(), 3u);
}

TEST_F(MprisFakeTest, PositionsThatDoNotFitAreIgnoredAndMovesAreReported)
{
    host.position = 1'000'000;
    host.state.canSeek = true;
    host.state.canGoNext = true;
    const QDBusObjectPath open = TrackId();
    struct Case {
        const char* what;
        const char* method;
        bool staleId;
        qlonglong value;
        const char* call;
    };
    const Case cases[] = {
        {"position within the track", "SetPosition", false, 5'000'000, "SeekTo 5000000"},
        {"position at the end", "SetPosition", false, 20'000'000, "SeekTo 20000000"},
        {"position past the end", "SetPosition", false, 20'000'001, ""},
        {"position before the start", "SetPosition", false, -1, ""},
        {"stale track id", "SetPosition", true, 5'000'000, ""},
        {"forward", "Seek", false, 2'000'000, "SeekTo 3000000"},
        {"back before the start", "Seek", false, -9'000'000, "SeekTo 0"},
        {"forward past the end", "Seek", false, 30'000'000, "Next"},
    };
    for (const Case& c : cases) {
        host.position = 1'000'000;
        host.calls.clear();
        client.seeks.clear();
        const QDBusObjectPath id = c.staleId ? QDBusObjectPath(QStringLiteral("/com/example/kelvara/Orvex/Track/0")) : open;
        const QVariantList arguments = QString::fromLatin1(c.method) == QLatin1String("Seek")
                                           ? QVariantList{c.value}
                                           : QVariantList{QVariant::fromValue(id), c.value};
        EXPECT_EQ(Call(QString::fromLatin1(c.method), arguments).type(), QDBusMessage::ReplyMessage) << c.what;
        EXPECT_EQ(host.calls.join(QLatin1Char(',')), QString::fromLatin1(c.call)) << c.what;
        if (host.calls.value(0).startsWith(QLatin1String("SeekTo"))) {
            EXPECT_TRUE(PumpUntil([&] { return !client.seeks.empty(); })) << c.what;
            EXPECT_EQ(client.seeks, std::vector<qlonglong>{host.position}) << c.what;
        }
    }
    // A player that cannot seek takes no position.
    host.state.canSeek = false;
    host.calls.clear();
    Call(QStringLiteral("SetPosition"), {QVariant::fromValue(open), qlonglong{5'000'000}});
    Call(QStringLiteral("Seek"), {qlonglong{1'000'000}});
    EXPECT_TRUE(host.calls.isEmpty()) << host.calls.join(QLatin1Char(',')).toStdString();
}

TEST_F(MprisFakeTest, RaiseAndQuitReachTheWindow)
{
    const QString root = QStringLiteral("org.mpris.MediaPlayer2");
    EXPECT_EQ(client.Call(service->BusName(), root, QStringLiteral("Raise")).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(client.Call(service->BusName(), root, QStringLiteral("Quit")).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(PumpUntil([&] { return host.calls.size() == 2; }));
    EXPECT_EQ(host.calls, (QStringList{QStringLiteral("Raise"), QStringLiteral("Quit")}));
}

// ---- the real window

class MprisWindowTest : public orvex::testing::WindowFixture {
protected:
    static void SetUpTestSuite()
    {
        s_music = new QTemporaryDir;
        // A tagged track and one without a tag; long enough not to end during a test.
        const QString tagged = s_music->filePath(QStringLiteral("tagged.mp3"));
        ASSERT_TRUE(orvex::testing::MakeMp3(tagged, 30.0));
        ASSERT_TRUE(orvex::testing::MakeMp3(s_music->filePath(QStringLiteral("plain.mp3")), 30.0));
        QFile file(tagged);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("TAG" + QByteArray("Can\xe7\xe3o").leftJustified(30, '\0') +
                   QByteArray("Orvex").leftJustified(30, '\0') + QByteArray("Testes").leftJustified(30, '\0') +
                   "2026" + QByteArray(30, '\0') + static_cast<char>(13));
    }
    static void TearDownTestSuite() { delete s_music; }

    void SetUp() override
    {
        WindowFixture::SetUp();
        FolderChooserHook = [](const QString&) { return s_music->path(); };
        TfrmOrvex& form = Form();
        form.show();
        m_errors.clear();
        host = std::make_unique<WindowMediaHost>(form);
        service = std::make_unique<MprisService>(*host);
        ASSERT_FALSE(service->BusName().isEmpty());
    }
    void TearDown() override
    {
        service.reset();
        host.reset();
        FolderChooserHook = nullptr;
        WindowFixture::TearDown();
    }
    void UseLocalMode()
    {
        Form().rdButtonLOCALAudio->setChecked(true);
        Form().bitBtnOpenFolder->click();
    }
    TMPModes Mode() { return Form().mp3Player->Opened() ? Form().mp3Player->Mode() : mdNotReady; }
    // Waits until the bar shows the state: Play's glyph and the device's mode.
    bool BarShows(bool playAllowed, TMPModes mode)
    {
        return PumpUntil([&] {
            return (Form().mp3Player->GlyphState(btPlay) != 1) == playAllowed && Mode() == mode;
        });
    }
    QString Metadata()
    {
        return Playerctl({QStringLiteral("metadata"), QStringLiteral("--format"),
                          QStringLiteral("{{xesam:title}}|{{xesam:artist}}|{{xesam:album}}|{{mpris:length}}")});
    }

    static inline QTemporaryDir* s_music = nullptr;
    std::unique_ptr<WindowMediaHost> host;
    std::unique_ptr<MprisService> service;
};

TEST_F(MprisWindowTest, PlayerctlDrivesTheLocalBar)
{
    UseLocalMode();
    TfrmOrvex& form = Form();
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), QStringLiteral("Stopped"));
    // Nothing is open: the bar takes no play.
    Playerctl({QStringLiteral("play-pause")});
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), QStringLiteral("Stopped"));

    Playerctl({QStringLiteral("next")});
    ASSERT_TRUE(PumpUntil([&] { return form.trackBar->maximum() != 0; }));
    const int taggedRow = form.mp3List->row(form.mp3List->findItems(QStringLiteral("tagged.mp3"), Qt::MatchExactly).value(0));
    if (form.mp3List->currentRow() != taggedRow) {
        Playerctl({QStringLiteral("next")});
        ASSERT_TRUE(PumpUntil([&] { return form.TrackPath().endsWith(QLatin1String("tagged.mp3")); }));
    }
    EXPECT_EQ(Metadata(), QStringLiteral("Can\u00e7\u00e3o|Orvex|Testes|%1").arg(form.trackBar->maximum() * 1000LL));

    Playerctl({QStringLiteral("play-pause")});
    ASSERT_TRUE(BarShows(false, mdPlaying));
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), QStringLiteral("Playing"));
    // The controls follow the playing track while the radio's mode shows.
    form.rdButtonSERVERAudio->setChecked(true);
    EXPECT_EQ(Metadata(), QStringLiteral("Can\u00e7\u00e3o|Orvex|Testes|%1").arg(form.trackBar->maximum() * 1000LL));
    Playerctl({QStringLiteral("play-pause")});
    ASSERT_TRUE(BarShows(true, mdPaused));
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), QStringLiteral("Paused"));
    form.rdButtonLOCALAudio->setChecked(true);
    Playerctl({QStringLiteral("play-pause")});
    ASSERT_TRUE(BarShows(false, mdPlaying));
    Playerctl({QStringLiteral("play-pause")});
    ASSERT_TRUE(BarShows(true, mdPaused));
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), QStringLiteral("Paused"));
    Playerctl({QStringLiteral("play-pause")});
    ASSERT_TRUE(BarShows(false, mdPlaying));
    // A position moves the play as the track bar does.
    Playerctl({QStringLiteral("position"), QStringLiteral("20")});
    EXPECT_TRUE(PumpUntil([&] { return form.mp3Player->Position() >= 20000; }));
    EXPECT_EQ(Mode(), mdPlaying);

    // The neighbouring track opens and the play goes on with it; without a
    // tag its file name is its title.
    Playerctl({QString::fromLatin1(taggedRow == 0 ? "next" : "previous")});
    ASSERT_TRUE(PumpUntil([&] { return form.TrackPath().endsWith(QLatin1String("plain.mp3")); }));
    ASSERT_TRUE(BarShows(false, mdPlaying));
    EXPECT_EQ(Metadata(), QStringLiteral("plain.mp3|||%1").arg(form.trackBar->maximum() * 1000LL));
    Playerctl({QStringLiteral("stop")});
    ASSERT_TRUE(BarShows(true, mdStopped));
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), QStringLiteral("Stopped"));
    EXPECT_TRUE(m_errors.empty()) << m_errors.front().toStdString();
}

TEST_F(MprisWindowTest, PlayerctlStepsThroughTheStations)
{
    TfrmOrvex& form = Form();
    const QString format = QStringLiteral("{{xesam:title}}");
    Playerctl({QStringLiteral("next")});
    ASSERT_TRUE(PumpUntil([&] { return form.cmbBoxRadio->currentIndex() == 1; }));
    EXPECT_EQ(form.editAddress->text(), QStringLiteral("192.0.2.10:8080/matelandia"));
    EXPECT_EQ(Playerctl({QStringLiteral("metadata"), QStringLiteral("--format"), format}),
              QStringLiteral("R\u00e1dio Matel\u00e2ndia-PR"));
    Playerctl({QStringLiteral("previous")});
    ASSERT_TRUE(PumpUntil([&] { return form.cmbBoxRadio->currentIndex() == 0; }));
    // The first station has none before it.
    Playerctl({QStringLiteral("previous")});
    Playerctl({QStringLiteral("next")});
    ASSERT_TRUE(PumpUntil([&] { return form.cmbBoxRadio->currentIndex() == 1; }));
}

TEST_F(MprisWindowTest, PlayerctlPlaysAndStopsTheRadio)
{
    StreamServer server;
    TfrmOrvex& form = Form();
    ASSERT_TRUE(SetTestStation(server, orvex::testing::kAssets + QStringLiteral("escala.mp3")));
    ASSERT_TRUE(PumpUntil([&] { return form.RadioPlaying(); }, 30000));
    // The controls follow the playing radio while Local mode shows.
    form.rdButtonLOCALAudio->setChecked(true);
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), QStringLiteral("Playing"));
    EXPECT_EQ(Playerctl({QStringLiteral("metadata"), QStringLiteral("--format"), QStringLiteral("{{xesam:album}}")}),
              form.StationName());
    // Pausing the radio stops it; playing starts it again.
    Playerctl({QStringLiteral("play-pause")});
    ASSERT_TRUE(PumpUntil([&] { return !form.RadioPlaying(); }, 30000));
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), QStringLiteral("Stopped"));
    form.rdButtonSERVERAudio->setChecked(true);
    Playerctl({QStringLiteral("play")});
    ASSERT_TRUE(PumpUntil([&] { return form.RadioPlaying(); }, 30000));
    Playerctl({QStringLiteral("stop")});
    ASSERT_TRUE(PumpUntil([&] { return !form.RadioPlaying(); }, 30000));
}

TEST_F(MprisWindowTest, ThePlayingPageLeavesTheProgramTheOnlyPlayerOnTheBus)
{
    StreamServer server;
    ASSERT_TRUE(SetTestStation(server, orvex::testing::kAssets + QStringLiteral("escala.mp3")));
    const auto playing = [&] {
        return Evaluate(QStringLiteral("typeof orvexPlayer !== 'undefined' && orvexPlayer.state === 'playing' && "
                                       "orvexPlayer.audio.currentTime > 0.5"))
            .toBool();
    };
    ASSERT_TRUE(PumpUntil(playing, 30000));
    const QStringList names = QDBusConnection::sessionBus().interface()->registeredServiceNames().value();
    EXPECT_EQ(names.filter(QStringLiteral("org.mpris.MediaPlayer2.")), QStringList{service->BusName()});
}

TEST_F(MprisWindowTest, ASecondStartHandsItsFileToTheRunningProgramAndEnds)
{
    QTemporaryDir music;
    const QString path = music.filePath(QStringLiteral("tom.flac"));
    ASSERT_TRUE(orvex::testing::MakeSample(path, 5.0));
    QTemporaryDir config;
    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    second.setProcessEnvironment(environment);
    second.setWorkingDirectory(music.path());
    // A path relative to where it was started.
    second.start(QStringLiteral(ORVEX_BIN_DIR "/orvex"), {QStringLiteral("tom.flac")});
    ASSERT_TRUE(PumpUntil([&] { return second.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    TfrmOrvex& form = Form();
    ASSERT_TRUE(PumpUntil([&] { return form.TrackPath() == path && Mode() == mdPlaying; }));
    EXPECT_TRUE(form.rdButtonLOCALAudio->isChecked());
    EXPECT_EQ(Playerctl({QStringLiteral("status")}), QStringLiteral("Playing"));

    // What it takes, and refusals over the bus as on the command line.
    Client client;
    const QDBusMessage schemes = client.Call(service->BusName(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                             QStringLiteral("Get"),
                                             {QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("SupportedUriSchemes")});
    EXPECT_EQ(schemes.arguments().value(0).value<QDBusVariant>().variant().toStringList(),
              (QStringList{QStringLiteral("file"), QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mms")}));
    client.Call(service->BusName(), kPlayer, QStringLiteral("OpenUri"), {QStringLiteral("javascript:alert(1)")});
    ASSERT_TRUE(PumpUntil([&] { return !m_boxes.empty(); }));
    EXPECT_EQ(m_boxes[0].text, QStringLiteral("Endere\u00e7o n\u00e3o suportado: javascript:alert(1)"));
    EXPECT_EQ(form.TrackPath(), path);
}

// The program itself, started on a file, and driven by playerctl.
TEST(MprisProgramTest, OrvexFilePlaysItAndPlayerctlSetsShuffleAndLoop)
{
    QTemporaryDir music, config;
    const QString path = music.filePath(QStringLiteral("tom.ogg"));
    ASSERT_TRUE(orvex::testing::MakeSample(path, 30.0));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(ORVEX_BIN_DIR "/orvex"), {path});
    const auto shows = [](const QStringList& arguments, const QString& expected) {
        return PumpUntil([&] { return Playerctl(arguments) == expected; }, 60000);
    };
    EXPECT_TRUE(shows({QStringLiteral("status")}, QStringLiteral("Playing")));
    EXPECT_EQ(Playerctl({QStringLiteral("metadata"), QStringLiteral("--format"), QStringLiteral("{{xesam:title}}")}),
              QStringLiteral("tom.ogg"));
    for (const char* loop : {"Playlist", "Track", "None"}) {
        Playerctl({QStringLiteral("loop"), QString::fromLatin1(loop)});
        EXPECT_TRUE(shows({QStringLiteral("loop")}, QString::fromLatin1(loop))) << loop;
    }
    Playerctl({QStringLiteral("shuffle"), QStringLiteral("On")});
    EXPECT_TRUE(shows({QStringLiteral("shuffle")}, QStringLiteral("On")));
    // Remembered as the list's menu remembers its choices.
    EXPECT_TRUE(QSettings(config.filePath(QStringLiteral("Orvex/Orvex.conf")), QSettings::IniFormat)
                    .value(QStringLiteral("LocalMusic/Shuffle"))
                    .toBool());
    program.terminate();
    if (!program.waitForFinished(10000))
        program.kill();
}

} // namespace

#include "MprisTest.moc"
