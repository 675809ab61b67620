#include "app/ProgramStart.h"

#include "base/VisibleText.h"
#include "engine/TBrimbleApplication.h"
#include "engine/uMain.h"

#include <exception>
#include <iostream>

namespace brimble {

namespace {

constexpr const char* kMainProgramName = "brimble";

} // namespace

THeadlessStart StartHeadless(const std::string& programName,
                             const std::vector<std::string>& switches) {
    THeadlessStart start;
    start.OwnedPlatform = CreatePlatform();
    Platform& platform = *start.OwnedPlatform;
    platform.SetCommandLineArguments(switches);
    start.Folders = ComputeProgramFolders(platform, kMainProgramName);
    TStartCheck check = CheckStartPreconditions(platform);
    if (check.ExitCode == kExitAlreadyRunning)
        std::cerr << check.Message << '\n';
    else if (check.ExitCode != 0)
        std::cerr << programName << ": " << check.Message << '\n';
    start.ExitCode = check.ExitCode;
    start.Lock = std::move(check.Lock);
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

void SayUnreadableSettings(const char* programName, TfrmBrimblemain& engine) {
    if (engine.SettingsReadError().empty()) return;
    std::cerr << programName << ": cannot read the settings file "
              << VisibleText(engine.Folders().IniFileName) << ": " << engine.SettingsReadError()
              << "; the defaults apply\n";
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
