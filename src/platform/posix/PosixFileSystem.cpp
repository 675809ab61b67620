#include "platform/posix/PosixFileSystem.h"

#include "platform/posix/DirListing.h"
#include "platform/posix/ErrorText.h"
#include "platform/posix/FileAttributes.h"
#include "platform/posix/FileReading.h"
#include "platform/posix/FileWriting.h"
#include "platform/posix/MountTable.h"
#include "platform/posix/OnDiskSize.h"
#include "platform/posix/Paths.h"
#include "platform/posix/UniqueFd.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <linux/magic.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace brimble::posix {

std::string PosixFileSystem::DriveOfPath(const std::string& path) {
    const std::string resolved = ResolvePath(path);
    if (resolved.empty()) return {};
    const auto mounts = ReadMountTable();
    const MountEntry* mount = MountHolding(mounts, resolved);
    return mount ? WithTrailingSlash(mount->MountPoint) : std::string();
}

bool PosixFileSystem::IsAcceptableScanPath(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

std::optional<uint64_t> PosixFileSystem::FileSystemIdOf(const std::string& dir) {
    // A btrfs subvolume or snapshot has a device number of its own, unlike its parent's.
    struct statx info {};
    if (::statx(AT_FDCWD, WithoutTrailingSlash(dir).c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                STATX_TYPE, &info) != 0)
        return std::nullopt;
    return (static_cast<uint64_t>(info.stx_dev_major) << 32) | info.stx_dev_minor;
}

OsValue<std::string> PosixFileSystem::ResolveFolder(const std::string& path) {
    const std::unique_ptr<char, decltype(&::free)> real(::realpath(path.c_str(), nullptr), &::free);
    if (!real) return OsValue<std::string>::Fail(errno);
    std::string resolved(real.get());
    // Opened once, so that a folder that cannot be listed is said now, not by a walk that
    // finds nothing.
    const UniqueFd fd(::open(resolved.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return OsValue<std::string>::Fail(errno);
    return resolved;
}

OsValue<std::unique_ptr<IDirListing>> PosixFileSystem::OpenListing(const std::string& dir) {
    int code = 0;
    std::unique_ptr<IDirListing> listing = OpenDirListing(dir, &code);
    if (!listing) return OsValue<std::unique_ptr<IDirListing>>::Fail(code);
    return listing;
}

std::optional<TFileAttrRec> PosixFileSystem::FindEntry(const std::string& path) {
    const std::string trimmed = WithoutTrailingSlash(path);
    return StatEntry(AT_FDCWD, trimmed, LastComponent(trimmed));
}

OsValue<uint32_t> PosixFileSystem::GetAttributes(const std::string& path) {
    const std::string trimmed = WithoutTrailingSlash(path);
    int error = 0;
    const auto entry = StatEntry(AT_FDCWD, trimmed, LastComponent(trimmed), &error);
    if (!entry) return OsValue<uint32_t>::Fail(error);
    return entry->Attr;
}

OsResult PosixFileSystem::SetAttributes(const std::string& path, uint32_t attr) {
    // Only read-only maps to something settable: the owner's write permission. Group and
    // other bits stay, so clearing and setting it again restores the mode exactly.
    const UniqueFd fd(::open(WithoutTrailingSlash(path).c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return OsResult::Fail(errno);
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) return OsResult::Fail(errno);
    if (S_ISLNK(info.st_mode)) return {}; // a link has no permissions of its own
    const mode_t mode =
        (attr & fa::ReadOnly) ? (info.st_mode & ~S_IWUSR) : (info.st_mode | S_IWUSR);
    if (mode == info.st_mode) return {};
    // Through the descriptor, so a file swapped for a link meanwhile is never followed.
    const std::string byDescriptor = "/proc/self/fd/" + std::to_string(fd.Get());
    if (::chmod(byDescriptor.c_str(), mode & 07777) == 0) return {};
    const int error = errno;
    if (error != ENOENT) return OsResult::Fail(error);
    // No /proc: the path once more, refusing a link.
    if (::fchmodat(AT_FDCWD, path.c_str(), mode & 07777, AT_SYMLINK_NOFOLLOW) != 0)
        return OsResult::Fail(errno);
    return {};
}

OsResult PosixFileSystem::Decrypt(const std::string& path) {
    const std::string trimmed = WithoutTrailingSlash(path);
    int error = 0;
    const auto entry = StatEntry(AT_FDCWD, trimmed, LastComponent(trimmed), &error);
    if (!entry) return OsResult::Fail(error);
    // Files of an fscrypt folder are readable only with its key; removing the encryption
    // would mean copying them out, which Brimble does not do.
    if (entry->Attr & fa::Encrypted) return OsResult::Fail(EOPNOTSUPP);
    return {};
}

OsResult PosixFileSystem::SetCompression(const std::string& path, bool compress, int level) {
    return FCompression.SetCompression(WithoutTrailingSlash(path), compress, level);
}

OsValue<TNewFileMark> PosixFileSystem::MarkForCompression(const std::string& path) {
    return FCompression.MarkForCompression(WithoutTrailingSlash(path));
}

OsResult PosixFileSystem::UnmarkForCompression(const std::string& path) {
    return FCompression.UnmarkForCompression(WithoutTrailingSlash(path));
}

OsValue<int64_t> PosixFileSystem::GetCompressedSize(const std::string& path) {
    using Result = OsValue<int64_t>;
    const std::string trimmed = WithoutTrailingSlash(path);
    const UniqueFd fd(
        ::open(trimmed.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (!fd) {
        // A link or an unreadable file: what the file system allocated for it.
        if (::lstat(trimmed.c_str(), &info) != 0) return Result::Fail(errno);
        return static_cast<int64_t>(info.st_blocks) * 512;
    }
    struct statfs volume {};
    if (::fstat(fd.Get(), &info) != 0 || ::fstatfs(fd.Get(), &volume) != 0)
        return Result::Fail(errno);
    if (volume.f_type != BTRFS_SUPER_MAGIC || !S_ISREG(info.st_mode))
        return static_cast<int64_t>(info.st_blocks) * 512;
    if (!FSwitches.ForceEstimatedSize) {
        int error = 0;
        if (auto exact = ExactOnDiskSize(fd.Get(), &error)) return *exact;
        if (error != EPERM && error != EACCES) return Result::Fail(error);
    }
    int error = 0;
    if (auto estimate =
            EstimatedOnDiskSize(fd.Get(), static_cast<uint32_t>(volume.f_bsize), &error))
        return *estimate;
    return Result::Fail(error != 0 ? error : EIO);
}

OsValue<TDataLayout> PosixFileSystem::ExamineData(const std::string& path) {
    using Result = OsValue<TDataLayout>;
    const std::string trimmed = WithoutTrailingSlash(path);
    const UniqueFd fd(
        ::open(trimmed.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) return Result::Fail(errno);
    struct stat info {};
    struct statfs volume {};
    if (::fstat(fd.Get(), &info) != 0 || ::fstatfs(fd.Get(), &volume) != 0)
        return Result::Fail(errno);
    std::optional<std::pair<uint64_t, uint64_t>> linked;
    if (info.st_nlink > 1) linked.emplace(info.st_dev, info.st_ino);
    if (volume.f_type != BTRFS_SUPER_MAGIC || !S_ISREG(info.st_mode))
        return TDataLayout{static_cast<int64_t>(info.st_blocks) * 512, false, false, linked};
    int error = 0;
    const auto summary = SummarizeExtents(fd.Get(), static_cast<uint32_t>(volume.f_bsize), &error);
    if (!summary) return Result::Fail(error != 0 ? error : EIO);
    TDataLayout layout{summary->EstimatedBytes, summary->Shared, summary->Encoded, linked};
    // Compressed extents are where the map's estimate is only a bound; where the exact
    // figure can be had, the totals use it.
    if (layout.Encoded && !FSwitches.ForceEstimatedSize)
        if (auto exact = ExactOnDiskSize(fd.Get())) layout.OnDiskSize = *exact;
    return layout;
}

bool PosixFileSystem::IsRefusal(int code) const {
    // No permission on the file (or an immutable one), a read-only mount, or something that
    // holds no data to compress (a FIFO, a device): none of it changes by waiting.
    return code == EPERM || code == EACCES || code == EROFS || code == EOPNOTSUPP;
}

std::string PosixFileSystem::SysErrorMessage(int code) {
    return ErrorText(code);
}

bool PosixFileSystem::FileExists(const std::string& path) {
    // A FIFO or device is no file to read settings or lists from, nor one to compress.
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool PosixFileSystem::DirectoryExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

OsResult PosixFileSystem::ForceDirectories(const std::string& path) {
    return MakeFolders(path, 0777);
}

OsResult PosixFileSystem::EraseFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0) return OsResult::Fail(errno);
    return {};
}

OsResult PosixFileSystem::RenameEntry(const std::string& from, const std::string& to) {
    // Never over an existing file: that one may be the user's.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
        return OsResult::Fail(errno);
    return {};
}

bool PosixFileSystem::SameFile(const std::string& a, const std::string& b) {
    struct stat first {
    }, second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

OsResult PosixFileSystem::ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    // Not blocking on open: a FIFO without a writer would hold the caller forever.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd) return OsResult::Fail(errno);
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) return OsResult::Fail(errno);
    if (S_ISDIR(info.st_mode)) return OsResult::Fail(EISDIR);
    if (!S_ISREG(info.st_mode)) return OsResult::Fail(ErrNotRegularFile);
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return OsResult::Fail(errno);
        }
        if (got == 0) return {};
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

OsValue<std::unique_ptr<IInputFile>> PosixFileSystem::OpenForRead(const std::string& path) {
    return posix::OpenForRead(WithoutTrailingSlash(path));
}

OsResult PosixFileSystem::ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    return posix::ReplaceFileAtomically(path, bytes);
}

OsValue<std::unique_ptr<IOutputFile>> PosixFileSystem::OpenForWrite(const std::string& path,
                                                                    WriteMode mode) {
    return posix::OpenForWrite(path, mode);
}

} // namespace brimble::posix
