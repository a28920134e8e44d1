#include "Application.h"
#include "Exceptions.h"
#include "StdControls.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPainter>
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

namespace {

// A parent that paints its left and right halves in colours of its own and
// counts its paints.
class TwoToneParent : public QWidget {
public:
    QColor left = Qt::blue;
    QColor right = Qt::green;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        ++paints;
        QPainter painter(this);
        painter.fillRect(0, 0, width() / 2, height(), left);
        painter.fillRect(width() / 2, 0, width() - width() / 2, height(), right);
    }
};

// Waits, up to a generous bound, for the parent to have painted itself.
bool WaitForPaint(const TwoToneParent& parent, int paintsBefore)
{
    QElapsedTimer timer;
    timer.start();
    while (parent.paints == paintsBefore && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return parent.paints > paintsBefore;
}

} // namespace

TEST(ImageControl, ASeeThroughControlShowsWhatItsParentDrawsUnderItNow)
{
    TwoToneParent parent;
    parent.resize(200, 100);
    TImage image(&parent);
    image.setGeometry(10, 10, 50, 50);
    image.SetTransparent(true);
    parent.show();
    Pump(50);
    EXPECT_EQ(image.Render().PixelColor(5, 5), clBlue);

    // The parent draws differently and repaints itself.
    int paints = parent.paints;
    parent.left = Qt::red;
    parent.update();
    ASSERT_TRUE(WaitForPaint(parent, paints));
    EXPECT_EQ(image.Render().PixelColor(5, 5), clRed);

    // The control moves over the other half, and grows.
    image.setGeometry(120, 10, 60, 60);
    EXPECT_EQ(image.Render().PixelColor(55, 55), clLime);

    // A hidden parent is drawn anew every time: it reports no paints.
    parent.hide();
    parent.right = Qt::yellow;
    EXPECT_EQ(image.Render().PixelColor(5, 5), clYellow);
}

TEST(ImageControl, AnAnimationDrawsItsParentOnceForAllItsFramesBesideASibling)
{
    TwoToneParent parent;
    parent.resize(200, 100);
    TImage first(&parent), second(&parent);
    first.setGeometry(10, 10, 50, 50);
    second.setGeometry(120, 10, 50, 50);
    for (TImage* image : {&first, &second})
        image->SetTransparent(true);
    parent.show();
    Pump(50);
    first.Render();
    second.Render();
    const int paints = parent.paints;
    // Each frame of two animations side by side: a sibling drawing its
    // background is no change of the parent's.
    for (int frame = 0; frame < 5; ++frame) {
        EXPECT_EQ(first.Render().PixelColor(5, 5), clBlue);
        EXPECT_EQ(second.Render().PixelColor(5, 5), clLime);
    }
    EXPECT_EQ(parent.paints, paints);
}
