#include "WindowFixture.h"

#include "Mp3Maker.h"
#include "ScriptServer.h"
#include "Unit1.h"

#include <QTemporaryDir>

using namespace orvex;
using orvex::testing::PumpUntil;
using orvex::testing::ScriptServer;

namespace {

class StreamFormatsTest : public orvex::testing::WindowFixture {
protected:
    // A few seconds of a tone, encoded by GStreamer with encoder (and muxer).
    QByteArray Sample(const QString& name, const QString& encoder, const char* title = "Tone")
    {
        return orvex::testing::TaggedTone(ExePath(name), encoder, QString::fromLatin1(title));
    }
    QString State()
    {
        return Evaluate(QStringLiteral("typeof orvexPlayer === 'undefined' ? '' : orvexPlayer.given + ' ' + orvexPlayer.state"))
            .toString();
    }
    QString Shown(const char* id)
    {
        return Evaluate(QStringLiteral("document.getElementById('%1').textContent").arg(QLatin1String(id))).toString();
    }
};

} // namespace

// Each format a station may send either plays from the program's feed, with
// its title, or the page says which format cannot be played here: none ends
// in a silent page that claims to play. The page goes by what arrives, not
// by what the server calls it.
TEST_F(StreamFormatsTest, EachFormatPlaysOrThePageSaysWhy)
{
    const QByteArray mp3 = Sample(QStringLiteral("tone.mp3"), QStringLiteral("lamemp3enc"));
    const QByteArray aac = Sample(QStringLiteral("tone.aac"),
                                  QStringLiteral("voaacenc ! aacparse ! audio/mpeg,stream-format=adts"));
    const QByteArray vorbis = Sample(QStringLiteral("one.ogg"), QStringLiteral("vorbisenc ! oggmux"));
    const QByteArray opus = Sample(QStringLiteral("first.opus"), QStringLiteral("opusenc ! oggmux"), "First") +
                            Sample(QStringLiteral("second.opus"), QStringLiteral("opusenc ! oggmux"), "Second");
    const QByteArray flac = Sample(QStringLiteral("tone.flac"), QStringLiteral("flacenc"));
    const QByteArray oggFlac = Sample(QStringLiteral("tone.oga"), QStringLiteral("flacenc ! oggmux"));
    QByteArray noise;
    for (int i = 0; i < 65536; ++i)
        noise += char((i * 7919 + (i >> 7) * 104729) % 251);
    for (const QByteArray* sample : {&mp3, &aac, &vorbis, &opus, &flac, &oggFlac})
        ASSERT_FALSE(sample->isEmpty());

    struct Case {
        const char* name;
        const QByteArray& body;
        QByteArray type;      // as the server calls it
        const char* outcome;  // the page's state; "either": playing, or failed naming the format
        const char* format;   // orvexPlayer.format, also named on the page when it fails
        bool fed;             // through the page's media source
        const char* title;    // shown and known to the window; "": none to wait for
    };
    const Case cases[] = {
        // The browser engine of Debian 12 does not decode Vorbis.
        {"Ogg Vorbis", vorbis, "application/ogg", "failed", "Ogg Vorbis", false, ""},
        {"MP3", mp3, "audio/mpeg", "playing", "MP3", true, ""},
        {"AAC", aac, "audio/aacp", "playing", "AAC", true, ""},
        {"AAC announced as MP3", aac, "audio/mpeg", "playing", "AAC", true, ""},
        {"MP3 as bytes", mp3, "application/octet-stream", "playing", "MP3", true, ""},
        {"Ogg Opus, two songs", opus, "audio/ogg", "playing", "Ogg Opus", false, "Orvex - Second"},
        // Native FLAC from a live stream starts only now and then in the
        // browser engine on a busy machine.
        {"FLAC", flac, "audio/flac", "either", "FLAC", false, ""},
        {"FLAC in Ogg", oggFlac, "audio/ogg", "playing", "Ogg FLAC", false, "Orvex - Tone"},
        {"noise announced as MP3", noise, "audio/mpeg", "failed", nullptr, false, ""},
    };
    ScriptServer server;
    TfrmOrvex& form = Form();
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The station goes on, silent, after its sample.
        const QString path = QStringLiteral("/s%1").arg(++n);
        server.On(path, ScriptServer::Trickle("HTTP/1.0 200 OK\r\nContent-Type: " + c.type + "\r\n\r\n" + c.body, {}));
        const QString address = server.Url(path).toString();
        form.editAddress->setText(address.mid(7));
        form.bitBtnSETRemote->click();
        ASSERT_TRUE(PumpUntil([&] {
            const QString state = State();
            return state == address + QStringLiteral(" playing") || state == address + QStringLiteral(" failed");
        }, 30000)) << State().toStdString();
        const bool failed = State() == address + QStringLiteral(" failed");
        if (QByteArray(c.outcome) != "either") {
            EXPECT_EQ(State(), address + u' ' + QLatin1String(c.outcome)) << Shown("detail").toStdString();
        }
        EXPECT_EQ(Evaluate(QStringLiteral("orvexPlayer.via")).toString(), QStringLiteral("feed"));
        if (c.format != nullptr) {
            EXPECT_EQ(Evaluate(QStringLiteral("orvexPlayer.format")).toString(), QLatin1String(c.format));
            EXPECT_EQ(Evaluate(QStringLiteral("orvexPlayer.fed")).toBool(), c.fed);
        }
        if (failed) {
            EXPECT_FALSE(Shown("detail").isEmpty());
            if (c.format != nullptr) {
                EXPECT_TRUE(Shown("detail").contains(QLatin1String(c.format))) << Shown("detail").toStdString();
            }
        }
        if (*c.title != '\0') {
            EXPECT_TRUE(PumpUntil([&] { return Shown("title") == QLatin1String(c.title); }, 20000))
                << Shown("title").toStdString();
            EXPECT_EQ(form.StreamTitle(), QLatin1String(c.title));
        }
    }
}
