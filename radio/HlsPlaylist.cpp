#include "HlsPlaylist.h"

#include <QRegularExpression>
#include <algorithm>

namespace orvex::hls {

namespace {

// The lines of a playlist, trimmed, without empty ones.
QList<QByteArray> Lines(const QByteArray& body)
{
    QList<QByteArray> lines;
    for (const QByteArray& line : body.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines.append(trimmed);
    }
    return lines;
}

// One attribute of a tag's attribute list (NAME=value or NAME="value").
QByteArray Attribute(const QByteArray& tag, const char* name)
{
    const QRegularExpression pattern(QStringLiteral(R"((?:^|[:,])%1=("[^"]*"|[^,]*))").arg(QLatin1String(name)));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(tag));
    if (!match.hasMatch())
        return {};
    QByteArray value = match.captured(1).toLatin1();
    if (value.startsWith('"'))
        value = value.mid(1, value.size() - 2);
    return value;
}

struct Variant {
    QUrl url;
    qint64 bandwidth = 0;
    bool audioOnly = false;
    bool playable = true;
    int order = 0;
};

bool IsAudioCodec(const QByteArray& codec)
{
    return codec.startsWith("mp4a") || codec == "mp3" || codec.startsWith("ac-3") || codec.startsWith("ec-3") ||
           codec.startsWith("opus") || codec.startsWith("flac");
}

// The page plays AAC (mp4a.40.*) and MP3 (mp4a.40.34, mp4a.69, mp4a.6b).
bool IsPlayableAudio(const QByteArray& codec)
{
    return codec.startsWith("mp4a") || codec == "mp3";
}

} // namespace

bool IsEncrypted(const QByteArray& body)
{
    for (const QByteArray& line : Lines(body)) {
        if (!line.toUpper().startsWith("#EXT-X-KEY:") && !line.toUpper().startsWith("#EXT-X-SESSION-KEY:"))
            continue;
        if (Attribute(line, "METHOD").toUpper() != "NONE")
            return true;
    }
    return false;
}

bool IsMaster(const QByteArray& body)
{
    return body.toUpper().contains("#EXT-X-STREAM-INF:");
}

QList<QUrl> Variants(const QByteArray& body, const QUrl& base)
{
    std::vector<Variant> variants;
    const QList<QByteArray> lines = Lines(body);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray upper = lines[i].toUpper();
        Variant v;
        v.order = static_cast<int>(variants.size());
        if (upper.startsWith("#EXT-X-MEDIA:")) {
            // An alternative audio rendition with a playlist of its own.
            const QByteArray uri = Attribute(lines[i], "URI");
            if (Attribute(lines[i], "TYPE").toUpper() != "AUDIO" || uri.isEmpty())
                continue;
            v.url = base.resolved(QUrl(QString::fromUtf8(uri)));
            v.audioOnly = true;
        } else if (upper.startsWith("#EXT-X-STREAM-INF:") && i + 1 < lines.size() && !lines[i + 1].startsWith('#')) {
            v.url = base.resolved(QUrl(QString::fromUtf8(lines[i + 1])));
            v.bandwidth = Attribute(lines[i], "BANDWIDTH").toLongLong();
            const QList<QByteArray> codecs = Attribute(lines[i], "CODECS").toLower().split(',');
            const bool named = !Attribute(lines[i], "CODECS").isEmpty();
            v.audioOnly = named && std::all_of(codecs.begin(), codecs.end(),
                                               [](const QByteArray& c) { return IsAudioCodec(c.trimmed()); });
            v.playable = !named || std::any_of(codecs.begin(), codecs.end(),
                                               [](const QByteArray& c) { return IsPlayableAudio(c.trimmed()); });
            ++i;
        } else {
            continue;
        }
        if (v.url.isValid() && !v.url.isEmpty())
            variants.push_back(v);
    }
    std::stable_sort(variants.begin(), variants.end(), [](const Variant& a, const Variant& b) {
        if (a.playable != b.playable)
            return a.playable;
        if (a.audioOnly != b.audioOnly)
            return a.audioOnly;
        const bool aUnder = a.bandwidth <= kMaxBandwidth, bUnder = b.bandwidth <= kMaxBandwidth;
        if (aUnder != bUnder)
            return aUnder;
        if (a.bandwidth != b.bandwidth)
            return aUnder ? a.bandwidth > b.bandwidth : a.bandwidth < b.bandwidth;
        return a.order < b.order;
    });
    QList<QUrl> urls;
    for (const Variant& v : variants) {
        if (!urls.contains(v.url))
            urls.append(v.url);
        if (urls.size() == kMaxVariants)
            break;
    }
    return urls;
}

int TargetDurationMs(const QByteArray& body)
{
    for (const QByteArray& line : Lines(body))
        if (line.toUpper().startsWith("#EXT-X-TARGETDURATION:"))
            return static_cast<int>(std::clamp(line.mid(22).toDouble(), 0.0, 3600.0) * 1000);
    return 0;
}

} // namespace orvex::hls
