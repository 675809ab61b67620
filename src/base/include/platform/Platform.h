#pragma once

// Everything Brimble needs from the operating system, as the engine relies on it.
// Strings are UTF-8 throughout; a back end converts at its own boundary.
// Path syntax belongs to the back end: the engine asks for the delimiter and the drive of a path.
//
// Errors: a call that can fail returns OsResult, or OsValue<T> when it produces something,
// carrying the system's error code; no platform call throws. std::optional only where
// absence is an ordinary answer, not a failure (no such entry, an undefined variable, no
// version resource); bool only for yes/no questions (FileExists, DirectoryExists, ...).

#include "base/LogLevels.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace brimble {

// Attribute word bits, with the Windows values on every back end.
namespace fa {
inline constexpr uint32_t ReadOnly = 0x1;
inline constexpr uint32_t Hidden = 0x2;
inline constexpr uint32_t System = 0x4;
inline constexpr uint32_t Directory = 0x10;
inline constexpr uint32_t Archive = 0x20;
inline constexpr uint32_t Normal = 0x80;
inline constexpr uint32_t Temporary = 0x100;
inline constexpr uint32_t ReparsePoint = 0x400; // symbolic links, junctions, mount points
inline constexpr uint32_t Compressed = 0x800;
inline constexpr uint32_t Encrypted = 0x4000;
} // namespace fa

// One directory entry as a listing delivers it.
struct TFileAttrRec {
    std::string Name; // no directory part
    int64_t Size = 0;
    uint32_t Attr = 0;
};

// Result of a call that can fail with a system error (errno on posix, GetLastError on
// win32/sim).
class OsResult {
public:
    OsResult() = default; // success
    static OsResult Fail(int code) { return OsResult(code); }
    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    int code() const { return code_; }

private:
    explicit OsResult(int code) : failed_(true), code_(code) {}
    bool failed_ = false;
    int code_ = 0;
};

// Result of a call that produces a value or fails with a system error.
template <class T> class OsValue {
public:
    // Success; implicit so that a call returns its value (or anything that converts to it).
    template <class U = T>
    requires(std::is_constructible_v<T, U&&> && !std::is_same_v<std::remove_cvref_t<U>, OsValue>)
        OsValue(U&& value)
        : value_(std::in_place, std::forward<U>(value)) {}
    static OsValue Fail(int code) { return OsValue(Failure{code}); }
    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    int code() const { return code_; }
    // Only when ok(); value() throws std::bad_optional_access otherwise (a caller's bug).
    T& value() & { return value_.value(); }
    const T& value() const& { return value_.value(); }
    T&& value() && { return std::move(value_).value(); }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }
    T&& operator*() && { return *std::move(value_); }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    template <class U> T value_or(U&& fallback) const& {
        return value_.value_or(std::forward<U>(fallback));
    }
    template <class U> T value_or(U&& fallback) && {
        return std::move(value_).value_or(std::forward<U>(fallback));
    }
    OsResult result() const { return ok() ? OsResult() : OsResult::Fail(code_); }

private:
    struct Failure {
        int code;
    };
    explicit OsValue(Failure failure) : code_(failure.code) {}
    std::optional<T> value_;
    int code_ = 0;
};

// An open directory listing; closed when destroyed.
class IDirListing {
public:
    virtual ~IDirListing() = default;
    // The next entry in the file system's order, "." and ".." included where the
    // file system reports them. False at the end (or when the directory vanished).
    virtual bool Next(TFileAttrRec& entry) = 0;
};

// How a file's data lies on disk (IFileSystem::ExamineData).
struct TDataLayout {
    int64_t OnDiskSize = 0;
    bool Shared = false;  // some data is shared with another file or a snapshot
    bool Encoded = false; // some data is stored compressed without the compressed mark
    // Which file this is when it has other names (hard links): the same for all of them.
    std::optional<std::pair<uint64_t, uint64_t>> LinkedFile;
};

// A file open for writing; closed when destroyed.
class IOutputFile {
public:
    virtual ~IOutputFile() = default;
    virtual OsResult Write(std::string_view bytes) = 0;
    // Flushes and closes; a failure here means the data may not have reached the disk.
    virtual OsResult Close() = 0;
};

// A file open for reading only; closed when destroyed.
class IInputFile {
public:
    virtual ~IInputFile() = default;
    // Up to Length bytes from Offset into Bytes (replaced); fewer only at the end of the file.
    virtual OsResult ReadAt(int64_t offset, std::size_t length, std::string& bytes) = 0;
};

enum class WriteMode { Append, Truncate };

