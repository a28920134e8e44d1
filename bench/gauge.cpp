// One frame of the main window's gauge (579 x 17, bar and percentage), and
// one frame of the media player bar: what the window redraws while a track plays.
#include "BenchMain.h"

#include "Gauge.h"
#include "MediaPlayer.h"


namespace {

void GaugeFrame(benchmark::State& state)
{
    orvex::TGauge gauge;
    gauge.resize(579, 17);
    gauge.SetBackColor(orvex::clBlack);
    gauge.SetForeColor(orvex::clHighlight);
    gauge.Font.Height = -19;
    gauge.SetProgress(42);
    for (auto _ : state)
        benchmark::DoNotOptimize(gauge.Render());
}
BENCHMARK(GaugeFrame)->Unit(benchmark::kMicrosecond);

void PlayerBarFrame(benchmark::State& state)
{
    orvex::TMediaPlayer bar;
    bar.resize(85, 30);
    bar.SetVisibleButtons(orvex::Bit(orvex::btPlay) | orvex::Bit(orvex::btPause) | orvex::Bit(orvex::btStop));
    for (auto _ : state)
        benchmark::DoNotOptimize(bar.Render());
}
BENCHMARK(PlayerBarFrame)->Unit(benchmark::kMicrosecond);

} // namespace

ORVEX_BENCHMARK_MAIN()
