#include "AnimationSupport.h"
#include "Application.h"
#include "GIFPainter.h"
#include "MessagePump.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <numeric>
#include <system_error>

using namespace orvex;
using namespace animtest;

namespace {

constexpr GifPaintOptions kThreaded{GifPaintOption::Threaded, GifPaintOption::DrawTransparent,
                                    GifPaintOption::Animate, GifPaintOption::Loop};
constexpr GifPaintOptions kOnThisThread{GifPaintOption::DrawTransparent, GifPaintOption::Animate,
                                        GifPaintOption::Loop};

// What the events of one run saw.
struct Seen {
    std::vector<int> framesAfter; // FrameIndex at each OnAfterFrame
    int starts = 0, loops = 0, ends = 0, befores = 0;
    std::function<void(TGIFPainter&)> afterFrame; // extra work after each frame
};

void Listen(TGIFImage& picture, Seen& seen)
{
    picture.OnAnimationStart = [&seen](TGIFPainter&) { ++seen.starts; };
    picture.OnBeforeFrame = [&seen](TGIFPainter&) { ++seen.befores; };
    picture.OnAnimationLoop = [&seen](TGIFPainter&) { ++seen.loops; };
    picture.OnAnimationEnd = [&seen](TGIFPainter&) { ++seen.ends; };
    picture.OnAfterFrame = [&seen](TGIFPainter& painter) {
        seen.framesAfter.push_back(painter.FrameIndex());
        if (seen.afterFrame)
            seen.afterFrame(painter);
    };
}

// Plays the picture onto the whole target and returns once its painter has
// finished (a painter without a thread has by the time StartPainter returns).
void Play(TGIFImage& picture, TBitmap& target, GifPaintOptions options)
{
    TGIFPainter* slot = nullptr;
    TGIFPainter* painter =
        picture.StartPainter(&slot, target.Canvas(), Bounds(0, 0, target.Width(), target.Height()), options);
    if (painter)
        painter->BeginRun();
    ASSERT_TRUE(ServeUntil([&] { return AllFinished(picture); }));
    EXPECT_EQ(slot, nullptr) << "the owner slot still names a finished painter";
}

// Stops the painter after it has drawn this many frames.
std::function<void(TGIFPainter&)> StopAfter(Seen& seen, std::size_t frames)
{
    return [&seen, frames](TGIFPainter& painter) {
        if (seen.framesAfter.size() >= frames)
            painter.RequestStop();
    };
}

// Two 1 x 1 frames with the given delays; the first carries a loop
// extension when loopCount is 0 or more.
Bytes TwoFrames(int delay0, int delay1, int loopCount)
{
    GifWriter w;
    w.Header(1, 1, Colors());
    if (loopCount >= 0)
        w.Loop(loopCount);
    w.GraphicControl(1, delay0).Frame(Solid(0, 0, 1, 1, kRed));
    w.GraphicControl(1, delay1).Frame(Solid(0, 0, 1, 1, kGreen));
    return w.Trailer().Data();
}

} // namespace

TEST(PainterWaits, ALoopingPainterWaitsTheFramesDelaysInTurn)
{
    auto picture = LoadPicture(TwoFrames(0, 2, 2));
    auto clock = std::make_shared<FakeClock>();
    picture->PainterClock = clock;
    TBitmap target(1, 1);
    Play(*picture, target, kThreaded);
    // No wait before the very first frame; then 10 fallback units after a
    // delay of 0, and 3 (the shortest) after a delay of 2, at 12 ms a unit.
    EXPECT_EQ(clock->Waits(), (std::vector<int>{120, 36, 120}));
}

TEST(PainterWaits, ALongDelayIsHonouredOnlyByAThreadedPainter)
{
    auto picture = LoadPicture(TwoFrames(5000, 5000, -1));
    auto clock = std::make_shared<FakeClock>();
    picture->PainterClock = clock;
    TBitmap target(1, 1);
    Play(*picture, target, kThreaded);
    EXPECT_EQ(clock->Waits(), (std::vector<int>{60000}));

    auto unthreaded = std::make_shared<FakeClock>();
    picture->PainterClock = unthreaded;
    Play(*picture, target, kOnThisThread);
    const std::vector<int> sleeps = unthreaded->Sleeps();
    // 1 unit before the first frame (12 ms), then 1000 units: 12 s, slept in
    // slices of at most 100 ms.
    EXPECT_EQ(std::accumulate(sleeps.begin(), sleeps.end(), 0), 12 + 12000);
    EXPECT_EQ(*std::max_element(sleeps.begin(), sleeps.end()), 100);
    EXPECT_TRUE(unthreaded->Waits().empty());
}

