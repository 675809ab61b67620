#include "platform/posix/InotifyReader.h"

#include "base/VisibleText.h"
#include "platform/posix/ChangeBatch.h"
#include "platform/posix/ErrorText.h"
#include "platform/posix/Paths.h"
#include "platform/posix/UniqueFd.h"
#include "platform/posix/WakeEvent.h"

#include <cerrno>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace brimble::posix {

namespace {

constexpr std::size_t BufferSize = 64 * 1024;

// The mount and the file system an entry lies on. Watching stops where either changes: at a
// mount point, as a drive ends there, and at a btrfs subvolume or snapshot, which has a
// device of its own on the same mount. Never triggers an automount.
struct VolumeId {
    uint64_t Mount = 0;
    uint64_t Device = 0;
    bool operator==(const VolumeId&) const = default;
};

std::optional<VolumeId> VolumeOf(const std::string& path) {
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_MNT_ID,
                &info) != 0)
        return std::nullopt;
    const uint64_t device = (static_cast<uint64_t>(info.stx_dev_major) << 32) | info.stx_dev_minor;
    // Kernels before 5.8 have no mount id: the device tells mounts apart well enough.
    return VolumeId{(info.stx_mask & STATX_MNT_ID) ? info.stx_mnt_id : device, device};
}

// The system's limit of inotify watches per user, for the message that it was reached.
std::string MaxUserWatches() {
    const UniqueFd fd(::open("/proc/sys/fs/inotify/max_user_watches", O_RDONLY | O_CLOEXEC));
    char text[32] = {};
    if (!fd || ::read(fd.Get(), text, sizeof text - 1) <= 0) return "?";
    std::string value(text);
    while (!value.empty() && (value.back() == '\n' || value.back() == ' '))
        value.pop_back();
    return value;
}

struct DirEntryInfo {
    std::string Name;
    bool IsDirectory = false;
};

// Every so many entries of one folder the crawl looks whether it is to stop, so that a
// folder with very many subfolders cannot hold a stop request up.
constexpr std::size_t EntriesBetweenStopChecks = 256;

std::vector<DirEntryInfo> ListFolder(const std::string& path) {
    std::vector<DirEntryInfo> entries;
    DIR* stream = ::opendir(path.c_str());
    if (!stream) return entries;
    while (const struct dirent* raw = ::readdir(stream)) {
        const std::string name = raw->d_name;
        if (name == "." || name == "..") continue;
        bool isDirectory = raw->d_type == DT_DIR;
        if (raw->d_type == DT_UNKNOWN) {
            struct stat info {};
            isDirectory = ::fstatat(::dirfd(stream), raw->d_name, &info,
                                    AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) == 0 &&
                          S_ISDIR(info.st_mode);
        }
        entries.push_back({name, isDirectory});
    }
    ::closedir(stream);
    return entries;
}

class InotifyReader final : public IChangeReader {
public:
    InotifyReader(UniqueFd inotify, std::string root, VolumeId rootVolume, WatchFilter filter,
                  const Diagnostics& diagnostics)
        : FInotify(std::move(inotify)), FRoot(std::move(root)), FRootVolume(rootVolume),
          FFilter(filter), FDiagnostics(diagnostics), FBuffer(BufferSize) {}

    bool AddRootWatch(int* error) {
        const int wd = ::inotify_add_watch(FInotify.Get(), FRoot.c_str(), Mask());
        if (wd < 0) {
            *error = errno;
            return false;
        }
        FRootWatch = wd;
        FFolders[wd] = "";
        // The folders below get their watches in Prepare.
        FPending.push_back({"", false});
        return true;
    }

    bool Prepare() override {
        // The crawl runs here, on the watcher's own thread, where a stop request ends it
        // between two folders; a folder created meanwhile is watched when its parent's
        // event is read, as its parent's watch came first.
        return WatchPendingFolders();
    }

    bool Read(std::vector<ChangeRecord>& records) override {
        records.clear();
        for (;;) {
            if (!WatchPendingFolders()) return false;
            if (!FBatch.Empty()) {
                FBatch.MoveTo(records);
                return true;
            }
            if (FRootGone) {
                FFailure = "the folder was removed or its volume unmounted";
                return false;
            }
            const int events = WaitForFdOrWake(FInotify.Get(), POLLIN, FWake);
            if (events == 0) return false; // woken
            if (events < 0 || (events & (POLLERR | POLLHUP | POLLNVAL))) {
                FFailure = "waiting for inotify events failed";
                return false;
            }
            const ssize_t length = ::read(FInotify.Get(), FBuffer.data(), FBuffer.size());
            if (length < 0) {
                if (errno == EAGAIN || errno == EINTR) continue;
                FFailure = "reading inotify events failed: " + ErrorText(errno);
                return false;
            }
            Parse(static_cast<std::size_t>(length));
        }
    }

