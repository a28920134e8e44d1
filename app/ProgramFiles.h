#pragma once

#include <QString>

namespace orvex {

// Where the program looks for its own files and where it writes its player
// page. A build folder or a portable copy keeps everything beside the
// executable; an installed program reads from its data folder
// (<prefix>/share/orvex, found relative to <prefix>/bin) and writes its page
// into the user's cache folder. Folders end in the separator.
namespace ProgramFiles {

// The installed data folder as seen from the program's folder (the build's
// install directories, "../share/orvex" by default).
QString InstalledDataPath();

// The folder the page template, the loudspeaker picture and the sample tracks
// are read from: the program's folder when the page template lies there,
// otherwise the installed data folder when it exists; empty when neither.
QString DataFolder();

// A file of the data folder. Raises EInOutError naming the file and both
// places it was looked for when there is no data folder.
QString DataFile(const char* name);

// The music folder shown at start: the one holding the sample tracks (the
// data folder), or the program's folder when there is no data folder.
QString FirstMusicFolder();

// The user's cache folder for the program: $XDG_CACHE_HOME/orvex, or
// ~/.cache/orvex when that is unset or not absolute.
QString CacheFolder();

// The user's data folder for the program (what the user keeps):
// $XDG_DATA_HOME/orvex, or ~/.local/share/orvex when that is unset or not
// absolute. Not made here.
QString UserDataFolder();

// Where the player page is written: beside the program when it runs from its
// own files and may write there, otherwise the cache folder, which is made
// when missing. Raises EInOutError when the cache folder cannot be made.
QString PlayerPageFolder();

} // namespace ProgramFiles
} // namespace orvex