TEST(PainterWaits, SpeedScalesTheWaitsAndANegativeSpeedWaitsNever)
{
    auto picture = LoadPicture(TwoFrames(0, 2, 2));
    auto clock = std::make_shared<FakeClock>();
    picture->PainterClock = clock;
    picture->SpeedPercent = 200;
    TBitmap target(1, 1);
    Play(*picture, target, kThreaded);
    EXPECT_EQ(clock->Waits(), (std::vector<int>{60, 18, 60}));

    auto negative = std::make_shared<FakeClock>();
    picture->PainterClock = negative;
    picture->SpeedPercent = -50;
    Seen seen;
    Listen(*picture, seen);
    Play(*picture, target, kThreaded);
    EXPECT_TRUE(negative->Waits().empty());
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0, 1, 0, 1}));
}

TEST(PainterWaits, SpeedZeroHoldsTheFrameUntilTheStop)
{
    auto picture = LoadPicture(TwoFrames(10, 10, 0));
    picture->PainterClock = std::make_shared<FakeClock>();
    picture->SpeedPercent = 0;
    Seen seen;
    Listen(*picture, seen);
    TBitmap target(1, 1);
    TGIFPainter* slot = nullptr;
    TGIFPainter* painter = picture->StartPainter(&slot, target.Canvas(), Bounds(0, 0, 1, 1), kThreaded);
    ASSERT_NE(painter, nullptr);
    ASSERT_TRUE(painter->HasWakeEvent());
    painter->BeginRun();
    ASSERT_TRUE(ServeUntil([&] { return seen.framesAfter.size() == 1; }));
    // Serving for a while brings no second frame: the painter waits for ever.
    ServeUntil([] { return false; }, 200);
    EXPECT_EQ(seen.framesAfter.size(), 1u);
    EXPECT_EQ(target.PixelColor(0, 0), Shown(kRed));
    picture->StopAllPainters();
    EXPECT_TRUE(AllFinished(*picture));
    EXPECT_EQ(seen.ends, 0);
}

TEST(PainterLoops, TheLoopCountGivesThePasses)
{
    auto picture = LoadPicture(TwoFrames(1, 1, 3));
    picture->PainterClock = std::make_shared<FakeClock>();
    Seen seen;
    Listen(*picture, seen);
    TBitmap target(1, 1);
    Play(*picture, target, kThreaded);
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(seen.starts, 1);
    EXPECT_EQ(seen.loops, 2);
    EXPECT_EQ(seen.ends, 1);

    // Without a loop extension: once; without Loop: once, whatever the count.
    auto once = LoadPicture(TwoFrames(1, 1, -1));
    once->PainterClock = std::make_shared<FakeClock>();
    Seen onceSeen;
    Listen(*once, onceSeen);
    Play(*once, target, kThreaded);
    EXPECT_EQ(onceSeen.framesAfter, (std::vector<int>{0, 1}));
    seen = Seen{};
    Play(*picture, target, kThreaded.Without(GifPaintOption::Loop));
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0, 1}));
}

TEST(PainterLoops, ALoopCountOfZeroLoopsForEverOnlyOnAThread)
{
    auto picture = LoadPicture(TwoFrames(1, 1, 0));
    picture->PainterClock = std::make_shared<FakeClock>();
    Seen seen;
    Listen(*picture, seen);
    seen.afterFrame = StopAfter(seen, 9);
    TBitmap target(1, 1);
    Play(*picture, target, kThreaded);
    EXPECT_EQ(seen.framesAfter.size(), 9u);
    EXPECT_EQ(seen.loops, 4);
    EXPECT_EQ(seen.ends, 0) << "a stopped run announces no end";

    seen = Seen{};
    Play(*picture, target, kOnThisThread);
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0, 1}));
    EXPECT_EQ(seen.ends, 1);

    // LoopForever overrides the count, on this thread too.
    auto three = LoadPicture(TwoFrames(1, 1, 3));
    three->PainterClock = std::make_shared<FakeClock>();
    Seen endless;
    Listen(*three, endless);
    endless.afterFrame = StopAfter(endless, 11);
    Play(*three, target, kOnThisThread.With(GifPaintOption::LoopForever));
    EXPECT_EQ(endless.framesAfter.size(), 11u);
}

