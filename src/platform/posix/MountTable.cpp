#include "platform/posix/MountTable.h"

#include "platform/posix/Paths.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>

namespace brimble::posix {

namespace {

// mountinfo writes space, tab, newline and backslash in names as \ and three octal digits.
std::string Unescape(std::string_view field) {
    std::string result;
    result.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
                           field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
                           field[i + 3] >= '0' && field[i + 3] <= '7';
        if (octal) {
            result += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                        (field[i + 3] - '0'));
            i += 3;
        } else {
            result += field[i];
        }
    }
    return result;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const auto end = line.find(' ', pos);
        const auto stop = end == std::string_view::npos ? line.size() : end;
        if (stop > pos) fields.push_back(line.substr(pos, stop - pos));
        pos = stop + 1;
    }
    return fields;
}

bool HasOption(std::string_view options, std::string_view option) {
    std::size_t pos = 0;
    while (pos <= options.size()) {
        const auto end = options.find(',', pos);
        const auto stop = end == std::string_view::npos ? options.size() : end;
        if (options.substr(pos, stop - pos) == option) return true;
        pos = stop + 1;
    }
    return false;
}

// One line: ID PARENT MAJ:MIN ROOT MOUNTPOINT OPTIONS [OPTIONAL...] - FSTYPE SOURCE SUPEROPTIONS
bool ParseLine(std::string_view line, MountEntry& entry) {
    const auto fields = SplitFields(line);
    const auto separator = std::find(fields.begin(), fields.end(), std::string_view("-"));
    if (separator == fields.end() || separator - fields.begin() < 6 || fields.end() - separator < 3)
        return false;
    entry.Device = std::string(fields[2]);
    entry.Root = Unescape(fields[3]);
    entry.MountPoint = WithoutTrailingSlash(Unescape(fields[4]));
    entry.FsType = Unescape(separator[1]);
    entry.Source = Unescape(separator[2]);
    entry.ReadOnly = HasOption(fields[5], "ro");
    entry.SuperReadOnly = fields.end() - separator > 3 && HasOption(separator[3], "ro");
    return !entry.MountPoint.empty() && entry.MountPoint.front() == '/';
}

bool IsOneOf(std::string_view value, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

} // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = text.find('\n', pos);
        const auto stop = end == std::string_view::npos ? text.size() : end;
        MountEntry entry;
        if (ParseLine(text.substr(pos, stop - pos), entry)) {
            // A later mount on the same point hides the earlier one.
            std::erase_if(mounts,
                          [&](const MountEntry& m) { return m.MountPoint == entry.MountPoint; });
            mounts.push_back(std::move(entry));
        }
        pos = stop + 1;
    }
    return mounts;
}

std::vector<MountEntry> ReadMountTable() {
    std::ifstream file("/proc/self/mountinfo");
    if (!file) return {};
    std::ostringstream text;
    text << file.rdbuf();
    return ParseMountInfo(text.str());
}

bool IsPseudoFileSystem(std::string_view fsType) {
    return IsOneOf(fsType,
                   {"proc",      "sysfs",       "devtmpfs",  "devpts",      "cgroup",
                    "cgroup2",   "securityfs",  "debugfs",   "tracefs",     "pstore",
                    "bpf",       "mqueue",      "hugetlbfs", "configfs",    "fusectl",
                    "autofs",    "binfmt_misc", "efivarfs",  "rpc_pipefs",  "nsfs",
                    "selinuxfs", "nfsd",        "rootfs",    "fuse.portal", "fuse.gvfsd-fuse",
                    "fuse.lxcfs"});
}

bool IsNetworkFileSystem(std::string_view fsType) {
    if (IsOneOf(fsType,
                {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "coda", "ceph", "9p",
                 "glusterfs", "lustre", "gfs2", "ocfs2", "davfs", "orangefs", "beegfs"}))
        return true;
    // FUSE clients of network storage.
    return IsOneOf(fsType, {"fuse.sshfs", "fuse.rclone", "fuse.glusterfs", "fuse.davfs2",
                            "fuse.s3fs", "fuse.gcsfuse", "fuse.curlftpfs", "fuse.cephfs"});
}

bool IsRamFileSystem(std::string_view fsType) {
    return fsType == "tmpfs" || fsType == "ramfs";
}

const MountEntry* FindMount(const std::vector<MountEntry>& mounts, std::string_view mountPoint) {
    const std::string wanted = WithoutTrailingSlash(mountPoint);
    for (const auto& mount : mounts)
        if (mount.MountPoint == wanted) return &mount;
    return nullptr;
}

const MountEntry* MountHolding(const std::vector<MountEntry>& mounts, std::string_view path) {
    const MountEntry* best = nullptr;
    for (const auto& mount : mounts)
        if (IsAtOrBelow(path, mount.MountPoint) &&
            (!best || mount.MountPoint.size() > best->MountPoint.size()))
            best = &mount;
    return best;
}

} // namespace brimble::posix
