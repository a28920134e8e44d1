#pragma once

#include <QString>
#include <functional>

namespace orvex {

// Folder chooser flags: only file-system folders can be chosen.
inline constexpr unsigned BIF_RETURNONLYFSDIRS = 1;

// Shows the desktop's folder chooser over the main window with the given
// title, open at startFolder (when given). Returns the chosen folder's path
// ending in the separator, or the empty string when the user cancels.
QString BrowseForFolder(const QString& title, unsigned flags, const QString& startFolder = QString());

// Takes the place of the dialog when set: gets the title, returns the chosen
// path as the dialog would (without the trailing separator), empty to cancel.
// Tests choose folders through it.
extern std::function<QString(const QString& title)> FolderChooserHook;

} // namespace orvex