TEST(PainterLoops, LaterPassesStartAtTheLoopExtensionAndASecondOneChangesNothing)
{
    GifWriter w;
    w.Header(1, 1, Colors());
    w.GraphicControl(1, 1).Frame(Solid(0, 0, 1, 1, kRed));
    w.Loop(2).GraphicControl(1, 1).Frame(Solid(0, 0, 1, 1, kGreen));
    w.Loop(7).GraphicControl(1, 1).Frame(Solid(0, 0, 1, 1, kBlue));
    auto picture = LoadPicture(w.Trailer().Data());
    picture->PainterClock = std::make_shared<FakeClock>();
    Seen seen;
    Listen(*picture, seen);
    TBitmap target(1, 1);
    Play(*picture, target, kThreaded);
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0, 1, 2, 1, 2}));
}

TEST(PainterLoops, WithoutAnimateARunDrawsOneFrame)
{
    auto picture = LoadPicture(TwoFrames(1, 1, 0));
    picture->PainterClock = std::make_shared<FakeClock>();
    Seen seen;
    Listen(*picture, seen);
    TBitmap target(1, 1);
    Play(*picture, target, kThreaded.Without(GifPaintOption::Animate));
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0}));
    EXPECT_EQ(seen.ends, 1);
}

TEST(PainterLoops, AnAfterFrameHandlerChoosesTheNextFrame)
{
    GifWriter w;
    w.Header(1, 1, Colors());
    for (int index : {kRed, kGreen, kBlue})
        w.GraphicControl(1, 1).Frame(Solid(0, 0, 1, 1, index));
    auto picture = LoadPicture(w.Trailer().Data());
    picture->PainterClock = std::make_shared<FakeClock>();
    Seen seen;
    Listen(*picture, seen);
    bool restarted = false;
    seen.afterFrame = [&](TGIFPainter& painter) {
        if (painter.FrameIndex() == 1 && !restarted) {
            restarted = true;
            painter.SetFrameIndex(0);
        }
    };
    TBitmap target(1, 1);
    Play(*picture, target, kThreaded);
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0, 1, 0, 1, 2}));

    // An index sent outside the frames ends the pass instead of reading there.
    seen = Seen{};
    seen.afterFrame = [](TGIFPainter& painter) { painter.SetFrameIndex(-7); };
    Play(*picture, target, kThreaded);
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0}));
    EXPECT_EQ(seen.ends, 1);
}

TEST(PainterLoops, AnEmptyFrameEndsThePass)
{
    GifWriter w;
    w.Header(1, 1, Colors()).Loop(2);
    w.GraphicControl(1, 1).Frame(Solid(0, 0, 1, 1, kRed));
    w.GraphicControl(1, 1); // extensions with no image after them: an empty frame
    w.Trailer();
    auto picture = LoadPicture(w.Data());
    ASSERT_EQ(picture->Frames().Count(), 2);
    picture->PainterClock = std::make_shared<FakeClock>();
    Seen seen;
    Listen(*picture, seen);
    TBitmap target(1, 1);
    Play(*picture, target, kThreaded);
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0, 0}));
}

TEST(PainterLoops, AnEndlessLoopOverNothingEndsInsteadOfSpinning)
{
    // The first frame is empty: extensions that a zero byte ends before any image.
    GifWriter w;
    w.Header(1, 1, Colors()).GraphicControl(1, 1).Raw({0});
    w.GraphicControl(1, 1).Frame(Solid(0, 0, 1, 1, kRed));
    auto picture = LoadPicture(w.Trailer().Data());
    ASSERT_EQ(picture->Frames().Count(), 2);
    ASSERT_TRUE(picture->Frames()[0].Empty());
    picture->PainterClock = std::make_shared<FakeClock>();
    picture->PaintOptions.Include(GifPaintOption::LoopForever);
    Seen seen;
    Listen(*picture, seen);
    // The draw waits for a first frame that never comes: it must still return.
    TBitmap surface(1, 1);
    picture->Draw(surface.Canvas(), Bounds(0, 0, 1, 1));
    ASSERT_TRUE(ServeUntil([&] { return AllFinished(*picture); }));
    EXPECT_TRUE(seen.framesAfter.empty());
    EXPECT_EQ(seen.ends, 1);
}

