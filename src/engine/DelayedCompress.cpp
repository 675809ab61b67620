// Retrying the delayed list, releasing the lag list and the two timers that drive them.

#include "base/FlagGuard.h"
#include "engine/ListFileFormat.h"
#include "engine/uMain.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace brimble {

namespace {

using enum TSmartCompressMode;

// One unit of CompressionDelay is 1/100000 of a day.
constexpr double DelayUnitsPerDay = 100000.0;
constexpr double MillisecondsPerMinute = 60000.0;

// 2 plus the whole idle periods in the idle time: a huge or endless quotient (IdleTime 0)
// saturates instead of overflowing.
int32_t IdlesAfterCompletePass(uint32_t idleMilliseconds, int32_t idleTimeMinutes) {
    const double periods =
        std::floor(static_cast<double>(idleMilliseconds) /
                   (static_cast<double>(idleTimeMinutes) * MillisecondsPerMinute));
    constexpr double most = std::numeric_limits<int32_t>::max() - 2;
    if (std::isnan(periods) || periods >= most) return std::numeric_limits<int32_t>::max();
    if (periods <= -most) return std::numeric_limits<int32_t>::min();
    return 2 + static_cast<int32_t>(periods);
}

// The signed 32-bit product IdleTime × 60000 × (accepted + 1), wrapping as 32-bit
// arithmetic does rather than overflowing.
int32_t IdleThreshold(int32_t idleTimeMinutes, int32_t accepted) {
    const uint32_t product =
        static_cast<uint32_t>(idleTimeMinutes) * 60000u * (static_cast<uint32_t>(accepted) + 1u);
    return static_cast<int32_t>(product);
}

} // namespace

void TfrmBrimblemain::ProcessDelayedFiles(bool Idle, bool Visual) {
    if (FProcessingDelayedFiles) return;
    const TFlagGuard running(FProcessingDelayedFiles);
    Log("Delayed compress...", llTrace);

    std::size_t i = 0;
    {
        const std::lock_guard lock(FCriticalSection);
        i = FDelayedCompressList->Count();
    }
    while (i-- > 0) {
        if (FProcessingDriveIdx != pdiIdle && FProcessingDriveIdx != pdiDelayedRun) break;
        if (Idle && FIdlesAccepted <= 0) break;
        try {
            if (Visual && FProcessingDriveIdx != pdiDelayedRun) break;
            std::string name;
            {
                const std::lock_guard lock(FCriticalSection);
                // Messages handled during a visual run may have shortened the list.
                if (i >= FDelayedCompressList->Count()) {
                    i = FDelayedCompressList->Count();
                    continue;
                }
                name = TCompressList::NameOf((*FDelayedCompressList)[i]);
            }
            SmartCompress(name);
            if (i == 0)
                FIdlesAccepted = IdlesAfterCompletePass(static_cast<uint32_t>(GetIdleTime()),
                                                        FOptions->IdleTime);
        } catch (const std::exception&) {
            Log("Unable to process delayed file!", llPassFailure);
            break;
        }
    }
}

void TfrmBrimblemain::tmrIncessantTimer() {
    if (FShuttingDown) return;
    switch (FOptions->SmartCompressMode) {
    case scmOnIdle:
        AcceptIdlePeriod();
        break;
    case scmInteractive:
        if (FOptions->CompressionDelay == 0) return; // no lag list and no purge either
        ReleaseDueLagEntries();
        break;
    case scmDisabled:
        break;
    }
    if (FProcessingDriveIdx == pdiIdle) PurgeDelayedOnTick();
}

void TfrmBrimblemain::AcceptIdlePeriod() {
    const int32_t idle = GetIdleTime();
    if (idle < 60000) FIdlesAccepted = 0;
    if (idle < IdleThreshold(FOptions->IdleTime, FIdlesAccepted)) return;
    FIdlesAccepted = static_cast<int32_t>(static_cast<uint32_t>(FIdlesAccepted) + 1u);
    Log("IDLES (" + std::to_string(FOptions->IdleTime) +
            " min) ACCEPTED: " + std::to_string(FIdlesAccepted),
        llTrace);
    ProcessDelayedFiles(true, false);
}

void TfrmBrimblemain::ReleaseDueLagEntries() {
    const TDateTime now = FPlatform.Clock().Now();
    const std::string decimalSeparator = FPlatform.Locale().DecimalSeparator();
    std::size_t pos = TCompressList::npos;
    std::string entry;
    while (NextLagEntryFromEnd(pos, entry)) {
        // A stamp that does not read counts as now: never due while there is a delay.
        const TDateTime stamp =
            ReadDateTimeStamp(TCompressList::ValueOf(entry), decimalSeparator).value_or(now);
        if (FOptions->CompressionDelay > (now - stamp) * DelayUnitsPerDay) continue;
        CompressAndDropLagEntry(entry);
    }
}

