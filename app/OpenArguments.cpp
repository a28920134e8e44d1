// What the desktop hands the program: files, addresses and playlists, from
// the command line or, when the program already runs, over the bus.
#include "OpenArguments.h"

#include "Application.h"
#include "PlaylistParser.h"
#include "StationBox.h"
#include "Unit1.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace orvex {

namespace {

constexpr int kShownLength = 200;      // of a refused argument, in a message
constexpr int kMaxPlaylistBytes = 128 * 1024;

const QRegularExpression kScheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):"));

// An argument as a message shows it: long ones cut.
QString Shown(const QString& argument)
{
    return argument.size() > kShownLength ? argument.left(kShownLength) + QStringLiteral("...") : argument;
}

bool IsMusicFile(const QFileInfo& file)
{
    for (const QString& pattern : MusicFilePatterns()) {
        if (file.fileName().endsWith(pattern.mid(1), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool IsPlaylist(const QFileInfo& file)
{
    static const QStringList kSuffixes = {QStringLiteral("pls"), QStringLiteral("m3u"), QStringLiteral("m3u8"),
                                          QStringLiteral("xspf"), QStringLiteral("asx")};
    return kSuffixes.contains(file.suffix(), Qt::CaseInsensitive);
}

QString OpenMusicFile(TfrmOrvex& window, const QFileInfo& file)
{
    // At start-up the player page waits for the browser engine: it is not
    // loaded at all then, so that it cannot start the station over the track.
    if (!window.WebBrowser1->EngineStarted())
        window.WebBrowser1->Stop();
    window.rdButtonLOCALAudio->setChecked(true);
    window.ShowMusicFolder(file.absolutePath() + QLatin1Char('/'));
    const QList<QListWidgetItem*> found = window.mp3List->findItems(file.fileName(), Qt::MatchExactly);
    // Names the list cannot show (not text in the system's encoding) cannot be opened by it either.
    if (found.isEmpty())
        return QStringLiteral("Arquivo que a lista n\u00e3o mostra: %1").arg(Shown(file.filePath()));
    const int row = window.mp3List->row(found.first());
    if (window.TrackPath() == window.MusicFolder() + file.fileName() && window.mp3Player->Opened() &&
        window.trackBar->maximum() != 0) {
        // The open track (handed over again): the device holds its file, so
        // it plays again from the top rather than being opened anew.
        window.mp3List->setCurrentRow(row);
        window.mp3Player->Rewind();
    } else if (!window.OpenTrackAt(row)) {
        return {};
    }
    window.mp3Player->PressButton(btPlay);
    return {};
}

QString OpenPlaylist(TfrmOrvex& window, const QFileInfo& file)
{
    QFile list(file.absoluteFilePath());
    if (!list.open(QIODevice::ReadOnly))
        return QStringLiteral("N\u00e3o foi poss\u00edvel ler a lista: %1").arg(Shown(file.filePath()));
    const QByteArray body = list.read(kMaxPlaylistBytes);
    const QUrl base = QUrl::fromLocalFile(file.absoluteFilePath());
    playlist::Format format = playlist::Sniff(QString(), base, body.left(512));
    if (format == playlist::Format::None)
        format = playlist::Format::M3u;
    if (format == playlist::Format::M3u && playlist::IsHls(body))
        return QStringLiteral("Listas HLS n\u00e3o s\u00e3o suportadas: %1").arg(Shown(file.filePath()));
    const QList<QUrl> entries = playlist::Entries(body, format, base);
    if (entries.isEmpty())
        return QStringLiteral("Nenhum endere\u00e7o de r\u00e1dio na lista: %1").arg(Shown(file.filePath()));
    window.rdButtonSERVERAudio->setChecked(true);
    window.PlayTypedAddress({true, entries.first().toString(QUrl::FullyEncoded), /*http=*/true});
    return {};
}

QString OpenLocal(TfrmOrvex& window, const QString& path)
{
    const QFileInfo file(path);
    if (!file.exists())
        return QStringLiteral("Arquivo n\u00e3o encontrado: %1").arg(Shown(path));
    if (file.isDir())
        return QStringLiteral("\u00c9 uma pasta, n\u00e3o um arquivo de m\u00fasica: %1").arg(Shown(path));
    if (IsMusicFile(file))
        return OpenMusicFile(window, file);
    if (IsPlaylist(file))
        return OpenPlaylist(window, file);
    return QStringLiteral("Formato n\u00e3o suportado: %1").arg(Shown(path));
}

} // namespace

QString OpenTarget(TfrmOrvex& window, const QString& target)
{
    const QRegularExpressionMatch scheme = kScheme.match(target);
    if (!scheme.hasMatch() || QFileInfo::exists(target))
        return OpenLocal(window, target);
    const QUrl url(target);
    if (scheme.captured(1).compare(QLatin1String("file"), Qt::CaseInsensitive) == 0) {
        // A file on this machine only: file://host/... names another one.
        if (!url.isValid() || !(url.host().isEmpty() || url.host() == QLatin1String("localhost")))
            return QStringLiteral("Endere\u00e7o n\u00e3o suportado: %1").arg(Shown(target));
        return OpenLocal(window, url.toLocalFile());
    }
    const TypedAddress address = PickAddress(target);
    if (!address.ok || !kScheme.match(address.address).hasMatch())
        return QStringLiteral("Endere\u00e7o n\u00e3o suportado: %1").arg(Shown(target));
    window.rdButtonSERVERAudio->setChecked(true);
    window.PlayTypedAddress(address);
    return {};
}

QStringList Targets(const QStringList& arguments)
{
    QStringList targets;
    for (const QString& argument : arguments) {
        if (!argument.startsWith(QLatin1String("--")))
            targets << argument;
    }
    return targets;
}

QString ArgumentsRefused(const QStringList& arguments)
{
    const qsizetype count = Targets(arguments).size();
    if (count <= kMaxArguments)
        return {};
    return QStringLiteral("Argumentos demais: %1 (no m\u00e1ximo %2).").arg(count).arg(kMaxArguments);
}

bool OpenArguments(TfrmOrvex& window, const QStringList& arguments)
{
    const QStringList targets = Targets(arguments);
    if (targets.isEmpty())
        return false;
    QString refused = ArgumentsRefused(arguments);
    if (refused.isEmpty())
        Guarded([&] { refused = OpenTarget(window, targets.first()); });
    if (!refused.isEmpty())
        Application().MessageBox(refused);
    return true;
}

QString ArgumentUri(const QString& argument)
{
    if (kScheme.match(argument).hasMatch() && !QFileInfo::exists(argument))
        return argument;
    return QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath()).toString(QUrl::FullyEncoded);
}

} // namespace orvex
