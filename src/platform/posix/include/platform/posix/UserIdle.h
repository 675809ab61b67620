#pragma once

// How long the user has not touched keyboard or mouse.
//
// Sources, in this order: the X screen-saver extension where an X display is present (not
// under Wayland, where it sees only X clients' input); else logind's idle hint of the
// user's session, which desktops set after their own idle delay and which logind keeps
// for text consoles from the terminal's last input. Both libraries are loaded when first
// needed, so none is required to run. Where neither answers (a server, a service without
// a session), the machine's own idleness stands in: how long the kernel's pressure stall
// figures have stayed low. Without any of them the user counts as active, so nothing waits
// for an idle user in vain while believing one is there.

#include "platform/posix/PressureIdle.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace brimble::posix {

class UserIdle {
public:
    UserIdle();
    ~UserIdle();
    UserIdle(const UserIdle&) = delete;
    UserIdle& operator=(const UserIdle&) = delete;

    uint32_t Milliseconds();
    // The machine's idle time by its load alone.
    uint32_t MachineMilliseconds();
    // Which source answered the last Milliseconds.
    std::string Source();

private:
    class X11Source;
    class LogindSource;
    uint32_t MachineIdleLocked();

    std::mutex FMutex;
    bool FOpened = false;
    std::unique_ptr<X11Source> FX11;
    std::unique_ptr<LogindSource> FLogind;
    PressureIdle FPressure;
    const char* FSource = "none yet";
};

} // namespace brimble::posix