TEST(PainterStop, AStopDuringALongWaitEndsThePainterWithoutAnEnd)
{
    // A real clock and a one-minute wait: only the wake event can end it.
    auto picture = LoadPicture(TwoFrames(5000, 5000, 0));
    Seen seen;
    Listen(*picture, seen);
    TBitmap target(1, 1);
    TGIFPainter* slot = nullptr;
    TGIFPainter* painter = picture->StartPainter(&slot, target.Canvas(), Bounds(0, 0, 1, 1), kThreaded);
    ASSERT_NE(painter, nullptr);
    painter->BeginRun();
    ASSERT_TRUE(ServeUntil([&] { return seen.framesAfter.size() == 1; }));
    QElapsedTimer timer;
    timer.start();
    picture->StopAllPainters();
    EXPECT_LT(timer.elapsed(), 30000) << "the stop waited out the frame delay";
    EXPECT_TRUE(AllFinished(*picture));
    EXPECT_EQ(slot, nullptr);
    ServeUntil([] { return false; }, 50);
    EXPECT_EQ(seen.ends, 0);
    EXPECT_EQ(seen.framesAfter.size(), 1u);
}

TEST(PainterStop, APainterStoppedBeforeItRanFinishesWithoutDrawing)
{
    auto picture = LoadPicture(TwoFrames(1, 1, 0));
    Seen seen;
    Listen(*picture, seen);
    TBitmap target(1, 1);
    target.Canvas().Brush.Color = clWhite;
    target.Canvas().FillRect(Bounds(0, 0, 1, 1));
    TGIFPainter* slot = nullptr;
    TGIFPainter* painter = picture->StartPainter(&slot, target.Canvas(), Bounds(0, 0, 1, 1), kThreaded);
    ASSERT_NE(painter, nullptr);
    EXPECT_EQ(slot, painter);
    EXPECT_EQ(picture->ActivePainters.size(), 1u);
    picture->StopAllPainters();
    EXPECT_TRUE(AllFinished(*picture));
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(seen.starts + seen.befores + seen.ends, 0);
    EXPECT_EQ(target.PixelColor(0, 0), clWhite);
}

TEST(PainterStop, AFailingHandlerEndsTheRunAndReachesTheWindowThreadsHandler)
{
    auto picture = LoadPicture(TwoFrames(1, 1, 0));
    picture->PainterClock = std::make_shared<FakeClock>();
    Seen seen;
    Listen(*picture, seen);
    seen.afterFrame = [](TGIFPainter&) { throw EInvalidGraphic(QStringLiteral("handler broke")); };
    std::vector<QString> reported;
    Application().OnException = [&](const Exception& e) { reported.push_back(e.Message()); };
    TBitmap target(1, 1);
    Play(*picture, target, kThreaded);
    ASSERT_TRUE(ServeUntil([&] { return !reported.empty(); }));
    Application().OnException = nullptr;
    EXPECT_EQ(reported, (std::vector<QString>{QStringLiteral("handler broke")}));
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0}));
    EXPECT_EQ(seen.ends, 0);
}

TEST(PainterStop, AQuitMetByThePumpStopsAPainterOnThisThreadAndStillEndsTheLoop)
{
    auto picture = LoadPicture(TwoFrames(10, 10, 0));
    picture->PainterClock = std::make_shared<FakeClock>();
    Seen seen;
    Listen(*picture, seen);
    seen.afterFrame = [](TGIFPainter&) { PostQuitMessage(5); };
    TBitmap target(1, 1);
    QTimer::singleShot(0, [&] { Play(*picture, target, kOnThisThread.With(GifPaintOption::LoopForever)); });
    QTimer::singleShot(20000, [] { QCoreApplication::exit(-1); });
    EXPECT_EQ(QCoreApplication::exec(), 5);
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0}));
    EXPECT_EQ(seen.ends, 0);
    EXPECT_TRUE(AllFinished(*picture));
}

