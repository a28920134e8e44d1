#include "Mp3Maker.h"

#include <QFile>
#include <cmath>
#include <gst/gst.h>

namespace orvex::testing {

namespace {
constexpr int kRate = 44100;
constexpr int kSamplesPerBuffer = 441; // 10 ms

int Buffers(double seconds)
{
    return static_cast<int>(std::lround(seconds * kRate / kSamplesPerBuffer));
}
} // namespace

int Mp3AudioMs(double seconds)
{
    return Buffers(seconds) * 10;
}

bool RunToEnd(const QString& description, const QString& path)
{
    gst_init(nullptr, nullptr);
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), &error);
    if (!pipeline || error) {
        g_clear_error(&error);
        if (pipeline)
            gst_object_unref(pipeline);
        return false;
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND,
                                                     static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ok = message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message)
        gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return ok && QFile(path).size() > 0;
}

QByteArray TaggedTone(const QString& path, const QString& encoder, const QString& title)
{
    if (!RunToEnd(QStringLiteral("audiotestsrc num-buffers=130 wave=sine ! taginject tags=\"title=%1,artist=Orvex\" ! "
                                 "audioconvert ! audioresample ! %2 ! filesink location=\"%3\"")
                      .arg(title, encoder, path),
                  path))
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

namespace {
// Encodes a 440 Hz tone of the given length with the encoder (and muxer)
// named into the file at path.
bool EncodeTone(const QString& path, double seconds, const QString& encoder)
{
    return RunToEnd(QStringLiteral("audiotestsrc num-buffers=%1 samplesperbuffer=%2 wave=sine freq=440 ! "
                                   "audio/x-raw,rate=%3,channels=2 ! %4 ! filesink location=\"%5\"")
                        .arg(Buffers(seconds))
                        .arg(kSamplesPerBuffer)
                        .arg(kRate)
                        .arg(encoder, path),
                    path);
}
} // namespace

bool MakeMp3(const QString& path, double seconds)
{
    return EncodeTone(path, seconds, QStringLiteral("lamemp3enc target=bitrate cbr=true bitrate=128"));
}

bool MakeSample(const QString& path, double seconds)
{
    gst_init(nullptr, nullptr);
    const QString suffix = path.section(QLatin1Char('.'), -1).toLower();
    GstElementFactory* libav = gst_element_factory_find("avenc_aac");
    const QString aac = libav ? QStringLiteral("avenc_aac") : QStringLiteral("voaacenc");
    if (libav)
        gst_object_unref(libav);
    const QString resample = QStringLiteral("audioconvert ! audioresample ! ");
    QString encoder;
    if (suffix == QLatin1String("flac"))
        encoder = QStringLiteral("flacenc");
    else if (suffix == QLatin1String("ogg") || suffix == QLatin1String("oga"))
        encoder = resample + QStringLiteral("vorbisenc ! oggmux");
    else if (suffix == QLatin1String("opus"))
        encoder = resample + QStringLiteral("opusenc ! oggmux");
    else if (suffix == QLatin1String("m4a"))
        encoder = resample + aac + QStringLiteral(" ! aacparse ! mp4mux");
    else if (suffix == QLatin1String("aac"))
        encoder = resample + aac + QStringLiteral(" ! aacparse ! audio/mpeg,stream-format=adts");
    else if (suffix == QLatin1String("wav"))
        encoder = QStringLiteral("wavenc");
    else
        return MakeMp3(path, seconds);
    return EncodeTone(path, seconds, encoder);
}

bool TagTitle(const QString& path, const QString& title)
{
    // Sizes in an ID3v2.4 tag are 7 bits a byte.
    const auto syncsafe = [](int size) {
        QByteArray bytes(4, 0);
        for (int i = 3; i >= 0; --i, size >>= 7)
            bytes[i] = static_cast<char>(size & 0x7f);
        return bytes;
    };
    const QByteArray text = '\x03' + title.toUtf8(); // encoding 3: UTF-8
    const QByteArray frame = "TIT2" + syncsafe(static_cast<int>(text.size())) + QByteArray(2, 0) + text;
    const QByteArray tag = QByteArray("ID3\x04\x00\x00", 6) + syncsafe(static_cast<int>(frame.size())) + frame;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray audio = file.readAll();
    file.close();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(tag + audio) == tag.size() + audio.size();
}

bool MakeWav(const QString& path, double seconds)
{
    return EncodeTone(path, seconds,
                      QStringLiteral("audioconvert ! audioresample ! audio/x-raw,format=S16LE,rate=8000,channels=1 ! wavenc"));
}

} // namespace orvex::testing
