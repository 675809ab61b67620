#include "engine/VolumeQueries.h"

#include "engine/uMain.h"
#include "platform/Platform.h"

namespace brimble {

namespace {

// Larger clusters are refused: the file system's compression needs clusters of 4 KB or
// less.
constexpr uint32_t kLargestClusterSize = 4096;

bool TypeCanQualify(DriveType type) {
    return type == DriveType::Removable || type == DriveType::Fixed || type == DriveType::RamDisk;
}

} // namespace

uint32_t GetClusterSize(IVolumes& volumes, const std::string& root) {
    return volumes.GetClusterSize(root).value_or(kLargestClusterSize);
}

void GetDriveLetters(IVolumes& volumes, std::vector<std::string>& list) {
    list = volumes.LogicalDrives();
}

TVolumeInfo GetVolumeInfo(IVolumes& volumes, const std::string& root) {
    const OsValue<VolumeInformation> info = volumes.QueryVolumeInformation(root);
    if (!info) return {};
    return {info->Label, info->CanCompressFiles};
}

std::string GetVolumeLabel(IVolumes& volumes, const std::string& root) {
    return GetVolumeInfo(volumes, root).Label;
}

bool IsNTFS(IVolumes& volumes, const std::string& root) {
    return GetVolumeInfo(volumes, root).IsNTFS;
}

bool TfrmBrimblemain::DriveOk(const std::string& DriveName, bool AllowRemovable) {
    const char delimiter = FPlatform.FileSystem().PathDelimiter();
    std::string root = DriveName;
    if (root.empty() || root.back() != delimiter) root += delimiter;

    IVolumes& volumes = FPlatform.Volumes();
    const DriveType type = volumes.DriveTypeOf(root);
    if (!TypeCanQualify(type)) return false;
    if (!AllowRemovable && type == DriveType::Removable) return false;
    return IsNTFS(volumes, root) && GetClusterSize(volumes, root) <= kLargestClusterSize;
}

} // namespace brimble
