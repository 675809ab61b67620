#include "platform/posix/PosixPlatform.h"

#include "platform/posix/PosixChangeWatching.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixLocale.h"
#include "platform/posix/PosixProcess.h"
#include "platform/posix/PosixVolumes.h"

namespace brimble::posix {

PosixPlatform::PosixPlatform()
    : FFileSystem(std::make_unique<PosixFileSystem>(FSwitches, FDiagnostics)),
      FVolumes(std::make_unique<PosixVolumes>(FDiagnostics)),
      FChangeWatching(std::make_unique<PosixChangeWatching>(FSwitches, FDiagnostics)),
      FClock(std::make_unique<PosixClock>()), FLocale(std::make_unique<PosixLocale>()),
      FProcess(std::make_unique<PosixProcess>()) {}

PosixPlatform::~PosixPlatform() = default;

IFileSystem& PosixPlatform::FileSystem() {
    return *FFileSystem;
}
IVolumes& PosixPlatform::Volumes() {
    return *FVolumes;
}
IChangeWatching& PosixPlatform::ChangeWatching() {
    return *FChangeWatching;
}
IClock& PosixPlatform::Clock() {
    return *FClock;
}
ILocale& PosixPlatform::Locale() {
    return *FLocale;
}
IProcess& PosixPlatform::Process() {
    return *FProcess;
}

void PosixPlatform::SetCommandLineArguments(std::vector<std::string> arguments) {
    FProcess->SetCommandLineArguments(std::move(arguments));
}

void PosixPlatform::SetDiagnosticsSink(DiagnosticsSink sink) {
    FDiagnostics.SetSink(std::move(sink));
}

} // namespace brimble::posix