namespace {

// The target's row 0 after each frame, as indices into the test colours
// (-1 for any other colour).
std::vector<std::vector<TColor>> RowsAfterEachFrame(TGIFImage& picture, TBitmap& target, GifPaintOptions options)
{
    std::vector<std::vector<TColor>> rows;
    picture.PainterClock = std::make_shared<FakeClock>();
    picture.OnAfterFrame = [&](TGIFPainter&) {
        std::vector<TColor> row;
        for (int x = 0; x < target.Width(); ++x)
            row.push_back(target.PixelColor(x, 0));
        rows.push_back(row);
    };
    Play(picture, target, options);
    return rows;
}

void Fill(TBitmap& bitmap, TColor color)
{
    bitmap.Canvas().Brush = TBrush{color, TBrushStyle::bsSolid};
    bitmap.Canvas().FillRect(Bounds(0, 0, bitmap.Width(), bitmap.Height()));
}

} // namespace

TEST(PainterDisposal, RestoreToPreviousAfterLeaveInPlaceDrawsStraightOntoTheTarget)
{
    GifWriter w;
    w.Header(2, 1, Colors());
    w.GraphicControl(1, 1).Frame(Solid(0, 0, 2, 1, kRed));
    w.GraphicControl(3, 1).Frame(Solid(0, 0, 1, 1, kGreen));
    w.GraphicControl(1, 1).Frame(Solid(1, 0, 1, 1, kBlue));
    auto picture = LoadPicture(w.Trailer().Data());
    TBitmap target(2, 1);
    const auto rows = RowsAfterEachFrame(*picture, target, kThreaded.Without(GifPaintOption::Loop));
    const TColor r = Shown(kRed), g = Shown(kGreen), b = Shown(kBlue);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<TColor>{r, r}));
    EXPECT_EQ(rows[1], (std::vector<TColor>{g, r}));
    // The frame after it starts from the picture as it was before it.
    EXPECT_EQ(rows[2], (std::vector<TColor>{r, b}));
}

TEST(PainterDisposal, RestoreToPreviousAfterRestoreToBackgroundComposesInTheScratchBuffer)
{
    GifWriter w;
    w.Header(2, 1, Colors(), /*background=*/kYellow);
    w.GraphicControl(1, 1).Frame(Solid(0, 0, 2, 1, kRed));
    w.GraphicControl(2, 1).Frame(Solid(1, 0, 1, 1, kGreen));
    w.GraphicControl(3, 1).Frame(Solid(0, 0, 1, 1, kBlue));
    w.GraphicControl(1, 1).Frame(Solid(0, 0, 1, 1, kRed));
    auto picture = LoadPicture(w.Trailer().Data());
    TBitmap target(2, 1);
    const auto rows = RowsAfterEachFrame(*picture, target, kThreaded.Without(GifPaintOption::DrawTransparent));
    const TColor r = Shown(kRed), g = Shown(kGreen), b = Shown(kBlue), y = Shown(kYellow);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1], (std::vector<TColor>{r, g}));
    // The green area went back to the background colour after it showed.
    EXPECT_EQ(rows[2], (std::vector<TColor>{b, y}));
    EXPECT_EQ(rows[3], (std::vector<TColor>{r, y}));
}

TEST(PainterDisposal, RestoreToBackgroundBringsBackTheSurfaceWhenDrawingTransparent)
{
    GifWriter w;
    w.Header(2, 1, Colors(), /*background=*/kBlue);
    // The first frame leaves its right pixel out (transparent index blue).
    w.GraphicControl(2, 1, kBlue).Frame(giftest::MakeFrame(2, 1, [](int x, int) { return x == 0 ? kRed : kBlue; }));
    w.GraphicControl(1, 1).Frame(Solid(1, 0, 1, 1, kGreen));
    auto picture = LoadPicture(w.Trailer().Data());
    TBitmap target(2, 1);
    Fill(target, clWhite);
    const auto transparent = RowsAfterEachFrame(*picture, target, kThreaded);
    ASSERT_EQ(transparent.size(), 2u);
    EXPECT_EQ(transparent[0], (std::vector<TColor>{Shown(kRed), clWhite}));
    EXPECT_EQ(transparent[1], (std::vector<TColor>{clWhite, Shown(kGreen)}));

    // Opaque, the area takes the clearing colour: the background colour of
    // the file, or the picture's own clear colour when it has one.
    Fill(target, clWhite);
    const auto opaque = RowsAfterEachFrame(*picture, target, kThreaded.Without(GifPaintOption::DrawTransparent));
    EXPECT_EQ(opaque[1], (std::vector<TColor>{Shown(kBlue), Shown(kGreen)}));
    picture->ClearColor = clBlack;
    const auto cleared = RowsAfterEachFrame(*picture, target, kThreaded.Without(GifPaintOption::DrawTransparent));
    EXPECT_EQ(cleared[1], (std::vector<TColor>{clBlack, Shown(kGreen)}));
}

