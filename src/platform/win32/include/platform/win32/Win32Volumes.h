#pragma once

#include "platform/Platform.h"

namespace brimble::win32 {

class Win32Volumes final : public IVolumes {
public:
    std::vector<std::string> LogicalDrives() override;
    DriveType DriveTypeOf(const std::string& root) override;
    OsValue<VolumeInformation> QueryVolumeInformation(const std::string& root) override;
    OsValue<uint32_t> GetClusterSize(const std::string& root) override;
    std::unique_ptr<IMountWatch> OpenMountWatch() override;
    // NTFS with LZNT1 in units of 16 clusters, where ntdll can compress.
    TCompressionModel CompressionModel(const std::string& root) override;
    std::unique_ptr<IBlockCompressor> OpenBlockCompressor(TCompressionFormat format) override;
};

// The class name of the hidden window that hears of drives coming and going.
inline constexpr const wchar_t* kDeviceWindowClass = L"BrimbleDeviceChange";

} // namespace brimble::win32
