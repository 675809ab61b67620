#pragma once

// Files and folders on Linux: '/' paths, mount points as drives, btrfs compression.

#include "platform/Platform.h"
#include "platform/posix/BtrfsCompression.h"
#include "platform/posix/Paths.h"
#include "platform/posix/PosixSwitches.h"

namespace brimble::posix {

class PosixFileSystem final : public IFileSystem {
public:
    PosixFileSystem(const PosixSwitches& switches, const Diagnostics& diagnostics)
        : FSwitches(switches), FCompression(switches, diagnostics) {}

    char PathDelimiter() const override { return '/'; }
    std::string DriveOfPath(const std::string& path) override;
    bool IsAcceptableScanPath(const std::string& path) override;
    const IPathRules& PathRules() const override { return FRules; }
    std::optional<uint64_t> FileSystemIdOf(const std::string& dir) override;
    OsValue<std::string> ResolveFolder(const std::string& path) override;

    OsValue<std::unique_ptr<IDirListing>> OpenListing(const std::string& dir) override;
    std::optional<TFileAttrRec> FindEntry(const std::string& path) override;

    OsValue<uint32_t> GetAttributes(const std::string& path) override;
    OsResult SetAttributes(const std::string& path, uint32_t attr) override;
    OsResult Decrypt(const std::string& path) override;
    OsResult SetCompression(const std::string& path, bool compress, int level) override;
    using IFileSystem::SetCompression;
    OsValue<TNewFileMark> MarkForCompression(const std::string& path) override;
    OsResult UnmarkForCompression(const std::string& path) override;
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
    const PosixSwitches& FSwitches;
    BtrfsCompression FCompression;
    PosixPathRules FRules;
};

} // namespace brimble::posix
