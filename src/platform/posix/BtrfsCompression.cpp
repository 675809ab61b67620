#include "platform/posix/BtrfsCompression.h"

#include "platform/posix/ErrorText.h"
#include "platform/posix/OnDiskSize.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <linux/btrfs.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace brimble::posix {

namespace {

// Defragment flag that takes the compression level from the request (kernel 6.15 and
// later): the type in the low byte of compress_type, the level in the next.
constexpr uint64_t DefragRangeLevel = 4;
// Defragment flag that writes the data back uncompressed (kernel 6.17 and later).
constexpr uint64_t DefragRangeNoCompress = 8;
constexpr uint32_t CompressZstd = 3;
constexpr int DefaultZstdLevel = 3;

OsResult Errno() {
    return OsResult::Fail(errno);
}

OsResult Defragment(int fd, uint64_t flags, int level = 0) {
    // Data still in memory would be written by the rules of the moment it is flushed, not
    // by this request: it must be on disk first so that the request rewrites all of it.
    FlushPendingData(fd);
    struct btrfs_ioctl_defrag_range_args args {};
    args.start = 0;
    args.len = std::numeric_limits<uint64_t>::max();
    args.flags = flags;
    args.compress_type = (flags & BTRFS_DEFRAG_RANGE_COMPRESS) ? CompressZstd : 0;
    if (flags & DefragRangeLevel)
        args.compress_type |= static_cast<uint32_t>(static_cast<uint8_t>(level)) << 8;
    if (::ioctl(fd, BTRFS_IOC_DEFRAG_RANGE, &args) != 0) return Errno();
    // No fsync: the old extents stay valid until the new ones are committed, and the size
    // query waits for the new ones itself. A flush per file would cost more than the work.
    return {};
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens the file at Path for the flag and defragment requests (a read-only descriptor
// serves both, so running programs can be handled too). Never follows a link and never
// blocks on a FIFO; the file must still be the one examined before.
UniqueFd OpenExamined(const std::string& path, int flags, const struct stat& examined, int* error) {
    UniqueFd fd(::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        *error = errno;
        return fd;
    }
    struct stat opened {};
    if (::fstat(fd.Get(), &opened) != 0 || !SameFile(opened, examined)) {
        *error = EAGAIN; // replaced meanwhile: a later try sees the new file
        return UniqueFd();
    }
    return fd;
}

std::optional<std::string> CompressionProperty(int fd) {
    char value[64];
    const ssize_t length = ::fgetxattr(fd, "btrfs.compression", value, sizeof value);
    if (length <= 0) return std::nullopt;
    return std::string(value, static_cast<std::size_t>(length));
}

bool IsBtrfs(int fd) {
    struct statfs info {};
    return ::fstatfs(fd, &info) == 0 && info.f_type == BTRFS_SUPER_MAGIC;
}

OsResult WriteAll(int fd, const char* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size, offset);
        if (written < 0) {
            if (errno == EINTR) continue;
            return Errno();
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += written;
    }
    return {};
}

bool StillLeased(int fd) {
    return ::fcntl(fd, F_GETLEASE) == F_WRLCK;
}

// Reads and writes back [Start, End) in chunks, checking the lease before each write.
OsResult RewriteRange(int fd, off_t start, off_t end, std::vector<char>& buffer) {
    while (start < end) {
        const auto wanted = static_cast<std::size_t>(
            std::min<off_t>(end - start, static_cast<off_t>(buffer.size())));
        const ssize_t got = ::pread(fd, buffer.data(), wanted, start);
        if (got < 0) {
            if (errno == EINTR) continue;
            return Errno();
        }
        if (got == 0) break;
        // Another process waits to open the file: stop before touching more of it.
        if (!StillLeased(fd)) return OsResult::Fail(EBUSY);
        if (auto written = WriteAll(fd, buffer.data(), static_cast<std::size_t>(got), start);
            !written)
            return written;
        start += got;
    }
    return {};
}

// Rewrites every data segment; holes stay holes.
OsResult RewriteData(int fd, off_t size) {
    std::vector<char> buffer(1 << 20);
    off_t pos = 0;
    while (pos < size) {
        off_t dataStart = ::lseek(fd, pos, SEEK_DATA);
        if (dataStart < 0) {
            if (errno == ENXIO) break; // only a hole remains
            if (errno != EINVAL) return Errno();
            dataStart = pos; // no hole support: the rest is data
        }
        off_t dataEnd = ::lseek(fd, dataStart, SEEK_HOLE);
        if (dataEnd < 0) dataEnd = size;
        if (auto result = RewriteRange(fd, dataStart, std::min(dataEnd, size), buffer); !result)
            return result;
        pos = dataEnd;
    }
    return {};
}

} // namespace

OsResult RewriteInPlace(const std::string& path, dev_t device, ino_t inode) {
    struct stat examined {};
    examined.st_dev = device;
    examined.st_ino = inode;
    int error = 0;
    UniqueFd fd = OpenExamined(path, O_RDWR, examined, &error);
    if (!fd) return OsResult::Fail(error == ETXTBSY || error == EWOULDBLOCK ? EBUSY : error);
    // A write lease is granted only to the one open descriptor of the file: nobody else
    // reads or writes it while we do, and anyone who tries makes us stop.
    if (::fcntl(fd.Get(), F_SETLEASE, F_WRLCK) != 0)
        return OsResult::Fail(errno == EAGAIN ? EBUSY : errno);
    // No lease-break signal (its default action ends the process): the lease is polled.
    ::fcntl(fd.Get(), F_SETOWN, 0);
    struct stat before {};
    if (::fstat(fd.Get(), &before) != 0) return Errno();
    OsResult result = RewriteData(fd.Get(), before.st_size);
    if (result) FlushPendingData(fd.Get());
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ::futimens(fd.Get(), times);
    ::fcntl(fd.Get(), F_SETLEASE, F_UNLCK);
    return result;
}

OsResult BtrfsCompression::CompressData(int fd, int level) {
    if (level <= 0 || level == DefaultZstdLevel || FLevelRefused)
        return Defragment(fd, BTRFS_DEFRAG_RANGE_COMPRESS);
    const OsResult leveled = Defragment(fd, BTRFS_DEFRAG_RANGE_COMPRESS | DefragRangeLevel, level);
    if (leveled || (leveled.code() != EINVAL && leveled.code() != EOPNOTSUPP)) return leveled;
    if (!FLevelRefused.exchange(true))
        FDiagnostics.Log("The kernel takes no compression level (" + ErrorText(leveled.code()) +
                             "): files are compressed at the default level",
                         llNotice);
    return Defragment(fd, BTRFS_DEFRAG_RANGE_COMPRESS);
}

OsResult BtrfsCompression::SetCompression(const std::string& path, bool compress, int level) {
    struct stat examined {};
    if (::lstat(path.c_str(), &examined) != 0) return Errno();
    if (!S_ISREG(examined.st_mode) && !S_ISDIR(examined.st_mode)) {
        // Links, FIFOs, sockets and devices hold no data of their own to compress.
        return compress ? OsResult::Fail(EOPNOTSUPP) : OsResult();
    }
    int error = 0;
    UniqueFd fd = OpenExamined(path, O_RDONLY, examined, &error);
    if (!fd) return OsResult::Fail(error);
    if (!IsBtrfs(fd.Get())) return OsResult::Fail(EOPNOTSUPP);

    int oldFlags = 0;
    if (::ioctl(fd.Get(), FS_IOC_GETFLAGS, &oldFlags) != 0) return Errno();
    // Its owner locked an immutable or append-only file against change: its extents stay
    // as they are, even where root could rewrite them.
    if (oldFlags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) return OsResult::Fail(EPERM);
    const std::optional<std::string> oldProperty = CompressionProperty(fd.Get());
    const int newFlags = compress ? (oldFlags | FS_COMPR_FL) & ~FS_NOCOMP_FL
                                  : (oldFlags & ~FS_COMPR_FL) | FS_NOCOMP_FL;
    if (newFlags != oldFlags) {
        int flags = newFlags;
        if (::ioctl(fd.Get(), FS_IOC_SETFLAGS, &flags) != 0) return Errno();
    }
    // The flag stores the volume's default method (zlib unless mounted otherwise) for later
    // writes; they should use zstd, as the rewrite below does.
    if (compress) ::fsetxattr(fd.Get(), "btrfs.compression", "zstd", 4, 0);
    // A folder's flag is what new files in it inherit; it has no data to rewrite.
    if (S_ISDIR(examined.st_mode)) return {};

    OsResult result = compress ? CompressData(fd.Get(), level) : Decompress(std::move(fd), path);
    if (!result && newFlags != oldFlags) {
        // The data kept its old form: so does the flag, so the file reads as it is. (The
        // descriptor is opened anew: the in-place rewrite needed it to be the only one.)
        if (UniqueFd again = OpenExamined(path, O_RDONLY, examined, &error)) {
            int flags = oldFlags;
            ::ioctl(again.Get(), FS_IOC_SETFLAGS, &flags);
        }
    }
    if (result && compress) RememberFlagsBefore(examined, {oldFlags, oldProperty});
    if (result && !compress) RestoreFlagsBefore(path, examined);
    return result;
}

OsValue<TNewFileMark> BtrfsCompression::MarkForCompression(const std::string& path) {
    using Result = OsValue<TNewFileMark>;
    struct stat examined {};
    if (::lstat(path.c_str(), &examined) != 0) return Result::Fail(errno);
    if (!S_ISREG(examined.st_mode) && !S_ISDIR(examined.st_mode)) return Result::Fail(EOPNOTSUPP);
    int error = 0;
    const UniqueFd fd = OpenExamined(path, O_RDONLY, examined, &error);
    if (!fd) return Result::Fail(error);
    if (!IsBtrfs(fd.Get())) return Result::Fail(EOPNOTSUPP);
    int oldFlags = 0;
    if (::ioctl(fd.Get(), FS_IOC_GETFLAGS, &oldFlags) != 0) return Result::Fail(errno);
    // Inherited from its folder, where the user asked for no compression.
    if (oldFlags & FS_NOCOMP_FL) return Result::Fail(EOPNOTSUPP);
    const std::optional<std::string> oldProperty = CompressionProperty(fd.Get());
    // The property alone sets the flag too, and it names the method where the flag would
    // take the volume's default.
    if (::fsetxattr(fd.Get(), "btrfs.compression", "zstd", 4, 0) != 0) {
        int flags = oldFlags | FS_COMPR_FL;
        if (::ioctl(fd.Get(), FS_IOC_SETFLAGS, &flags) != 0) return Result::Fail(errno);
    }
    // A folder holds no data; what is created in it from now on inherits the mark.
    if (S_ISDIR(examined.st_mode)) return TNewFileMark{};
    RememberFlagsBefore(examined, {oldFlags, oldProperty});
    // Asked after the mark: data written out before it is all that can lie there plain.
    const std::optional<bool> plain = HasStoredPlainData(fd.Get());
    return TNewFileMark{!plain || *plain};
}

OsResult BtrfsCompression::UnmarkForCompression(const std::string& path) {
    struct stat examined {};
    if (::lstat(path.c_str(), &examined) != 0) return Errno();
    if (!S_ISREG(examined.st_mode) && !S_ISDIR(examined.st_mode)) return {};
    int error = 0;
    const UniqueFd fd = OpenExamined(path, O_RDONLY, examined, &error);
    if (!fd) return OsResult::Fail(error);
    // What is still in memory is written by the mark: compressed, at no extra cost.
    if (S_ISREG(examined.st_mode)) FlushPendingData(fd.Get());
    const std::optional<TFlagsBefore> before = TakeFlagsBefore(examined);
    int flags = 0;
    if (before) {
        flags = before->Flags;
    } else if (::ioctl(fd.Get(), FS_IOC_GETFLAGS, &flags) != 0) {
        return Errno();
    }
    // Clearing the flag drops the property too.
    flags &= ~FS_COMPR_FL;
    if (::ioctl(fd.Get(), FS_IOC_SETFLAGS, &flags) != 0) return Errno();
    if (before && before->Property)
        ::fsetxattr(fd.Get(), "btrfs.compression", before->Property->data(),
                    before->Property->size(), 0);
    return {};
}

void BtrfsCompression::RestoreFlagsBefore(const std::string& path, const struct stat& examined) {
    const std::optional<TFlagsBefore> before = TakeFlagsBefore(examined);
    if (!before) return; // not compressed here: the no-compression flag says what was asked
    int error = 0;
    const UniqueFd fd = OpenExamined(path, O_RDONLY, examined, &error);
    if (!fd) return;
    // Data still in memory would be written by the restored flags, perhaps compressed again.
    FlushPendingData(fd.Get());
    int flags = before->Flags;
    ::ioctl(fd.Get(), FS_IOC_SETFLAGS, &flags);
    // Setting the flags writes the volume's default method; the file's own comes back.
    if (before->Property)
        ::fsetxattr(fd.Get(), "btrfs.compression", before->Property->data(),
                    before->Property->size(), 0);
}

void BtrfsCompression::RememberFlagsBefore(const struct stat& file, TFlagsBefore before) {
    const std::lock_guard lock(FMutex);
    const TInodeKey key{file.st_dev, file.st_ino};
    // A file compressed again keeps what it had before the first time.
    if (!FFlagsBefore.emplace(key, std::move(before)).second) return;
    FFlagsBeforeOrder.push_back(key);
    if (FFlagsBeforeOrder.size() > MaxFlagsBefore) {
        FFlagsBefore.erase(FFlagsBeforeOrder.front());
        FFlagsBeforeOrder.pop_front();
    }
}

std::optional<BtrfsCompression::TFlagsBefore>
BtrfsCompression::TakeFlagsBefore(const struct stat& file) {
    const std::lock_guard lock(FMutex);
    const auto found = FFlagsBefore.find({file.st_dev, file.st_ino});
    if (found == FFlagsBefore.end()) return std::nullopt;
    TFlagsBefore before = std::move(found->second);
    FFlagsBefore.erase(found);
    // Its place in the order stays until it comes round: erasing a missing key is harmless.
    return before;
}

OsResult BtrfsCompression::Decompress(UniqueFd fd, const std::string& path) {
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) return Errno();
    // Data that was never compressed is left alone: rewriting it would cost a full copy
    // and break the sharing with reflinked copies for nothing.
    const auto compressed = HasCompressedExtents(fd.Get());
    if (compressed && !*compressed) return {};

