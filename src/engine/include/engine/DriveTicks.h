#pragma once

// Walking the ticked drives of a drive-mode run in order.

#include "engine/uMain.h"

#include <cstdint>
#include <vector>

namespace brimble {

// The lowest index whose tick is 1; pdiIdle when none is.
int32_t FirstTickedDrive(const std::vector<TDriveEntry>& Drives);
// The highest index whose tick is 1; pdiIdle when none is.
int32_t LastTickedDrive(const std::vector<TDriveEntry>& Drives);
// The lowest index above Idx whose tick is 1, or pdiIdle; pdiIdle and pdiFolderScan come back
// unchanged.
int32_t NextTickedDrive(const std::vector<TDriveEntry>& Drives, int32_t Idx);

} // namespace brimble
