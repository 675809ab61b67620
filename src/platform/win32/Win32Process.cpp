#include "platform/win32/Win32Process.h"

#include "BrimbleVersion.h"
#include "platform/win32/ErrorText.h"
#include "platform/win32/FileHandles.h"
#include "platform/win32/Registry.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"

#include <mmsystem.h>
#include <shellapi.h>
#include <windows.h>

namespace brimble::win32 {

namespace {

class MutexLock final : public IInstanceLock {
public:
    explicit MutexLock(UniqueHandle mutex) : FMutex(std::move(mutex)) {}

private:
    UniqueHandle FMutex; // the name stays taken while the handle is open
};

// Unquoted, Windows would try "C:\Program.exe" first for "C:\Program Files\...".
std::string RunCommandFor(const std::string& programPath) {
    if (programPath.find(' ') == std::string::npos) return programPath;
    return '"' + programPath + '"';
}

} // namespace

PriorityValues PriorityFor(PriorityLevel level) {
    switch (level) {
    case 0:
        return {IDLE_PRIORITY_CLASS, THREAD_PRIORITY_IDLE};
    case 1:
        return {IDLE_PRIORITY_CLASS, THREAD_PRIORITY_LOWEST};
    case 2:
        return {NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_BELOW_NORMAL};
    case 4:
        return {HIGH_PRIORITY_CLASS, THREAD_PRIORITY_ABOVE_NORMAL};
    case 5:
        return {HIGH_PRIORITY_CLASS, THREAD_PRIORITY_HIGHEST};
    case 6:
        return {REALTIME_PRIORITY_CLASS, THREAD_PRIORITY_TIME_CRITICAL};
    default:
        return {NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_NORMAL};
    }
}

std::wstring InstanceMutexName(const std::string& name) {
    return L"Local\\" + Widen(name);
}

std::string Win32Process::ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return WithoutLongPrefix(path);
        }
        path.resize(path.size() * 2);
    }
}

std::vector<std::string> Win32Process::CommandLineArguments() {
    {
        const std::lock_guard lock(FMutex);
        if (FArguments) return *FArguments;
    }
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!words) return arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(Narrow(words[i]));
    ::LocalFree(words);
    return arguments;
}

void Win32Process::SetCommandLineArguments(std::vector<std::string> arguments) {
    const std::lock_guard lock(FMutex);
    FArguments = std::move(arguments);
}

std::optional<std::string> Win32Process::EnvironmentVariable(const std::string& name) {
    const std::wstring wideName = Widen(name);
    std::wstring value(256, L'\0');
    for (;;) {
        ::SetLastError(NO_ERROR);
        const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), value.data(),
                                                       static_cast<DWORD>(value.size()));
        if (length == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();
        }
        if (length < value.size()) {
            value.resize(length);
            return Narrow(value);
        }
        value.resize(length);
    }
}

std::string Win32Process::LocalAppDataDir() {
    // The registry value first, as older systems keep it; an empty one gives the root of
    // the current drive, as the described system does.
    std::string folder = ShellFolderLocalAppData().value_or(std::string());
    if (folder.empty()) folder = EnvironmentVariable("LOCALAPPDATA").value_or(std::string());
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder;
}

std::optional<FileVersion> Win32Process::GetFileVersion(const std::string& path) {
    const std::wstring file = ApiPath(path);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size > 0) {
        std::vector<unsigned char> data(size);
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixedSize = 0;
        if (::GetFileVersionInfoW(file.c_str(), 0, size, data.data()) &&
            ::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) &&
            fixed && fixedSize >= sizeof(VS_FIXEDFILEINFO))
            return FileVersion{HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                               HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)};
    }
    // A program built without a version resource still knows its own version.
    if (SameEntry(path, ProgramPath()))
        return FileVersion{BRIMBLE_VERSION_MAJOR, BRIMBLE_VERSION_MINOR, BRIMBLE_VERSION_RELEASE,
                           BRIMBLE_VERSION_BUILD};
    return std::nullopt;
}

OsValue<std::unique_ptr<IInstanceLock>> Win32Process::AcquireInstanceLock(const std::string& name) {
    using Result = OsValue<std::unique_ptr<IInstanceLock>>;
    UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, InstanceMutexName(name).c_str()));
    const int error = LastError();
    if (!mutex) {
        // A mutex of that name that this user may not open belongs to another instance.
        if (error == ERROR_ACCESS_DENIED) return std::unique_ptr<IInstanceLock>();
        return Result::Fail(error);
    }
    if (error == ERROR_ALREADY_EXISTS) return std::unique_ptr<IInstanceLock>();
    return std::unique_ptr<IInstanceLock>(std::make_unique<MutexLock>(std::move(mutex)));
}

void Win32Process::SetProcessPriority(PriorityLevel level) {
    const UniqueHandle process(
        ::OpenProcess(PROCESS_SET_INFORMATION, FALSE, ::GetCurrentProcessId()));
    if (process) ::SetPriorityClass(process.Get(), PriorityFor(level).ProcessClass);
}

void Win32Process::SetCurrentThreadPriority(PriorityLevel level) {
    ::SetThreadPriority(::GetCurrentThread(), PriorityFor(level).ThreadPriority);
}

OsResult Win32Process::SetAutostart(const std::string& name, const std::string& programPath,
                                    bool enable) {
    return SetRunValue(name, RunCommandFor(programPath), enable);
}

bool Win32Process::AutostartExists(const std::string& name) {
    return RunValueExists(name);
}

bool Win32Process::PlatformVersionSupported() {
    // Windows before NT 5 lacks calls the program relies on.
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
    const DWORD version = ::GetVersion();
    const bool nt = (version & 0x80000000u) == 0;
    return nt && LOBYTE(LOWORD(version)) >= 5;
}

uint32_t Win32Process::SetErrorMode(uint32_t mode) {
    return ::SetErrorMode(mode);
}

void Win32Process::MessageBeep() {
    ::MessageBeep(0);
}

void Win32Process::PlayCompletionSound() {
    const std::string chimes =
        EnvironmentVariable("windir").value_or(std::string()) + "\\media\\chimes.wav";
    const DWORD attr = ::GetFileAttributesW(ApiPath(chimes).c_str());
    if (attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY) &&
        ::PlaySoundW(ApiPath(chimes).c_str(), nullptr, SND_FILENAME))
        return;
    ::MessageBeep(0);
}

} // namespace brimble::win32
