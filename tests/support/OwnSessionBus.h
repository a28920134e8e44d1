#pragma once

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace orvex::testing {

// Programs that put players on the session bus run on a bus of their own,
// never on the desktop's: the first start runs itself again under
// dbus-run-session and returns only if that cannot be started.
inline int RestartOnOwnSessionBus(int argc, char** argv)
{
    setenv("ORVEX_OWN_SESSION_BUS", "1", 1);
    std::vector<char*> command{const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
    command.insert(command.end(), argv, argv + argc);
    command.push_back(nullptr);
    execvp(command[0], command.data());
    std::perror("dbus-run-session");
    return 1;
}

inline bool OnOwnSessionBus()
{
    return std::getenv("ORVEX_OWN_SESSION_BUS") != nullptr;
}

} // namespace orvex::testing
