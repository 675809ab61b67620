#pragma once

// Small stateless questions about drives and volumes: which drives exist, a volume's label,
// whether its file system can compress files, and its cluster size.

#include <cstdint>
#include <string>
#include <vector>

namespace brimble {

class IVolumes;

// What the volume information tells: the label and whether the file system can compress an
// existing file ("NTFS" in the program's terms; btrfs on Linux).
struct TVolumeInfo {
    std::string Label;
    bool IsNTFS = false;
};

// Bytes per cluster of the volume at Root; 4096 when the query fails.
uint32_t GetClusterSize(IVolumes& volumes, const std::string& root);
// Fills List (cleared first) with the roots of all drives, in the platform's order.
void GetDriveLetters(IVolumes& volumes, std::vector<std::string>& list);
// A volume whose information cannot be read (no medium, not ready) has an empty label and
// cannot compress.
TVolumeInfo GetVolumeInfo(IVolumes& volumes, const std::string& root);
std::string GetVolumeLabel(IVolumes& volumes, const std::string& root);
bool IsNTFS(IVolumes& volumes, const std::string& root);

// Whether a drive can take compressed files, and why not in words. The reason is empty for a
// drive that is no local volume (network, optical, a pseudo file system) and for a RAM disk
// that cannot (tmpfs): no user expects compression there, so no list mentions it.
struct TDriveVerdict {
    bool Ok = false;
    std::string FileSystem; // when its volume could be read
    std::string Reason;
};
TDriveVerdict JudgeDrive(IVolumes& volumes, const std::string& root, bool AllowRemovable);

// A root as the user knows it: "/data", not "/data/"; "/" and "C:\\" stay as they are.
std::string ShownRoot(const std::string& root, char delimiter);
// "/data (ext4): the file system cannot compress single files", for a refused drive.
std::string RefusalLine(const std::string& root, char delimiter, const TDriveVerdict& verdict);

} // namespace brimble
