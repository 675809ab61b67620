#include "platform/posix/PosixVolumes.h"

#include "platform/posix/MountTable.h"
#include "platform/posix/Paths.h"
#include "platform/posix/UniqueFd.h"
#include "platform/posix/WakeEvent.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <map>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace brimble::posix {

namespace {

constexpr unsigned ScsiCdromMajor = 11;

// The sysfs folder of the block device behind Source, if it is one.
std::string BlockDeviceSysfs(const std::string& source) {
    struct stat device {};
    if (source.empty() || source.front() != '/' || ::stat(source.c_str(), &device) != 0 ||
        !S_ISBLK(device.st_mode))
        return {};
    return "/sys/dev/block/" + std::to_string(major(device.st_rdev)) + ":" +
           std::to_string(minor(device.st_rdev));
}

bool ReadFlag(const std::string& file) {
    std::ifstream in(file);
    int value = 0;
    return in >> value && value != 0;
}

// The removable flag belongs to the disk; a partition asks its parent, and a mapped
// device (an encrypted stick, say) the devices it is made of.
bool IsRemovable(const std::string& sysfs, int depth = 0) {
    if (sysfs.empty() || depth > 4) return false;
    std::error_code error;
    if (std::filesystem::exists(sysfs + "/partition", error))
        return ReadFlag(sysfs + "/../removable");
    if (ReadFlag(sysfs + "/removable")) return true;
    for (const auto& slave : std::filesystem::directory_iterator(sysfs + "/slaves", error))
        if (IsRemovable("/sys/class/block/" + slave.path().filename().string(), depth + 1))
            return true;
    return false;
}

bool IsOpticalDevice(const std::string& source) {
    struct stat device {};
    return ::stat(source.c_str(), &device) == 0 && S_ISBLK(device.st_mode) &&
           major(device.st_rdev) == ScsiCdromMajor;
}

// The label of a file system from the kernel, else from udev's by-label links.
std::string VolumeLabel(const std::string& root, const std::string& source) {
    if (UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); fd) {
        char label[FSLABEL_MAX] = {};
        if (::ioctl(fd.Get(), FS_IOC_GETFSLABEL, label) == 0)
            return std::string(label, strnlen(label, sizeof label));
    }
    std::error_code error;
    const std::filesystem::path byLabel("/dev/disk/by-label");
    if (source.empty() || !std::filesystem::is_directory(byLabel, error)) return {};
    const auto device = std::filesystem::canonical(source, error);
    if (error) return {};
    for (const auto& link : std::filesystem::directory_iterator(byLabel, error)) {
        std::error_code linkError;
        if (std::filesystem::canonical(link.path(), linkError) != device || linkError) continue;
        // udev writes characters outside [A-Za-z0-9#+-.:=@_] as \xNN.
        const std::string name = link.path().filename().string();
        std::string label;
        for (std::size_t i = 0; i < name.size(); ++i) {
            const auto hex = [&](std::size_t at) {
                return at < name.size() && std::isxdigit(static_cast<unsigned char>(name[at]));
            };
            if (name[i] == '\\' && i + 1 < name.size() && name[i + 1] == 'x' && hex(i + 2) &&
                hex(i + 3)) {
                label += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                label += name[i];
            }
        }
        return label;
    }
    return {};
}

class MountInfoWatch final : public IMountWatch {
public:
    MountInfoWatch(UniqueFd fd, std::vector<std::string> drives)
        : FFd(std::move(fd)), FDrives(std::move(drives)) {}

    bool WaitForChange() override {
        for (;;) {
            // The kernel marks mountinfo with POLLPRI after every mount and unmount.
            const int events = WaitForFdOrWake(FFd.Get(), POLLPRI, FWake);
            if (events <= 0) return false;
            auto drives = DriveRoots(ReadMountTable());
            if (drives != FDrives) {
                FDrives = std::move(drives);
                return true;
            }
        }
    }
    void Wake() override { FWake.Signal(); }

private:
    UniqueFd FFd;
    std::vector<std::string> FDrives;
    WakeEvent FWake;
};

} // namespace

std::vector<std::string> DriveRoots(const std::vector<MountEntry>& mounts) {
    // A folder of a volume mounted at several places (bind mounts, a subvolume mounted
    // twice) is one drive, so that it is watched and scanned once: the shortest mount
    // point stands for it, the first one of equal length.
    std::map<std::pair<std::string, std::string>, const MountEntry*> shown;
    for (const auto& mount : mounts) {
        if (IsPseudoFileSystem(mount.FsType)) continue;
        const MountEntry*& kept = shown[{mount.Device, mount.Root}];
        if (!kept || mount.MountPoint.size() < kept->MountPoint.size()) kept = &mount;
    }
    std::vector<std::string> roots;
    for (const auto& [key, mount] : shown)
        roots.push_back(WithTrailingSlash(mount->MountPoint));
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    return roots;
}

std::vector<std::string> PosixVolumes::LogicalDrives() {
    return DriveRoots(ReadMountTable());
}

DriveType PosixVolumes::DriveTypeOf(const std::string& root) {
    const auto mounts = ReadMountTable();
    const MountEntry* mount = FindMount(mounts, root);
    if (!mount) return DriveType::NoRootDir;
    if (IsPseudoFileSystem(mount->FsType)) return DriveType::Unknown;
    if (IsRamFileSystem(mount->FsType)) return DriveType::RamDisk;
    if (IsNetworkFileSystem(mount->FsType)) return DriveType::Remote;
    if (mount->FsType == "iso9660" || (mount->FsType == "udf" && IsOpticalDevice(mount->Source)))
        return DriveType::CDRom;
    return IsRemovable(BlockDeviceSysfs(mount->Source)) ? DriveType::Removable : DriveType::Fixed;
}

OsValue<VolumeInformation> PosixVolumes::QueryVolumeInformation(const std::string& root) {
    using Result = OsValue<VolumeInformation>;
    const auto mounts = ReadMountTable();
    const MountEntry* mount = FindMount(mounts, root);
    if (!mount) return Result::Fail(ENOENT);
    struct statvfs info {};
    if (::statvfs(mount->MountPoint.c_str(), &info) != 0) return Result::Fail(errno);
    VolumeInformation volume;
    volume.Label = VolumeLabel(mount->MountPoint, mount->Source);
    volume.FileSystemName = mount->FsType;
    // A read-only mount cannot rewrite anything.
    volume.CanCompressFiles = mount->FsType == "btrfs" && !mount->ReadOnly;
    return volume;
}

OsValue<uint32_t> PosixVolumes::GetClusterSize(const std::string& root) {
    struct statvfs info {};
    if (::statvfs(WithoutTrailingSlash(root).c_str(), &info) != 0)
        return OsValue<uint32_t>::Fail(errno);
    return static_cast<uint32_t>(info.f_bsize);
}

std::unique_ptr<IMountWatch> PosixVolumes::OpenMountWatch() {
    UniqueFd fd(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
    if (!fd) return nullptr;
    return std::make_unique<MountInfoWatch>(std::move(fd), LogicalDrives());
}

} // namespace brimble::posix