// What marking a new file for compression found (IFileSystem::MarkForCompression).
struct TNewFileMark {
    // Some of the file's data was stored before the mark took effect and lies there
    // uncompressed: only a rewrite of the whole file compresses it.
    bool DataStoredBefore = false;
};

// How this platform compares and shapes paths: without letter case where the file system
// ignores it (sim, Windows), byte for byte where it does not (Linux). Stateless, so any
// thread may use it for as long as the platform lives.
class IPathRules {
public:
    virtual ~IPathRules() = default;
    // <0, 0, >0: the order of two names or paths; 0 when they name the same entry.
    virtual int Compare(std::string_view a, std::string_view b) const = 0;
    bool Same(std::string_view a, std::string_view b) const { return Compare(a, b) == 0; }
    // Whether Path is Folder or lies below it; trailing delimiters do not count.
    virtual bool IsAtOrBelow(std::string_view path, std::string_view folder) const = 0;
    // "." and ".." resolved by the text alone, doubled delimiters collapsed; a root stays a
    // root, ".." above it stays there, and a trailing delimiter is kept. A path that is not
    // absolute in this platform's syntax comes back unchanged.
    virtual std::string Normalize(std::string_view path) const = 0;
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;

    // --- path syntax ---
    virtual char PathDelimiter() const = 0;
    // The root of the drive (volume) that holds Path, ending in the delimiter; empty when none.
    virtual std::string DriveOfPath(const std::string& path) = 0;
    // Whether a folder typed by the user is an absolute path of this platform's syntax.
    virtual bool IsAcceptableScanPath(const std::string& path) = 0;
    virtual const IPathRules& PathRules() const = 0;
    // The folder that a scan of Path walks: absolute, links followed, "." and ".." gone (a
    // walk never follows a link at its root, so a folder given through one must be resolved
    // first). Fails when Path leads to no folder that can be opened.
    virtual OsValue<std::string> ResolveFolder(const std::string& path) = 0;
    // Tells apart the file systems folders lie on: a mounted volume, and on Linux each btrfs
    // subvolume, has its own. Dir itself is looked at, never a link's target and without
    // triggering an automount. Nothing when Dir cannot be examined.
    virtual std::optional<uint64_t> FileSystemIdOf(const std::string& dir) = 0;
    bool SameFileSystem(const std::string& a, const std::string& b) {
        const std::optional<uint64_t> idA = FileSystemIdOf(a);
        return idA && idA == FileSystemIdOf(b);
    }

    // --- listing ---
    // Lists every entry of Dir (ending in the delimiter): hidden, system and directories
    // included. Fails when the directory is missing or cannot be read; never null when ok.
    virtual OsValue<std::unique_ptr<IDirListing>> OpenListing(const std::string& dir) = 0;
    // The entry of Path itself (directories included); nothing when there is none.
    virtual std::optional<TFileAttrRec> FindEntry(const std::string& path) = 0;

    // --- attributes and compression ---
    // Fails when the attribute word cannot be read (missing file, no access).
    virtual OsValue<uint32_t> GetAttributes(const std::string& path) = 0;
    // Writes the settable bits (read-only, hidden, ...); other bits are ignored.
    virtual OsResult SetAttributes(const std::string& path, uint32_t attr) = 0;
    virtual OsResult Decrypt(const std::string& path) = 0;
    // Switches transparent compression on or off; the content stays byte-identical.
    // Level: the compression level of the rewrite (1 for the fastest, higher for smaller
    // data); 0 for the file system's default. A file system without levels ignores it.
    virtual OsResult SetCompression(const std::string& path, bool compress, int level) = 0;
    OsResult SetCompression(const std::string& path, bool compress) {
        return SetCompression(path, compress, 0);
    }
    // Marks a file that is being written so that the data written to it from now on is
    // stored compressed, without rewriting what it holds; an undo is SetCompression off.
    // Fails with code 0 where the file system cannot compress data as it is written.
    virtual OsValue<TNewFileMark> MarkForCompression(const std::string& /*path*/) {
        return OsValue<TNewFileMark>::Fail(0);
    }
    // Takes such a mark back (or one a file inherited from its folder) for what is written
    // from now on; the data written meanwhile stays as it lies. Where a back end cannot, the
    // compression is switched off as by SetCompression.
    virtual OsResult UnmarkForCompression(const std::string& path) {
        return SetCompression(path, false);
    }
    // Bytes the file occupies on disk.
    virtual OsValue<int64_t> GetCompressedSize(const std::string& path) = 0;
    // How the file's data lies on disk, from one cheap look (no flush of pending data):
    // what it occupies, whether any of it is shared with another file or a snapshot, and
    // whether any of it is stored compressed although the file is not marked so (a volume
    // that compresses what is written to it).
    virtual OsValue<TDataLayout> ExamineData(const std::string& path) = 0;
    // Whether an error of SetCompression means that this file may not be changed at all
    // (no permission, a read-only volume): trying again later cannot help.
    virtual bool IsRefusal(int /*code*/) const { return false; }
    // The system's message text for an error code, without trailing blanks, line breaks
    // and full stops.
    virtual std::string SysErrorMessage(int code) = 0;

