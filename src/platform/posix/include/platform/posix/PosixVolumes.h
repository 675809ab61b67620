#pragma once

// Drives on Linux are the mount points of file systems that hold files: kernel interfaces
// (proc, sysfs, cgroup...) are left out. A drive can compress when it is a writable btrfs
// mount, the one Linux file system that compresses an existing file on request.

#include "platform/Platform.h"

namespace brimble::posix {

class PosixVolumes final : public IVolumes {
public:
    std::vector<std::string> LogicalDrives() override;
    DriveType DriveTypeOf(const std::string& root) override;
    OsValue<VolumeInformation> QueryVolumeInformation(const std::string& root) override;
    OsValue<uint32_t> GetClusterSize(const std::string& root) override;
    std::unique_ptr<IMountWatch> OpenMountWatch() override;
};

// The drive roots (each ending in '/', sorted) among the given mounts.
std::vector<std::string> DriveRoots(const std::vector<struct MountEntry>& mounts);

} // namespace brimble::posix
