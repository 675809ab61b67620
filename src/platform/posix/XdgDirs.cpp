#include "platform/posix/XdgDirs.h"

#include "platform/posix/Paths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace brimble::posix {

namespace {

// An absolute path from the environment; the rules ignore relative ones.
std::optional<std::string> AbsoluteFromEnv(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return std::nullopt;
    return WithoutTrailingSlash(value);
}

} // namespace

std::string HomeDir() {
    if (auto home = AbsoluteFromEnv("HOME")) return *home;
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return WithoutTrailingSlash(found->pw_dir);
    return "/";
}

std::string DataHome() {
    if (auto dir = AbsoluteFromEnv("XDG_DATA_HOME")) return *dir;
    const std::string home = HomeDir();
    return (home == "/" ? "" : home) + "/.local/share";
}

std::string ConfigHome() {
    if (auto dir = AbsoluteFromEnv("XDG_CONFIG_HOME")) return *dir;
    const std::string home = HomeDir();
    return (home == "/" ? "" : home) + "/.config";
}

std::string TempDir() {
    if (auto dir = AbsoluteFromEnv("TMPDIR")) return *dir;
    return "/tmp";
}

std::optional<std::string> RuntimeDir() {
    return AbsoluteFromEnv("XDG_RUNTIME_DIR");
}

} // namespace brimble::posix
