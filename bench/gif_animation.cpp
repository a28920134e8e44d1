// The loudspeaker animation as the window shows it. LoudspeakerFrame: one
// frame of the painter, from its thread's hand-over to the window thread
// through the drawing step (the frame composed with its disposal and copied
// into the picture's bitmap) and its after-frame event; the painter runs
// without waits. LoudspeakerRepaint: one repaint of a 55 x 55 image control
// while the animation runs (the picture's bitmap stretched over the
// control's background). scripts/bench-animation measures the program's CPU
// with both loudspeakers moving.
#include "BenchMain.h"

#include "GIFImage.h"
#include "GIFPainter.h"
#include "StdControls.h"
#include "Thread.h"

#include <QWidget>
#include <memory>

namespace {

const QString kLoudspeaker = QStringLiteral(ORVEX_BIN_DIR "/auto_falantes1.gif");

std::unique_ptr<orvex::TGIFImage> LoadLoudspeaker()
{
    auto picture = std::make_unique<orvex::TGIFImage>();
    picture->LoadFromFile(kLoudspeaker);
    return picture;
}

void LoudspeakerFrame(benchmark::State& state)
{
    auto picture = LoadLoudspeaker();
    picture->SpeedPercent = -1; // no waits: frames follow as fast as they are drawn
    picture->PaintOptions.Include(orvex::GifPaintOption::LoopForever);
    long frames = 0;
    picture->OnAfterFrame = [&](orvex::TGIFPainter&) { ++frames; };
    orvex::TBitmap surface(55, 55);
    picture->Draw(surface.Canvas(), orvex::Bounds(0, 0, 55, 55));
    for (auto _ : state) {
        const long before = frames;
        while (frames == before)
            orvex::CheckSynchronize(10);
    }
    picture->StopAllPainters();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LoudspeakerFrame)->Unit(benchmark::kMicrosecond);

void LoudspeakerRepaint(benchmark::State& state)
{
    QWidget group;
    group.resize(120, 120);
    auto* image = new orvex::TImage(&group);
    image->setGeometry(30, 30, 55, 55);
    image->SetStretch(true);
    image->SetTransparent(true);
    auto picture = LoadLoudspeaker();
    picture->SpeedPercent = 0; // the painter holds its first frame: every paint copies it
    orvex::TGIFImage* gif = picture.get();
    image->Picture().SetGraphic(std::move(picture));
    benchmark::DoNotOptimize(image->Render()); // starts the painter
    for (auto _ : state)
        benchmark::DoNotOptimize(image->Render());
    gif->StopAllPainters();
}
BENCHMARK(LoudspeakerRepaint)->Unit(benchmark::kMicrosecond);

} // namespace

ORVEX_BENCHMARK_MAIN()
