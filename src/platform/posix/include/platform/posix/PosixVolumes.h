#pragma once

// Drives on Linux are the mount points of file systems that hold files: kernel interfaces
// (proc, sysfs, cgroup...) are left out. A drive can compress when it is a btrfs mount, the
// one Linux file system that compresses an existing file on request, that this user can
// reach and the kernel lets it write.

#include "platform/Platform.h"
#include "platform/posix/Diagnostics.h"

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace brimble::posix {

struct MountEntry;

class PosixVolumes final : public IVolumes {
public:
    // Diagnostics hears why a btrfs volume cannot take compressed files.
    explicit PosixVolumes(const Diagnostics& diagnostics) : FDiagnostics(diagnostics) {}

    std::vector<std::string> LogicalDrives() override;
    DriveType DriveTypeOf(const std::string& root) override;
    OsValue<VolumeInformation> QueryVolumeInformation(const std::string& root) override;
    OsValue<uint32_t> GetClusterSize(const std::string& root) override;
    std::unique_ptr<IMountWatch> OpenMountWatch() override;
    // btrfs, the only file system here that compresses a file on request.
    TCompressionModel CompressionModel(const std::string& /*root*/) override {
        return {TCompressionFormat::Zstd, 4096, {}};
    }

private:
    // Once per volume and reason, until the volume can compress again.
    void ReportRefusal(const std::string& root, const std::string& reason);
    void ForgetRefusals(const std::string& root);

    const Diagnostics& FDiagnostics;
    std::mutex FMutex;
    std::set<std::pair<std::string, std::string>> FReported; // root, reason
};

// What decides whether a btrfs mount can compress files for this user.
struct BtrfsVolumeFacts {
    bool MountReadOnly = false;
    bool FileSystemReadOnly = false; // the super block's state, or statvfs's
    bool ReadOnlySubvolume = false;
    int ReachError = 0; // errno of entering the mount point as this user
    uint64_t SectorSize = 4096;
};
// Why such a mount cannot take compressed files; empty when it can.
std::string WhyBtrfsCannotCompress(const BtrfsVolumeFacts& facts);

// The drive roots (each ending in '/', sorted) among the given mounts.
std::vector<std::string> DriveRoots(const std::vector<MountEntry>& mounts);
// Whether a block device's sysfs path (/sys/devices/...) runs through a USB bus.
bool OnUsbTransport(std::string_view devicePath);

} // namespace brimble::posix
