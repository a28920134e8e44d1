// The media device: opening an MP3 until it is ready to play, and one
// position query (the window asks twice every 100 ms while a track plays).
#include "BenchMain.h"

#include "MediaPlayer.h"


namespace {

const QString kTrack = QStringLiteral(ORVEX_SOURCE_DIR "/assets/arpejo.mp3");

void OpenToReady(benchmark::State& state)
{
    orvex::TMediaPlayer player;
    player.FileName = kTrack;
    for (auto _ : state) {
        player.Open();
        benchmark::DoNotOptimize(player.Length());
        state.PauseTiming();
        player.Close();
        state.ResumeTiming();
    }
}
BENCHMARK(OpenToReady)->Unit(benchmark::kMillisecond);

void PositionQueryWhilePlaying(benchmark::State& state)
{
    orvex::TMediaPlayer player;
    player.FileName = kTrack;
    player.Open();
    player.Play();
    for (auto _ : state)
        benchmark::DoNotOptimize(player.Position());
    player.Close();
}
BENCHMARK(PositionQueryWhilePlaying)->Unit(benchmark::kMicrosecond);

} // namespace

ORVEX_BENCHMARK_MAIN()