    const Support support = SupportOn(info.st_dev);
    if (!FSwitches.ForceInPlaceDecompression && support != Support::Missing) {
        const OsResult defragmented = Defragment(fd.Get(), DefragRangeNoCompress);
        if (!defragmented && defragmented.code() != EOPNOTSUPP && defragmented.code() != EINVAL)
            return defragmented;
        if (defragmented) {
            const auto left = HasCompressedExtents(fd.Get());
            if (left && !*left) {
                Learn(info.st_dev, Support::Works);
                return {};
            }
            // Older kernels accept the flag and ignore it.
            if (support == Support::Unknown) Learn(info.st_dev, Support::Missing);
        } else {
            Learn(info.st_dev, Support::Missing);
        }
    }
    // The lease below needs this to be the file's only open descriptor.
    fd.Reset();
    OsResult rewritten = RewriteInPlace(path, info.st_dev, info.st_ino);
    if (!rewritten) return rewritten;
    // A volume mounted with compress-force compresses even so: say that it did not work.
    UniqueFd check(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (check) {
        const auto left = HasCompressedExtents(check.Get());
        if (left && *left) return OsResult::Fail(EOPNOTSUPP);
    }
    return {};
}

BtrfsCompression::Support BtrfsCompression::SupportOn(dev_t device) {
    const std::lock_guard lock(FMutex);
    const auto found = FSupport.find(device);
    return found == FSupport.end() ? Support::Unknown : found->second;
}

void BtrfsCompression::Learn(dev_t device, Support support) {
    const std::lock_guard lock(FMutex);
    FSupport[device] = support;
}

} // namespace brimble::posix
