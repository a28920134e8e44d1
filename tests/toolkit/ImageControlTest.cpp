#include "Application.h"
#include "Exceptions.h"
#include "StdControls.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <vector>

using namespace orvex;

namespace {

// A picture that cannot draw, and counts how often it was asked to.
class BrokenPicture : public TGraphic {
public:
    int draws = 0;
    void Draw(TCanvas&, const TRect&) override
    {
        ++draws;
        throw EInvalidGraphic(QStringLiteral("cannot draw this"));
    }
    int Width() const override { return 4; }
    int Height() const override { return 4; }
    bool Empty() const override { return false; }
    void LoadFromStream(TStream&) override {}
    void Touch() { Changed(); }
};

// A picture that changes itself whenever it is drawn, as an animation's
// first draw does.
class SelfChangingPicture : public TGraphic {
public:
    int draws = 0;
    void Draw(TCanvas& canvas, const TRect& rect) override
    {
        ++draws;
        canvas.Brush.Color = clRed;
        canvas.FillRect(rect);
        Changed();
    }
    int Width() const override { return 4; }
    int Height() const override { return 4; }
    bool Empty() const override { return false; }
    void LoadFromStream(TStream&) override {}
};

void Pump(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace

TEST(ImageControl, APictureThatFailsToDrawIsReportedOnceUntilItChanges)
{
    std::vector<QString> errors;
    Application().OnException = [&](const Exception& e) { errors.push_back(e.Message()); };
    TImage image;
    image.resize(10, 10);
    auto picture = std::make_unique<BrokenPicture>();
    BrokenPicture* broken = picture.get();
    image.Picture().SetGraphic(std::move(picture));
    image.show();
    for (int i = 0; i < 3; ++i) {
        image.repaint();
        Pump(20);
    }
    EXPECT_EQ(errors, (std::vector<QString>{QStringLiteral("cannot draw this")}));
    EXPECT_EQ(broken->draws, 1);
    // A changed picture is tried again.
    broken->Touch();
    image.repaint();
    Pump(20);
    EXPECT_EQ(errors.size(), 2u);
    Application().OnException = nullptr;
}

TEST(ImageControl, APictureChangingWhileItIsPaintedAsksForNoOtherPaint)
{
    TImage image;
    image.resize(10, 10);
    auto picture = std::make_unique<SelfChangingPicture>();
    SelfChangingPicture* changing = picture.get();
    image.Picture().SetGraphic(std::move(picture));
    image.show();
    Pump(50);
    const int settled = changing->draws;
    EXPECT_GE(settled, 1);
    Pump(200);
    EXPECT_EQ(changing->draws, settled) << "the control keeps repainting itself";
}
