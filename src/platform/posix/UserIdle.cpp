#include "platform/posix/UserIdle.h"

#include "platform/posix/SharedLibrary.h"

#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <time.h>

namespace brimble::posix {

namespace {

using Library = SharedLibrary;

bool HasEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

uint32_t Clamp(uint64_t milliseconds) {
    return static_cast<uint32_t>(
        std::min<uint64_t>(milliseconds, std::numeric_limits<uint32_t>::max()));
}

} // namespace

// XScreenSaverQueryInfo through libX11 and libXss.
class UserIdle::X11Source {
public:
    struct Display;
    // The layout of XScreenSaverInfo.
    struct Info {
        unsigned long Window;
        int State;
        int Kind;
        unsigned long TilOrSince;
        unsigned long Idle;
        unsigned long EventMask;
    };

    X11Source() : FX11("libX11.so.6"), FXss("libXss.so.1") {
        OpenDisplay = FX11.Get<Display* (*)(const char*)>("XOpenDisplay");
        CloseDisplay = FX11.Get<int (*)(Display*)>("XCloseDisplay");
        RootWindow = FX11.Get<unsigned long (*)(Display*)>("XDefaultRootWindow");
        Free = FX11.Get<int (*)(void*)>("XFree");
        SetExitHandler = FX11.Get<void (*)(Display*, void (*)(Display*, void*), void*)>(
            "XSetIOErrorExitHandler");
        SetIOErrorHandler = FX11.Get<IOErrorHandler (*)(IOErrorHandler)>("XSetIOErrorHandler");
        DefaultIOErrorHandler = FX11.Get<IOErrorHandler>("_XDefaultIOError");
        QueryExtension = FXss.Get<int (*)(Display*, int*, int*)>("XScreenSaverQueryExtension");
        AllocInfo = FXss.Get<Info* (*)()>("XScreenSaverAllocInfo");
        QueryInfo = FXss.Get<int (*)(Display*, unsigned long, Info*)>("XScreenSaverQueryInfo");
        if (!OpenDisplay || !CloseDisplay || !RootWindow || !Free || !SetExitHandler ||
            !QueryExtension || !AllocInfo || !QueryInfo || !QuietOnConnectionLoss())
            return;
        FDisplay = OpenDisplay(nullptr);
        if (!FDisplay) return;
        SetExitHandler(FDisplay, &X11Source::ConnectionLost, this);
        int event = 0, error = 0;
        if (!QueryExtension(FDisplay, &event, &error)) Close();
    }
    ~X11Source() { Close(); }
    X11Source(const X11Source&) = delete;
    X11Source& operator=(const X11Source&) = delete;

    bool Usable() const { return FDisplay != nullptr && !FLost; }

    std::optional<uint32_t> Milliseconds() {
        if (!Usable()) return std::nullopt;
        Info* info = AllocInfo();
        if (!info) return std::nullopt;
        std::optional<uint32_t> result;
        if (QueryInfo(FDisplay, RootWindow(FDisplay), info) && !FLost) result = Clamp(info->Idle);
        Free(info);
        return result;
    }

private:
    using IOErrorHandler = int (*)(Display*);

    // Xlib's default handler of a lost connection ends the process. It is replaced by one
    // that returns, so that the display's exit handler below only marks the loss; unless
    // the program has installed a handler of its own, whose policy then stands (and the X
    // source is not used).
    bool QuietOnConnectionLoss() {
        if (!SetIOErrorHandler || !DefaultIOErrorHandler) return false;
        const IOErrorHandler previous = SetIOErrorHandler(&IgnoreIOError);
        if (previous == DefaultIOErrorHandler || previous == &IgnoreIOError) return true;
        SetIOErrorHandler(previous);
        return false;
    }
    static int IgnoreIOError(Display*) { return 0; }

    static void ConnectionLost(Display*, void* self) {
        // Xlib returns from here instead of ending the process; the display is dead now.
        static_cast<X11Source*>(self)->FLost = true;
    }
    void Close() {
        // A dead connection is left as it is: closing it would touch it again.
        if (FDisplay && !FLost) CloseDisplay(FDisplay);
        FDisplay = nullptr;
    }

