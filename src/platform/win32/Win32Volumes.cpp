#include "platform/win32/Win32Volumes.h"

#include "platform/win32/ErrorText.h"
#include "platform/win32/Lznt1Compressor.h"
#include "platform/win32/WideText.h"

#include <string>
#include <windows.h>

namespace brimble::win32 {

namespace {

std::wstring RootOf(const std::string& root) {
    std::wstring wide = Widen(root);
    if (wide.empty() || wide.back() != L'\\') wide += L'\\';
    return wide;
}

} // namespace

std::vector<std::string> Win32Volumes::LogicalDrives() {
    std::vector<std::string> drives;
    std::wstring buffer(256, L'\0');
    DWORD length = ::GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length > buffer.size()) {
        buffer.assign(length + 1, L'\0');
        length = ::GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (length == 0 || length > buffer.size()) return drives;
    for (const wchar_t* root = buffer.c_str(); *root; root += std::wcslen(root) + 1)
        drives.push_back(Narrow(root));
    return drives;
}

DriveType Win32Volumes::DriveTypeOf(const std::string& root) {
    const UINT type = ::GetDriveTypeW(RootOf(root).c_str());
    return type <= DRIVE_RAMDISK ? static_cast<DriveType>(type) : DriveType::Unknown;
}

OsValue<VolumeInformation> Win32Volumes::QueryVolumeInformation(const std::string& root) {
    wchar_t label[MAX_PATH + 1] = {};
    wchar_t fileSystem[MAX_PATH + 1] = {};
    DWORD serial = 0, maxComponent = 0, flags = 0;
    if (!::GetVolumeInformationW(RootOf(root).c_str(), label, MAX_PATH + 1, &serial, &maxComponent,
                                 &flags, fileSystem, MAX_PATH + 1))
        return OsValue<VolumeInformation>::Fail(LastError());
    VolumeInformation info;
    info.Label = Narrow(label);
    info.FileSystemName = Narrow(fileSystem);
    // The name decides, as the described check has it: an NTFS volume that does not say
    // FILE_FILE_COMPRESSION (Wine's) refuses the request itself, file by file, which the
    // engine survives and reports.
    info.CanCompressFiles = info.FileSystemName == "NTFS";
    if (!info.CanCompressFiles && (flags & FILE_FILE_COMPRESSION))
        info.WhyNotCompress = "only NTFS volumes are compressed";
    return info;
}

OsValue<uint32_t> Win32Volumes::GetClusterSize(const std::string& root) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!::GetDiskFreeSpaceW(RootOf(root).c_str(), &sectorsPerCluster, &bytesPerSector,
                             &freeClusters, &totalClusters))
        return OsValue<uint32_t>::Fail(LastError());
    return static_cast<uint32_t>(sectorsPerCluster * bytesPerSector);
}

TCompressionModel Win32Volumes::CompressionModel(const std::string& root) {
    // NTFS compresses nothing on volumes with larger clusters.
    constexpr uint32_t kLargestCompressingCluster = 4096;
    TCompressionModel model;
    const OsValue<VolumeInformation> info = QueryVolumeInformation(root);
    const OsValue<uint32_t> cluster = GetClusterSize(root);
    if (!info || !cluster) {
        model.WhyNot =
            "its volume cannot be read: " + ErrorText(info ? cluster.code() : info.code());
    } else if (!info->CanCompressFiles) {
        model.WhyNot = "only NTFS volumes are compressed";
    } else if (*cluster > kLargestCompressingCluster) {
        model.WhyNot =
            "NTFS compresses no volume with clusters of " + std::to_string(*cluster) + " bytes";
    } else if (const auto compressor = Lznt1Compressor::Open(); !compressor) {
        model.WhyNot = "this system cannot estimate (ntdll has no LZNT1 compression)";
    } else if (!compressor->Compresses()) {
        model.WhyNot = "this system cannot estimate (its LZNT1 compression stores data as it is)";
    } else {
        model.Format = TCompressionFormat::Lznt1;
        model.ClusterSize = *cluster;
    }
    return model;
}

std::unique_ptr<IBlockCompressor> Win32Volumes::OpenBlockCompressor(TCompressionFormat format) {
    if (format != TCompressionFormat::Lznt1) return nullptr;
    return Lznt1Compressor::Open();
}

} // namespace brimble::win32
