#pragma once

// The Windows platform: drive letters, NTFS compression through the file system's own
// request, change records of ReadDirectoryChangesW, the registry for folders and autostart.

#include "platform/Platform.h"

#include <memory>
#include <string>
#include <vector>

namespace brimble::win32 {

class Win32FileSystem;
class Win32Volumes;
class Win32ChangeWatching;
class Win32Clock;
class Win32Locale;
class Win32Process;

class Win32Platform final : public Platform {
public:
    Win32Platform();
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    IFileSystem& FileSystem() override;
    IVolumes& Volumes() override;
    IChangeWatching& ChangeWatching() override;
    IClock& Clock() override;
    ILocale& Locale() override;
    IProcess& Process() override;

    void SetCommandLineArguments(std::vector<std::string> arguments) override;
    void SetDiagnosticsSink(DiagnosticsSink sink) override;

private:
    std::unique_ptr<Win32FileSystem> FFileSystem;
    std::unique_ptr<Win32Volumes> FVolumes;
    std::unique_ptr<Win32ChangeWatching> FChangeWatching;
    std::unique_ptr<Win32Clock> FClock;
    std::unique_ptr<Win32Locale> FLocale;
    std::unique_ptr<Win32Process> FProcess;
};

} // namespace brimble::win32
