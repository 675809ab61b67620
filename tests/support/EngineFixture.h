#pragma once

// A fresh engine on a fresh sim platform for every test: drive C: (NTFS, 4096-byte
// clusters), the program at C:\Program Files\Brimble\Brimble.exe, the per-user data
// folder C:\Users\u\AppData\Local\Brimble, a standard-library UI loop on the test's thread
// and a recording view.

#include "engine/uMain.h"
#include "options/ProgramFolders.h"
#include "platform/sim/SimPlatform.h"
#include "support/RecordingView.h"
#include "threads/StdUiLoop.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace brimble::test {

class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        sim.AddVolume("C:\\", DriveType::Fixed, "NTFS", 4096, "System");
        sim.SetLocalAppDataDir("C:\\Users\\u\\AppData\\Local");
        sim.SetEnvironmentVariable("windir", std::string("C:\\Windows"));
        sim.SetEnvironmentVariable("temp", std::string("C:\\Users\\u\\AppData\\Local\\Temp"));
        sim.SetEnvironmentVariable("tmp", std::string("C:\\Users\\u\\AppData\\Local\\Temp"));
        sim.SetEnvironmentVariable("localappdata", std::string("C:\\Users\\u\\AppData\\Local"));
        sim.SetEnvironmentVariable("appdata", std::string("C:\\Users\\u\\AppData\\Roaming"));
        sim.AddFile("C:\\Program Files\\Brimble\\Brimble.exe", 2'000'000);
        sim.SetFileVersion("C:\\Program Files\\Brimble\\Brimble.exe", FileVersion{1, 0, 3, 378});
    }

    // Creates the engine (the window's creation handler runs here).
    TfrmBrimblemain& Engine() {
        if (!engine) {
            folders = ComputeProgramFolders(sim);
            engine = std::make_unique<TfrmBrimblemain>(sim, loop, view, folders);
        }
        return *engine;
    }

    // Adds the file to the engine's list as it did at the time When (in days), with the
    // clock put back afterwards: an entry of an earlier day or another locale.
    void QueueAt(TListKind kind, const std::string& file, TDateTime when) {
        const TDateTime now = sim.Now();
        sim.SetNow(when);
        Engine().AddToList(kind, file);
        sim.SetNow(now);
    }

    // Runs the UI loop until the scan is over, calling Meanwhile on each turn; false when
    // it did not end in time.
    bool RunToEnd(const std::function<void()>& meanwhile = {}) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        bool late = false;
        loop.RunUntil([&] {
            if (meanwhile) meanwhile();
            late = std::chrono::steady_clock::now() > deadline;
            return late || !engine->ScanRunning();
        });
        return !late;
    }

    sim::SimPlatform sim;
    StdUiLoop loop{sim};
    RecordingView view;
    TProgramFolders folders;
    std::unique_ptr<TfrmBrimblemain> engine;
};

} // namespace brimble::test
