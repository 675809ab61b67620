#pragma once

// The mount table of this process (/proc/self/mountinfo) and what Brimble makes of it:
// which mounts are drives and of what kind.

#include <string>
#include <string_view>
#include <vector>

namespace brimble::posix {

struct MountEntry {
    std::string MountPoint;     // absolute, without trailing slash ("/" for the root)
    std::string FsType;         // "btrfs", "ext4", "tmpfs", "fuse.sshfs", ...
    std::string Source;         // "/dev/sda1", "server:/export", "tmpfs", ...
    bool ReadOnly = false;      // this mount's own flag
    bool SuperReadOnly = false; // the file system's, for all its mounts (also after an error)
    std::string Device;         // "major:minor" of the file system: the same for all its mounts
    std::string Root;           // the folder of the file system (or btrfs subvolume) mounted here

    bool Writable() const { return !ReadOnly && !SuperReadOnly; }
};

// Parses the text of a mountinfo file. A mount point that is mounted over appears once,
// as its last (visible) mount.
std::vector<MountEntry> ParseMountInfo(std::string_view text);
// The current mount table; empty when it cannot be read.
std::vector<MountEntry> ReadMountTable();

// Kernel interfaces and other file systems that hold no user files (proc, sysfs, cgroup...).
bool IsPseudoFileSystem(std::string_view fsType);
bool IsNetworkFileSystem(std::string_view fsType);
bool IsRamFileSystem(std::string_view fsType);

// The mount at exactly MountPoint (trailing slash allowed); null when none.
const MountEntry* FindMount(const std::vector<MountEntry>& mounts, std::string_view mountPoint);
// The mount that holds a resolved absolute path: the longest mount point above it.
const MountEntry* MountHolding(const std::vector<MountEntry>& mounts, std::string_view path);

} // namespace brimble::posix
