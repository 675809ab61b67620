#include "platform/win32/Win32ChangeWatching.h"

#include "platform/win32/ErrorText.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"

#include <cstddef>
#include <vector>
#include <windows.h>

namespace brimble::win32 {

namespace {

// The most a read of a local volume takes; a small buffer overflows (and loses the changes)
// under the first burst of writes.
constexpr DWORD kBufferBytes = 64 * 1024;

bool IsReport(uint32_t action) {
    return action == fileaction::Added || action == fileaction::Modified ||
           action == fileaction::RenamedNewName;
}

class DirectoryChangeReader final : public IChangeReader {
public:
    DirectoryChangeReader(std::string root, UniqueHandle folder, uint32_t filter)
        : FRoot(std::move(root)), FFolder(std::move(folder)), FFilter(filter),
          FDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          FWake(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          FBuffer(kBufferBytes / sizeof(DWORD)) {}

    ~DirectoryChangeReader() override { Cancel(); }
    DirectoryChangeReader(const DirectoryChangeReader&) = delete;
    DirectoryChangeReader& operator=(const DirectoryChangeReader&) = delete;

    // The system keeps changes for a folder handle only from its first read on.
    bool Prepare() override { return !Woken() && Issue(); }

    bool Read(std::vector<ChangeRecord>& records) override {
        records.clear();
        if (Woken() || (!FIssued && !Issue())) return false;
        const HANDLE events[] = {FWake.Get(), FDone.Get()};
        if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            Cancel();
            return false;
        }
        FIssued = false;
        DWORD bytes = 0;
        if (!::GetOverlappedResult(FFolder.Get(), &FPending, &bytes, FALSE)) {
            const int error = LastError();
            if (error != ERROR_NOTIFY_ENUM_DIR) return Failed(error);
            bytes = 0;
        }
        if (bytes == 0) {
            records.push_back(ChangeRecord{fileaction::None, {}});
            return true;
        }
        Walk(bytes, records);
        return true;
    }

    void Wake() override { ::SetEvent(FWake.Get()); }

    std::string Method() const override { return "ReadDirectoryChangesW"; }
    std::string FailureReason() const override { return FFailure; }

private:
    bool Woken() const {
        return !FDone || !FWake || ::WaitForSingleObject(FWake.Get(), 0) == WAIT_OBJECT_0;
    }

    bool Issue() {
        FPending = OVERLAPPED{};
        FPending.hEvent = FDone.Get();
        if (!::ReadDirectoryChangesW(FFolder.Get(), FBuffer.data(), kBufferBytes, TRUE, FFilter,
                                     nullptr, &FPending, nullptr))
            return Failed(LastError());
        FIssued = true;
        return true;
    }

    // The buffer must outlive a read: a pending one is cancelled and waited for.
    void Cancel() {
        if (!FIssued) return;
        DWORD bytes = 0;
        ::CancelIoEx(FFolder.Get(), &FPending);
        ::GetOverlappedResult(FFolder.Get(), &FPending, &bytes, TRUE);
        FIssued = false;
    }

    bool Failed(int error) {
        FFailure = ErrorText(static_cast<unsigned long>(error));
        return false;
    }

    void Walk(DWORD bytes, std::vector<ChangeRecord>& records) const {
        const auto* start = reinterpret_cast<const unsigned char*>(FBuffer.data());
        constexpr DWORD header = offsetof(FILE_NOTIFY_INFORMATION, FileName);
        for (DWORD offset = 0; offset + header <= bytes;) {
            const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(start + offset);
            if (offset + header + record->FileNameLength > bytes) break;
            std::string name =
                Narrow(std::wstring_view(record->FileName, record->FileNameLength / sizeof(WCHAR)));
            if (!IsReport(record->Action) || !IsReparsePoint(name))
                records.push_back(ChangeRecord{record->Action, std::move(name)});
            if (record->NextEntryOffset == 0) break;
            offset += record->NextEntryOffset;
        }
    }

    // A link or junction is no file of its own to compress, and what lies behind it belongs
    // to another folder (or volume) with its own reports.
    bool IsReparsePoint(const std::string& name) const {
        const DWORD attr = ::GetFileAttributesW(ApiPath(FRoot + name).c_str());
        return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_REPARSE_POINT);
    }

    std::string FRoot; // ends in "\"
    UniqueHandle FFolder;
    DWORD FFilter;
    UniqueHandle FDone;
    UniqueHandle FWake;
    std::vector<DWORD> FBuffer; // DWORD-aligned, as the records must be
    OVERLAPPED FPending{};
    bool FIssued = false;
    std::string FFailure;
};

} // namespace

std::unique_ptr<IChangeReader> Win32ChangeWatching::OpenChangeReader(const std::string& root,
                                                                     uint32_t filter) {
    std::string folder = root;
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    UniqueHandle handle(::CreateFileW(ApiPath(folder).c_str(), FILE_LIST_DIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    if (!handle) return nullptr;
    return std::make_unique<DirectoryChangeReader>(std::move(folder), std::move(handle), filter);
}

} // namespace brimble::win32
