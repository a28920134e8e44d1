#pragma once

#include <QSettings>
#include <QString>

namespace orvex {

// The few choices the program remembers between runs (the list's menu, the
// start place, the volumes, notifications), all in one settings file.
inline QSettings ProgramSettings()
{
    return QSettings(QStringLiteral("Orvex"), QStringLiteral("Orvex"));
}

} // namespace orvex
