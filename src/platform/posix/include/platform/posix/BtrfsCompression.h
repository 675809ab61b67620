#pragma once

// Switching btrfs compression of one file on or off, with its content byte-identical.
//
// Compress: set the inode's compression flag, then have the kernel rewrite the existing
// data compressed (a defragment request with zstd); the flag alone affects new writes only.
// Decompress: clear the flag and set the no-compression flag, then have the kernel write
// the data back uncompressed (a defragment request with the no-compression flag, kernel
// 6.17 and later). Where the kernel lacks that request, the data is rewritten in place,
// but only while no other process has the file open. Both need the file's owner (or
// CAP_FOWNER) and write permission. Defragmenting gives the file its own copy of data it
// shared with reflinked copies or snapshots.

#include "platform/Platform.h"
#include "platform/posix/PosixSwitches.h"
#include "platform/posix/UniqueFd.h"

#include <map>
#include <mutex>
#include <string>
#include <sys/types.h>

namespace brimble::posix {

class BtrfsCompression {
public:
    explicit BtrfsCompression(const PosixSwitches& switches) : FSwitches(switches) {}

    // Fails with EOPNOTSUPP off btrfs, EBUSY when the in-place rewrite finds the file in use.
    OsResult SetCompression(const std::string& path, bool compress);

private:
    // Whether the kernel writes data back uncompressed on request; learnt per volume from
    // the first file it was asked for.
    enum class Support { Unknown, Works, Missing };

    OsResult Decompress(UniqueFd fd, const std::string& path);
    Support SupportOn(dev_t device);
    void Learn(dev_t device, Support support);

    const PosixSwitches& FSwitches;
    std::mutex FMutex;
    std::map<dev_t, Support> FSupport;
};

// Rewrites the file's data with the same bytes so that the file system stores it anew
// (uncompressed once the no-compression flag is set). Holds a write lease for the whole
// rewrite, so it fails with EBUSY when another process has the file open and stops, with
// EBUSY, as soon as one tries to open it; atime and mtime are kept.
OsResult RewriteInPlace(const std::string& path, dev_t device, ino_t inode);

} // namespace brimble::posix