    bool ReportsFinishedChanges() const override { return FFilter.Sizes; }
    std::string Method() const override {
        std::string method = "inotify, " + std::to_string(FFolders.size()) + " folders";
        if (FLimitReported) method += ", not all (the limit fs.inotify.max_user_watches)";
        return method;
    }
    std::string FailureReason() const override { return FFailure; }

    void Wake() override { FWake.Signal(); }

private:
    struct PendingFolder {
        std::string Relative;
        bool ReportContent; // a folder that is new: what appeared before its watch counts too
    };

    uint32_t Mask() const {
        uint32_t mask = IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE | IN_ONLYDIR |
                        IN_DONT_FOLLOW | IN_EXCL_UNLINK;
        // A written file counts once it is closed: not at every write of a file that is
        // still growing, nor of one that stays open (a log, a database).
        if (FFilter.Sizes) mask |= IN_CLOSE_WRITE;
        return mask;
    }

    std::string FullPath(const std::string& relative) const {
        if (relative.empty()) return FRoot;
        return FRoot == "/" ? "/" + relative : FRoot + "/" + relative;
    }

    // Walks the queued folders, adding a watch to each folder below them. False when woken.
    bool WatchPendingFolders() {
        while (!FPending.empty()) {
            if (FWake.Signalled()) return false;
            const PendingFolder folder = std::move(FPending.front());
            FPending.pop_front();
            std::size_t seen = 0;
            for (const auto& entry : ListFolder(FullPath(folder.Relative))) {
                if (++seen % EntriesBetweenStopChecks == 0 && FWake.Signalled()) return false;
                const std::string relative = JoinRelative(folder.Relative, entry.Name);
                if (folder.ReportContent && FFilter.Names(entry.IsDirectory))
                    FBatch.Add(fileaction::Added, relative);
                if (entry.IsDirectory && AddWatch(relative))
                    FPending.push_back({relative, folder.ReportContent});
            }
        }
        return true;
    }

    bool AddWatch(const std::string& relative) {
        const std::string path = FullPath(relative);
        if (VolumeOf(path) != FRootVolume) return false; // another mount or subvolume
        const int wd = ::inotify_add_watch(FInotify.Get(), path.c_str(), Mask());
        if (wd >= 0) {
            FFolders[wd] = relative;
            return true;
        }
        if (errno == ENOSPC) {
            if (!FLimitReported)
                FDiagnostics.Log("Change watching: the limit of inotify watches is reached after " +
                                     std::to_string(FFolders.size()) + " folders below \"" +
                                     VisibleText(FRoot) + "\"; \"" + VisibleText(path) +
                                     "\" and further folders are not watched. Raise the "
                                     "setting fs.inotify.max_user_watches (now " +
                                     MaxUserWatches() + ")",
                                 llNotice);
            FLimitReported = true;
        } else if (errno != ENOENT && errno != ENOTDIR) {
            FDiagnostics.Log("Change watching: cannot watch \"" + VisibleText(path) +
                                 "\": " + ErrorText(errno),
                             llNotice);
        }
        return false;
    }

