#pragma once

#include <QByteArray>
#include <QString>

namespace orvex {

// The program's byte strings are in the Western code page 1252: file
// contents such as tags and page lines are bytes, shown and typed as text.
QString AnsiToString(const QByteArray& bytes);
// Characters the code page lacks become '?'.
QByteArray StringToAnsi(const QString& text);

} // namespace orvex
