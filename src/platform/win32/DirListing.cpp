#include "platform/win32/DirListing.h"

#include "platform/win32/ErrorText.h"
#include "platform/win32/FileHandles.h"
#include "platform/win32/WideText.h"

#include <windows.h>

namespace brimble::win32 {

namespace {

// A find handle closed when this goes.
class UniqueFind {
public:
    explicit UniqueFind(HANDLE handle) : FHandle(handle) {}
    ~UniqueFind() {
        if (FHandle != INVALID_HANDLE_VALUE) ::FindClose(FHandle);
    }
    UniqueFind(const UniqueFind&) = delete;
    UniqueFind& operator=(const UniqueFind&) = delete;
    HANDLE Get() const { return FHandle; }
    bool Valid() const { return FHandle != INVALID_HANDLE_VALUE; }

private:
    HANDLE FHandle;
};

TFileAttrRec EntryOf(const WIN32_FIND_DATAW& data) {
    const bool folder = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    const int64_t size =
        folder ? 0 : static_cast<int64_t>((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
    return TFileAttrRec{Narrow(data.cFileName), size, data.dwFileAttributes};
}

HANDLE FindFirst(const std::wstring& pattern, WIN32_FIND_DATAW& data) {
    return ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                              nullptr, FIND_FIRST_EX_LARGE_FETCH);
}

class FindListing final : public IDirListing {
public:
    FindListing(HANDLE handle, const WIN32_FIND_DATAW& first) : FFind(handle), FData(first) {}

    bool Next(TFileAttrRec& entry) override {
        if (!FFind.Valid() || FDone) return false;
        if (FHavePending) {
            FHavePending = false;
        } else if (!::FindNextFileW(FFind.Get(), &FData)) {
            FDone = true;
            return false;
        }
        entry = EntryOf(FData);
        return true;
    }

private:
    UniqueFind FFind;
    WIN32_FIND_DATAW FData;
    bool FHavePending = true;
    bool FDone = false;
};

// A root holds no "." and "..": an empty one has nothing for "*" to match.
class EmptyListing final : public IDirListing {
public:
    bool Next(TFileAttrRec&) override { return false; }
};

} // namespace

OsValue<std::unique_ptr<IDirListing>> OpenDirListing(const std::string& dir) {
    using Result = OsValue<std::unique_ptr<IDirListing>>;
    std::string pattern = WithoutTrailingDelimiter(dir);
    if (pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAW data{};
    const HANDLE handle = FindFirst(ApiPath(pattern), data);
    if (handle != INVALID_HANDLE_VALUE)
        return std::unique_ptr<IDirListing>(std::make_unique<FindListing>(handle, data));
    const int error = LastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        const DWORD attr = ::GetFileAttributesW(ApiPath(dir).c_str());
        if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY))
            return std::unique_ptr<IDirListing>(std::make_unique<EmptyListing>());
    }
    return Result::Fail(error);
}

std::optional<TFileAttrRec> FindOneEntry(const std::string& path) {
    const std::string trimmed = WithoutTrailingDelimiter(path);
    if (trimmed.find_first_of("*?") != std::string::npos) return std::nullopt;
    WIN32_FIND_DATAW data{};
    const UniqueFind find(FindFirst(ApiPath(trimmed), data));
    if (!find.Valid()) return std::nullopt;
    return EntryOf(data);
}

} // namespace brimble::win32
