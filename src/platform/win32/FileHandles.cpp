#include "platform/win32/FileHandles.h"

#include "platform/DrivePaths.h"
#include "platform/win32/ErrorText.h"
#include "platform/win32/WideText.h"

namespace brimble::win32 {

OsValue<UniqueHandle> OpenEntry(std::string_view path, DWORD access, bool follow) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    UniqueHandle handle(::CreateFileW(ApiPath(path).c_str(), access,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, flags, nullptr));
    if (!handle) return OsValue<UniqueHandle>::Fail(LastError());
    return handle;
}

OsValue<BY_HANDLE_FILE_INFORMATION> EntryInformation(std::string_view path, bool follow) {
    using Result = OsValue<BY_HANDLE_FILE_INFORMATION>;
    OsValue<UniqueHandle> handle = OpenEntry(path, FILE_READ_ATTRIBUTES, follow);
    if (!handle) return Result::Fail(handle.code());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle->Get(), &info)) return Result::Fail(LastError());
    return info;
}

bool SameEntry(std::string_view a, std::string_view b) {
    const auto first = EntryInformation(a, true);
    const auto second = EntryInformation(b, true);
    return first && second && first->dwVolumeSerialNumber == second->dwVolumeSerialNumber &&
           first->nFileIndexHigh == second->nFileIndexHigh &&
           first->nFileIndexLow == second->nFileIndexLow;
}

std::string WithoutTrailingDelimiter(std::string_view path) {
    std::string trimmed(path);
    while (trimmed.size() > 1 && IsDrivePathSeparator(trimmed.back()) &&
           !(trimmed.size() == 3 && DriveLetterOfRoot(trimmed)))
        trimmed.pop_back();
    return trimmed;
}

} // namespace brimble::win32