TEST(PainterDisposal, AFrameWithAReservedDisposalIsNotDrawn)
{
    GifWriter w;
    w.Header(1, 1, Colors());
    w.GraphicControl(1, 1).Frame(Solid(0, 0, 1, 1, kRed));
    w.GraphicControl(5, 1).Frame(Solid(0, 0, 1, 1, kGreen));
    w.GraphicControl(3, 1).Frame(Solid(0, 0, 1, 1, kBlue));
    w.GraphicControl(2, 1).Frame(Solid(0, 0, 1, 1, kYellow)); // makes the restore buffers exist
    auto picture = LoadPicture(w.Trailer().Data());
    TBitmap target(1, 1);
    const auto rows = RowsAfterEachFrame(*picture, target, kThreaded.Without(GifPaintOption::DrawTransparent));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1][0], Shown(kRed)) << "disposal 5 drew";
    EXPECT_EQ(rows[2][0], Shown(kRed)) << "restore-to-previous after a reserved disposal drew";
    EXPECT_EQ(rows[3][0], Shown(kYellow));
}

TEST(PainterDisposal, RestoreBuffersExistOnlyWhereADisposalNeedsThem)
{
    struct Case {
        int disposal;
        GifPaintOptions options;
        bool compose, backdrop;
    };
    const Case cases[] = {
        {1, kThreaded, false, false},
        {0, kThreaded, false, false},
        {2, kThreaded, true, true},
        {2, kThreaded.Without(GifPaintOption::DrawTransparent), true, false},
        {3, kThreaded, true, false},
        {1, kThreaded.With(GifPaintOption::ClearOnFirstFrame), true, true},
    };
    for (const Case& c : cases) {
        GifWriter w;
        w.Header(1, 1, Colors());
        w.GraphicControl(1, 1).Frame(Solid(0, 0, 1, 1, kRed));
        w.GraphicControl(c.disposal, 1).Frame(Solid(0, 0, 1, 1, kGreen));
        auto picture = LoadPicture(w.Trailer().Data());
        TBitmap target(3, 2);
        TGIFPainter* slot = nullptr;
        TGIFPainter* painter = picture->StartPainter(&slot, target.Canvas(), Rect(1, 0, 3, 2), c.options);
        ASSERT_NE(painter, nullptr);
        EXPECT_EQ(painter->ComposeBuffer() != nullptr, c.compose) << c.disposal;
        EXPECT_EQ(painter->ScratchBuffer() != nullptr, c.compose) << c.disposal;
        EXPECT_EQ(painter->BackdropCapture() != nullptr, c.backdrop) << c.disposal;
        if (painter->ComposeBuffer()) {
            EXPECT_EQ(painter->ComposeBuffer()->Width(), 2);
            EXPECT_EQ(painter->ComposeBuffer()->Height(), 2);
        }
        picture->StopAllPainters();
        EXPECT_TRUE(AllFinished(*picture));
    }
}

TEST(PainterDisposal, ALostSurfaceStopsACheckingPainterBeforeItDraws)
{
    GifWriter w;
    w.Header(1, 1, Colors());
    w.GraphicControl(2, 1).Frame(Solid(0, 0, 1, 1, kRed));
    w.GraphicControl(2, 1).Frame(Solid(0, 0, 1, 1, kGreen));
    auto picture = LoadPicture(w.Trailer().Data());
    picture->PainterClock = std::make_shared<FakeClock>();
    auto target = std::make_unique<TBitmap>(1, 1);
    Seen seen;
    Listen(*picture, seen);
    seen.afterFrame = [&](TGIFPainter&) { target.reset(); }; // the surface goes away
    Play(*picture, *target, kOnThisThread.With(GifPaintOption::CheckSurface).With(GifPaintOption::LoopForever));
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0}));
    EXPECT_EQ(seen.ends, 0);
}