bool TfrmBrimblemain::NextLagEntryFromEnd(std::size_t& Pos, std::string& Entry) {
    const std::lock_guard lock(FCriticalSection);
    // Messages handled meanwhile may have shortened the list: go on from its new end.
    Pos = std::min(Pos, FLagCompressList->Count());
    if (Pos == 0) return false;
    Entry = (*FLagCompressList)[--Pos];
    return true;
}

void TfrmBrimblemain::CompressAndDropLagEntry(const std::string& Entry) {
    SmartCompress(std::string(TCompressList::NameOf(Entry)));
    const std::lock_guard lock(FCriticalSection);
    // Found by its text: messages handled meanwhile may have moved it.
    if (const std::size_t at = FLagCompressList->IndexOf(Entry); at != TCompressList::npos)
        FLagCompressList->Delete(at);
}

void TfrmBrimblemain::tmrDelayedCompressTimer() {
    if (FShuttingDown) return;
    ProcessDelayedFiles(false, false);
}

int32_t TfrmBrimblemain::GetIdleTime() {
    IClock& clock = FPlatform.Clock();
    return static_cast<int32_t>(FOptions->IdleFromMachineLoad ? clock.MachineIdleMilliseconds()
                                                              : clock.UserIdleMilliseconds());
}

void TfrmBrimblemain::TryCompressDelayed(bool Visual) {
    if (FShuttingDown) return;
    if (!Visual || FProcessingDriveIdx != pdiIdle) {
        FView.ShowMessage(FMessageTexts.ScanInProgress, MessageIcon::Warning);
        return;
    }
    SetDelayedRunControls(true);
    ResetStats();
    FProcessingDriveIdx = pdiDelayedRun;
    {
        // The run holds the UI thread: an error that leaves it must not leave the window in
        // the running state, where no scan could ever start again.
        struct TRunEnd {
            TfrmBrimblemain& Owner;
            ~TRunEnd() { Owner.EndDelayedRun(); }
        } const runEnd{*this};

        FView.BringFormToFront(ViewWindow::Main);
        ProcessDelayedFiles(false, true);

        std::size_t pos = TCompressList::npos;
        std::string entry;
        while (FProcessingDriveIdx == pdiDelayedRun && NextLagEntryFromEnd(pos, entry)) {
            CompressAndDropLagEntry(entry); // due or not
        }
    }
    if (std::exchange(FExitAfterDelayedRun, false)) ProgramExit();
}

void TfrmBrimblemain::SetDelayedRunControls(bool Running) {
    using enum ScanControl;
    FView.SetControlEnabled(spdbtnGo, !Running);
    FView.SetControlEnabled(spdbtnPause, false);
    FView.SetControlEnabled(spdbtnStop, Running);
    FView.SetControlEnabled(rgrpScanArea, !Running);
    if (!Running) return; // the scan-area handler enables the rest by the chosen area
    for (const ScanControl c : {chklstbDrives, lblScanPath, edScanPath, sbtnBrowseFolder})
        FView.SetControlEnabled(c, false);
}

void TfrmBrimblemain::EndDelayedRun() {
    SetDelayedRunControls(false);
    rgrpScanAreaClick();
    FView.SetStatusText("");
    FProcessingDriveIdx = pdiIdle;
}

void TfrmBrimblemain::ApplyTimerOptions() {
    // One second whatever IdleTime says: the idle rule compares minutes, and a tick every
    // IdleTime milliseconds would keep a core busy for nothing.
    constexpr uint32_t incessantInterval = 1000;
    const TSmartCompressMode mode = FOptions->SmartCompressMode;
    const uint32_t againDelay = static_cast<uint32_t>(std::max(FOptions->CompressAgainDelay, 0));
    // Set only what changes: setting a timer again would restart its count, and saving the
    // options must not postpone a pass that is due.
    const auto apply = [](ITimer& timer, uint32_t interval, bool enabled) {
        if (timer.Interval() != interval) timer.SetInterval(interval);
        if (timer.Enabled() != enabled) timer.SetEnabled(enabled);
    };
    apply(*FtmrIncessant, incessantInterval, mode != scmDisabled);
    apply(*FtmrDelayedCompress, againDelay, mode == scmInteractive);
}

} // namespace brimble
