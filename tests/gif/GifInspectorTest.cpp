// orvex-gif, the inspector: its info report, its frame dumps and its
// answers to files that do not load.
#include "GifWriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace giftest;

namespace {

struct ToolRun {
    int ExitCode = -1;
    QString Out;
    QString Err;
};

ToolRun Inspect(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(ORVEX_BIN_DIR "/orvex-gif"), args);
    ToolRun run;
    if (!process.waitForFinished(60000)) {
        ADD_FAILURE() << "orvex-gif did not finish";
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString Write(const QTemporaryDir& dir, const QString& name, const Bytes& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    return path;
}

Bytes Animation()
{
    GifWriter w;
    w.Header(10, 8, TestColors(4), 2).Loop(3).Comment({"two \"words\"", std::string("a\x01z", 3)});
    w.GraphicControl(2, 15, 1);
    w.Frame(MakeFrame(3, 2, [](int x, int y) { return x + y; }));
    FrameSpec second = MakeFrame(4, 5, [](int x, int y) { return (x * y) % 8; });
    second.Left = 6;
    second.Top = 3;
    second.Interlaced = true;
    second.LocalColors = TestColors(8);
    w.GraphicControl(1, 7).Frame(second);
    w.Comment({"end"}).Raw({0, 0x99});
    return w.Data();
}

const char* const kAnimationInfo =
    "screen: width=10 height=8 colors=4 background=2\n"
    "frame 0: left=0 top=0 width=3 height=2 interlaced=no colors=0 transparent=1 delay=15 disposal=2 loop=3 "
    "comment=\"two \\\"words\\\"\" comment=\"a\\x01z\"\n"
    "frame 1: left=6 top=3 width=4 height=5 interlaced=yes colors=8 transparent=- delay=7 disposal=1\n"
    "frame 2: left=0 top=0 width=0 height=0 interlaced=no colors=0 transparent=- delay=0 disposal=0 comment=\"end\"\n"
    "warning: Invalid extension introducer\n"
    "warning: Unknown GIF block type\n"
    "warning: Invalid Image trailer\n";

} // namespace

TEST(GifInspector, InfoReportsTheScreenEachFrameAndTheWarnings)
{
    QTemporaryDir dir;
    const ToolRun run = Inspect({QStringLiteral("info"), Write(dir, QStringLiteral("a.gif"), Animation())});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, QString::fromLatin1(kAnimationInfo));
    EXPECT_EQ(run.Err, QString());
}

TEST(GifInspector, FramesWritesTheIndicesOfEachFrameWithAnImage)
{
    QTemporaryDir dir;
    const QString file = Write(dir, QStringLiteral("a.gif"), Animation());
    const QString out = dir.filePath(QStringLiteral("out/nested"));
    const ToolRun run = Inspect({QStringLiteral("frames"), file, out});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();

    QFile first(out + QStringLiteral("/frame-000.pgm"));
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), QByteArray("P5\n3 2\n255\n\x00\x01\x02\x01\x02\x03", 17));
    QFile second(out + QStringLiteral("/frame-001.pgm"));
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    const QByteArray pgm = second.readAll();
    ASSERT_EQ(pgm.size(), 11 + 20);
    EXPECT_TRUE(pgm.startsWith("P5\n4 5\n255\n"));
    // Display order, whatever the interlacing: row 3 is x * 3 % 8.
    EXPECT_EQ(pgm.mid(11 + 12, 4), QByteArray("\x00\x03\x06\x01", 4));
    // The third frame has no image, so no file.
    EXPECT_FALSE(QFile::exists(out + QStringLiteral("/frame-002.pgm")));

    QFile info(out + QStringLiteral("/info.txt"));
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(info.readAll()), QString::fromLatin1(kAnimationInfo));
}

TEST(GifInspector, FilesThatDoNotLoadGiveTheMessageAndStatusOne)
{
    QTemporaryDir dir;
    GifWriter cut;
    cut.Header(4, 4, TestColors(16));
    Bytes truncated = cut.Data();
    truncated.resize(truncated.size() - 5);
    GifWriter huge;
    huge.Header(65535, 65535, TestColors(2)).Descriptor(0, 0, 65535, 65535, 0).Raw({2, 2, 0x4C, 0x01, 0}).Trailer();

    const std::pair<Bytes, QString> cases[] = {
        {Bytes{'P', 'N', 'G', 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, QStringLiteral("Invalid GIF signature")},
        {truncated, QStringLiteral("Premature end of data")},
        {huge.Data(), QStringLiteral("Image too large: 65535 x 65535 pixels")},
        {Bytes{}, QStringLiteral("Premature end of data")},
    };
    int n = 0;
    for (const auto& [bytes, message] : cases) {
        const QString file = Write(dir, QStringLiteral("bad%1.gif").arg(n++), bytes);
        for (const QString& command : {QStringLiteral("info"), QStringLiteral("frames")}) {
            QStringList args{command, file};
            if (command == QLatin1String("frames"))
                args << dir.filePath(QStringLiteral("frames"));
            const ToolRun run = Inspect(args);
            EXPECT_EQ(run.ExitCode, 1) << message.toStdString();
            EXPECT_EQ(run.Err, QStringLiteral("error: ") + message + QLatin1Char('\n'));
            EXPECT_EQ(run.Out, QString());
        }
    }
    const ToolRun missing = Inspect({QStringLiteral("info"), dir.filePath(QStringLiteral("none.gif"))});
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_TRUE(missing.Err.startsWith(QStringLiteral("error: Cannot open file"))) << missing.Err.toStdString();
    EXPECT_FALSE(QDir(dir.filePath(QStringLiteral("frames"))).exists());
}
