#include "Shell.h"

#include <QFileInfo>
#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace orvex {

QStringList SplitCommandLine(const QString& commandLine)
{
    QStringList parts;
    QString current;
    bool quoted = false, any = false;
    for (const QChar c : commandLine) {
        if (c == u'"') {
            quoted = !quoted;
            any = true;
        } else if (c.isSpace() && !quoted) {
            if (any)
                parts << current;
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any)
        parts << current;
    return parts;
}

namespace {

unsigned ResultOfErrno(int error)
{
    switch (error) {
    case ENOENT: return kExecFileNotFound;
    case ENOTDIR: return kExecPathNotFound;
    case ENOMEM:
    case EAGAIN: return kExecOutOfMemory;
    case EACCES:
    case EPERM: return kExecAccessDenied;
    default: return kExecBadFormat;
    }
}

} // namespace

unsigned RunProgram(const QString& commandLine, int /*showMode*/)
{
    const QStringList parts = SplitCommandLine(commandLine);
    if (parts.isEmpty())
        return kExecFileNotFound;
    const QString& program = parts.front();
    if (program.contains(u'/')) {
        const QFileInfo info(program);
        if (!QFileInfo(info.absolutePath()).isDir())
            return kExecPathNotFound;
        if (!info.exists())
            return kExecFileNotFound;
    }

    std::vector<QByteArray> storage;
    for (const QString& part : parts)
        storage.push_back(part.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    // The child gets its own session, so it outlives us and our terminal.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        return ResultOfErrno(error);

    // Reap the child when it ends, so it leaves no zombie behind.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return kExecStarted;
}

} // namespace orvex
