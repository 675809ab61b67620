#pragma once

// An engine for benchmarks on the sim platform: drive C: (NTFS, 4096-byte clusters), the
// program below C:\Program Files, the default options and the start-up never list, with a
// view that drops every text so that long runs pile nothing up.

#include "engine/THeadlessView.h"
#include "engine/uMain.h"
#include "options/OptionsTable.h"
#include "options/ProgramFolders.h"
#include "platform/sim/SimPlatform.h"
#include "threads/StdUiLoop.h"

#include <memory>
#include <string>

namespace brimble::bench {

class NullView final : public THeadlessView {
public:
    void SetStatLabel(StatLabel, const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void ShowMessage(const std::string&, MessageIcon) override {}
};

class BenchEngine {
public:
    static inline const std::string kProgramDir = "C:\\Program Files\\Brimble";

    BenchEngine() {
        sim.AddVolume("C:\\", DriveType::Fixed, "NTFS", 4096, "System");
        sim.SetLocalAppDataDir("C:\\Users\\u\\AppData\\Local");
        sim.AddFile(kProgramDir + "\\Brimble.exe", 2'000'000);
        folders = ComputeProgramFolders(sim);
        engine = std::make_unique<TfrmBrimblemain>(sim, loop, view, folders);
        ApplyDefaults(engine->Options());
        engine->AddToList(TListKind::lkNever, "NTLDR");
        engine->AddToList(TListKind::lkNever, "BOOTMGR");
    }

    // A folder scan of the program's folder, held by Pause before its first file: the files
    // a benchmark hands the engine are handled as in a manual scan. False when it did not
    // start.
    bool StartPausedScan() {
        if (engine->GoScanPath(kProgramDir) != TScanStart::ssStarted) return false;
        engine->spdbtnPauseClick();
        return engine->ScanPathThread() && engine->ScanPathThread()->Paused();
    }

    sim::SimPlatform sim;
    StdUiLoop loop{sim};
    NullView view;
    TProgramFolders folders;
    std::unique_ptr<TfrmBrimblemain> engine;
};

} // namespace brimble::bench
