#include "GifCommands.h"

#include "Exceptions.h"
#include "GIFExtensions.h"
#include "GIFImage.h"
#include "Streams.h"

#include <QDir>
#include <QFile>
#include <cstdio>
#include <new>

namespace gifinspect {

using namespace orvex;

void PrintError(const QString& message)
{
    std::fprintf(stderr, "error: %s\n", message.toLocal8Bit().constData());
}

bool LoadForInspection(const QString& fileName, TGIFImage& image, QStringList& warnings)
{
    image.WarningHandler = [&warnings](TPersistent&, std::uint8_t, const QString& message) { warnings << message; };
    try {
        // The whole file in memory: the reader's many small reads would
        // each be a system call on a file stream.
        TMemoryStream stream;
        stream.LoadFromFile(fileName);
        image.LoadFromStream(stream);
    } catch (const Exception& e) {
        PrintError(e.Message());
        return false;
    } catch (const std::bad_alloc&) {
        PrintError(QStringLiteral("Out of memory"));
        return false;
    }
    return true;
}

namespace {

// A comment line as text: printable ASCII as it is, quotes and backslashes
// escaped, every other byte as \xHH.
QString Quoted(const QByteArray& bytes)
{
    QString text = QStringLiteral("\"");
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            text += QLatin1Char('\\');
            text += QLatin1Char(char(c));
        } else if (c >= 0x20 && c < 0x7F) {
            text += QLatin1Char(char(c));
        } else {
            text += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
        }
    }
    return text + QLatin1Char('"');
}

QString FrameLine(int index, TGIFSubImage& frame)
{
    const TGIFGraphicControlExtension* control = frame.GraphicControl;
    QString line = QStringLiteral("frame %1: left=%2 top=%3 width=%4 height=%5 interlaced=%6 colors=%7 transparent=%8 "
                                  "delay=%9 disposal=%10")
                       .arg(index)
                       .arg(frame.Left())
                       .arg(frame.Top())
                       .arg(frame.Width())
                       .arg(frame.Height())
                       .arg(frame.Interlaced() ? QStringLiteral("yes") : QStringLiteral("no"))
                       .arg(frame.LocalColorMap().ColorCount())
                       .arg(frame.Transparent && control ? QString::number(control->TransparentIndex())
                                                         : QStringLiteral("-"))
                       .arg(control ? control->DelayTime() : 0)
                       .arg(control ? int(control->Disposal()) : 0);
    if (const auto* loop = frame.Extensions().Find<TGIFAppExtNSLoop>())
        line += QStringLiteral(" loop=%1").arg(loop->LoopCount);
    for (int i = 0; i < frame.Extensions().Count(); ++i)
        if (const auto* comment = dynamic_cast<const TGIFCommentExtension*>(frame.Extensions().Item(i)))
            for (const QByteArray& text : comment->Lines)
                line += QStringLiteral(" comment=") + Quoted(text);
    return line;
}

} // namespace

QString InfoReport(TGIFImage& image, const QStringList& warnings)
{
    const TGIFHeader& header = image.Header();
    QString report = QStringLiteral("screen: width=%1 height=%2 colors=%3 background=%4\n")
                         .arg(header.Width())
                         .arg(header.Height())
                         .arg(header.GlobalColorMap().ColorCount())
                         .arg(header.BackgroundColorIndex());
    for (int i = 0; i < image.Frames().Count(); ++i)
        report += FrameLine(i, image.Frames()[i]) + QLatin1Char('\n');
    for (const QString& warning : warnings)
        report += QStringLiteral("warning: ") + warning + QLatin1Char('\n');
    return report;
}

int RunInfo(const QStringList& args)
{
    if (args.size() != 1) {
        PrintError(QStringLiteral("usage: orvex-gif info FILE"));
        return 2;
    }
    TGIFImage image;
    QStringList warnings;
    if (!LoadForInspection(args[0], image, warnings))
        return 1;
    std::fputs(InfoReport(image, warnings).toUtf8().constData(), stdout);
    return 0;
}

int RunFrames(const QStringList& args)
{
    if (args.size() != 2) {
        PrintError(QStringLiteral("usage: orvex-gif frames FILE DIR"));
        return 2;
    }
    TGIFImage image;
    QStringList warnings;
    if (!LoadForInspection(args[0], image, warnings))
        return 1;
    const QString dir = args[1];
    if (!QDir().mkpath(dir)) {
        PrintError(QStringLiteral("Cannot create folder \"%1\"").arg(dir));
        return 1;
    }
    try {
        for (int i = 0; i < image.Frames().Count(); ++i) {
            const TGIFSubImage& frame = image.Frames()[i];
            if (frame.PixelCount() == 0)
                continue;
            // A binary PGM of the colour indices, no palette applied.
            const QByteArray head = QStringLiteral("P5\n%1 %2\n255\n").arg(frame.Width()).arg(frame.Height()).toLatin1();
            TFileStream out(QStringLiteral("%1/frame-%2.pgm").arg(dir).arg(i, 3, 10, QLatin1Char('0')), fmCreate);
            out.WriteBuffer(head.constData(), head.size());
            out.WriteBuffer(frame.Pixels(), frame.PixelCount());
        }
        const QByteArray info = InfoReport(image, warnings).toUtf8();
        TFileStream out(dir + QStringLiteral("/info.txt"), fmCreate);
        out.WriteBuffer(info.constData(), info.size());
    } catch (const Exception& e) {
        PrintError(e.Message());
        return 1;
    }
    return 0;
}

} // namespace gifinspect
