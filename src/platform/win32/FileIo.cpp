#include "platform/win32/FileIo.h"

#include "platform/win32/ErrorText.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"

#include <algorithm>

namespace brimble::win32 {

namespace {

// Others may go on reading, writing and renaming the user's files while Brimble reads them.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kChunk = 1 << 20;

OsValue<UniqueHandle> OpenToRead(const std::string& path, DWORD access = GENERIC_READ) {
    UniqueHandle handle(::CreateFileW(ApiPath(path).c_str(), access, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return OsValue<UniqueHandle>::Fail(LastError());
    return handle;
}

OsResult WriteAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kChunk));
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data(), part, &written, nullptr))
            return OsResult::Fail(LastError());
        bytes.remove_prefix(written);
    }
    return {};
}

class HandleInput final : public IInputFile {
public:
    explicit HandleInput(UniqueHandle handle) : FHandle(std::move(handle)) {}

    OsResult ReadAt(int64_t offset, std::size_t length, std::string& bytes) override {
        bytes.clear();
        auto at = static_cast<uint64_t>(std::max<int64_t>(offset, 0));
        while (bytes.size() < length) {
            const DWORD want =
                static_cast<DWORD>(std::min<std::size_t>(length - bytes.size(), kChunk));
            const std::size_t had = bytes.size();
            bytes.resize(had + want);
            OVERLAPPED where{};
            where.Offset = static_cast<DWORD>(at);
            where.OffsetHigh = static_cast<DWORD>(at >> 32);
            DWORD got = 0;
            if (!::ReadFile(FHandle.Get(), bytes.data() + had, want, &got, &where)) {
                const int error = LastError();
                bytes.resize(had);
                if (error == ERROR_HANDLE_EOF) break;
                return OsResult::Fail(error);
            }
            bytes.resize(had + got);
            if (got == 0) break;
            at += got;
        }
        return {};
    }

private:
    UniqueHandle FHandle;
};

class HandleOutput final : public IOutputFile {
public:
    explicit HandleOutput(UniqueHandle handle) : FHandle(std::move(handle)) {}

    OsResult Write(std::string_view bytes) override {
        if (!FHandle) return OsResult::Fail(ERROR_INVALID_HANDLE);
        return WriteAll(FHandle.Get(), bytes);
    }

    OsResult Close() override {
        if (!FHandle) return {};
        const bool flushed = ::FlushFileBuffers(FHandle.Get());
        const int error = flushed ? 0 : LastError();
        FHandle.Reset();
        return flushed ? OsResult() : OsResult::Fail(error);
    }

private:
    UniqueHandle FHandle;
};

} // namespace

OsResult ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    OsValue<UniqueHandle> handle = OpenToRead(path);
    if (!handle) return handle.result();
    std::string chunk(kChunk, '\0');
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(handle->Get(), chunk.data(), kChunk, &got, nullptr))
            return OsResult::Fail(LastError());
        if (got == 0) return {};
        bytes.append(chunk.data(), got);
    }
}

OsValue<std::unique_ptr<IInputFile>> OpenForRead(const std::string& path) {
    // Reading for Brimble's own purposes is no access by the user: where the attributes may
    // be written, the handle is told to leave the access time alone.
    OsValue<UniqueHandle> handle = OpenToRead(path, GENERIC_READ | FILE_WRITE_ATTRIBUTES);
    if (handle) {
        FILETIME keep{0xFFFFFFFF, 0xFFFFFFFF};
        ::SetFileTime(handle->Get(), nullptr, &keep, nullptr);
    } else {
        handle = OpenToRead(path);
    }
    if (!handle) return OsValue<std::unique_ptr<IInputFile>>::Fail(handle.code());
    return std::unique_ptr<IInputFile>(std::make_unique<HandleInput>(std::move(*handle)));
}

OsResult ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    const std::wstring target = ApiPath(path);
    const std::wstring temporary = ApiPath(path + ".tmp");
    {
        UniqueHandle handle(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle) return OsResult::Fail(LastError());
        OsResult written = WriteAll(handle.Get(), bytes);
        if (written && !::FlushFileBuffers(handle.Get())) written = OsResult::Fail(LastError());
        if (!written) {
            handle.Reset();
            ::DeleteFileW(temporary.c_str());
            return written;
        }
    }
    if (!::MoveFileExW(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const int error = LastError();
        ::DeleteFileW(temporary.c_str());
        return OsResult::Fail(error);
    }
    return {};
}

OsValue<std::unique_ptr<IOutputFile>> OpenForWrite(const std::string& path, WriteMode mode) {
    using Result = OsValue<std::unique_ptr<IOutputFile>>;
    const DWORD access = mode == WriteMode::Append ? FILE_APPEND_DATA : GENERIC_WRITE;
    // Readers (a user looking at the log) are welcome.
    UniqueHandle handle(::CreateFileW(ApiPath(path).c_str(), access,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return Result::Fail(LastError());
    if (mode == WriteMode::Truncate && !::SetEndOfFile(handle.Get()))
        return Result::Fail(LastError());
    return std::unique_ptr<IOutputFile>(std::make_unique<HandleOutput>(std::move(handle)));
}

} // namespace brimble::win32