    // --- plain files ---
    virtual bool FileExists(const std::string& path) = 0;      // a file, not a folder
    virtual bool DirectoryExists(const std::string& path) = 0; // a folder
    // Creates the folder with its missing parents.
    virtual OsResult ForceDirectories(const std::string& path) = 0;
    virtual OsResult EraseFile(const std::string& path) = 0;
    // Gives a file a new name in its folder (the log's older file); fails when To exists.
    virtual OsResult RenameEntry(const std::string& from, const std::string& to) = 0;
    // Whether two paths lead to the same file, through links and other names of a folder
    // too; false when either cannot be examined.
    virtual bool SameFile(const std::string& a, const std::string& b) {
        return PathRules().Same(a, b);
    }
    // The whole content of a (small) file.
    virtual OsResult ReadWholeFile(const std::string& path, std::string& bytes) = 0;
    // Opens a file to read parts of it, changing nothing (not even its access time where the
    // system allows); never null when ok. This fallback holds the whole file in memory: back
    // ends read only the part asked for.
    virtual OsValue<std::unique_ptr<IInputFile>> OpenForRead(const std::string& path);
    // Replaces Path with Bytes so that a crash leaves either the old or the new file:
    // a temporary file beside it, flushed, then renamed over it. A failure keeps the old file.
    virtual OsResult ReplaceFileAtomically(const std::string& path, std::string_view bytes) = 0;
    // Opens (creating it when missing) for writing; never null when ok.
    virtual OsValue<std::unique_ptr<IOutputFile>> OpenForWrite(const std::string& path,
                                                               WriteMode mode) = 0;
};

inline OsValue<std::unique_ptr<IInputFile>> IFileSystem::OpenForRead(const std::string& path) {
    class TWholeFile final : public IInputFile {
    public:
        explicit TWholeFile(std::string bytes) : FBytes(std::move(bytes)) {}
        OsResult ReadAt(int64_t offset, std::size_t length, std::string& bytes) override {
            const auto start = static_cast<std::size_t>(std::max<int64_t>(offset, 0));
            bytes = start < FBytes.size() ? FBytes.substr(start, length) : std::string();
            return {};
        }

    private:
        std::string FBytes;
    };
    std::string bytes;
    if (const OsResult read = ReadWholeFile(path, bytes); !read)
        return OsValue<std::unique_ptr<IInputFile>>::Fail(read.code());
    return std::unique_ptr<IInputFile>(std::make_unique<TWholeFile>(std::move(bytes)));
}

// --- volumes ---

enum class DriveType : uint32_t {
    Unknown = 0,
    NoRootDir = 1, // the root does not exist
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CDRom = 5,
    RamDisk = 6,
};

struct VolumeInformation {
    std::string Label;
    std::string FileSystemName; // "NTFS", "FAT32", "btrfs", ...
    // The file system can compress an existing file on request (NTFS on Windows, btrfs on Linux).
    bool CanCompressFiles = false;
    // Why it cannot, in words, where the platform can tell more than its name says.
    std::string WhyNotCompress;
};

// How a volume stores the data of a file it compresses, as far as an estimate of the
// saving needs to know it.
enum class TCompressionFormat {
    None,  // not in a way this program can reproduce
    Zstd,  // btrfs: zstd, one frame per block of 128 KiB, allocated in sectors
    Lznt1, // NTFS: LZNT1, one compression unit of 16 clusters at a time
};

struct TCompressionModel {
    TCompressionFormat Format = TCompressionFormat::None;
    // Bytes per cluster, the unit NTFS allocates compressed data in.
    int64_t ClusterSize = 4096;
    // With None: why the saving cannot be estimated there, in words.
    std::string WhyNot;
};

// Compresses blocks the way a volume's format does, only to learn how small they get.
// Used by one thread at a time.
class IBlockCompressor {
public:
    virtual ~IBlockCompressor() = default;
    // Bytes of Block compressed on its own: 0 for a block the format stores as nothing
    // (zeros), -1 when it could not be compressed. Level as for SetCompression; a format
    // without levels ignores it.
    virtual int64_t CompressedSize(std::string_view block, int level) = 0;
};

