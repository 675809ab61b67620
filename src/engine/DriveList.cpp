// The qualifying drives in the window's check list, and the change watchers of smart
// compression that every refresh restarts.

#include "engine/uMain.h"

namespace brimble {

void TfrmBrimblemain::RefreshDriveList() {
    StopMonitoring();
}

void TfrmBrimblemain::StopMonitoring() {
    FMonitoringDrivesList.clear();
}

} // namespace brimble
