#include "platform/posix/FanotifyReader.h"

#include "platform/posix/ChangeBatch.h"
#include "platform/posix/ErrorText.h"
#include "platform/posix/Paths.h"
#include "platform/posix/UniqueFd.h"
#include "platform/posix/WakeEvent.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace brimble::posix {

namespace {

constexpr std::size_t BufferSize = 64 * 1024;

// The path of an open folder on the device Device, checked against the folder itself: a
// folder that is not reachable through this mount (a deleted folder) or that lies in
// another subvolume or snapshot of the file system, which the scan would not enter either,
// has no path here.
std::string PathOfFolder(int fd, dev_t device) {
    char link[4096];
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(proc.c_str(), link, sizeof link - 1);
    if (length <= 0) return {};
    std::string path(link, static_cast<std::size_t>(length));
    struct stat byPath {
    }, byFd{};
    if (path.front() != '/' || ::fstat(fd, &byFd) != 0 || byFd.st_dev != device ||
        ::fstatat(AT_FDCWD, path.c_str(), &byPath, AT_NO_AUTOMOUNT) != 0 ||
        byPath.st_dev != byFd.st_dev || byPath.st_ino != byFd.st_ino)
        return {};
    return path;
}

// The mount a folder lies on.
std::optional<uint64_t> MountIdOf(const std::string& path) {
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT, STATX_MNT_ID, &info) != 0 ||
        !(info.stx_mask & STATX_MNT_ID))
        return std::nullopt;
    return info.stx_mnt_id;
}

dev_t DeviceOf(const std::string& path) {
    struct stat info {};
    return ::fstatat(AT_FDCWD, path.c_str(), &info, AT_NO_AUTOMOUNT) == 0 ? info.st_dev : 0;
}

// Why fanotify cannot watch a file system, for the log that says why inotify watches.
std::string WhyFanotifyRefused(const char* step, int error) {
    switch (error) {
    case EPERM:
        return "fanotify needs the CAP_SYS_ADMIN capability, which this process lacks";
    case EXDEV:
        return "the folder lies in a btrfs subvolume other than the file system's top level "
               "(a subvolume mount), which fanotify does not watch as a whole file system";
    case EINVAL:
    case ENOSYS:
        return "this kernel has no fanotify with file names (Linux 5.9 or later)";
    case ENODEV:
    case EOPNOTSUPP:
        return "the file system cannot report file handles to fanotify";
    default:
        return std::string(step) + " failed: " + ErrorText(error);
    }
}

class FanotifyReader final : public IChangeReader {
public:
    FanotifyReader(UniqueFd fanotify, UniqueFd mountTable, std::string root, WatchFilter filter)
        : FFanotify(std::move(fanotify)), FMountTable(std::move(mountTable)),
          FRoot(std::move(root)), FRootMount(MountIdOf(FRoot)), FRootDevice(DeviceOf(FRoot)),
          FFilter(filter), FBuffer(BufferSize) {}

    bool Read(std::vector<ChangeRecord>& records) override {
        records.clear();
        if (FGone) return false;
        for (;;) {
            std::vector<struct pollfd> fds = {{FFanotify.Get(), POLLIN, 0}};
            if (FMountTable) fds.push_back({FMountTable.Get(), POLLPRI, 0});
            if (!WaitForEventsOrWake(fds, FWake)) return false;
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
                FGone = true;
                FFailure = "the fanotify descriptor failed";
                return false;
            }
            // The mark ends silently with an unmount: then the read fails, as the volume
            // went away.
            if (fds.size() > 1 && fds[1].revents && MountIdOf(FRoot) != FRootMount) {
                FGone = true;
                FFailure = "the volume was unmounted";
                return false;
            }
            if (!(fds[0].revents & POLLIN)) continue;
            const ssize_t length = ::read(FFanotify.Get(), FBuffer.data(), FBuffer.size());
            if (length < 0) {
                if (errno == EAGAIN || errno == EINTR) continue;
                FFailure = "reading fanotify events failed: " + ErrorText(errno);
                return false;
            }
            if (!Parse(static_cast<std::size_t>(length))) {
                FFailure = "fanotify events of an unknown version";
                return false;
            }
            if (!FBatch.Empty()) {
                FBatch.MoveTo(records);
                return true;
            }
        }
    }

    void Wake() override { FWake.Signal(); }
    bool ReportsFinishedChanges() const override { return FFilter.Sizes; }
    std::string Method() const override { return "fanotify, the whole file system"; }
    std::string FailureReason() const override { return FFailure; }

