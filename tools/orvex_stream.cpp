// orvex-stream: streams MP3 tracks over HTTP, looping, as a radio station.
//   orvex-stream [--host ADDRESS] [--port N] TRACK.mp3...
// Prints "listening on ADDRESS:PORT" once it listens (port 0 picks a free
// one), then "request: LINE" for each listener's request line.
#include "StreamServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Streams MP3 tracks over HTTP, looping, as a radio station."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("host"), QStringLiteral("Address to listen on."), QStringLiteral("address"),
                      QStringLiteral("127.0.0.1")});
    parser.addOption({QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free one)."),
                      QStringLiteral("port"), QStringLiteral("8000")});
    parser.addPositionalArgument(QStringLiteral("tracks"), QStringLiteral("MP3 files to stream."));
    parser.process(app);

    orvex::StreamServer server;
    if (!server.SetTracks(parser.positionalArguments())) {
        std::fprintf(stderr, "orvex-stream: no track could be read\n");
        return 2;
    }
    const QHostAddress host(parser.value(QStringLiteral("host")));
    if (!server.Start(host, static_cast<quint16>(parser.value(QStringLiteral("port")).toUInt()))) {
        std::fprintf(stderr, "orvex-stream: cannot listen on %s:%s\n", qPrintable(host.toString()),
                     qPrintable(parser.value(QStringLiteral("port"))));
        return 1;
    }
    std::printf("listening on %s:%u\n", qPrintable(host.toString()), server.Port());
    std::fflush(stdout);
    QObject::connect(&server, &orvex::StreamServer::Requested, [](const QByteArray& line) {
        // The line is the client's text: printed as data, without its control characters.
        QByteArray shown = line;
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                c = '?';
        std::printf("request: %s\n", shown.constData());
        std::fflush(stdout);
    });
    return app.exec();
}
