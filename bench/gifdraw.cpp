// GIF frame bitmaps and drawing: building the bitmap and mask of a large
// transparent frame (plain and dithered), and drawing a cached 64 x 64
// transparent frame stretched to 55 x 55 through its mask, as each of the
// window's two loudspeaker images does for every frame.
#include "GIFImage.h"
#include "GifWriter.h"
#include "Streams.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

namespace {

using namespace orvex;
using namespace giftest;

// A size x size frame of 16 colours with a see-through index on about a
// tenth of its pixels, in runs as real pictures have them.
std::unique_ptr<TGIFImage> TransparentPicture(int size, GifPaintOptions options)
{
    std::vector<Rgb> colors;
    for (int i = 0; i < 16; ++i)
        colors.push_back({static_cast<std::uint8_t>(i * 17), static_cast<std::uint8_t>(255 - i * 13),
                          static_cast<std::uint8_t>((i * 71) % 256)});
    GifWriter w;
    w.Header(size, size, colors).GraphicControl(0, 10, /*transparentIndex=*/15);
    w.Frame(MakeFrame(size, size, [](int x, int y) { return (x / 7 + y / 5) % 10 == 0 ? 15 : (x / 3 + y) % 15; }));
    w.Trailer();
    TMemoryStream stream(w.Data());
    auto image = std::make_unique<TGIFImage>();
    image->PaintOptions = options;
    image->LoadFromStream(stream);
    return image;
}

void Build(benchmark::State& state, GifPaintOptions options)
{
    auto image = TransparentPicture(1000, options);
    TGIFSubImage& frame = image->Frames()[0];
    for (auto _ : state) {
        frame.FreeBitmap();
        frame.FreeMask();
        benchmark::DoNotOptimize(frame.FrameBitmap());
    }
    if (!frame.TransparencyMask())
        state.SkipWithError("no mask was built");
    state.SetItemsProcessed(state.iterations() * 1000 * 1000);
}

void BuildTransparentFrame1000(benchmark::State& state)
{
    Build(state, GifPaintOptions{GifPaintOption::DrawTransparent});
}
BENCHMARK(BuildTransparentFrame1000)->Unit(benchmark::kMillisecond);

void BuildTransparentFrame1000Dithered(benchmark::State& state)
{
    Build(state, GifPaintOptions{GifPaintOption::DrawTransparent, GifPaintOption::Dither});
}
BENCHMARK(BuildTransparentFrame1000Dithered)->Unit(benchmark::kMillisecond);

void Draw(benchmark::State& state, int destSize)
{
    auto image = TransparentPicture(64, GifPaintOptions{GifPaintOption::DrawTransparent});
    TGIFSubImage& frame = image->Frames()[0];
    if (!frame.HasMask()) {
        state.SkipWithError("no mask was built");
        return;
    }
    TBitmap screen(destSize, destSize);
    for (auto _ : state)
        frame.DrawFrame(screen.Canvas(), Bounds(0, 0, destSize, destSize), /*transparent=*/true, /*tile=*/false);
}

// The window's case: the general path, stretched.
void DrawCachedFrame64To55(benchmark::State& state)
{
    Draw(state, 55);
}
BENCHMARK(DrawCachedFrame64To55)->Unit(benchmark::kMicrosecond);

// Unscaled: the single masked blit.
void DrawCachedFrame64To64(benchmark::State& state)
{
    Draw(state, 64);
}
BENCHMARK(DrawCachedFrame64To64)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
