#pragma once

// The process on Linux: its program file and arguments, environment references with the
// Windows names mapped to their XDG and POSIX counterparts, the single-instance lock,
// priorities and autostart.

#include "platform/Platform.h"
#include "platform/posix/CompletionSound.h"
#include "platform/posix/Priority.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace brimble::posix {

class PosixProcess final : public IProcess {
public:
    std::string ProgramPath() override;
    std::vector<std::string> CommandLineArguments() override;
    // Looked up without regard to case. temp and tmp give the temporary folder, appdata the
    // configuration folder, localappdata the data folder; windir has no counterpart.
    std::optional<std::string> EnvironmentVariable(const std::string& name) override;
    // $XDG_DATA_HOME (default ~/.local/share) with a trailing '/'.
    std::string LocalAppDataDir() override;
    // Only the program's own file has a version: the build's project version.
    std::optional<FileVersion> GetFileVersion(const std::string& path) override;
    OsValue<std::unique_ptr<IInstanceLock>> AcquireInstanceLock(const std::string& name) override;
    void SetProcessPriority(PriorityLevel level) override;
    void SetCurrentThreadPriority(PriorityLevel level) override;
    OsResult SetAutostart(const std::string& name, const std::string& programPath,
                          bool enable) override;
    bool AutostartExists(const std::string& name) override;
    uint32_t SetErrorMode(uint32_t mode) override { return FErrorMode.exchange(mode); }
    void MessageBeep() override;
    // The desktop's "complete" sound; nothing without the desktop's sound library.
    void PlayCompletionSound() override { FCompletionSound.Play(); }

    // The arguments as main received them (after the program name); without this call they
    // are read from /proc/self/cmdline.
    void SetCommandLineArguments(std::vector<std::string> arguments);

private:
    std::mutex FMutex;
    std::optional<std::vector<std::string>> FArguments;
    std::atomic<uint32_t> FErrorMode{0};
    // What the program was started with (by a service unit, say): no level goes above it.
    const PriorityValues FStartPriority = CurrentThreadPriority();
    CompletionSound FCompletionSound;
};

} // namespace brimble::posix
