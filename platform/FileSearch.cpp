#include "FileSearch.h"

#include <dirent.h>
#include <fnmatch.h>
#include <memory>

namespace orvex {

QStringList FindFiles(const QString& folder, const QString& pattern)
{
    QStringList names;
    const QByteArray path = folder.isEmpty() ? QByteArray(".") : folder.toLocal8Bit();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.constData()), ::closedir);
    if (!dir)
        return names;
    const QByteArray wildcard = pattern.toLocal8Bit();
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* name = entry->d_name;
        if ((name[0] == '.' && name[1] == '\0') || (name[0] == '.' && name[1] == '.' && name[2] == '\0'))
            continue;
        if (::fnmatch(wildcard.constData(), name, FNM_CASEFOLD) == 0)
            names << QString::fromLocal8Bit(name);
    }
    return names;
}

} // namespace orvex
