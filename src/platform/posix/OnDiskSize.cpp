#include "platform/posix/OnDiskSize.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <linux/btrfs.h>
#include <linux/btrfs_tree.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <map>
#include <set>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <vector>

namespace brimble::posix {

namespace {

// Kernel structures are little-endian; read them byte by byte so that any host works.
uint64_t ReadLe(const uint8_t* bytes, int width) {
    uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

// struct btrfs_ioctl_search_header: transid, objectid, offset (u64 each), type, len (u32).
constexpr std::size_t SearchHeaderSize = 32;
// struct btrfs_file_extent_item up to the inline data: generation, ram_bytes (u64 each),
// compression, encryption (u8), other_encoding (u16), type (u8).
constexpr std::size_t ExtentHeaderSize = 21;
constexpr std::size_t ExtentItemSize = ExtentHeaderSize + 32;

struct ExtentTotals {
    int64_t Bytes = 0;
    std::set<uint64_t> SeenCompressed; // disk_bytenr of compressed extents already counted
};

void CountExtentItem(const uint8_t* item, uint32_t length, ExtentTotals& totals) {
    if (length < ExtentHeaderSize) return;
    const uint8_t compression = item[16];
    const uint8_t type = item[20];
    if (type == BTRFS_FILE_EXTENT_INLINE) {
        totals.Bytes += length - ExtentHeaderSize;
        return;
    }
    if (length < ExtentItemSize) return;
    const uint64_t diskBytenr = ReadLe(item + 21, 8);
    const uint64_t diskNumBytes = ReadLe(item + 29, 8);
    const uint64_t numBytes = ReadLe(item + 45, 8);
    if (diskBytenr == 0) return; // a hole
    if (compression == 0)
        totals.Bytes += static_cast<int64_t>(numBytes);
    else if (totals.SeenCompressed.insert(diskBytenr).second)
        totals.Bytes += static_cast<int64_t>(diskNumBytes);
}

std::optional<std::vector<struct fiemap_extent>> ReadExtentMap(int fd, int* error,
                                                               bool sync = true) {
    constexpr uint32_t Batch = 256;
    std::vector<uint8_t> buffer(sizeof(struct fiemap) + Batch * sizeof(struct fiemap_extent));
    std::vector<struct fiemap_extent> extents;
    uint64_t start = 0;
    for (;;) {
        std::fill(buffer.begin(), buffer.end(), 0);
        auto* map = reinterpret_cast<struct fiemap*>(buffer.data());
        map->fm_start = start;
        map->fm_length = std::numeric_limits<uint64_t>::max() - start;
        map->fm_flags = sync ? FIEMAP_FLAG_SYNC : 0;
        map->fm_extent_count = Batch;
        if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0) {
            if (error) *error = errno;
            return std::nullopt;
        }
        if (map->fm_mapped_extents == 0) break;
        const struct fiemap_extent* got = map->fm_extents;
        extents.insert(extents.end(), got, got + map->fm_mapped_extents);
        const auto& last = got[map->fm_mapped_extents - 1];
        if (last.fe_flags & FIEMAP_EXTENT_LAST) break;
        start = last.fe_logical + last.fe_length;
    }
    return extents;
}

uint64_t RoundUp(uint64_t value, uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

int64_t EstimateFromExtents(const std::vector<struct fiemap_extent>& extents, int64_t fileSize,
                            uint32_t sectorSize) {
    const uint64_t sector = sectorSize ? sectorSize : 4096;

    int64_t bytes = 0;
    std::set<uint64_t> starts;               // where the file's extents begin on disk
    std::map<uint64_t, uint64_t> compressed; // disk start -> logical bytes it holds
    for (const auto& extent : extents) {
        if (extent.fe_flags & FIEMAP_EXTENT_DATA_INLINE) {
            const uint64_t fileBytes = static_cast<uint64_t>(fileSize);
            const uint64_t rest = fileBytes > extent.fe_logical ? fileBytes - extent.fe_logical : 0;
            bytes += static_cast<int64_t>(std::min<uint64_t>(extent.fe_length, rest));
            continue;
        }
        if (extent.fe_flags & (FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC)) {
            bytes += static_cast<int64_t>(extent.fe_length); // not on disk yet
            continue;
        }
        starts.insert(extent.fe_physical);
        if (extent.fe_flags & FIEMAP_EXTENT_ENCODED)
            compressed[extent.fe_physical] += extent.fe_length;
        else
            bytes += static_cast<int64_t>(extent.fe_length);
    }
    for (const auto& [start, logical] : compressed) {
        uint64_t bound = RoundUp(logical, sector);
        bound = bound > sector ? bound - sector : sector;
        if (const auto next = starts.upper_bound(start); next != starts.end())
            bound = std::min(bound, *next - start);
        bytes += static_cast<int64_t>(bound);
    }
    return bytes;
}

} // namespace

void FlushPendingData(int fd) {
    // The extent map's sync flag waits for the data's extents without committing a
    // transaction.
    struct fiemap map {};
    map.fm_length = std::numeric_limits<uint64_t>::max();
    map.fm_flags = FIEMAP_FLAG_SYNC;
    map.fm_extent_count = 0;
    ::ioctl(fd, FS_IOC_FIEMAP, &map);
}

std::optional<int64_t> ExactOnDiskSize(int fd, int* error) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        if (error) *error = errno;
        return std::nullopt;
    }
    FlushPendingData(fd);
    constexpr std::size_t BufferSize = 64 * 1024;
    std::vector<uint64_t> storage((sizeof(btrfs_ioctl_search_args_v2) + BufferSize) / 8 + 1);
    auto* args = reinterpret_cast<btrfs_ioctl_search_args_v2*>(storage.data());
    ExtentTotals totals;
    uint64_t nextOffset = 0;
    for (;;) {
        std::memset(&args->key, 0, sizeof args->key);
        args->key.tree_id = 0; // the subvolume that holds the file
        args->key.min_objectid = args->key.max_objectid = info.st_ino;
        args->key.min_type = args->key.max_type = BTRFS_EXTENT_DATA_KEY;
        args->key.min_offset = nextOffset;
        args->key.max_offset = std::numeric_limits<uint64_t>::max();
        args->key.max_transid = std::numeric_limits<uint64_t>::max();
        args->key.nr_items = std::numeric_limits<uint32_t>::max();
        args->buf_size = BufferSize;
        if (::ioctl(fd, BTRFS_IOC_TREE_SEARCH_V2, args) != 0) {
            if (error) *error = errno;
            return std::nullopt;
        }
        if (args->key.nr_items == 0) break;
        const uint8_t* pos = args->buf;
        uint64_t lastOffset = 0;
        for (uint32_t i = 0; i < args->key.nr_items; ++i) {
            const uint64_t offset = ReadLe(pos + 16, 8);
            const uint32_t type = static_cast<uint32_t>(ReadLe(pos + 24, 4));
            const uint32_t length = static_cast<uint32_t>(ReadLe(pos + 28, 4));
            if (type == BTRFS_EXTENT_DATA_KEY)
                CountExtentItem(pos + SearchHeaderSize, length, totals);
            lastOffset = offset;
            pos += SearchHeaderSize + length;
        }
        if (lastOffset == std::numeric_limits<uint64_t>::max()) break;
        nextOffset = lastOffset + 1;
    }
    return totals.Bytes;
}

