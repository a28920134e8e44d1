#include "ProgramFiles.h"

#include "Application.h"
#include "Exceptions.h"
#include "Streams.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>

#ifndef ORVEX_DATA_FROM_BIN
#define ORVEX_DATA_FROM_BIN "../share/orvex"
#endif

namespace orvex::ProgramFiles {

namespace {

// The page template marks a folder that holds the program's files.
constexpr const char* kMarker = "indexIIc.htm";

QString WithSeparator(QString folder)
{
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QString InstalledDataFolder()
{
    return WithSeparator(QDir::cleanPath(Application().ExeFolder() + InstalledDataPath()));
}

bool RunsFromOwnFiles()
{
    return QFileInfo::exists(Application().ExeFolder() + QLatin1String(kMarker));
}

} // namespace

QString InstalledDataPath()
{
    return QStringLiteral(ORVEX_DATA_FROM_BIN);
}

QString DataFolder()
{
    if (RunsFromOwnFiles())
        return Application().ExeFolder();
    const QString installed = InstalledDataFolder();
    return QFileInfo(installed).isDir() ? installed : QString();
}

QString DataFile(const char* name)
{
    const QString folder = DataFolder();
    if (folder.isEmpty())
        throw EInOutError(QStringLiteral("The program's files are missing: \"%1\" is neither beside the program in \"%2\" "
                                         "nor in its data folder \"%3\"")
                              .arg(QLatin1String(name), Application().ExeFolder(), InstalledDataFolder()),
                          ENOENT);
    return folder + QLatin1String(name);
}

QString FirstMusicFolder()
{
    const QString folder = DataFolder();
    return folder.isEmpty() ? Application().ExeFolder() : folder;
}

QString CacheFolder()
{
    // A relative $XDG_CACHE_HOME is not to be used: the XDG base directories
    // must be absolute (Qt's generic cache location would take it relative
    // to the working folder).
    QString base = QFile::decodeName(qgetenv("XDG_CACHE_HOME"));
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return WithSeparator(QDir::cleanPath(base)) + QStringLiteral("orvex/");
}

QString UserDataFolder()
{
    QString base = QFile::decodeName(qgetenv("XDG_DATA_HOME"));
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return WithSeparator(QDir::cleanPath(base)) + QStringLiteral("orvex/");
}

QString PlayerPageFolder()
{
    const QString programFolder = Application().ExeFolder();
    if (DataFolder() != InstalledDataFolder() && QFileInfo(programFolder).isWritable())
        return programFolder;
    const QString cache = CacheFolder();
    // Made one level at a time, so that the failing level's reason is the one
    // reported (a cache root that is a file, a folder without write access).
    QString made;
    for (const QString& part : cache.split(u'/', Qt::SkipEmptyParts)) {
        made += u'/' + part;
        const QByteArray path = QFile::encodeName(made);
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
            const int error = errno;
            throw EInOutError(QStringLiteral("Cannot create the folder \"%1\" for the player page: %2")
                                  .arg(made, SysErrorMessage(error)),
                              error);
        }
    }
    if (!QFileInfo(cache).isDir())
        throw EInOutError(QStringLiteral("Cannot create the folder \"%1\" for the player page: %2")
                              .arg(cache, SysErrorMessage(ENOTDIR)),
                          ENOTDIR);
    return cache;
}

} // namespace orvex::ProgramFiles
