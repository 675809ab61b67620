#include "platform/win32/Win32FileSystem.h"

#include "platform/win32/DirListing.h"
#include "platform/win32/ErrorText.h"
#include "platform/win32/FileHandles.h"
#include "platform/win32/FileIo.h"
#include "platform/win32/WideText.h"

#include <algorithm>
#include <vector>
#include <windows.h>
#include <winioctl.h>

namespace brimble::win32 {

namespace {

// The bits SetFileAttributesW takes; the rest belong to the file system.
constexpr uint32_t kSettableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
    FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The longest path the wide calls take.
constexpr std::size_t kMaxPathChars = 32768;

std::string WithDelimiter(std::string path) {
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

// The path the system gives an open folder, links resolved; nothing when it cannot tell.
std::optional<std::string> FinalPathOf(HANDLE handle) {
    std::wstring final(MAX_PATH, L'\0');
    while (final.size() <= kMaxPathChars) {
        const DWORD length =
            ::GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0 && ::GetLastError() != ERROR_MORE_DATA) return std::nullopt;
        if (length != 0 && length < final.size()) {
            final.resize(length);
            return WithoutLongPrefix(final);
        }
        final.resize(std::max<std::size_t>(final.size() * 2, length + 1));
    }
    return std::nullopt;
}

} // namespace

std::string Win32FileSystem::DriveOfPath(const std::string& path) {
    if (path.size() < 3 || !DriveLetterOfRoot(path.substr(0, 2)) || !IsDrivePathSeparator(path[2]))
        return {};
    // A volume mounted in a folder has that folder as its root.
    std::vector<wchar_t> root(path.size() + MAX_PATH);
    if (::GetVolumePathNameW(ApiPath(path).c_str(), root.data(), static_cast<DWORD>(root.size())))
        if (const std::string found = WithoutLongPrefix(root.data()); ParseDrivePath(found))
            return WithDelimiter(found);
    return path.substr(0, 2) + "\\";
}

bool Win32FileSystem::IsAcceptableScanPath(const std::string& path) {
    return IsDriveScanPath(path);
}

OsValue<std::string> Win32FileSystem::ResolveFolder(const std::string& path) {
    using Result = OsValue<std::string>;
    // Opened for listing, so that a folder that cannot be listed is said now.
    OsValue<UniqueHandle> folder =
        OpenEntry(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, true);
    if (!folder) return Result::Fail(folder.code());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(folder->Get(), &info)) return Result::Fail(LastError());
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return Result::Fail(ERROR_DIRECTORY);
    if (auto final = FinalPathOf(folder->Get())) return WithoutTrailingDelimiter(*final);
    // Without the system's answer (Wine gives none past the classic length) the folder as
    // typed, normalised: the walk never follows links below it anyway.
    if (const int error = LastError(); !ParseDrivePath(path)) return Result::Fail(error);
    return WithoutTrailingDelimiter(FRules.Normalize(path));
}

std::optional<uint64_t> Win32FileSystem::FileSystemIdOf(const std::string& dir) {
    const auto info = EntryInformation(dir, false);
    if (!info) return std::nullopt;
    return info->dwVolumeSerialNumber;
}

OsValue<std::unique_ptr<IDirListing>> Win32FileSystem::OpenListing(const std::string& dir) {
    return OpenDirListing(dir);
}

std::optional<TFileAttrRec> Win32FileSystem::FindEntry(const std::string& path) {
    return FindOneEntry(path);
}

OsValue<uint32_t> Win32FileSystem::GetAttributes(const std::string& path) {
    const DWORD attr = ::GetFileAttributesW(ApiPath(path).c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) return OsValue<uint32_t>::Fail(LastError());
    return static_cast<uint32_t>(attr);
}

OsResult Win32FileSystem::SetAttributes(const std::string& path, uint32_t attr) {
    DWORD settable = attr & kSettableAttributes;
    if (settable == 0) settable = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileAttributesW(ApiPath(path).c_str(), settable)) return OsResult::Fail(LastError());
    return {};
}

OsResult Win32FileSystem::Decrypt(const std::string& path) {
    if (!::DecryptFileW(ApiPath(path).c_str(), 0)) return OsResult::Fail(LastError());
    return {};
}