private:
    bool Parse(std::size_t length) {
        // The reported folder handles are opened through the root, which is opened only for
        // the moment: a descriptor kept open would keep the volume from being unmounted.
        const UniqueFd mount(::open(FRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        // Events are only 4-byte aligned in the buffer: each header is copied out.
        std::size_t offset = 0;
        while (offset + sizeof(struct fanotify_event_metadata) <= length) {
            struct fanotify_event_metadata event {};
            std::memcpy(&event, &FBuffer[offset], sizeof event);
            if (event.vers != FANOTIFY_METADATA_VERSION) return false;
            if (event.event_len < sizeof event || offset + event.event_len > length) break;
            if (event.mask & FAN_Q_OVERFLOW)
                FBatch.Overflow();
            else if (mount)
                HandleEvent(event, &FBuffer[offset], mount.Get());
            offset += event.event_len;
        }
        return true;
    }

    // The information records after the header: the folder's handle and the entry's name.
    void HandleEvent(const struct fanotify_event_metadata& event, const uint8_t* base, int mount) {
        std::size_t offset = event.metadata_len;
        while (offset + sizeof(struct fanotify_event_info_fid) <= event.event_len) {
            struct fanotify_event_info_fid info {};
            std::memcpy(&info, base + offset, sizeof info);
            if (info.hdr.len < sizeof info || offset + info.hdr.len > event.event_len) break;
            if (info.hdr.info_type == FAN_EVENT_INFO_TYPE_DFID_NAME) {
                // Handle and name, copied out to a buffer aligned for struct file_handle.
                const std::size_t rest = info.hdr.len - sizeof info;
                std::vector<uint64_t> storage(rest / sizeof(uint64_t) + 2, 0);
                std::memcpy(storage.data(), base + offset + sizeof info, rest);
                auto* handle = reinterpret_cast<struct file_handle*>(storage.data());
                const std::size_t handleSize = sizeof(struct file_handle) + handle->handle_bytes;
                if (handleSize < rest) {
                    const char* name = reinterpret_cast<const char*>(storage.data()) + handleSize;
                    HandleEntry(event.mask, mount, handle,
                                std::string(name, strnlen(name, rest - handleSize)));
                }
            }
            offset += info.hdr.len;
        }
    }

    void HandleEntry(uint64_t mask, int mount, struct file_handle* handle,
                     const std::string& name) {
        const UniqueFd folder(::open_by_handle_at(mount, handle, O_PATH | O_CLOEXEC));
        if (!folder) return; // gone meanwhile
        const std::string folderPath = PathOfFolder(folder.Get(), FRootDevice);
        if (folderPath.empty() || !IsAtOrBelow(folderPath, FRoot)) return;
        std::string relative = folderPath.substr(FRoot == "/" ? 1 : FRoot.size());
        if (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
        const std::string entry = JoinRelative(relative, name);
        const bool isDirectory = (mask & FAN_ONDIR) != 0;
        const bool names = FFilter.Names(isDirectory);

        if (mask & FAN_CREATE) {
            // A new file counts once it is written and closed, when its content is complete.
            if (!isDirectory && FFilter.Sizes && IsFileBeingWritten(folder.Get(), name)) {
                FWritten.Created(entry);
                // Said at once as well, so the file can be marked before its data comes.
                if (names) FBatch.Add(fileaction::Created, entry);
            } else if (names) {
                // A new folder too: marked at once, it passes compression on to what is
                // created in it.
                if (isDirectory) FBatch.Add(fileaction::Created, entry);
                FBatch.Add(fileaction::Added, entry);
            }
        }
        if ((mask & FAN_MOVED_FROM) && names) FBatch.Add(fileaction::RenamedOldName, entry);
        if ((mask & FAN_MOVED_TO) && names) FBatch.Add(fileaction::RenamedNewName, entry);
        if (mask & (FAN_DELETE | FAN_MOVED_FROM)) FWritten.Gone(entry);
        if ((mask & FAN_DELETE) && names) FBatch.Add(fileaction::Removed, entry);
        if ((mask & FAN_CLOSE_WRITE) && !isDirectory) {
            const uint32_t action = FWritten.Closed(entry);
            FBatch.Add(action == fileaction::Added && !names ? fileaction::Modified : action,
                       entry);
        }
    }

    UniqueFd FFanotify;
    UniqueFd FMountTable; // /proc/self/mountinfo, which tells of unmounts
    std::string FRoot;
    std::optional<uint64_t> FRootMount;
    dev_t FRootDevice;  // events in other subvolumes of the file system are not this drive's
    bool FGone = false; // the volume went away: every later read fails at once
    WatchFilter FFilter;
    std::vector<uint8_t> FBuffer;
    ChangeBatch FBatch;
    WrittenFiles FWritten;
    std::string FFailure;
    WakeEvent FWake;
};

} // namespace

std::unique_ptr<IChangeReader> OpenFanotifyReader(const std::string& root, uint32_t filter,
                                                  std::string* whyNot) {
    const std::string folder = WithoutTrailingSlash(root);
    UniqueFd fanotify(
        ::fanotify_init(FAN_CLASS_NOTIF | FAN_CLOEXEC | FAN_NONBLOCK | FAN_REPORT_DFID_NAME,
                        O_RDONLY | O_CLOEXEC | O_LARGEFILE));
    if (!fanotify) {
        *whyNot = WhyFanotifyRefused("fanotify_init", errno);
        return nullptr;
    }
    const WatchFilter watch = WatchFilter::FromBits(filter);
    uint64_t mask = FAN_CREATE | FAN_MOVED_FROM | FAN_MOVED_TO | FAN_DELETE | FAN_ONDIR;
    // A written file counts once it is closed, not at every write.
    if (watch.Sizes) mask |= FAN_CLOSE_WRITE;
    if (::fanotify_mark(fanotify.Get(), FAN_MARK_ADD | FAN_MARK_FILESYSTEM, mask, AT_FDCWD,
                        folder.c_str()) != 0) {
        *whyNot = WhyFanotifyRefused("fanotify_mark", errno);
        return nullptr;
    }
    UniqueFd mountTable(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
    return std::make_unique<FanotifyReader>(std::move(fanotify), std::move(mountTable), folder,
                                            watch);
}

} // namespace brimble::posix
