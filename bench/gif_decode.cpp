// The whole GIF load from memory, ours (TGIFImage::LoadFromStream) against
// giflib's DGifSlurp, on the same in-memory files in one run: a 1000 x 1000
// picture of noise over gradients in 256 colours, a 2000 x 1500 picture of
// flat areas (long LZW strings) and a 100-frame 64 x 64 animation. Prints
// decoded megapixels per second for both and the ratio per file.
#include "GIFImage.h"
#include "GifWriter.h"
#include "Streams.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

using namespace giftest;

namespace {

struct TestFile {
    std::string Name;
    Bytes Data;
    std::int64_t Pixels = 0;
};

TestFile NoiseAndGradients()
{
    TestRandom random(1);
    GifWriter w;
    FrameSpec f = MakeFrame(1000, 1000, [&](int x, int y) {
        return (x / 4 + y / 8 + int(random.Next() % 24)) & 0xFF;
    });
    w.Header(1000, 1000, TestColors(256)).Frame(f).Trailer();
    return {"noise-1000x1000", w.Data(), 1000 * 1000};
}

TestFile FlatAreas()
{
    GifWriter w;
    FrameSpec f = MakeFrame(2000, 1500, [](int x, int y) {
        // Large rectangles, with a few stripes crossing them.
        const int area = (x / 250) * 7 + (y / 300) * 13;
        return (y % 500 < 3) ? 255 : (area * 11) & 0xFF;
    });
    w.Header(2000, 1500, TestColors(256)).Frame(f).Trailer();
    return {"flat-2000x1500", w.Data(), 2000 * 1500};
}

TestFile Animation()
{
    TestRandom random(2);
    GifWriter w;
    w.Header(64, 64, TestColors(256)).Loop(0);
    for (int i = 0; i < 100; ++i) {
        w.GraphicControl(1, 4, -1);
        w.Frame(MakeFrame(64, 64, [&](int x, int y) {
            const int d = (x - 32) * (x - 32) + (y - 32) * (y - 32);
            return ((d / 16 + i * 3) + int(random.Next() % 4)) & 0xFF;
        }));
    }
    w.Trailer();
    return {"animation-100x64x64", w.Data(), 100 * 64 * 64};
}

const std::vector<TestFile>& Files()
{
    static const std::vector<TestFile> files = {NoiseAndGradients(), FlatAreas(), Animation()};
    return files;
}

void OrvexLoad(benchmark::State& state, const TestFile* file)
{
    orvex::TMemoryStream stream(file->Data);
    orvex::TGIFImage image;
    for (auto _ : state) {
        stream.SetPosition(0);
        image.LoadFromStream(stream);
        benchmark::DoNotOptimize(image.Frames()[0].Pixels());
    }
    state.SetItemsProcessed(state.iterations() * file->Pixels);
}

struct MemoryInput {
    const Bytes* Data;
    std::size_t Position = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int count)
{
    auto* input = static_cast<MemoryInput*>(gif->UserData);
    const std::size_t n = std::min<std::size_t>(std::size_t(count), input->Data->size() - input->Position);
    std::memcpy(buffer, input->Data->data() + input->Position, n);
    input->Position += n;
    return int(n);
}

void GiflibSlurp(benchmark::State& state, const TestFile* file)
{
    for (auto _ : state) {
        MemoryInput input{&file->Data};
        int error = 0;
        GifFileType* gif = DGifOpen(&input, ReadFromMemory, &error);
        if (!gif || DGifSlurp(gif) != GIF_OK) {
            state.SkipWithError("giflib cannot read the file");
            break;
        }
        benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
        DGifCloseFile(gif, &error);
    }
    state.SetItemsProcessed(state.iterations() * file->Pixels);
}

// Collects the rates and prints the ratios after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            const auto it = run.counters.find("items_per_second");
            if (it != run.counters.end())
                m_rates[run.benchmark_name()] = it->second.value / 1e6;
        }
    }
    void PrintRatios() const
    {
        std::printf("\n%-22s %14s %14s %8s\n", "file", "orvex MPix/s", "giflib MPix/s", "ratio");
        for (const TestFile& file : Files()) {
            const auto ours = m_rates.find("OrvexLoad/" + file.Name);
            const auto theirs = m_rates.find("GiflibSlurp/" + file.Name);
            if (ours == m_rates.end() || theirs == m_rates.end())
                continue;
            std::printf("%-22s %14.1f %14.1f %7.2fx\n", file.Name.c_str(), ours->second, theirs->second,
                        ours->second / theirs->second);
        }
    }

private:
    std::map<std::string, double> m_rates;
};

} // namespace

int main(int argc, char** argv)
{
    for (const TestFile& file : Files()) {
        benchmark::RegisterBenchmark(("OrvexLoad/" + file.Name).c_str(), OrvexLoad, &file)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("GiflibSlurp/" + file.Name).c_str(), GiflibSlurp, &file)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