std::optional<int64_t> EstimatedOnDiskSize(int fd, uint32_t sectorSize, int* error) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        if (error) *error = errno;
        return std::nullopt;
    }
    const auto extents = ReadExtentMap(fd, error);
    if (!extents) return std::nullopt;
    return EstimateFromExtents(*extents, info.st_size, sectorSize);
}

std::optional<ExtentSummary> SummarizeExtents(int fd, uint32_t sectorSize, int* error) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        if (error) *error = errno;
        return std::nullopt;
    }
    // No sync: writing out a file that is still being written would cost more than the
    // whole decision, and its pending data is neither shared nor compressed yet.
    const auto extents = ReadExtentMap(fd, error, false);
    if (!extents) return std::nullopt;
    ExtentSummary summary;
    summary.EstimatedBytes = EstimateFromExtents(*extents, info.st_size, sectorSize);
    for (const auto& extent : *extents) {
        if (extent.fe_flags & FIEMAP_EXTENT_SHARED) summary.Shared = true;
        if (extent.fe_flags & FIEMAP_EXTENT_ENCODED) summary.Encoded = true;
    }
    return summary;
}

std::optional<bool> HasStoredPlainData(int fd, int* error) {
    const auto extents = ReadExtentMap(fd, error, false);
    if (!extents) return std::nullopt;
    return std::any_of(extents->begin(), extents->end(), [](const struct fiemap_extent& e) {
        return !(e.fe_flags & (FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_ENCODED));
    });
}

std::optional<bool> HasCompressedExtents(int fd, int* error) {
    const auto extents = ReadExtentMap(fd, error);
    if (!extents) return std::nullopt;
    return std::any_of(extents->begin(), extents->end(), [](const struct fiemap_extent& e) {
        return (e.fe_flags & FIEMAP_EXTENT_ENCODED) && !(e.fe_flags & FIEMAP_EXTENT_DATA_INLINE);
    });
}

} // namespace brimble::posix
