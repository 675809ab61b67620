#include "platform/posix/PosixVolumes.h"

#include "base/VisibleText.h"
#include "platform/posix/ErrorText.h"
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
#include <linux/btrfs.h>
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
// The largest allocation unit that compression takes (the engine's rule for every drive).
constexpr uint64_t LargestSector = 4096;

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

// Many USB disks and sticks say they are not removable; their bus says otherwise. The
// removable flag belongs to the disk; a partition asks its parent, and a mapped device (an
// encrypted stick, say) the devices it is made of.
bool IsRemovable(const std::string& sysfs, int depth = 0) {
    if (sysfs.empty() || depth > 4) return false;
    std::error_code error;
    if (OnUsbTransport(std::filesystem::canonical(sysfs, error).string())) return true;
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

// Among the mounts of one folder of a file system, the one that stands for it as a drive:
// a writable one before a read-only one, then the shortest mount point, then the first.
bool StandsBetter(const MountEntry& mount, const MountEntry* kept) {
    if (!kept) return true;
    if (mount.Writable() != kept->Writable()) return mount.Writable();
    return mount.MountPoint.size() < kept->MountPoint.size();
}

// The mounts that are drives, sorted by mount point.
std::vector<const MountEntry*> DriveMounts(const std::vector<MountEntry>& mounts) {
    // A folder of a volume mounted at several places (bind mounts, a subvolume mounted
    // twice) is one drive, so that it is watched and scanned once.
    std::map<std::pair<std::string, std::string>, const MountEntry*> shown;
    for (const auto& mount : mounts) {
        if (IsPseudoFileSystem(mount.FsType)) continue;
        const MountEntry*& kept = shown[{mount.Device, mount.Root}];
        if (StandsBetter(mount, kept)) kept = &mount;
    }
    std::vector<const MountEntry*> drives;
    for (const auto& [key, mount] : shown)
        drives.push_back(mount);
    std::sort(drives.begin(), drives.end(), [](const MountEntry* a, const MountEntry* b) {
        return a->MountPoint < b->MountPoint;
    });
    return drives;
}

// What the drive list depends on: the drives, and which of them can be written. A remount
// read-only or back changes it as a new or removed drive does.
std::vector<std::pair<std::string, bool>> DriveStates(const std::vector<MountEntry>& mounts) {
    std::vector<std::pair<std::string, bool>> states;
    for (const MountEntry* mount : DriveMounts(mounts))
        states.emplace_back(mount->MountPoint, mount->Writable());
    return states;
}

class MountInfoWatch final : public IMountWatch {
public:
    explicit MountInfoWatch(UniqueFd fd)
        : FFd(std::move(fd)), FStates(DriveStates(ReadMountTable())) {}

    bool WaitForChange() override {
        for (;;) {
            // The kernel marks mountinfo with POLLPRI after every mount, unmount and remount.
            const int events = WaitForFdOrWake(FFd.Get(), POLLPRI, FWake);
            if (events <= 0) return false;
            auto states = DriveStates(ReadMountTable());
            if (states != FStates) {
                FStates = std::move(states);
                return true;
            }
        }
    }
    void Wake() override { FWake.Signal(); }

private:
    UniqueFd FFd;
    std::vector<std::pair<std::string, bool>> FStates;
    WakeEvent FWake;
};

// A read-only subvolume (a snapshot) refuses every change, whatever the mount says.
bool IsReadOnlySubvolume(const std::string& mountPoint) {
    const UniqueFd fd(::open(mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    uint64_t flags = 0;
    return fd && ::ioctl(fd.Get(), BTRFS_IOC_SUBVOL_GETFLAGS, &flags) == 0 &&
           (flags & BTRFS_SUBVOL_RDONLY) != 0;
}

} // namespace

std::string WhyBtrfsCannotCompress(const BtrfsVolumeFacts& facts) {
    if (facts.ReachError != 0)
        return "this user cannot enter it (" + ErrorText(facts.ReachError) + ")";
    if (facts.MountReadOnly) return "it is mounted read-only";
    if (facts.FileSystemReadOnly)
        return "its file system is read-only (mounted read-only elsewhere, or switched to "
               "read-only after an error)";
    if (facts.ReadOnlySubvolume) return "it is a read-only subvolume (a snapshot)";
    if (facts.SectorSize > LargestSector)
        return "its sectors of " + std::to_string(facts.SectorSize) +
               " bytes are larger than the " + std::to_string(LargestSector) +
               " bytes that compression takes";
    return {};
}

std::vector<std::string> DriveRoots(const std::vector<MountEntry>& mounts) {
    std::vector<std::string> roots;
    for (const MountEntry* mount : DriveMounts(mounts))
        roots.push_back(WithTrailingSlash(mount->MountPoint));
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    return roots;
}

bool OnUsbTransport(std::string_view devicePath) {
    // /sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host0/.../block/sda
    std::size_t pos = 0;
    while ((pos = devicePath.find("/usb", pos)) != std::string_view::npos) {
        pos += 4;
        if (pos < devicePath.size() && std::isdigit(static_cast<unsigned char>(devicePath[pos])))
            return true;
    }
    return false;
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
    const bool btrfs = mount->FsType == "btrfs";
    BtrfsVolumeFacts facts;
    if (::faccessat(AT_FDCWD, mount->MountPoint.c_str(), X_OK, AT_EACCESS) != 0)
        facts.ReachError = errno;
    struct statvfs info {};
    if (::statvfs(mount->MountPoint.c_str(), &info) != 0) {
        const int error = errno;
        if (btrfs && facts.ReachError != 0) ReportRefusal(root, WhyBtrfsCannotCompress(facts));
        return Result::Fail(error);
    }
    VolumeInformation volume;
    volume.Label = VolumeLabel(mount->MountPoint, mount->Source);
    volume.FileSystemName = mount->FsType;
    if (!btrfs) return volume;
    facts.MountReadOnly = mount->ReadOnly;
    facts.FileSystemReadOnly = mount->SuperReadOnly || (info.f_flag & ST_RDONLY) != 0;
    facts.ReadOnlySubvolume = IsReadOnlySubvolume(mount->MountPoint);
    facts.SectorSize = info.f_bsize;
    const std::string why = WhyBtrfsCannotCompress(facts);
    volume.CanCompressFiles = why.empty();
    volume.WhyNotCompress = why;
    if (why.empty())
        ForgetRefusals(root);
    else
        ReportRefusal(root, why);
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
    return std::make_unique<MountInfoWatch>(std::move(fd));
}

void PosixVolumes::ReportRefusal(const std::string& root, const std::string& reason) {
    const std::string drive = WithTrailingSlash(root);
    const std::lock_guard lock(FMutex);
    if (FReported.contains({drive, reason})) return;
    // The first drive-list refresh may come before the program connects its log.
    if (FDiagnostics.Log("Drive \"" + VisibleText(drive) +
                             "\" cannot take compressed files: " + reason,
                         llTrace))
        FReported.emplace(drive, reason);
}

void PosixVolumes::ForgetRefusals(const std::string& root) {
    const std::string key = WithTrailingSlash(root);
    const std::lock_guard lock(FMutex);
    std::erase_if(FReported, [&](const auto& reported) { return reported.first == key; });
}

} // namespace brimble::posix