// Tells when drives arrive or go away (a device change on Windows, a mount or unmount
// on Linux).
class IMountWatch {
public:
    virtual ~IMountWatch() = default;
    // Blocks until the list of drives may have changed (true), or until Wake was called or
    // the watch failed (false).
    virtual bool WaitForChange() = 0;
    // Wakes a blocked WaitForChange (which then returns false) from any thread.
    virtual void Wake() = 0;
};

class IVolumes {
public:
    virtual ~IVolumes() = default;
    // Roots of all drives, each ending in the delimiter, in the platform's sorted order.
    virtual std::vector<std::string> LogicalDrives() = 0;
    virtual DriveType DriveTypeOf(const std::string& root) = 0;
    // Fails when the volume cannot be read (no medium, not ready).
    virtual OsValue<VolumeInformation> QueryVolumeInformation(const std::string& root) = 0;
    // Bytes per cluster (allocation unit).
    virtual OsValue<uint32_t> GetClusterSize(const std::string& root) = 0;
    // Null where the platform cannot tell drive changes this way.
    virtual std::unique_ptr<IMountWatch> OpenMountWatch() { return nullptr; }
    // How the volume at Root would store a file it compresses.
    virtual TCompressionModel CompressionModel(const std::string& /*root*/) {
        return {TCompressionFormat::None, 4096, "this system's compression cannot be estimated"};
    }
    // A compressor of Format that the system itself provides; null where it has none (zstd
    // comes with the program). Any thread may call it.
    virtual std::unique_ptr<IBlockCompressor> OpenBlockCompressor(TCompressionFormat /*format*/) {
        return nullptr;
    }
};

// --- change watching ---

// Actions of a change record, with the Windows values.
namespace fileaction {
inline constexpr uint32_t None = 0; // an overflow: changes were lost
inline constexpr uint32_t Added = 1;
inline constexpr uint32_t Removed = 2;
inline constexpr uint32_t Modified = 3;
inline constexpr uint32_t RenamedOldName = 4;
inline constexpr uint32_t RenamedNewName = 5;
// A file just created, reported before its data is written and besides the later report of
// the finished file; no Windows value.
inline constexpr uint32_t Created = 0x100;
} // namespace fileaction

// Notification filter bits, with the Windows values.
namespace notifyfilter {
inline constexpr uint32_t FileName = 0x1;
inline constexpr uint32_t DirName = 0x2;
inline constexpr uint32_t Size = 0x8;
inline constexpr uint32_t Creation = 0x40;
} // namespace notifyfilter

struct ChangeRecord {
    uint32_t Action = fileaction::None;
    std::string Name; // relative to the watched root, in the platform's path syntax
};

// A blocking reader of the changes below one root.
class IChangeReader {
public:
    virtual ~IChangeReader() = default;
    // Sets up what watching needs beyond the open (one watch per folder, say), which may
    // take long on a large tree; called once, on the watcher's own thread, before the first
    // Read. False when it was woken or failed; every change after it returns true is seen.
    virtual bool Prepare() { return true; }
    // Blocks until changes are there, then fills Records (cleared first). A batch with
    // one record of action None means the platform lost changes. False when the read
    // failed (the volume went away) or Wake was called.
    virtual bool Read(std::vector<ChangeRecord>& records) = 0;
    // Wakes a blocked Prepare or Read (which then returns false) from any thread.
    virtual void Wake() = 0;
    // Whether each record stands for a finished change (a file reported once it was closed
    // after writing), so that none may be dropped as a repeat of the one before. Where a
    // write shows as a string of resizes, the watcher drops repeats within a short window.
    virtual bool ReportsFinishedChanges() const { return false; }
    // How the changes are watched, for the log and the service's start-up lines; read
    // between Prepare and Read on the watcher's thread.
    virtual std::string Method() const { return {}; }
    // Why the last Prepare or Read failed when it was not woken; empty when not known.
    virtual std::string FailureReason() const { return {}; }
};

class IChangeWatching {
public:
    virtual ~IChangeWatching() = default;
    // Null when Root cannot be opened for watching.
    virtual std::unique_ptr<IChangeReader> OpenChangeReader(const std::string& root,
                                                            uint32_t filter) = 0;
};

// --- time ---

// Local date-time: days since 30 December 1899, the time of day as the fraction.
using TDateTime = double;

