#include "Mp3Maker.h"
#include "ReaderTestSupport.h"
#include "StreamReader.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvex;
using orvex::testing::Recorder;
using orvex::testing::ScriptServer;

namespace {

// Two songs, "Orvex - First" and "Orvex - Second", as an Ogg station sends
// them: one chained stream after the other, each named in its comments.
QByteArray Chain(const QString& encoder)
{
    QTemporaryDir dir;
    QByteArray chain;
    for (const char* title : {"First", "Second"}) {
        const QByteArray song = orvex::testing::TaggedTone(dir.filePath(QString::fromLatin1(title)),
                                                           encoder + QStringLiteral(" ! oggmux"),
                                                           QString::fromLatin1(title));
        if (song.isEmpty())
            return {};
        chain += song;
    }
    return chain;
}

} // namespace

// An Ogg station's songs (Vorbis, Opus, FLAC in Ogg) are named as ICY
// titles are, once each, and its audio comes through untouched.
TEST(OggTitles, ReportsEachChainedStreamsTitle)
{
    for (const QString& encoder : {QStringLiteral("vorbisenc"), QStringLiteral("opusenc"), QStringLiteral("flacenc")}) {
        SCOPED_TRACE(encoder.toStdString());
        const QByteArray chain = Chain(encoder);
        ASSERT_FALSE(chain.isEmpty());
        ScriptServer server;
        // The station goes on (silent) after the second song has started.
        server.On(QStringLiteral("/live.ogg"),
                  ScriptServer::Trickle("HTTP/1.0 200 OK\r\nContent-Type: application/ogg\r\n\r\n" + chain, {}));
        StreamReader reader;
        Recorder recorder(reader);
        reader.Open(server.Url(QStringLiteral("/live.ogg")));
        ASSERT_TRUE(QTest::qWaitFor([&] { return (recorder.titles.size() >= 2 && recorder.audio.size() >= chain.size()) || recorder.done; }, 30000));
        EXPECT_EQ(recorder.titles, QStringList({"Orvex - First", "Orvex - Second"})) << recorder.reason.toStdString();
        EXPECT_TRUE(recorder.audio == chain);
        EXPECT_EQ(recorder.info.contentType, QStringLiteral("application/ogg"));
        reader.Close();
    }
}