TEST(PainterStart, AThreadThatCannotStartFinishesThePainter)
{
    auto picture = LoadPicture(TwoFrames(10, 10, 0));
    picture->PainterClock = std::make_shared<FakeClock>();
    const int livingBefore = SettledPainterCount();
    TBitmap target(1, 1);
    TGIFPainter* slot = nullptr;
    TGIFPainter* painter = picture->StartPainter(&slot, target.Canvas(), Bounds(0, 0, 1, 1), kThreaded);
    ASSERT_NE(painter, nullptr);
    FailThreadStartsForTesting(1);
    EXPECT_THROW(painter->BeginRun(), std::system_error);
    FailThreadStartsForTesting(0);
    // Nothing is left for a stop to wait for, and the painter is gone.
    EXPECT_TRUE(AllFinished(*picture));
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(TGIFPainter::LivingPainters(), livingBefore);
    picture->StopAllPainters();

    // The next painter starts as usual.
    Seen seen;
    Listen(*picture, seen);
    seen.afterFrame = StopAfter(seen, 2);
    Play(*picture, target, kThreaded);
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0, 1}));
}

TEST(PainterThreads, FramesDecodedAheadAreBuiltAndReportedOnTheWindowThread)
{
    auto picture = LoadPicture(TwoFrames(10, 10, 0));
    picture->PainterClock = std::make_shared<FakeClock>();
    ASSERT_FALSE(BuildBitmapsOnLoad);
    std::atomic<int> reports{0}, changes{0}, offWindow{0};
    picture->OnProgress = [&](TGraphic&, TProgressStage, int, bool, const TRect&, const QString&) {
        ++reports;
        if (!IsMainThread())
            ++offWindow;
    };
    picture->OnChange = [&](TGraphic&) {
        ++changes;
        if (!IsMainThread())
            ++offWindow;
    };
    Seen seen;
    Listen(*picture, seen);
    seen.afterFrame = StopAfter(seen, 3);
    TBitmap target(1, 1);
    Play(*picture, target, kThreaded);
    EXPECT_EQ(seen.framesAfter, (std::vector<int>{0, 1, 0}));
    // Both frames were built ("Rendering..." at least at their start and end),
    // the second one ahead of its wait.
    EXPECT_GE(reports.load(), 4);
    EXPECT_EQ(offWindow.load(), 0);
}

TEST(PainterStops, AnEventHandlerMayStopItsOwnPicture)
{
    const int before = SettledPainterCount();
    TBitmap target(1, 1);

    // An end handler that destroys the picture it belongs to.
    {
        auto picture = LoadPicture(TwoFrames(10, 10, 1));
        picture->PainterClock = std::make_shared<FakeClock>();
        bool ended = false;
        picture->OnAnimationEnd = [&](TGIFPainter&) {
            picture.reset();
            ended = true;
        };
        TGIFPainter* slot = nullptr;
        TGIFPainter* painter = picture->StartPainter(&slot, target.Canvas(), Bounds(0, 0, 1, 1), kThreaded);
        ASSERT_NE(painter, nullptr);
        painter->BeginRun();
        ASSERT_TRUE(ServeUntil([&] { return ended; }));
        EXPECT_EQ(picture, nullptr);
        EXPECT_TRUE(ServeUntil([&] { return TGIFPainter::LivingPainters() == before; }));
    }

    // A frame handler that clears its picture and one that loads another
    // file into it: the painter stops, the picture stays usable.
    for (bool reload : {false, true}) {
        SCOPED_TRACE(reload ? "load" : "clear");
        auto picture = LoadPicture(TwoFrames(10, 10, 0));
        picture->PainterClock = std::make_shared<FakeClock>();
        int afters = 0;
        picture->OnAfterFrame = [&](TGIFPainter&) {
            ++afters;
            if (reload) {
                TMemoryStream stream(TwoFrames(20, 20, 0));
                picture->LoadFromStream(stream);
            } else {
                picture->Clear();
            }
        };
        TGIFPainter* slot = nullptr;
        TGIFPainter* painter = picture->StartPainter(&slot, target.Canvas(), Bounds(0, 0, 1, 1), kThreaded);
        ASSERT_NE(painter, nullptr);
        painter->BeginRun();
        ASSERT_TRUE(ServeUntil([&] { return AllFinished(*picture); }));
        EXPECT_EQ(afters, 1);
        EXPECT_EQ(slot, nullptr);
        EXPECT_EQ(picture->Frames().Count(), reload ? 2 : 0);
        EXPECT_TRUE(ServeUntil([&] { return TGIFPainter::LivingPainters() == before; }));
    }
}
