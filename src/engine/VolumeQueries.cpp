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

TDriveVerdict JudgeDrive(IVolumes& volumes, const std::string& root, bool AllowRemovable) {
    const DriveType type = volumes.DriveTypeOf(root);
    if (!TypeCanQualify(type)) return {};
    if (!AllowRemovable && type == DriveType::Removable)
        return {false, {}, "a removable drive is not scanned"};
    const OsValue<VolumeInformation> info = volumes.QueryVolumeInformation(root);
    if (!info) return {false, {}, "its volume cannot be read"};
    if (!info->CanCompressFiles && type == DriveType::RamDisk) return {};
    if (!info->CanCompressFiles)
        return {false, info->FileSystemName,
                info->WhyNotCompress.empty() ? "the file system cannot compress single files"
                                             : info->WhyNotCompress};
    const uint32_t cluster = GetClusterSize(volumes, root);
    if (cluster > kLargestClusterSize)
        return {false, info->FileSystemName,
                "its clusters of " + std::to_string(cluster) +
                    " bytes are larger than compression takes"};
    return {true, info->FileSystemName, {}};
}

std::string ShownRoot(const std::string& root, char delimiter) {
    if (root.size() > 1 && root.back() == delimiter && root[root.size() - 2] != ':')
        return root.substr(0, root.size() - 1);
    return root;
}

std::string RefusalLine(const std::string& root, char delimiter, const TDriveVerdict& verdict) {
    return ShownRoot(root, delimiter) +
           (verdict.FileSystem.empty() ? std::string() : " (" + verdict.FileSystem + ")") + ": " +
           verdict.Reason;
}

bool TfrmBrimblemain::DriveOk(const std::string& DriveName, bool AllowRemovable) {
    const char delimiter = FPlatform.FileSystem().PathDelimiter();
    std::string root = DriveName;
    if (root.empty() || root.back() != delimiter) root += delimiter;

    return JudgeDrive(FPlatform.Volumes(), root, AllowRemovable).Ok;
}

std::string TfrmBrimblemain::DriveRefusal(const std::string& Path) {
    IFileSystem& fs = FPlatform.FileSystem();
    std::string root = fs.DriveOfPath(Path);
    if (root.empty()) return {};
    if (root.back() != fs.PathDelimiter()) root += fs.PathDelimiter();
    TDriveVerdict verdict = JudgeDrive(FPlatform.Volumes(), root, true);
    if (verdict.Ok) return {};
    if (verdict.Reason.empty()) verdict.Reason = "not a drive that takes compressed files";
    return RefusalLine(root, fs.PathDelimiter(), verdict);
}

} // namespace brimble
