#pragma once

// A complete, deterministic platform in memory, with Windows semantics: drive letters,
// backslashes, attribute words, NTFS compression, locks and encryption. Tests set it up,
// move its clock by hand and inspect what the engine did to the files.
// Thread-safe: the scan thread, the compression worker and the UI thread all call it.

#include "platform/Platform.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace brimble::sim {

// Windows error codes the sim reports.
namespace err {
inline constexpr int FileNotFound = 2;
inline constexpr int PathNotFound = 3;
inline constexpr int AccessDenied = 5;
inline constexpr int NotReady = 21;
inline constexpr int InvalidFunction = 1; // the volume cannot compress
inline constexpr int SharingViolation = 32;
inline constexpr int WriteProtect = 19; // the medium or volume takes no changes
inline constexpr int DiskFull = 112;
inline constexpr int AlreadyExists = 183;
inline constexpr int DirectoryNameInvalid = 267;
} // namespace err

class SimPlatform final : public Platform,
                          public IFileSystem,
                          public IVolumes,
                          public IChangeWatching,
                          public IClock,
                          public ILocale,
                          public IProcess {
public:
    SimPlatform(); // no drives; program C:\Program Files\Brimble\Brimble.exe; 2026-01-05 12:00
    ~SimPlatform() override;

    // ===== set-up =====
    // Root like "C:\". The volume's root folder exists from now on (unless NoRootDir).
    void AddVolume(const std::string& root, DriveType type, const std::string& fileSystem = "NTFS",
                   uint32_t clusterSize = 4096, const std::string& label = "");
    void RemoveVolume(const std::string& root);
    // The volume information query fails (no medium, not ready).
    void SetVolumeNotReady(const std::string& root, bool notReady);
    // The cluster size query fails.
    void SetClusterQueryFails(const std::string& root, bool fails);
    // How an estimate compresses for this volume; btrfs's (zstd) unless set. The sim has no
    // compressor of its own.
    void SetCompressionModel(const std::string& root, const TCompressionModel& model);

    // Creates the folder and its missing parents.
    void AddDirectory(const std::string& path, uint32_t attr = fa::Directory);
    // Creates a file (and missing parent folders) of Size bytes. Compressibility is the
    // fraction of its size that compression keeps (0.5: half; 1.0 or more: no gain).
    void AddFile(const std::string& path, int64_t size, uint32_t attr = fa::Archive,
                 double compressibility = 0.5);
    // A file with real content (lists, logs, settings); its size is the content's.
    void AddFileWithContent(const std::string& path, const std::string& content,
                            uint32_t attr = fa::Archive);
    // A directory entry that is a link (reparse point) to Target; listings report it with
    // fa::Directory | fa::ReparsePoint.
    void AddDirectoryLink(const std::string& path, const std::string& target);

    // "Open by another program" without sharing: compression and attribute writes fail
    // with a sharing violation, writes fail, reads still work.
    void SetLocked(const std::string& path, bool locked);
    // Decryption of this file is refused (access denied).
    void SetDecryptRefused(const std::string& path, bool refused);
    // Reading the whole file is refused (access denied), as for a file that exists but
    // cannot be opened.
    void SetReadRefused(const std::string& path, bool refused);
    // A compression request for this file raises an exception (a failing driver), on
    // whichever thread asks.
    void SetCompressionThrows(const std::string& path, bool throws);
    void SetCompressibility(const std::string& path, double compressibility);
    // The compressed-size query fails for this file.
    void SetCompressedSizeQueryFails(const std::string& path, bool fails);
    // The file's data is shared with a snapshot or another file.
    void SetSharedData(const std::string& path, bool shared);
    // The volume stored the file's data compressed as it was written, without the
    // compressed attribute: its size on disk is the compressed one.
    void SetEncodedByVolume(const std::string& path, bool encoded);
    // The file has other names: ExamineData reports Id for each name given it. Only the
    // report: each name keeps data of its own.
    void SetLinkedFile(const std::string& path, std::pair<uint64_t, uint64_t> id);
    // The file may not be changed at all: compression requests fail with err::WriteProtect.
    void SetChangeRefused(const std::string& path, bool refused);
    // The folder cannot be listed (access denied); its entry still shows in its parent.
    void SetUnreadable(const std::string& dir, bool unreadable);
    // The folder is the mount point of another volume: it and everything below it lie on
    // a file system of their own (FileSystemIdOf tells them apart).
    void SetMountPoint(const std::string& dir, bool mounted);
    // Files in this folder cannot be created or written (access denied).
    void SetReadOnlyFolder(const std::string& dir, bool readOnly);
    // The volume is full: writes fail after zero bytes with err::DiskFull.
    void SetDiskFull(const std::string& root, bool full);
    // Listing order of one folder: names listed first in this order, the rest after them
    // in the default order (case-insensitive by name, as NTFS lists).
    void SetListingOrder(const std::string& dir, const std::vector<std::string>& names);
    // Called (outside the sim's lock) before each entry a listing of Dir delivers; the
    // hook may change the tree, for files that vanish in the middle of a walk.
    void SetListingHook(std::function<void(const std::string& dir, const std::string& name)> hook);

    // File operations of "another program": they raise change records like the real ones.
    void SetFileSize(const std::string& path, int64_t size);
    // A program creates an empty file to write it: the watchers hear of the creation at
    // once (action Created); a compressed folder passes its compression on to it. FinishNewFile
    // then gives it its size and reports the finished file (action Added), as a reader that reports
    // files once they are closed does.
    void BeginNewFile(const std::string& path);
    void FinishNewFile(const std::string& path, int64_t size, double compressibility = 0.5);
    void RenameFile(const std::string& from, const std::string& to);
    void RemoveFile(const std::string& path); // file or whole folder
    void TouchFile(const std::string& path);  // last-write time only: no change record
    // The next read of the watcher of Root reports a lost batch (action None).
    void OverflowChanges(const std::string& root);

    // ===== inspection =====
    bool Exists(const std::string& path);
    bool IsCompressed(const std::string& path);
    bool IsEncrypted(const std::string& path);
    uint32_t Attributes(const std::string& path); // all ones when missing
    int64_t FileSize(const std::string& path);    // -1 when missing
    std::string Content(const std::string& path); // empty when missing
    // What the program did to files, in order: "compress <path>", "decompress <path>",
    // "mark <path>", "unmark <path>",
    // "decrypt <path>", "setattr <path> 0x<HEX>", "replace <path>", "delete <path>", with
    // the path as passed. Only calls that succeeded; set-up calls are not recorded.
    std::vector<std::string> Operations();
    void ClearOperations();
    int Beeps();
    int CompletionSounds(); // not counted among the beeps
    // The level of the last compression request that succeeded (0: the default).
    int LastCompressionLevel();
    // The thread that made the last compression request, thrown ones included.
    std::optional<std::thread::id> LastCompressionThread();
    std::optional<std::string> AutostartEntry(const std::string& name);
    PriorityLevel ProcessPriority();
    PriorityLevel ThreadPriority(); // the last one set for any thread
    uint32_t ErrorMode();
    // Change readers that are open now.
    int ChangeReaderCount();

    // ===== clock =====
    void SetNow(TDateTime now);
    // Moves Now, TickCount and the user's idle time together: time passes without input.
    void AdvanceMilliseconds(int64_t ms);
    void SetUserIdleMilliseconds(uint32_t ms);    // 0: the user just typed
    void SetMachineIdleMilliseconds(uint32_t ms); // 0: the machine is busy

    // ===== process and locale set-up =====
    void SetProgramPath(const std::string& path);
    void SetEnvironmentVariable(const std::string& name, const std::optional<std::string>& value);
    void SetLocalAppDataDir(const std::string& dir); // stored as given; returned with delimiter
    void SetFileVersion(const std::string& path, std::optional<FileVersion> version);
    void SetSeparators(const std::string& thousands, const std::string& decimal);

    // ===== Platform =====
    IFileSystem& FileSystem() override { return *this; }
    IVolumes& Volumes() override { return *this; }
    IChangeWatching& ChangeWatching() override { return *this; }
    IClock& Clock() override { return *this; }
    ILocale& Locale() override { return *this; }
    IProcess& Process() override { return *this; }
    void SetCommandLineArguments(std::vector<std::string> arguments) override;
    void SetDiagnosticsSink(DiagnosticsSink sink) override;

    // ===== IFileSystem =====
    char PathDelimiter() const override { return '\\'; }
    std::string DriveOfPath(const std::string& path) override;
    bool IsAcceptableScanPath(const std::string& path) override;
    const IPathRules& PathRules() const override;
    std::optional<uint64_t> FileSystemIdOf(const std::string& dir) override;
    OsValue<std::string> ResolveFolder(const std::string& path) override;
    OsValue<std::unique_ptr<IDirListing>> OpenListing(const std::string& dir) override;
    std::optional<TFileAttrRec> FindEntry(const std::string& path) override;
    OsValue<uint32_t> GetAttributes(const std::string& path) override;
    OsResult SetAttributes(const std::string& path, uint32_t attr) override;
    OsResult Decrypt(const std::string& path) override;
    OsResult SetCompression(const std::string& path, bool compress, int level) override;
    using IFileSystem::SetCompression;
    // Sets the compressed attribute; the bytes a file holds then stay uncompressed.
    // Recorded as "mark <path>".
    OsValue<TNewFileMark> MarkForCompression(const std::string& path) override;
    // Clears the compressed attribute; what was written meanwhile stays stored compressed.
    // Recorded as "unmark <path>".
    OsResult UnmarkForCompression(const std::string& path) override;
    OsValue<int64_t> GetCompressedSize(const std::string& path) override;
    OsValue<TDataLayout> ExamineData(const std::string& path) override;
    bool IsRefusal(int code) const override { return code == err::WriteProtect; }
    std::string SysErrorMessage(int code) override;
    bool FileExists(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    OsResult ForceDirectories(const std::string& path) override;
    OsResult EraseFile(const std::string& path) override;
    OsResult RenameEntry(const std::string& from, const std::string& to) override;
    OsResult ReadWholeFile(const std::string& path, std::string& bytes) override;
    OsValue<std::unique_ptr<IInputFile>> OpenForRead(const std::string& path) override;
    OsResult ReplaceFileAtomically(const std::string& path, std::string_view bytes) override;
    OsValue<std::unique_ptr<IOutputFile>> OpenForWrite(const std::string& path,
                                                       WriteMode mode) override;

    // ===== IVolumes =====
    std::vector<std::string> LogicalDrives() override;
    DriveType DriveTypeOf(const std::string& root) override;
    OsValue<VolumeInformation> QueryVolumeInformation(const std::string& root) override;
    OsValue<uint32_t> GetClusterSize(const std::string& root) override;
    TCompressionModel CompressionModel(const std::string& root) override;

    // ===== IChangeWatching =====
    std::unique_ptr<IChangeReader> OpenChangeReader(const std::string& root,
                                                    uint32_t filter) override;

    // ===== IClock =====
    TDateTime Now() override;
    uint32_t TickCount() override;
    uint32_t UserIdleMilliseconds() override;
    uint32_t MachineIdleMilliseconds() override;

    // ===== ILocale =====
    std::string ThousandSeparator() override;
    std::string DecimalSeparator() override;
    std::string FormatShortDate(const DateParts& when) override; // dd.mm.yyyy
    std::string FormatLongTime(const DateParts& when) override;  // hh:nn:ss
    // Windows-1252, the code page of Western European systems.
    std::string ToAnsi(std::string_view utf8, bool* lossless = nullptr) override;
    std::string FromAnsi(std::string_view bytes) override;

    // ===== IProcess =====
    std::string ProgramPath() override;
    std::vector<std::string> CommandLineArguments() override;
    std::optional<std::string> EnvironmentVariable(const std::string& name) override;
    std::string LocalAppDataDir() override;
    std::optional<FileVersion> GetFileVersion(const std::string& path) override;
    OsValue<std::unique_ptr<IInstanceLock>> AcquireInstanceLock(const std::string& name) override;
    void SetProcessPriority(PriorityLevel level) override;
    void SetCurrentThreadPriority(PriorityLevel level) override;
    OsResult SetAutostart(const std::string& name, const std::string& programPath,
                          bool enable) override;
    bool AutostartExists(const std::string& name) override {
        return AutostartEntry(name).has_value();
    }
    uint32_t SetErrorMode(uint32_t mode) override;
    void MessageBeep() override;
    void PlayCompletionSound() override;

private:
    struct State;
    std::unique_ptr<State> FState;
};

} // namespace brimble::sim