OsResult Win32FileSystem::SetCompression(const std::string& path, bool compress, int /*level*/) {
    // Sharing read and write, not delete: other programs may keep the file open meanwhile.
    // A link is changed itself, never the file it leads to.
    UniqueHandle file(::CreateFileW(ApiPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
    if (!file) return OsResult::Fail(LastError());
    USHORT format = compress ? COMPRESSION_FORMAT_DEFAULT : COMPRESSION_FORMAT_NONE;
    DWORD returned = 0;
    if (!::DeviceIoControl(file.Get(), FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0,
                           &returned, nullptr))
        return OsResult::Fail(LastError());
    return {};
}

OsValue<int64_t> Win32FileSystem::GetCompressedSize(const std::string& path) {
    DWORD high = 0;
    const DWORD low = ::GetCompressedFileSizeW(ApiPath(path).c_str(), &high);
    if (low == INVALID_FILE_SIZE) {
        // All ones is also a valid low part: only the error code tells.
        if (const int error = LastError(); error != NO_ERROR) return OsValue<int64_t>::Fail(error);
    }
    return static_cast<int64_t>((uint64_t{high} << 32) | low);
}

OsValue<TDataLayout> Win32FileSystem::ExamineData(const std::string& path) {
    using Result = OsValue<TDataLayout>;
    const auto info = EntryInformation(path, false);
    if (!info) return Result::Fail(info.code());
    const OsValue<int64_t> onDisk = GetCompressedSize(path);
    if (!onDisk) return Result::Fail(onDisk.code());
    TDataLayout layout;
    layout.OnDiskSize = *onDisk;
    if (info->nNumberOfLinks > 1)
        layout.LinkedFile.emplace(info->dwVolumeSerialNumber,
                                  (uint64_t{info->nFileIndexHigh} << 32) | info->nFileIndexLow);
    return layout;
}

bool Win32FileSystem::IsRefusal(int code) const {
    // No right to change the file, or a medium that takes no writes. A file system that
    // refuses the request itself leaves the file to later tries, as a locked one.
    return code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT;
}

std::string Win32FileSystem::SysErrorMessage(int code) {
    return ErrorText(static_cast<unsigned long>(code));
}

bool Win32FileSystem::FileExists(const std::string& path) {
    const DWORD attr = ::GetFileAttributesW(ApiPath(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32FileSystem::DirectoryExists(const std::string& path) {
    const DWORD attr = ::GetFileAttributesW(ApiPath(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

OsResult Win32FileSystem::ForceDirectories(const std::string& path) {
    const auto parsed = ParseDrivePath(path);
    if (!parsed) {
        // Not a drive path (a share, say): only the last folder is made.
        if (DirectoryExists(path) || ::CreateDirectoryW(ApiPath(path).c_str(), nullptr)) return {};
        return OsResult::Fail(LastError());
    }
    std::string folder{parsed->Drive, ':'};
    for (const std::string& part : parsed->Parts) {
        folder += '\\';
        folder += part;
        if (::CreateDirectoryW(ApiPath(folder).c_str(), nullptr)) continue;
        const int error = LastError();
        if (error != ERROR_ALREADY_EXISTS || !DirectoryExists(folder)) return OsResult::Fail(error);
    }
    return {};
}

OsResult Win32FileSystem::EraseFile(const std::string& path) {
    if (!::DeleteFileW(ApiPath(path).c_str())) return OsResult::Fail(LastError());
    return {};
}

OsResult Win32FileSystem::RenameEntry(const std::string& from, const std::string& to) {
    // No replace flag: an existing file of that name may be the user's.
    if (!::MoveFileExW(ApiPath(from).c_str(), ApiPath(to).c_str(), 0))
        return OsResult::Fail(LastError());
    return {};
}

bool Win32FileSystem::SameFile(const std::string& a, const std::string& b) {
    return SameEntry(a, b);
}

OsResult Win32FileSystem::ReadWholeFile(const std::string& path, std::string& bytes) {
    return win32::ReadWholeFile(path, bytes);
}

OsValue<std::unique_ptr<IInputFile>> Win32FileSystem::OpenForRead(const std::string& path) {
    return win32::OpenForRead(path);
}

OsResult Win32FileSystem::ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    return win32::ReplaceFileAtomically(path, bytes);
}

OsValue<std::unique_ptr<IOutputFile>> Win32FileSystem::OpenForWrite(const std::string& path,
                                                                    WriteMode mode) {
    return win32::OpenForWrite(path, mode);
}

} // namespace brimble::win32