    Library FX11;
    Library FXss;
    Display* (*OpenDisplay)(const char*) = nullptr;
    int (*CloseDisplay)(Display*) = nullptr;
    unsigned long (*RootWindow)(Display*) = nullptr;
    int (*Free)(void*) = nullptr;
    void (*SetExitHandler)(Display*, void (*)(Display*, void*), void*) = nullptr;
    IOErrorHandler (*SetIOErrorHandler)(IOErrorHandler) = nullptr;
    IOErrorHandler DefaultIOErrorHandler = nullptr;
    int (*QueryExtension)(Display*, int*, int*) = nullptr;
    Info* (*AllocInfo)() = nullptr;
    int (*QueryInfo)(Display*, unsigned long, Info*) = nullptr;
    Display* FDisplay = nullptr;
    bool FLost = false;
};

// The IdleHint and IdleSinceHintMonotonic properties of the caller's logind session,
// through sd-bus.
class UserIdle::LogindSource {
public:
    struct Bus;
    struct Error {
        const char* Name = nullptr;
        const char* Message = nullptr;
        int NeedFree = 0;
    };

    LogindSource() : FSystemd("libsystemd.so.0") {
        OpenSystem = FSystemd.Get<int (*)(Bus**)>("sd_bus_open_system");
        Unref = FSystemd.Get<Bus* (*)(Bus*)>("sd_bus_flush_close_unref");
        GetProperty = FSystemd.Get<int (*)(Bus*, const char*, const char*, const char*, const char*,
                                           Error*, char, void*)>("sd_bus_get_property_trivial");
        FreeError = FSystemd.Get<void (*)(Error*)>("sd_bus_error_free");
        if (!OpenSystem || !Unref || !GetProperty || !FreeError) return;
        if (OpenSystem(&FBus) < 0) FBus = nullptr;
    }
    ~LogindSource() {
        if (FBus) Unref(FBus);
    }
    LogindSource(const LogindSource&) = delete;
    LogindSource& operator=(const LogindSource&) = delete;

    std::optional<uint32_t> Milliseconds() {
        if (!FBus) return std::nullopt;
        // "auto" names the caller's session since systemd 243, "self" before.
        for (const char* session : {"auto", "self"}) {
            const std::string path = std::string("/org/freedesktop/login1/session/") + session;
            int idle = 0;
            if (!Property(path, "IdleHint", 'b', &idle)) continue;
            if (!idle) return 0u;
            uint64_t since = 0;
            if (!Property(path, "IdleSinceHintMonotonic", 't', &since)) continue;
            struct timespec now {};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            const uint64_t nowUs = static_cast<uint64_t>(now.tv_sec) * 1000000u +
                                   static_cast<uint64_t>(now.tv_nsec) / 1000u;
            return Clamp(nowUs > since ? (nowUs - since) / 1000u : 0);
        }
        return std::nullopt;
    }

private:
    bool Property(const std::string& path, const char* name, char type, void* value) {
        Error error;
        const int result = GetProperty(FBus, "org.freedesktop.login1", path.c_str(),
                                       "org.freedesktop.login1.Session", name, &error, type, value);
        FreeError(&error);
        return result >= 0;
    }

    Library FSystemd;
    int (*OpenSystem)(Bus**) = nullptr;
    Bus* (*Unref)(Bus*) = nullptr;
    int (*GetProperty)(Bus*, const char*, const char*, const char*, const char*, Error*, char,
                       void*) = nullptr;
    void (*FreeError)(Error*) = nullptr;
    Bus* FBus = nullptr;
};

UserIdle::UserIdle() = default;
UserIdle::~UserIdle() = default;

uint32_t UserIdle::Milliseconds() {
    const std::lock_guard lock(FMutex);
    if (!FOpened) {
        FOpened = true;
        if (HasEnv("DISPLAY") && !HasEnv("WAYLAND_DISPLAY")) {
            FX11 = std::make_unique<X11Source>();
            if (!FX11->Usable()) FX11.reset();
        }
        FLogind = std::make_unique<LogindSource>();
    }
    if (FX11) {
        if (auto idle = FX11->Milliseconds()) {
            FSource = "the X screen saver's input idle time";
            return *idle;
        }
    }
    if (auto idle = FLogind->Milliseconds()) {
        FSource = "the session's idle hint (logind)";
        return *idle;
    }
    FSource = "the machine's load (pressure stall information)";
    return MachineIdleLocked();
}

uint32_t UserIdle::MachineMilliseconds() {
    const std::lock_guard lock(FMutex);
    return MachineIdleLocked();
}

uint32_t UserIdle::MachineIdleLocked() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t nowMs =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return FPressure.Update(nowMs, ReadPressure());
}

std::string UserIdle::Source() {
    const std::lock_guard lock(FMutex);
    return FSource;
}

} // namespace brimble::posix
