#pragma once

#include "platform/Platform.h"

#include <mutex>
#include <optional>

namespace brimble::win32 {

class Win32Process final : public IProcess {
public:
    std::string ProgramPath() override;
    std::vector<std::string> CommandLineArguments() override;
    void SetCommandLineArguments(std::vector<std::string> arguments);
    std::optional<std::string> EnvironmentVariable(const std::string& name) override;
    std::string LocalAppDataDir() override;
    std::optional<FileVersion> GetFileVersion(const std::string& path) override;
    OsValue<std::unique_ptr<IInstanceLock>> AcquireInstanceLock(const std::string& name) override;
    void SetProcessPriority(PriorityLevel level) override;
    void SetCurrentThreadPriority(PriorityLevel level) override;
    OsResult SetAutostart(const std::string& name, const std::string& programPath,
                          bool enable) override;
    bool AutostartExists(const std::string& name) override;
    bool PlatformVersionSupported() override;
    uint32_t SetErrorMode(uint32_t mode) override;
    void MessageBeep() override;
    void PlayCompletionSound() override;

private:
    std::mutex FMutex;
    std::optional<std::vector<std::string>> FArguments;
};

// The described table: priority class of the process and priority of a thread per level.
struct PriorityValues {
    unsigned long ProcessClass;
    int ThreadPriority;
};
PriorityValues PriorityFor(PriorityLevel level);

// The kernel name of the single-instance mutex: one per log-on session.
std::wstring InstanceMutexName(const std::string& name);

} // namespace brimble::win32
