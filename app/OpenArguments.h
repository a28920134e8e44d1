#pragma once

#include <QString>
#include <QStringList>

namespace orvex {

class TfrmOrvex;

// More arguments than this are refused whole: no desktop hands over so many
// at once, and opening each would hold the program up.
inline constexpr int kMaxArguments = 100;

// Opens what the desktop hands the program, as the user would in the
// window: a music file plays in LOCAL Music with its folder listed; an http,
// https or mms address plays as a typed station in SERVER Music; a local
// playlist (.pls, .m3u, .xspf, .asx) plays its first stream address. A
// file:// URL (as the desktop hands files over) counts as its local file.
// Returns why target was refused (missing, a folder, another scheme, not
// music), empty when it was opened.
QString OpenTarget(TfrmOrvex& window, const QString& target);

// The program's arguments that are no options ("--..."): what it opens.
QStringList Targets(const QStringList& arguments);
// Why the program refuses its arguments whole (too many), empty when it
// does not.
QString ArgumentsRefused(const QStringList& arguments);

// Opens the first of the program's arguments that is no option ("--..."),
// showing a refusal in a message box. Returns whether an argument was given,
// so that start-up plays nothing of its own then.
bool OpenArguments(TfrmOrvex& window, const QStringList& arguments);

// An argument as the running program is handed it over the bus: an address
// as given, a path as the file URL of its absolute path.
QString ArgumentUri(const QString& argument);

} // namespace orvex
