#include "platform/win32/Win32Platform.h"

#include "platform/win32/Win32ChangeWatching.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Process.h"
#include "platform/win32/Win32Volumes.h"

namespace brimble::win32 {

Win32Platform::Win32Platform()
    : FFileSystem(std::make_unique<Win32FileSystem>()), FVolumes(std::make_unique<Win32Volumes>()),
      FChangeWatching(std::make_unique<Win32ChangeWatching>()),
      FClock(std::make_unique<Win32Clock>()), FLocale(std::make_unique<Win32Locale>()),
      FProcess(std::make_unique<Win32Process>()) {}

Win32Platform::~Win32Platform() = default;

IFileSystem& Win32Platform::FileSystem() {
    return *FFileSystem;
}
IVolumes& Win32Platform::Volumes() {
    return *FVolumes;
}
IChangeWatching& Win32Platform::ChangeWatching() {
    return *FChangeWatching;
}
IClock& Win32Platform::Clock() {
    return *FClock;
}
ILocale& Win32Platform::Locale() {
    return *FLocale;
}
IProcess& Win32Platform::Process() {
    return *FProcess;
}

void Win32Platform::SetCommandLineArguments(std::vector<std::string> arguments) {
    FProcess->SetCommandLineArguments(std::move(arguments));
}

// Nothing in this back end gives up silently on work the program asked for: every failure
// comes back to the caller with its Windows error.
void Win32Platform::SetDiagnosticsSink(DiagnosticsSink /*sink*/) {}

} // namespace brimble::win32
