// The program's own CPU use while a track plays with the window open: the
// window in Local mode follows playback every 100 ms, the device plays in
// real time. Reported as a share of one core (the counter cpu_percent).
#include "BenchMain.h"

#include "Application.h"
#include "Unit1.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <sys/resource.h>

namespace {

double CpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop as the program does: idle between events.
void PumpFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void CpuWhileATrackPlays(benchmark::State& state)
{
    orvex::Application().SetExeFolder(QStringLiteral(ORVEX_BIN_DIR "/"));
    orvex::Application().OnException = [](const orvex::Exception&) {};
    orvex::TfrmOrvex form;
    form.show();
    form.rdButtonLOCALAudio->setChecked(true);
    const auto items = form.mp3List->findItems(QStringLiteral("arpejo.mp3"), Qt::MatchExactly);
    if (items.isEmpty()) {
        state.SkipWithError("arpejo.mp3 is not beside the program");
        return;
    }
    form.mp3List->setCurrentItem(items[0]);
    form.mp3ListClick();
    PumpFor(500); // let start-up settle
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        form.mp3Player->Play();
        QElapsedTimer timer;
        timer.start();
        const double before = CpuSeconds();
        PumpFor(4000);
        cpu = CpuSeconds() - before;
        wall = static_cast<double>(timer.elapsed()) / 1000.0;
        form.mp3Player->Stop();
        state.SetIterationTime(wall);
    }
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
    state.counters["followed_ms"] = form.trackBar->value();
}
BENCHMARK(CpuWhileATrackPlays)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

ORVEX_BENCHMARK_MAIN()
