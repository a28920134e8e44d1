// The station directory's window against the tests' fake directory of
// 50,000 stations: from the search going out (the wait after the last key
// is over) to its 100 results shown with their favicons cached; the window
// thread's longest stall while 100 favicons load; the program's private
// memory after browsing 20 pages.
#include "BenchMain.h"

#include "DirectoryClient.h"
#include "DirectoryWindow.h"
#include "FakeDirectory.h"
#include "Favicons.h"
#include "MyStations.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QGuiApplication>
#include <QProcess>
#include <QTimer>
#include <malloc.h>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>

namespace {

using namespace orvex;

bool PumpUntil(const std::function<bool()>& done, int milliseconds = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// The directory, its client and the window, over a cache of their own. The
// directory is this program started again as a server (--serve): its work
// and memory are not the window's, as with a server elsewhere.
struct Setup {
    Setup()
    {
        qputenv("XDG_CACHE_HOME", QFile::encodeName(folder.path() + QStringLiteral("/cache")));
        server.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve")});
        server.waitForReadyRead(60000);
        const QByteArray port = server.readLine().trimmed();
        qputenv("ORVEX_DIRECTORY_URL", "http://127.0.0.1:" + port);
        window = std::make_unique<DirectoryWindow>(client, kept);
        QObject::connect(window.get(), &DirectoryWindow::ResultsShown, [this](int) { ++shown; });
    }
    ~Setup()
    {
        window.reset();
        server.kill();
        server.waitForFinished();
    }
    // Searches name at once and waits for the page and its favicons.
    bool Search(const QString& name)
    {
        const int before = shown;
        window->SearchField->setText(name);
        window->SearchNow();
        return PumpUntil([&] { return shown > before; }) &&
               PumpUntil([&] { return window->Pictures->Fetching() == 0 && window->Pictures->Waiting() == 0; });
    }
    QTemporaryDir folder;
    QProcess server;
    DirectoryClient client;
    MyStations kept{folder.path() + QStringLiteral("/stations.json")};
    std::unique_ptr<DirectoryWindow> window;
    int shown = 0;
};

// The window thread's own processor time, in ms.
double ThreadCpuMs()
{
    timespec now = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void SearchToResultsShown(benchmark::State& state)
{
    Setup setup;
    setup.window->show();
    const QString names[] = {QStringLiteral("Alfa 1"), QStringLiteral("Sol 2")};
    for (const QString& name : names)
        setup.Search(name); // the favicons come into the cache
    int turn = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double cpuBefore = ThreadCpuMs();
        const int before = setup.shown;
        setup.window->SearchField->setText(names[turn++ % 2]);
        QElapsedTimer timer;
        timer.start();
        setup.window->SearchNow();
        if (!PumpUntil([&] { return setup.shown > before; })) {
            state.SkipWithError("no results");
            return;
        }
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        cpu += ThreadCpuMs() - cpuBefore;
        if (setup.window->Shown().size() != 100)
            state.SkipWithError("not a full page");
    }
    state.counters["window_cpu_ms"] = cpu / static_cast<double>(state.iterations());
}
BENCHMARK(SearchToResultsShown)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

void LongestStallWhileFaviconsLoad(benchmark::State& state)
{
    double worst = 0;
    for (auto _ : state) {
        Setup setup; // an empty favicon cache
        setup.window->show();
        const int before = setup.shown;
        setup.window->SearchField->setText(QStringLiteral("Vale"));
        setup.window->SearchNow();
        PumpUntil([&] { return setup.shown > before; });
        // The window thread's gaps between 1 ms ticks while the pictures come.
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, longest = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        tick.start(1);
        PumpUntil([&] { return setup.window->Pictures->Fetching() == 0 && setup.window->Pictures->Waiting() == 0; });
        worst = std::max(worst, static_cast<double>(longest) / 1e6);
    }
    state.counters["stall_ms"] = worst;
}
BENCHMARK(LongestStallWhileFaviconsLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

// The process's private memory (clean and dirty), in MB.
double PrivateMegabytes()
{
    QFile file(QStringLiteral("/proc/self/smaps_rollup"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    double kb = 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith("Private_Clean:") || line.startsWith("Private_Dirty:"))
            kb += line.mid(14).trimmed().split(' ').value(0).toDouble();
    return kb / 1024;
}

void MemoryAfterTwentyPages(benchmark::State& state)
{
    Setup setup;
    setup.window->show();
    setup.Search(QString());
    malloc_trim(0);
    const double before = PrivateMegabytes();
    for (auto _ : state) {
        for (int page = 0; page < 20; ++page) {
            const int shown = setup.shown;
            setup.window->More();
            PumpUntil([&] { return setup.shown > shown; });
            PumpUntil([&] { return setup.window->Pictures->Fetching() == 0 && setup.window->Pictures->Waiting() == 0; });
        }
    }
    state.counters["rows"] = static_cast<double>(setup.window->Shown().size());
    malloc_trim(0);
    state.counters["growth_MB"] = PrivateMegabytes() - before;
}
BENCHMARK(MemoryAfterTwentyPages)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 1 && std::strcmp(argv[1], "--serve") == 0) {
        QGuiApplication app(argc, argv);
        orvex::testing::FakeDirectory directory(50000);
        if (!directory.Start())
            return 1;
        std::printf("%d\n", directory.Port());
        std::fflush(stdout);
        return app.exec();
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
