// Retrying the delayed list, releasing the lag list and the two timers that drive them.

#include "engine/uMain.h"

namespace brimble {

void TfrmBrimblemain::ProcessDelayedFiles(bool /*Idle*/, bool /*Visual*/) {}

void TfrmBrimblemain::tmrIncessantTimer() {}

void TfrmBrimblemain::tmrDelayedCompressTimer() {}

int32_t TfrmBrimblemain::GetIdleTime() {
    return static_cast<int32_t>(FPlatform.Clock().UserIdleMilliseconds());
}

void TfrmBrimblemain::TryCompressDelayed(bool /*Visual*/) {}

} // namespace brimble
