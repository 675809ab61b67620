// brimble-scan [-d[:LEVEL]] [--estimate] FOLDER: the folder scan of the tray program without
// a window; with --estimate it predicts the totals and changes nothing.
// It uses the tray program's settings file, lists and log and its single-instance lock,
// prints the totals of the Total group at the end, and stops after the file being handled
// on Ctrl-C or SIGTERM.

#include "CommandLine.h"
#include "ConsoleView.h"
#include "app/ProgramStart.h"
#include "app/StopSignals.h"
#include "base/VisibleText.h"
#include "engine/uMain.h"
#include "options/ProgramFolders.h"
#include "platform/Platform.h"
#include "threads/StdUiLoop.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace brimble {

namespace {

struct TResolvedFolder {
    std::string Path;
    std::string Error; // why the folder cannot be walked; empty when it can
};

// The folder once, as the drive check and the walk will both see it, by the rule the
// window's Go uses too.
TResolvedFolder ResolveFolder(IFileSystem& fs, const std::string& folder) {
    if (folder.empty()) return {folder, {}}; // the engine's own refusal says it
    const OsValue<std::string> resolved = fs.ResolveFolder(folder);
    if (!resolved) return {{}, fs.SysErrorMessage(resolved.code())};
    return {*resolved, {}};
}

std::string RefusalMessage(TScanStart result, const TMessageTexts& texts) {
    switch (result) {
    case TScanStart::ssIncorrectPath:
        return texts.IncorrectPath;
    case TScanStart::ssWrongDrive:
        return "Wrong drive!";
    case TScanStart::ssScanInProgress:
        return texts.ScanInProgress;
    case TScanStart::ssStarted:
        break;
    }
    return {};
}

// Files that failed for now (a full disk, a locked file) leave totals that show less than
// the user expected; the reason belongs beside them, not only in the log.
void SayFailedFiles(const TfrmBrimblemain::TRunFailures& failures) {
    if (failures.Count == 0) return;
    std::cerr << "brimble-scan: " << failures.Count << (failures.Count == 1 ? " file" : " files")
              << " could not be compressed now (" << failures.LastReason
              << "); they wait in the delayed list for a later try\n";
}

class TScanCommand {
public:
    TScanCommand(Platform& platform, const TStopSignals& signals, const TProgramFolders& folders)
        : FPlatform(platform), FSignals(signals), FFolders(folders) {}

    int Run(const std::string& folder, bool estimate) {
        StdUiLoop loop(FPlatform.Clock(), TClockKind::Real);
        TConsoleView view(std::cout, StdoutIsTerminal());
        TBrimbleApplication application(FPlatform, loop, view, FFolders, TProgramRole::Scan);
        TfrmBrimblemain& engine = application.Main();
        engine.SetEstimateOnly(estimate);
        TDiagnosticsToLog diagnostics(FPlatform, engine);
        SayUnreadableSettings("brimble-scan", engine);

        bool stopped = false;
        const TStopSignalWatch watch(FSignals, [&] {
            loop.Post([&] {
                if (!engine.ScanRunning()) return;
                stopped = true;
                engine.StopScan();
            });
        });
        const TResolvedFolder resolved = ResolveFolder(FPlatform.FileSystem(), folder);
        if (!resolved.Error.empty()) {
            std::cerr << "Cannot open folder \"" << VisibleText(folder) << "\": " << resolved.Error
                      << '\n';
            return kExitRefused;
        }
        if (const std::string why = estimate ? engine.EstimateRefusal(resolved.Path) : "";
            !why.empty()) {
            std::cerr << "brimble-scan: " << why << '\n';
            return kExitRefused;
        }
        // A walk there would refuse its own root and end without a file.
        if (const auto excluded = engine.CoveringExcludedFolder(resolved.Path)) {
            std::cerr << "Folder \"" << VisibleText(resolved.Path)
                      << "\" lies in the excluded folder \"" << VisibleText(excluded->Folder)
                      << "\" (entry \"" << VisibleText(excluded->Entry)
                      << "\" of ExcludeFolders in the settings)\n";
            return kExitRefused;
        }
        const TScanStart started = engine.GoScanPath(resolved.Path, estimate);
        if (started != TScanStart::ssStarted) {
            std::cerr << RefusalMessage(started, engine.MessageTexts()) << '\n';
            // The bare refusal leaves the user guessing: the volume's own reason follows.
            if (started == TScanStart::ssWrongDrive)
                if (const std::string why = engine.DriveRefusal(resolved.Path); !why.empty())
                    std::cerr << "brimble-scan: " << VisibleText(why) << '\n';
            return kExitRefused;
        }
        loop.RunUntil([&] { return !engine.ScanRunning(); });

        view.PrintTotals(std::cout, estimate);
        SayFailedFiles(engine.RunFailures());
        application.ProgramExit();
        if (!engine.ScanError().empty()) {
            std::cerr << "brimble-scan: " << engine.ScanError() << '\n';
            return kExitFailed;
        }
        return stopped ? kExitStopped : kExitDone;
    }

private:
    Platform& FPlatform;
    const TStopSignals& FSignals;
    const TProgramFolders& FFolders;
};

int Main(const std::vector<std::string>& arguments) {
    // Before any thread exists, so that no thread takes the stop signals itself.
    const TStopSignals signals;

    const TScanArguments parsed = ParseScanArguments(arguments);
    if (parsed.Help) {
        std::cout << ScanUsage();
        return kExitDone;
    }
    if (!parsed.Error.empty()) {
        std::cerr << parsed.Error << '\n' << ScanUsage();
        return kExitRefused;
    }

    THeadlessStart start = StartHeadless("brimble-scan", parsed.Switches);
    if (start.ExitCode != kExitDone) return start.ExitCode;
    return TScanCommand(*start.OwnedPlatform, signals, start.Folders)
        .Run(parsed.Folder, parsed.Estimate);
}

} // namespace

} // namespace brimble

int main(int argc, char** argv) {
    return brimble::RunHeadlessMain("brimble-scan", argc, argv, brimble::Main);
}
