#include "GifRender.h"

#include "GIFDefaults.h"
#include "GIFExtensions.h"
#include "GIFImage.h"
#include "GIFPainter.h"
#include "GIFPainterTiming.h"
#include "SyncEvent.h"
#include "Thread.h"

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <atomic>
#include <cstdio>
#include <vector>

namespace orvex {

namespace {

// Time that moves by exactly what the painter waits or sleeps.
class CountedClock : public TPainterClock {
public:
    std::uint32_t Now() override { return m_now; }
    bool WaitForWake(TEvent* wake, int ms) override
    {
        if (ms < 0) {
            // Held until stopped: only a stop ends such a wait.
            if (wake)
                wake->WaitFor(TEvent::Infinite);
            return false;
        }
        m_now += static_cast<std::uint32_t>(ms);
        return true;
    }
    void Sleep(int ms) override { m_now += static_cast<std::uint32_t>(ms > 0 ? ms : 0); }

private:
    std::atomic<std::uint32_t> m_now{0};
};

int Fail(const QString& message)
{
    std::fprintf(stderr, "orvex-gif render: %s\n", qPrintable(message));
    return 1;
}

// The wait that a frame's own delay asks for, as the painter works it out.
int NominalWait(const TGIFSubImage& frame, int speed)
{
    CountedClock clock;
    TFrameTimer timer(clock, speed, /*threaded=*/true);
    timer.Start();
    const TGIFGraphicControlExtension* control = frame.GraphicControl;
    return timer.PlanWait(FrameDelayUnits(control != nullptr, control ? control->DelayTime() : 0, true));
}

} // namespace

int RunGifRender(const QStringList& arguments)
{
    QStringList positional;
    TColor background = clWhite;
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--background")) {
            bool ok = false;
            const QString value = i + 1 < arguments.size() ? arguments[++i] : QString();
            const uint rgb = value.toUInt(&ok, 16);
            if (!ok || value.size() != 6)
                return Fail(QStringLiteral("--background takes a colour as RRGGBB"));
            background = RGB(static_cast<int>(rgb >> 16), static_cast<int>((rgb >> 8) & 0xFF),
                             static_cast<int>(rgb & 0xFF));
        } else {
            positional << arguments[i];
        }
    }
    if (positional.size() != 2)
        return Fail(QStringLiteral("usage: orvex-gif render FILE DIR [--background RRGGBB]"));
    const QString file = positional[0];
    const QDir dir(positional[1]);
    if (!QDir().mkpath(dir.path()))
        return Fail(QStringLiteral("cannot make the folder %1").arg(dir.path()));

    TGIFImage picture;
    try {
        picture.LoadFromFile(file);
    } catch (const Exception& e) {
        return Fail(e.Message());
    }
    if (picture.Empty())
        return Fail(QStringLiteral("%1 holds no frame").arg(file));
    const int width = picture.Width(), height = picture.Height();
    if (width <= 0 || height <= 0)
        return Fail(QStringLiteral("%1 has an empty logical screen").arg(file));

    picture.PaintOptions = GifDefaults.DefaultPaintOptions.Without(GifPaintOption::Loop);
    picture.PainterClock = std::make_shared<CountedClock>();
    TBitmap surface(width, height);
    surface.Canvas().Brush = TBrush{background, TBrushStyle::bsSolid};
    surface.Canvas().FillRect(Bounds(0, 0, width, height));
    const TRect whole = Bounds(0, 0, width, height);

    std::vector<int> shownFrames; // the frame index of each render
    std::vector<int> waits;       // the wait planned after each render
    QString writeError;
    bool ended = false;
    const auto save = [&] {
        const QString name = dir.filePath(QStringLiteral("render-%1.png").arg(shownFrames.size(), 3, 10, QLatin1Char('0')));
        if (!surface.Image().convertToFormat(QImage::Format_RGB888).save(name, "PNG") && writeError.isEmpty())
            writeError = QStringLiteral("cannot write %1").arg(name);
    };
    picture.OnBeforeFrame = [&](TGIFPainter& painter) {
        // The wait before this frame followed the frame shown before it.
        if (!shownFrames.empty() && waits.size() < shownFrames.size())
            waits.push_back(painter.LastPlannedWait());
    };
    picture.OnAfterFrame = [&](TGIFPainter& painter) {
        // The frame as the surface shows it once the picture's bitmap is placed there.
        if (TBitmap* bitmap = picture.PictureBitmap())
            surface.Canvas().CopyRect(whole, bitmap->Canvas(), Bounds(0, 0, bitmap->Width(), bitmap->Height()));
        save();
        shownFrames.push_back(painter.FrameIndex());
    };
    picture.OnAnimationEnd = [&](TGIFPainter&) { ended = true; };

    try {
        picture.Draw(surface.Canvas(), whole);
        if (picture.Frames().Count() == 1) {
            // A still picture: drawn once, with no painter.
            save();
            shownFrames.push_back(0);
            ended = true;
        }
        // Serve the painter's steps until it has finished.
        while (picture.CurrentPainter() || !picture.ActivePainters.empty())
            CheckSynchronize(50);
    } catch (const Exception& e) {
        picture.StopAllPainters();
        return Fail(e.Message());
    }
    if (!writeError.isEmpty())
        return Fail(writeError);
    if (!ended)
        return Fail(QStringLiteral("the animation stopped before its end"));
    if (!shownFrames.empty())
        waits.push_back(NominalWait(picture.Frames()[shownFrames.back()], picture.SpeedPercent));

    QFile timing(dir.filePath(QStringLiteral("timing.txt")));
    if (!timing.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return Fail(QStringLiteral("cannot write %1").arg(timing.fileName()));
    QTextStream out(&timing);
    for (std::size_t i = 0; i < shownFrames.size(); ++i)
        out << QStringLiteral("%1 %2\n").arg(i, 3, 10, QLatin1Char('0')).arg(waits[i]);
    std::printf("%zu frames rendered into %s\n", shownFrames.size(), qPrintable(dir.path()));
    return 0;
}

} // namespace orvex
