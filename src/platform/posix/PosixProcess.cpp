#include "platform/posix/PosixProcess.h"

#include "BrimbleVersion.h"
#include "platform/posix/Autostart.h"
#include "platform/posix/InstanceLock.h"
#include "platform/posix/Priority.h"
#include "platform/posix/XdgDirs.h"

#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace brimble::posix {

namespace {

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::optional<std::string> MappedWindowsName(const std::string& name, bool& mapped) {
    mapped = true;
    if (EqualIgnoringCase(name, "temp") || EqualIgnoringCase(name, "tmp")) return TempDir();
    if (EqualIgnoringCase(name, "appdata")) return ConfigHome();
    if (EqualIgnoringCase(name, "localappdata")) return DataHome();
    if (EqualIgnoringCase(name, "windir")) return std::nullopt;
    mapped = false;
    return std::nullopt;
}

} // namespace

std::string PosixProcess::ProgramPath() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

std::vector<std::string> PosixProcess::CommandLineArguments() {
    {
        const std::lock_guard lock(FMutex);
        if (FArguments) return *FArguments;
    }
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = text.find('\0', pos);
        const auto stop = end == std::string::npos ? text.size() : end;
        arguments.push_back(text.substr(pos, stop - pos));
        pos = stop + 1;
    }
    if (!arguments.empty()) arguments.erase(arguments.begin()); // the program itself
    return arguments;
}

void PosixProcess::SetCommandLineArguments(std::vector<std::string> arguments) {
    const std::lock_guard lock(FMutex);
    FArguments = std::move(arguments);
}

std::optional<std::string> PosixProcess::EnvironmentVariable(const std::string& name) {
    bool mapped = false;
    if (auto value = MappedWindowsName(name, mapped); mapped) return value;
    if (const char* exact = std::getenv(name.c_str())) return std::string(exact);
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos && EqualIgnoringCase(text.substr(0, equals), name))
            return text.substr(equals + 1);
    }
    return std::nullopt;
}

std::string PosixProcess::LocalAppDataDir() {
    return DataHome() + "/";
}

std::optional<FileVersion> PosixProcess::GetFileVersion(const std::string& path) {
    struct stat file {
    }, self{};
    if (::stat(path.c_str(), &file) != 0 || ::stat("/proc/self/exe", &self) != 0 ||
        file.st_dev != self.st_dev || file.st_ino != self.st_ino)
        return std::nullopt;
    return FileVersion{BRIMBLE_VERSION_MAJOR, BRIMBLE_VERSION_MINOR, BRIMBLE_VERSION_RELEASE,
                       BRIMBLE_VERSION_BUILD};
}

OsValue<std::unique_ptr<IInstanceLock>> PosixProcess::AcquireInstanceLock(const std::string& name) {
    return posix::AcquireInstanceLock(name);
}

void PosixProcess::SetProcessPriority(PriorityLevel level) {
    ApplyPriorityToProcess(level, FStartPriority);
}

void PosixProcess::SetCurrentThreadPriority(PriorityLevel level) {
    ApplyPriorityToThread(::gettid(), level, FStartPriority);
}

OsResult PosixProcess::SetAutostart(const std::string& name, const std::string& programPath,
                                    bool enable) {
    return posix::SetAutostart(name, programPath, enable);
}

bool PosixProcess::AutostartExists(const std::string& name) {
    struct stat st {};
    return ::lstat(posix::AutostartFile(name).c_str(), &st) == 0;
}

void PosixProcess::MessageBeep() {
    // The terminal's bell where there is one; a desktop shell plays its own sound.
    if (::isatty(STDERR_FILENO)) {
        [[maybe_unused]] const auto written = ::write(STDERR_FILENO, "\a", 1);
    }
}

} // namespace brimble::posix
