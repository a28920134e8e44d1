#pragma once

#include <QString>
#include <QStringList>

namespace orvex {

// Results of RunProgram below 32 are failures, as the desktop's program
// runner reports them.
enum : unsigned {
    kExecOutOfMemory = 0,
    kExecFileNotFound = 2,
    kExecPathNotFound = 3,
    kExecAccessDenied = 5,
    kExecBadFormat = 11,
    kExecStarted = 33,
};

// Splits a command line into the program and its arguments: blanks separate
// them, double quotes group blanks into one.
QStringList SplitCommandLine(const QString& commandLine);

// Starts the program named first on the command line, detached from this
// one, and returns at once: kExecStarted, or the reason it could not start.
// A name without a separator is looked up on the search path. The show mode
// is accepted for the callers' sake; a started program chooses its own window.
unsigned RunProgram(const QString& commandLine, int showMode);

} // namespace orvex
