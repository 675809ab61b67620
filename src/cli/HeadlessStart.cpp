#include "HeadlessStart.h"

#include "engine/uMain.h"

#include <exception>
#include <iostream>

namespace brimble {

namespace {

constexpr const char* kMainProgramName = "brimble";
constexpr const char* kInstanceLockName = "Brimble";

} // namespace

THeadlessStart StartHeadless(const std::string& programName,
                             const std::vector<std::string>& switches) {
    THeadlessStart start;
    start.OwnedPlatform = CreatePlatform();
    Platform& platform = *start.OwnedPlatform;
    platform.SetCommandLineArguments(switches);
    start.Folders = ComputeProgramFolders(platform, kMainProgramName);
    OsValue<std::unique_ptr<IInstanceLock>> lock =
        platform.Process().AcquireInstanceLock(kInstanceLockName);
    if (!lock) {
        // Without the lock another instance could work on the same lists: do not run.
        std::cerr << programName << ": cannot take the instance lock: "
                  << platform.FileSystem().SysErrorMessage(lock.code()) << '\n';
        start.ExitCode = kExitFailed;
    } else if (!*lock) {
        std::cerr << "Brimble is already running.\n";
        start.ExitCode = kExitAlreadyRunning;
    } else {
        start.Lock = std::move(*lock);
    }
    return start;
}

int RunHeadlessMain(const char* programName, int argc, char** argv,
                    int (*Main)(const std::vector<std::string>& arguments)) {
    try {
        return Main(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::cerr << programName << ": " << error.what() << '\n';
    } catch (...) {
        std::cerr << programName << ": unexpected error\n";
    }
    return kExitFailed;
}

TDiagnosticsToLog::TDiagnosticsToLog(Platform& platform, TfrmBrimblemain& engine)
    : FPlatform(platform) {
    FPlatform.SetDiagnosticsSink(
        [&engine](const std::string& message, int level) { engine.Log(message, level); });
}

TDiagnosticsToLog::~TDiagnosticsToLog() {
    FPlatform.SetDiagnosticsSink(nullptr);
}

} // namespace brimble
