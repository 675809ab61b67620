#pragma once

#include "platform/DrivePaths.h"
#include "platform/Platform.h"

namespace brimble::win32 {

class Win32FileSystem final : public IFileSystem {
public:
    char PathDelimiter() const override { return '\\'; }
    std::string DriveOfPath(const std::string& path) override;
    bool IsAcceptableScanPath(const std::string& path) override;
    const IPathRules& PathRules() const override { return FRules; }
    OsValue<std::string> ResolveFolder(const std::string& path) override;
    std::optional<uint64_t> FileSystemIdOf(const std::string& dir) override;

    OsValue<std::unique_ptr<IDirListing>> OpenListing(const std::string& dir) override;
    std::optional<TFileAttrRec> FindEntry(const std::string& path) override;

    OsValue<uint32_t> GetAttributes(const std::string& path) override;
    OsResult SetAttributes(const std::string& path, uint32_t attr) override;
    OsResult Decrypt(const std::string& path) override;
    OsResult SetCompression(const std::string& path, bool compress, int level) override;
    OsValue<int64_t> GetCompressedSize(const std::string& path) override;
    OsValue<TDataLayout> ExamineData(const std::string& path) override;
    bool IsRefusal(int code) const override;
    std::string SysErrorMessage(int code) override;

    bool FileExists(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    OsResult ForceDirectories(const std::string& path) override;
    OsResult EraseFile(const std::string& path) override;
    OsResult RenameEntry(const std::string& from, const std::string& to) override;
    bool SameFile(const std::string& a, const std::string& b) override;
    OsResult ReadWholeFile(const std::string& path, std::string& bytes) override;
    OsValue<std::unique_ptr<IInputFile>> OpenForRead(const std::string& path) override;
    OsResult ReplaceFileAtomically(const std::string& path, std::string_view bytes) override;
    OsValue<std::unique_ptr<IOutputFile>> OpenForWrite(const std::string& path,
                                                       WriteMode mode) override;

private:
    TDrivePathRules FRules;
};

} // namespace brimble::win32
