// brimble-watch [-d[:LEVEL]]: the background compression of the tray program without a
// window, for machines without a desktop. It watches the qualifying btrfs volumes and
// runs the two timers in the mode that the settings choose, with the tray program's
// settings, lists, log and lock, until SIGTERM or SIGINT; then it saves the lists.

#include "CommandLine.h"
#include "app/ProgramStart.h"
#include "app/StopSignals.h"
#include "base/VisibleText.h"
#include "engine/THeadlessView.h"
#include "engine/uMain.h"
#include "threads/StdUiLoop.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace brimble {

namespace {

// Nobody watches the totals of a service; a message goes to standard error (the journal).
class TWatchView final : public THeadlessView {
public:
    void SetStatLabel(StatLabel /*label*/, const std::string& /*text*/) override {}
    void SetStatusText(const std::string& /*text*/) override {}
    void ShowMessage(const std::string& text, MessageIcon /*icon*/) override {
        std::cerr << "brimble-watch: " << VisibleText(text) << '\n';
    }
};

int Watch(THeadlessStart& start, const TStopSignals& signals) {
    Platform& platform = *start.OwnedPlatform;
    StdUiLoop loop(platform.Clock(), TClockKind::Real);
    TWatchView view;
    TBrimbleApplication application(platform, loop, view, start.Folders, TProgramRole::Watch);
    TfrmBrimblemain& engine = application.Main();
    const TDiagnosticsToLog diagnostics(platform, engine);

    SayUnreadableSettings("brimble-watch", engine);
    if (engine.Options().SmartCompressMode == TSmartCompressMode::scmDisabled) {
        std::cerr << "brimble-watch: smart compression is switched off in the settings ("
                  << VisibleText(engine.Folders().IniFileName)
                  << ", SmartCompressMode=0): nothing to do\n";
        application.ProgramExit();
        return kExitRefused;
    }

    // Run, not RunUntil: nothing but a message or a timer may wake an idle service. A stop
    // signal runs the shutdown, which ends the loop; it never waits for a watcher's crawl,
    // which ends at its next folder.
    const TStopSignalWatch watch(signals, [&] { loop.Post([&] { application.ProgramExit(); }); });
    // The watchers set up on their own threads: each says when it watches, and how, once the
    // loop runs.
    engine.SetMonitoringReport(
        [](const std::string& line) { std::cout << "brimble-watch: " << line << std::endl; });
    std::cout << "brimble-watch: " << engine.MonitoringDriveCount() << " volume(s) to watch"
              << std::endl;
    if (engine.MonitoringDriveCount() == 0) {
        std::cerr << "brimble-watch: no volume to watch that can compress files\n";
        for (const std::string& line : engine.DriveRefusals())
            std::cerr << "brimble-watch:   " << line << '\n';
    }

    loop.Run();
    return kExitDone;
}

int Main(const std::vector<std::string>& arguments) {
    // Before any thread exists, so that no thread takes the stop signals itself.
    const TStopSignals signals;
    const TScanArguments parsed = ParseWatchArguments(arguments);
    if (parsed.Help) {
        std::cout << WatchUsage();
        return kExitDone;
    }
    if (!parsed.Error.empty()) {
        std::cerr << parsed.Error << '\n' << WatchUsage();
        return kExitRefused;
    }
    THeadlessStart start = StartHeadless("brimble-watch", parsed.Switches);
    if (start.ExitCode != kExitDone) return start.ExitCode;
    return Watch(start, signals);
}

} // namespace

} // namespace brimble

int main(int argc, char** argv) {
    return brimble::RunHeadlessMain("brimble-watch", argc, argv, brimble::Main);
}
