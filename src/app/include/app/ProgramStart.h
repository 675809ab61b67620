#pragma once

// What the three programs share to start and stop: the platform from the factory, the tray
// program's folders and its single-instance lock, the body of main, and the back end's
// reports going to the log.

#include "engine/ExitCodes.h"
#include "engine/TBrimbleApplication.h"
#include "options/ProgramFolders.h"
#include "platform/Platform.h"

#include <memory>
#include <string>
#include <vector>

namespace brimble {

class TfrmBrimblemain;

struct THeadlessStart {
    std::unique_ptr<Platform> OwnedPlatform;
    TProgramFolders Folders;
    std::unique_ptr<IInstanceLock> Lock;
    // Non-zero when the program must end at once with this code (the reason is printed).
    int ExitCode = kExitDone;
};

// The tray program's files and lock, whatever this program file is called. Switches are
// the log-level switches that the engine reads.
THeadlessStart StartHeadless(const std::string& programName,
                             const std::vector<std::string>& switches);

// The body of main: Main with the arguments after the program name; an escaped error is
// printed with the program's name and ends it with kExitFailed.
int RunHeadlessMain(const char* programName, int argc, char** argv,
                    int (*Main)(const std::vector<std::string>& arguments));

// A settings file that is there but could not be read leaves the defaults in force: say so
// on standard error, not only in the log.
void SayUnreadableSettings(const char* programName, TfrmBrimblemain& engine);

// What the back end gives up on goes to the engine's log while this object lives.
class TDiagnosticsToLog {
public:
    TDiagnosticsToLog(Platform& platform, TfrmBrimblemain& engine);
    ~TDiagnosticsToLog();
    TDiagnosticsToLog(const TDiagnosticsToLog&) = delete;
    TDiagnosticsToLog& operator=(const TDiagnosticsToLog&) = delete;

private:
    Platform& FPlatform;
};

} // namespace brimble
