#include "engine/DriveTicks.h"

namespace brimble {

namespace {

int32_t TickedFrom(const std::vector<TDriveEntry>& Drives, int32_t From) {
    for (auto i = static_cast<std::size_t>(From); i < Drives.size(); ++i)
        if (Drives[i].Tick == 1) return static_cast<int32_t>(i);
    return pdiIdle;
}

} // namespace

int32_t FirstTickedDrive(const std::vector<TDriveEntry>& Drives) {
    return TickedFrom(Drives, 0);
}

int32_t LastTickedDrive(const std::vector<TDriveEntry>& Drives) {
    for (std::size_t i = Drives.size(); i-- > 0;)
        if (Drives[i].Tick == 1) return static_cast<int32_t>(i);
    return pdiIdle;
}

int32_t NextTickedDrive(const std::vector<TDriveEntry>& Drives, int32_t Idx) {
    if (Idx < 0) return Idx; // idle, a folder scan or a delayed run: no drive follows
    return TickedFrom(Drives, Idx + 1);
}

} // namespace brimble
