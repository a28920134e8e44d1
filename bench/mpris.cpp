// From a play-pause on the session bus to the player bar's change: through
// playerctl (a process started per press, as a desktop's key binding does)
// and as one call from a program already on the bus. Runs itself on a
// private bus (dbus-run-session), in Local mode on the first sample track.
#include "Application.h"
#include "Mci.h"
#include "Mpris.h"
#include "OwnSessionBus.h"
#include "Picture.h"
#include "Unit1.h"
#include "WebBrowser.h"
#include "WindowMediaHost.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QProcess>
#include <benchmark/benchmark.h>
#include <functional>

namespace {

using namespace orvex;

// Times press() until the bar's Play button changes between taking and
// refusing clicks (it refuses while playing, takes them when paused).
void TimeToBar(benchmark::State& state, const std::function<void()>& press)
{
    Application().MessageBoxHook = [](const MessageBoxRecord&) {};
    TfrmOrvex form;
    form.show();
    form.rdButtonLOCALAudio->setChecked(true);
    if (!form.OpenTrackAt(0)) {
        state.SkipWithError("no sample track to open");
        return;
    }
    WindowMediaHost host(form);
    MprisService service(host);
    const auto playAllowed = [&] { return form.mp3Player->GlyphState(btPlay) != 1; };
    for (auto _ : state) {
        const bool before = playAllowed();
        QElapsedTimer timer;
        timer.start();
        press();
        while (playAllowed() == before && timer.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (playAllowed() == before)
            state.SkipWithError("the bar did not change");
    }
    form.mp3Player->Close();
}

void PlayerctlPlayPauseToBar(benchmark::State& state)
{
    TimeToBar(state, [] {
        QProcess::startDetached(QStringLiteral("playerctl"), {QStringLiteral("--player=orvex"), QStringLiteral("play-pause")});
    });
}
BENCHMARK(PlayerctlPlayPauseToBar)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BusCallPlayPauseToBar(benchmark::State& state)
{
    QDBusConnection client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("bench"));
    TimeToBar(state, [&] {
        client.asyncCall(QDBusMessage::createMethodCall(QStringLiteral("org.mpris.MediaPlayer2.orvex"),
                                                        QStringLiteral("/org/mpris/MediaPlayer2"),
                                                        QStringLiteral("org.mpris.MediaPlayer2.Player"),
                                                        QStringLiteral("PlayPause")));
    });
    QDBusConnection::disconnectFromBus(QStringLiteral("bench"));
}
BENCHMARK(BusCallPlayPauseToBar)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
    // Never on the desktop's own bus.
    if (!orvex::testing::OnOwnSessionBus())
        return orvex::testing::RestartOnOwnSessionBus(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("ORVEX_AUDIO_SINK"))
        qputenv("ORVEX_AUDIO_SINK", "fakesink");
    orvex::PrepareBrowserEngine();
    QApplication app(argc, argv);
    orvex::RegisterStandardPictureFormats();
    orvex::MciRegisterStandardDrivers();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
