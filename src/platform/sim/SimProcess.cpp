// Clock, locale and process: manual time, fixed formats and stored process settings.

#include "platform/sim/SimCore.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace brimble::sim {

namespace {

class SimInstanceLock final : public IInstanceLock {
public:
    SimInstanceLock(std::shared_ptr<detail::Core> core, std::string name)
        : FCore(std::move(core)), FName(std::move(name)) {}
    ~SimInstanceLock() override {
        std::lock_guard lock(FCore->Mutex);
        FCore->InstanceLocks.erase(FName);
    }

private:
    std::shared_ptr<detail::Core> FCore;
    std::string FName;
};

std::string ThreeNumbers(const char* format, int a, int b, int c) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

} // namespace

// ===== clock =====

void SimPlatform::SetNow(TDateTime now) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    c.NowBase = now;
    c.ElapsedMs = 0;
}

void SimPlatform::AdvanceMilliseconds(int64_t ms) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    // Now is kept as a base and whole milliseconds, so many small steps add up exactly.
    c.ElapsedMs += ms;
    c.Tick += static_cast<uint32_t>(static_cast<uint64_t>(ms)); // wraps like the real one
    const int64_t idle = static_cast<int64_t>(c.IdleMs) + ms;
    c.IdleMs = static_cast<uint32_t>(std::clamp<int64_t>(idle, 0, UINT32_MAX));
}

void SimPlatform::SetUserIdleMilliseconds(uint32_t ms) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    c.IdleMs = ms;
}

TDateTime SimPlatform::Now() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.Now();
}

uint32_t SimPlatform::TickCount() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.Tick;
}

uint32_t SimPlatform::UserIdleMilliseconds() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.IdleMs;
}

void SimPlatform::SetMachineIdleMilliseconds(uint32_t ms) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    c.MachineIdleMs = ms;
}

uint32_t SimPlatform::MachineIdleMilliseconds() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.MachineIdleMs;
}

// ===== locale =====

void SimPlatform::SetSeparators(const std::string& thousands, const std::string& decimal) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    c.ThousandSep = thousands;
    c.DecimalSep = decimal;
}

std::string SimPlatform::ThousandSeparator() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.ThousandSep;
}

std::string SimPlatform::DecimalSeparator() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.DecimalSep;
}

std::string SimPlatform::FormatShortDate(const DateParts& when) {
    return ThreeNumbers("%02d.%02d.%04d", when.Day, when.Month, when.Year);
}

std::string SimPlatform::FormatLongTime(const DateParts& when) {
    return ThreeNumbers("%02d:%02d:%02d", when.Hour, when.Minute, when.Second);
}

// ===== process set-up and inspection =====

void SimPlatform::SetProgramPath(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    c.ProgramPath = path;
}

void SimPlatform::SetCommandLineArguments(std::vector<std::string> arguments) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    c.Arguments = std::move(arguments);
}

void SimPlatform::SetDiagnosticsSink(DiagnosticsSink sink) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    c.Diagnostics = std::move(sink);
}

void SimPlatform::SetEnvironmentVariable(const std::string& name,
                                         const std::optional<std::string>& value) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    if (value) {
        // The name keeps the spelling it was first set with, as Windows does.
        auto existing = c.Environment.find(name);
        if (existing != c.Environment.end()) {
            existing->second = *value;
        } else {
            c.Environment.emplace(name, *value);
        }
    } else {
        c.Environment.erase(name);
    }
}

void SimPlatform::SetLocalAppDataDir(const std::string& dir) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    c.LocalAppData = dir;
}

void SimPlatform::SetFileVersion(const std::string& path, std::optional<FileVersion> version) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    if (version) {
        c.FileVersions.insert_or_assign(path, *version);
    } else {
        c.FileVersions.erase(path);
    }
}

int SimPlatform::LastCompressionLevel() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.LastCompressionLevel;
}

std::optional<std::thread::id> SimPlatform::LastCompressionThread() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.LastCompressionThread;
}

int SimPlatform::Beeps() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.Beeps;
}

int SimPlatform::CompletionSounds() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.CompletionSounds;
}

std::optional<std::string> SimPlatform::AutostartEntry(const std::string& name) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto entry = c.Autostart.find(name);
    if (entry == c.Autostart.end()) return std::nullopt;
    return entry->second;
}

PriorityLevel SimPlatform::ProcessPriority() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.ProcessPriority;
}

PriorityLevel SimPlatform::ThreadPriority() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.ThreadPriority;
}

uint32_t SimPlatform::ErrorMode() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.ErrorMode;
}

// ===== IProcess =====

std::string SimPlatform::ProgramPath() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.ProgramPath;
}

std::vector<std::string> SimPlatform::CommandLineArguments() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.Arguments;
}

std::optional<std::string> SimPlatform::EnvironmentVariable(const std::string& name) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto entry = c.Environment.find(name);
    if (entry == c.Environment.end()) return std::nullopt;
    return entry->second;
}

std::string SimPlatform::LocalAppDataDir() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    std::string dir = c.LocalAppData;
    if (dir.empty() || dir.back() != '\\') dir += '\\';
    return dir;
}

std::optional<FileVersion> SimPlatform::GetFileVersion(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto entry = c.FileVersions.find(path);
    if (entry == c.FileVersions.end()) return std::nullopt;
    return entry->second;
}

OsValue<std::unique_ptr<IInstanceLock>> SimPlatform::AcquireInstanceLock(const std::string& name) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    if (!c.InstanceLocks.insert(name).second) return std::unique_ptr<IInstanceLock>();
    return std::make_unique<SimInstanceLock>(FState->Shared, name);
}

void SimPlatform::SetProcessPriority(PriorityLevel level) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    c.ProcessPriority = level;
}

void SimPlatform::SetCurrentThreadPriority(PriorityLevel level) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    c.ThreadPriority = level;
}

OsResult SimPlatform::SetAutostart(const std::string& name, const std::string& programPath,
                                   bool enable) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    if (enable) {
        c.Autostart.insert_or_assign(name, programPath);
    } else {
        c.Autostart.erase(name);
    }
    return {};
}

uint32_t SimPlatform::SetErrorMode(uint32_t mode) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return std::exchange(c.ErrorMode, mode);
}

void SimPlatform::MessageBeep() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ++c.Beeps;
}

void SimPlatform::PlayCompletionSound() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ++c.CompletionSounds;
}

} // namespace brimble::sim