    void Parse(std::size_t length) {
        std::size_t offset = 0;
        while (offset + sizeof(struct inotify_event) <= length) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(&FBuffer[offset]);
            offset += sizeof(struct inotify_event) + event->len;
            HandleEvent(*event);
        }
        ForgetFoldersMovedAway();
    }

    void HandleEvent(const struct inotify_event& event) {
        if (event.mask & IN_Q_OVERFLOW) {
            FBatch.Overflow();
            // Folders created in the lost events have no watch yet.
            FPending.push_back({"", false});
            return;
        }
        const auto folder = FFolders.find(event.wd);
        if (folder == FFolders.end()) return;
        if (event.mask & (IN_IGNORED | IN_UNMOUNT)) {
            if (event.wd == FRootWatch) FRootGone = true;
            FFolders.erase(folder);
            return;
        }
        if (event.len == 0) return;
        const std::string entry = JoinRelative(folder->second, event.name);
        const bool isDirectory = (event.mask & IN_ISDIR) != 0;
        const bool names = FFilter.Names(isDirectory);

        if (event.mask & IN_CREATE) {
            // A new file counts once it is written and closed, when its content is complete.
            if (!isDirectory && FFilter.Sizes && IsFileBeingWritten(AT_FDCWD, FullPath(entry))) {
                FWritten.Created(entry);
                // Said at once as well, so the file can be marked before its data comes.
                if (names) FBatch.Add(fileaction::Created, entry);
            } else if (names) {
                // A new folder too: marked at once, it passes compression on to what is
                // created in it.
                if (isDirectory) FBatch.Add(fileaction::Created, entry);
                FBatch.Add(fileaction::Added, entry);
            }
            if (isDirectory && AddWatch(entry)) FPending.push_back({entry, true});
        }
        if (event.mask & IN_MOVED_FROM) {
            if (names) FBatch.Add(fileaction::RenamedOldName, entry);
            if (isDirectory) FMovedAway[event.cookie] = entry;
            FWritten.Gone(entry);
        }
        if (event.mask & IN_MOVED_TO) {
            if (names) FBatch.Add(fileaction::RenamedNewName, entry);
            if (isDirectory) FolderMovedIn(event.cookie, entry);
        }
        if (event.mask & IN_DELETE) {
            if (names) FBatch.Add(fileaction::Removed, entry);
            FWritten.Gone(entry);
        }
        if ((event.mask & IN_CLOSE_WRITE) && !isDirectory) {
            const uint32_t action = FWritten.Closed(entry);
            FBatch.Add(action == fileaction::Added && !names ? fileaction::Modified : action,
                       entry);
        }
    }

    // A folder renamed inside the tree keeps its watches under the new path; one moved in
    // from elsewhere gets them now.
    void FolderMovedIn(uint32_t cookie, const std::string& entry) {
        for (auto* moves : {&FMovedAway, &FMovedAwayBefore}) {
            if (const auto from = moves->find(cookie); from != moves->end()) {
                RenameFolders(from->second, entry);
                moves->erase(from);
                return;
            }
        }
        if (AddWatch(entry)) FPending.push_back({entry, false});
    }

    void RenameFolders(const std::string& from, const std::string& to) {
        for (auto& [wd, relative] : FFolders) {
            if (relative == from)
                relative = to;
            else if (relative.starts_with(from + "/"))
                relative = to + relative.substr(from.size());
        }
    }

    // A folder moved away whose arrival was not seen within two reads left the tree.
    void ForgetFoldersMovedAway() {
        for (const auto& [cookie, relative] : FMovedAwayBefore) {
            for (auto it = FFolders.begin(); it != FFolders.end();) {
                if (it->second == relative || it->second.starts_with(relative + "/")) {
                    ::inotify_rm_watch(FInotify.Get(), it->first);
                    it = FFolders.erase(it);
                } else {
                    ++it;
                }
            }
        }
        FMovedAwayBefore = std::move(FMovedAway);
        FMovedAway.clear();
    }

    UniqueFd FInotify;
    std::string FRoot; // without trailing slash
    VolumeId FRootVolume;
    WatchFilter FFilter;
    const Diagnostics& FDiagnostics;
    std::vector<char> FBuffer;
    std::unordered_map<int, std::string> FFolders; // watch -> folder relative to the root
    std::deque<PendingFolder> FPending;
    std::map<uint32_t, std::string> FMovedAway;       // cookie -> folder, this read
    std::map<uint32_t, std::string> FMovedAwayBefore; // the same, the read before
    int FRootWatch = -1;
    bool FRootGone = false;
    bool FLimitReported = false;
    ChangeBatch FBatch;
    WrittenFiles FWritten;
    std::string FFailure;
    WakeEvent FWake;
};

} // namespace

std::unique_ptr<IChangeReader> OpenInotifyReader(const std::string& root, uint32_t filter,
                                                 const Diagnostics& diagnostics, int* error) {
    const std::string folder = WithoutTrailingSlash(root);
    const auto volume = VolumeOf(folder);
    if (!volume) {
        *error = errno;
        return nullptr;
    }
    UniqueFd inotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!inotify) {
        *error = errno;
        return nullptr;
    }
    auto reader = std::make_unique<InotifyReader>(std::move(inotify), folder, *volume,
                                                  WatchFilter::FromBits(filter), diagnostics);
    if (!reader->AddRootWatch(error)) return nullptr;
    return reader;
}

} // namespace brimble::posix
