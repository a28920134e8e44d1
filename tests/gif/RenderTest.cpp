#include "AnimationSupport.h"
#include "GifRender.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvex;
using namespace animtest;

namespace {

QString WriteGif(const QTemporaryDir& dir, const Bytes& bytes)
{
    const QString path = dir.filePath(QStringLiteral("picture.gif"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
}

QStringList TimingLines(const QString& dir)
{
    QFile file(QDir(dir).filePath(QStringLiteral("timing.txt")));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QImage Render(const QString& dir, int index)
{
    return QImage(QDir(dir).filePath(QStringLiteral("render-%1.png").arg(index, 3, 10, QLatin1Char('0'))));
}

} // namespace

TEST(GifRender, OnePassIsRenderedFrameByFrameWithThePlannedWaits)
{
    QTemporaryDir work;
    // Three 2 x 1 frames: red with its right pixel left out, then green on
    // the right restored to the background afterwards, then blue on the left.
    GifWriter w;
    w.Header(2, 1, Colors()).Loop(0);
    w.GraphicControl(1, 0, kYellow).Frame(giftest::MakeFrame(2, 1, [](int x, int) { return x == 0 ? kRed : kYellow; }));
    w.GraphicControl(2, 2).Frame(Solid(1, 0, 1, 1, kGreen));
    w.GraphicControl(1, 25).Frame(Solid(0, 0, 1, 1, kBlue));
    const QString out = work.filePath(QStringLiteral("out"));
    ASSERT_EQ(RunGifRender({WriteGif(work, w.Trailer().Data()), out, QStringLiteral("--background"),
                            QStringLiteral("102030")}),
              0);
    // A loop count of 0 still gives one pass: the render plays without Loop.
    EXPECT_EQ(TimingLines(out), (QStringList{QStringLiteral("000 120"), QStringLiteral("001 36"),
                                             QStringLiteral("002 300")}));
    const QRgb background = qRgb(0x10, 0x20, 0x30);
    ASSERT_EQ(Render(out, 0).size(), QSize(2, 1));
    // 24-bit: eight bits a sample, colour type 2 (red, green, blue, no alpha).
    QFile png(QDir(out).filePath(QStringLiteral("render-000.png")));
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    const QByteArray header = png.read(26);
    EXPECT_EQ(header.at(24), 8);
    EXPECT_EQ(header.at(25), 2);
    EXPECT_EQ(Render(out, 0).pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(Render(out, 0).pixel(1, 0), background);
    EXPECT_EQ(Render(out, 1).pixel(1, 0), qRgb(0, 255, 0));
    EXPECT_EQ(Render(out, 2).pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(Render(out, 2).pixel(1, 0), background) << "restore-to-background did not bring the backdrop back";
    EXPECT_TRUE(Render(out, 3).isNull());
}

TEST(GifRender, AStillPictureGivesOneRender)
{
    QTemporaryDir work;
    GifWriter w;
    w.Header(3, 2, Colors()).GraphicControl(1, 50).Frame(Solid(0, 0, 3, 2, kGreen));
    const QString out = work.filePath(QStringLiteral("still"));
    ASSERT_EQ(RunGifRender({WriteGif(work, w.Trailer().Data()), out}), 0);
    EXPECT_EQ(TimingLines(out), (QStringList{QStringLiteral("000 600")}));
    EXPECT_EQ(Render(out, 0).pixel(2, 1), qRgb(0, 255, 0));
    EXPECT_TRUE(Render(out, 1).isNull());
}

TEST(GifRender, TheLoudspeakerOfTheProgramRendersItsFourFrames)
{
    QTemporaryDir work;
    const QString out = work.filePath(QStringLiteral("loudspeaker"));
    ASSERT_EQ(RunGifRender({QStringLiteral(ORVEX_SOURCE_DIR "/assets/auto_falantes1.gif"), out}), 0);
    const QStringList lines = TimingLines(out);
    ASSERT_EQ(lines.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(lines[i], QStringLiteral("%1 180").arg(i, 3, 10, QLatin1Char('0')));
    // Consecutive frames differ: the loudspeaker moves.
    for (int i = 1; i < 4; ++i)
        EXPECT_NE(Render(out, i), Render(out, i - 1)) << i;
    EXPECT_EQ(Render(out, 0).pixel(0, 0), qRgb(255, 255, 255)) << "the corner is transparent over white";
}

TEST(GifRender, BadArgumentsAndBrokenFilesFail)
{
    QTemporaryDir work;
    EXPECT_NE(RunGifRender({QStringLiteral("only-one")}), 0);
    EXPECT_NE(RunGifRender({QStringLiteral("a.gif"), work.path(), QStringLiteral("--background"), QStringLiteral("blue")}), 0);
    EXPECT_NE(RunGifRender({work.filePath(QStringLiteral("missing.gif")), work.path()}), 0);
    const Bytes garbage{'n', 'o', 't', ' ', 'a', ' ', 'g', 'i', 'f', '!'};
    EXPECT_NE(RunGifRender({WriteGif(work, garbage), work.filePath(QStringLiteral("x"))}), 0);
}
