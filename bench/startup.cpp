// Start-up to a shown window: build the window (its controls and the creation
// steps), show it and let it paint, then close it.
#include "BenchMain.h"

#include "Application.h"
#include "Unit1.h"


namespace {

void StartupToShownWindow(benchmark::State& state)
{
    // The program's own folder: tracks, template and pictures as shipped.
    orvex::Application().SetExeFolder(QStringLiteral(ORVEX_BIN_DIR "/"));
    // The window reports a missing picture support in a box; nobody is there to close it.
    orvex::Application().OnException = [](const orvex::Exception&) {};
    for (auto _ : state) {
        orvex::TfrmOrvex form;
        form.show();
        QApplication::processEvents();
        QApplication::sendPostedEvents();
        benchmark::DoNotOptimize(form.isVisible());
    }
}
BENCHMARK(StartupToShownWindow)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

ORVEX_BENCHMARK_MAIN()
