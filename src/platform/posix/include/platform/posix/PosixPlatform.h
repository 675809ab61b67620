#pragma once

// The Linux platform: drives are mount points, compression is btrfs's, folders and
// autostart follow the XDG conventions.

#include "platform/Platform.h"
#include "platform/posix/Diagnostics.h"
#include "platform/posix/PosixSwitches.h"

#include <memory>
#include <string>
#include <vector>

namespace brimble::posix {

class PosixFileSystem;
class PosixVolumes;
class PosixChangeWatching;
class PosixClock;
class PosixLocale;
class PosixProcess;

class PosixPlatform final : public Platform {
public:
    PosixPlatform();
    ~PosixPlatform() override;
    PosixPlatform(const PosixPlatform&) = delete;
    PosixPlatform& operator=(const PosixPlatform&) = delete;

    IFileSystem& FileSystem() override;
    IVolumes& Volumes() override;
    IChangeWatching& ChangeWatching() override;
    IClock& Clock() override;
    ILocale& Locale() override;
    IProcess& Process() override;

    // The arguments as main received them, after the program name.
    void SetCommandLineArguments(std::vector<std::string> arguments) override;
    void SetDiagnosticsSink(DiagnosticsSink sink) override;
    // Forces the paths of an ordinary user or an older kernel, for tests.
    PosixSwitches& Switches() { return FSwitches; }

private:
    PosixSwitches FSwitches;
    Diagnostics FDiagnostics;
    std::unique_ptr<PosixFileSystem> FFileSystem;
    std::unique_ptr<PosixVolumes> FVolumes;
    std::unique_ptr<PosixChangeWatching> FChangeWatching;
    std::unique_ptr<PosixClock> FClock;
    std::unique_ptr<PosixLocale> FLocale;
    std::unique_ptr<PosixProcess> FProcess;
};

} // namespace brimble::posix
