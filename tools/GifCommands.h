#pragma once

// The commands of orvex-gif, the GIF inspector. Each command takes its own
// arguments (after the command name) and returns the exit status. A new
// command goes in a file of its own and one line of the table in
// orvex_gif.cpp.

#include <QStringList>

namespace orvex {
class TGIFImage;
}

namespace gifinspect {

// orvex-gif info FILE
int RunInfo(const QStringList& args);
// orvex-gif frames FILE DIR
int RunFrames(const QStringList& args);

// Shared by the commands: loads the file into image, collecting the
// warnings in order. On failure prints "error: MESSAGE" on standard error
// and returns false.
bool LoadForInspection(const QString& fileName, orvex::TGIFImage& image, QStringList& warnings);
// The info report: screen, one line per frame, then the warnings.
QString InfoReport(orvex::TGIFImage& image, const QStringList& warnings);
// Prints "error: MESSAGE" on standard error.
void PrintError(const QString& message);

} // namespace gifinspect
