#pragma once

// Switching btrfs compression of one file on or off, with its content byte-identical.
//
// Compress: set the inode's compression flag, then have the kernel rewrite the existing
// data compressed (a defragment request with zstd); the flag alone affects new writes only.
// Decompress: clear the flag and set the no-compression flag, then have the kernel write
// the data back uncompressed; the undo of a compression made by this object then puts back
// the flags the file had before it (a defragment request with the no-compression flag, kernel
// 6.17 and later). Where the kernel lacks that request, the data is rewritten in place,
// but only while no other process has the file open. Both need the file's owner (or
// CAP_FOWNER) and write permission. Defragmenting gives the file its own copy of data it
// shared with reflinked copies or snapshots.

#include "platform/Platform.h"
#include "platform/posix/Diagnostics.h"
#include "platform/posix/PosixSwitches.h"
#include "platform/posix/UniqueFd.h"

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>

namespace brimble::posix {

class BtrfsCompression {
public:
    BtrfsCompression(const PosixSwitches& switches, const Diagnostics& diagnostics)
        : FSwitches(switches), FDiagnostics(diagnostics) {}

    // Fails with EOPNOTSUPP off btrfs, EBUSY when the in-place rewrite finds the file in use.
    // Level: zstd's level of the rewrite, 0 for the default; a kernel that takes no level
    // (before 6.15) compresses at the default, which is said once.
    OsResult SetCompression(const std::string& path, bool compress, int level = 0);
    // Marks a plain file for zstd compression of what is written to it from now on (the
    // flag and the "btrfs.compression" property), without a rewrite, or a folder so that
    // what is created in it inherits the mark; SetCompression off undoes it. Fails with
    // EOPNOTSUPP off btrfs, for anything but a plain file or a folder and for one marked
    // never to be compressed.
    OsValue<TNewFileMark> MarkForCompression(const std::string& path);
    // Puts back the flags a marked file or folder had before its mark (none for one that
    // inherited it), without rewriting its data.
    OsResult UnmarkForCompression(const std::string& path);

private:
    // Whether the kernel writes data back uncompressed on request; learnt per volume from
    // the first file it was asked for.
    enum class Support { Unknown, Works, Missing };

    // What a file's inode said about compression before it was compressed: an undo puts
    // it back, so a useless compression leaves no no-compression mark behind.
    struct TFlagsBefore {
        int Flags = 0;
        std::optional<std::string> Property; // the "btrfs.compression" attribute
    };
    using TInodeKey = std::pair<dev_t, ino_t>;

    OsResult Decompress(UniqueFd fd, const std::string& path);
    // The compressing rewrite, at Level where the kernel takes one.
    OsResult CompressData(int fd, int level);
    Support SupportOn(dev_t device);
    void Learn(dev_t device, Support support);
    void RestoreFlagsBefore(const std::string& path, const struct stat& examined);
    void RememberFlagsBefore(const struct stat& file, TFlagsBefore before);
    std::optional<TFlagsBefore> TakeFlagsBefore(const struct stat& file);

    const PosixSwitches& FSwitches;
    const Diagnostics& FDiagnostics;
    std::atomic<bool> FLevelRefused = false;
    std::mutex FMutex;
    std::map<dev_t, Support> FSupport;
    // The engine undoes right after it measured a compression, so only the latest few are
    // kept: a long run does not grow this without bound.
    static constexpr std::size_t MaxFlagsBefore = 4096;
    std::map<TInodeKey, TFlagsBefore> FFlagsBefore;
    std::deque<TInodeKey> FFlagsBeforeOrder;
};

// Rewrites the file's data with the same bytes so that the file system stores it anew
// (uncompressed once the no-compression flag is set). Holds a write lease for the whole
// rewrite, so it fails with EBUSY when another process has the file open and stops, with
// EBUSY, as soon as one tries to open it; atime and mtime are kept.
OsResult RewriteInPlace(const std::string& path, dev_t device, ino_t inode);

} // namespace brimble::posix
