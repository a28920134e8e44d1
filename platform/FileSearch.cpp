#include "FileSearch.h"

#include <algorithm>
#include <dirent.h>
#include <fnmatch.h>
#include <memory>
#include <vector>

namespace orvex {

QStringList FindFiles(const QString& folder, const QString& pattern)
{
    return FindFiles(folder, QStringList{pattern});
}

QStringList FindFiles(const QString& folder, const QStringList& patterns)
{
    QStringList names;
    const QByteArray path = folder.isEmpty() ? QByteArray(".") : folder.toLocal8Bit();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.constData()), ::closedir);
    if (!dir)
        return names;
    std::vector<QByteArray> wildcards;
    for (const QString& pattern : patterns)
        wildcards.push_back(pattern.toLocal8Bit());
    const auto matches = [&](const char* name) {
        return std::any_of(wildcards.begin(), wildcards.end(), [name](const QByteArray& wildcard) {
            return ::fnmatch(wildcard.constData(), name, FNM_CASEFOLD) == 0;
        });
    };
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* name = entry->d_name;
        if ((name[0] == '.' && name[1] == '\0') || (name[0] == '.' && name[1] == '.' && name[2] == '\0'))
            continue;
        if (!matches(name))
            continue;
        // Names travel as text and back to bytes when they are opened; a
        // name that does not survive the trip would be shown but could not
        // be opened, so it is not listed at all.
        const QString text = QString::fromLocal8Bit(name);
        if (text.toLocal8Bit() == QByteArrayView(name))
            names << text;
    }
    // Names that differ only in case keep a fixed order among themselves.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int folded = QString::compare(a, b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    return names;
}

} // namespace orvex
