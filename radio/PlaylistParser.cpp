#include "PlaylistParser.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
// GLib's headers use "signals" as a name; Qt defines it as a keyword.
#pragma push_macro("signals")
#undef signals
#include <totem-pl-parser.h>
#pragma pop_macro("signals")

namespace orvex::playlist {

namespace {

// The first bytes after a byte order mark and white space, in lower case.
QByteArray Start(const QByteArray& head)
{
    QByteArray text = head.left(512);
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    return text.trimmed().toLower();
}

Format FromSignature(const QByteArray& start)
{
    if (start.startsWith("[playlist]"))
        return Format::Pls;
    if (start.startsWith("#extm3u"))
        return Format::M3u;
    if (start.startsWith("<asx"))
        return Format::Asx;
    if (start.startsWith("<?xml") || start.startsWith("<playlist")) {
        if (start.contains("<asx"))
            return Format::Asx;
        if (start.contains("<playlist"))
            return Format::Xspf;
    }
    // A bare M3U: a list of addresses, one a line.
    for (const char* scheme : {"http://", "https://", "icy://", "mms://"})
        if (start.startsWith(scheme))
            return Format::M3u;
    return Format::None;
}

Format FromContentType(const QString& type, const QByteArray& start)
{
    if (type == u"audio/x-scpls" || type == u"audio/scpls" || type == u"application/pls+xml")
        return Format::Pls;
    if (type == u"audio/x-mpegurl" || type == u"audio/mpegurl" || type == u"application/x-mpegurl" ||
        type == u"application/vnd.apple.mpegurl")
        return Format::M3u;
    if (type == u"application/xspf+xml")
        return Format::Xspf;
    // The same types name ASF streams; an ASX file is XML.
    if ((type == u"video/x-ms-asf" || type == u"video/x-ms-asx" || type == u"audio/x-ms-asx") && start.startsWith('<'))
        return Format::Asx;
    return Format::None;
}

Format FromFileName(const QUrl& address)
{
    const QString path = address.path().toLower();
    if (path.endsWith(u".pls"))
        return Format::Pls;
    if (path.endsWith(u".m3u") || path.endsWith(u".m3u8"))
        return Format::M3u;
    if (path.endsWith(u".asx"))
        return Format::Asx;
    if (path.endsWith(u".xspf"))
        return Format::Xspf;
    return Format::None;
}

const char* Extension(Format format)
{
    switch (format) {
    case Format::Pls:
        return "pls";
    case Format::M3u:
        return "m3u";
    case Format::Asx:
        return "asx";
    case Format::Xspf:
        return "xspf";
    case Format::None:
        break;
    }
    return "txt";
}

void OnEntry(TotemPlParser*, const char* uri, GHashTable*, gpointer list)
{
    if (uri != nullptr)
        static_cast<QList<QUrl>*>(list)->append(QUrl(QString::fromUtf8(uri)));
}

void OnNamedEntry(TotemPlParser*, const char* uri, GHashTable* metadata, gpointer list)
{
    if (uri == nullptr)
        return;
    const auto* title = static_cast<const char*>(g_hash_table_lookup(metadata, TOTEM_PL_PARSER_FIELD_TITLE));
    static_cast<QList<NamedEntry>*>(list)->append(
        {QString::fromUtf8(uri), title ? QString::fromUtf8(title).trimmed() : QString()});
}

} // namespace

QList<NamedEntry> NamedEntries(const QString& file)
{
    QList<NamedEntry> found;
    TotemPlParser* parser = totem_pl_parser_new();
    g_object_set(parser, "recurse", FALSE, "disable-unsafe", TRUE, nullptr);
    g_signal_connect(parser, "entry-parsed", G_CALLBACK(&OnNamedEntry), &found);
    const QByteArray fileUri = QUrl::fromLocalFile(file).toEncoded();
    totem_pl_parser_parse(parser, fileUri.constData(), FALSE);
    g_object_unref(parser);
    return found;
}

Format Sniff(const QString& contentType, const QUrl& address, const QByteArray& head)
{
    const QByteArray start = Start(head);
    if (const Format f = FromSignature(start); f != Format::None)
        return f;
    if (const Format f = FromContentType(contentType, start); f != Format::None)
        return f;
    // A file name counts only when the server does not say it sends audio.
    const bool audio = contentType.startsWith(u"audio/") || contentType == u"application/ogg" ||
                       contentType == u"video/x-ms-asf";
    return audio ? Format::None : FromFileName(address);
}

bool IsHls(const QByteArray& body)
{
    const QByteArray start = Start(body);
    return start.startsWith("#extm3u") && (body.contains("#EXT-X-") || body.contains("#ext-x-"));
}

QUrl StreamAddress(const QUrl& address)
{
    // "host:port/path" reads as a scheme "host" to QUrl: no "://", no scheme.
    const QString text = address.toString();
    QUrl url = text.contains(u"://") ? address : QUrl(QStringLiteral("http://") + text);
    const QString scheme = url.scheme().toLower();
    if (scheme == u"icy" || scheme == u"mms") {
        url.setScheme(QStringLiteral("http"));
    } else {
        url.setScheme(scheme);
    }
    if (!url.isValid() || url.host().isEmpty() || (url.scheme() != u"http" && url.scheme() != u"https"))
        return {};
    return url;
}

QList<QUrl> Entries(const QByteArray& body, Format format, const QUrl& base)
{
    if (format == Format::None)
        return {};
    // The parser reads files: the download, already capped, is handed to it
    // as one, named so that it knows the format.
    QTemporaryDir dir;
    if (!dir.isValid())
        return {};
    const QString path = dir.filePath(QStringLiteral("playlist.") + QLatin1String(Extension(format)));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size())
        return {};
    file.close();

    QList<QUrl> found;
    TotemPlParser* parser = totem_pl_parser_new();
    // Entries that are playlists themselves are the reader's to fetch,
    // under its own limits.
    g_object_set(parser, "recurse", FALSE, "disable-unsafe", TRUE, nullptr);
    g_signal_connect(parser, "entry-parsed", G_CALLBACK(&OnEntry), &found);
    const QByteArray fileUri = QUrl::fromLocalFile(path).toEncoded();
    const QByteArray baseUri = base.toEncoded();
    totem_pl_parser_parse_with_base(parser, fileUri.constData(), baseUri.constData(), FALSE);
    g_object_unref(parser);

    QList<QUrl> entries;
    for (const QUrl& entry : found) {
        const QUrl url = StreamAddress(entry.isRelative() ? base.resolved(entry) : entry);
        if (!url.isEmpty())
            entries.append(url);
    }
    return entries;
}

} // namespace orvex::playlist
