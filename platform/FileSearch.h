#pragma once

#include <QString>
#include <QStringList>

namespace orvex {

// The names in a folder that match a wildcard pattern ('*' any run of
// characters, '?' one character), compared without regard to case. Hidden
// entries and sub-folders count like files; "." and ".." never do. Names come
// in name order without regard to case, as the desktop's enumeration gives
// them. A name that is not valid text in
// the system's encoding (and so could not be opened again by its text) is
// left out. A folder that cannot be read gives an empty list.
QStringList FindFiles(const QString& folder, const QString& pattern);
// The names that match any of the patterns, each once, in the same order.
QStringList FindFiles(const QString& folder, const QStringList& patterns);

} // namespace orvex
