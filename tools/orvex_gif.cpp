// orvex-gif: tells why a GIF does or does not show. See GifCommands.h.
#include "GifCommands.h"
#include "GifRender.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

struct Command {
    const char* Name;
    const char* Usage;
    int (*Run)(const QStringList& args);
};

// The commands, by name.
const Command kCommands[] = {
    {"info", "info FILE          the screen, one line per frame, the warnings", gifinspect::RunInfo},
    {"frames", "frames FILE DIR    each frame's colour indices as DIR/frame-NNN.pgm, and DIR/info.txt",
     gifinspect::RunFrames},
    {"render", "render FILE DIR [--background RRGGBB]\n"
               "                               one pass as the painter draws it: DIR/render-NNN.png and DIR/timing.txt",
     orvex::RunGifRender},
};

int Usage()
{
    std::fprintf(stderr, "usage: orvex-gif COMMAND ARGUMENTS\n");
    for (const Command& c : kCommands)
        std::fprintf(stderr, "  orvex-gif %s\n", c.Usage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.isEmpty())
        return Usage();
    const QString name = args.takeFirst();
    for (const Command& c : kCommands)
        if (name == QLatin1String(c.Name))
            return c.Run(args);
    return Usage();
}