class IClock {
public:
    virtual ~IClock() = default;
    virtual TDateTime Now() = 0;
    // Milliseconds since some fixed start; wraps at 2^32 like the Windows tick count.
    virtual uint32_t TickCount() = 0;
    // Milliseconds since the user's last input; where none can be seen (a server, a
    // service), the machine's idle time below.
    virtual uint32_t UserIdleMilliseconds() = 0;
    // Milliseconds for which the machine itself has been idle: almost nothing waiting for
    // the processor or the disk. 0 where the platform cannot tell.
    virtual uint32_t MachineIdleMilliseconds() { return 0; }
    // Where UserIdleMilliseconds looks, for the log.
    virtual std::string IdleSource() { return "the user's input"; }
};

// --- locale ---

struct DateParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0;
};

class ILocale {
public:
    virtual ~ILocale() = default;
    virtual std::string ThousandSeparator() = 0;
    virtual std::string DecimalSeparator() = 0;
    // The user's short date format and long time format.
    virtual std::string FormatShortDate(const DateParts& when) = 0;
    virtual std::string FormatLongTime(const DateParts& when) = 0;

    // The system's 8-bit code page, in which the log and the list files are written.
    // UTF-8 unless a back end says otherwise. ToAnsi writes a character the code page
    // cannot represent as its default character and then clears *Lossless.
    virtual std::string ToAnsi(std::string_view utf8, bool* lossless = nullptr) {
        if (lossless) *lossless = true;
        return std::string(utf8);
    }
    virtual std::string FromAnsi(std::string_view bytes) { return std::string(bytes); }
};

// --- process ---

struct FileVersion {
    uint16_t Major = 0, Minor = 0, Release = 0, Build = 0;
};

// Held while this process is the only instance; released when destroyed.
class IInstanceLock {
public:
    virtual ~IInstanceLock() = default;
};

// Priority levels of the options: 0 idle .. 3 normal .. 6 time-critical.
using PriorityLevel = uint8_t;

class IProcess {
public:
    virtual ~IProcess() = default;
    virtual std::string ProgramPath() = 0;
    // The arguments after the program name, split by the platform's rules.
    virtual std::vector<std::string> CommandLineArguments() = 0;
    // Nothing when the variable is not defined.
    virtual std::optional<std::string> EnvironmentVariable(const std::string& name) = 0;
    // The user's local application-data folder, ending in the delimiter.
    virtual std::string LocalAppDataDir() = 0;
    // The version of a program file; nothing when it has none.
    virtual std::optional<FileVersion> GetFileVersion(const std::string& path) = 0;
    // A null lock when another instance holds it; fails when the lock cannot be taken for
    // another reason (running without it could put two instances on the same files).
    virtual OsValue<std::unique_ptr<IInstanceLock>>
    AcquireInstanceLock(const std::string& name) = 0;
    virtual void SetProcessPriority(PriorityLevel level) = 0;
    virtual void SetCurrentThreadPriority(PriorityLevel level) = 0;
    // Starts the program at log-on (Enable) or stops doing so.
    virtual OsResult SetAutostart(const std::string& name, const std::string& programPath,
                                  bool enable) = 0;
    // Whether an entry of that name starts a program at log-on, whatever it starts.
    virtual bool AutostartExists(const std::string& name) = 0;
    // Whether the system is recent enough for the program (Windows before NT 5 is not);
    // every system a POSIX back end builds for is.
    virtual bool PlatformVersionSupported() { return true; }
    // Sets the process error mode and returns the previous one (a no-op where there is none).
    virtual uint32_t SetErrorMode(uint32_t mode) = 0;
    // The platform's default alert sound.
    virtual void MessageBeep() = 0;
    // The sound of a finished manual scan; the default alert where the platform has none.
    virtual void PlayCompletionSound() { MessageBeep(); }
};

// The whole platform: one object per back end.
class Platform {
public:
    virtual ~Platform() = default;
    virtual IFileSystem& FileSystem() = 0;
    virtual IVolumes& Volumes() = 0;
    virtual IChangeWatching& ChangeWatching() = 0;
    virtual IClock& Clock() = 0;
    virtual ILocale& Locale() = 0;
    virtual IProcess& Process() = 0;

    // --- set-up by the program ---
    // The arguments after the program name, as main received them.
    virtual void SetCommandLineArguments(std::vector<std::string> arguments) = 0;
    // Where the back end reports what it gave up on (a folder it could not watch, say):
    // message and log level, called on any thread. Reports are dropped while none is set.
    using DiagnosticsSink = std::function<void(const std::string& message, int level)>;
    virtual void SetDiagnosticsSink(DiagnosticsSink sink) = 0;
};

// The back end that CMake chose for the programs (BRIMBLE_PLATFORM).
std::unique_ptr<Platform> CreatePlatform();

} // namespace brimble
