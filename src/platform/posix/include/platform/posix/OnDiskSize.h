#pragma once

// How many bytes a file occupies on a btrfs volume.

#include <cstdint>
#include <optional>

namespace brimble::posix {

// Writes out data still waiting in memory, so that its extents exist on disk.
void FlushPendingData(int fd);

// The exact size as compsize counts it: one tree search over the file's extent items, each
// compressed extent's disk size counted once, an uncompressed extent by the bytes the file
// references, inline data by its stored length. Needs CAP_SYS_ADMIN (EPERM otherwise).
std::optional<int64_t> ExactOnDiskSize(int fd, int* error = nullptr);

// An estimate for a user without that privilege, from the file's extent map. The map gives
// only logical lengths, so a compressed extent counts at most its length less one sector
// (btrfs keeps an extent compressed only when that saves a sector) and at most the distance
// to the file's next extent on disk. It is an upper bound, exact for uncompressed data and
// close for compressed extents written back to back, as the kernel writes them when it
// compresses a whole file: a file that compressed well is therefore never counted as
// having gained nothing.
std::optional<int64_t> EstimatedOnDiskSize(int fd, uint32_t sectorSize, int* error = nullptr);

// What one read of the extent map tells, without writing out pending data first (data
// still in memory counts as it will be written: uncompressed and not shared).
struct ExtentSummary {
    int64_t EstimatedBytes = 0; // as EstimatedOnDiskSize counts them
    bool Shared = false;        // an extent is shared with a snapshot or another file
    bool Encoded = false;       // an extent, inline ones included, is stored compressed
};
std::optional<ExtentSummary> SummarizeExtents(int fd, uint32_t sectorSize, int* error = nullptr);

// Whether some of the file's data lies on disk uncompressed already (or in space reserved
// for it, which later writes fill uncompressed), without writing out pending data: data
// still in memory is stored by the rules in force when it is written out. Nothing when the
// extent map cannot be read.
std::optional<bool> HasStoredPlainData(int fd, int* error = nullptr);

// Whether the file holds compressed extents outside its inline data; nothing when the
// extent map cannot be read.
std::optional<bool> HasCompressedExtents(int fd, int* error = nullptr);

} // namespace brimble::posix
