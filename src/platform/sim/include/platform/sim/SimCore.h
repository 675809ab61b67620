#pragma once

// The shared state behind SimPlatform: volumes with their file trees, change queues, clock
// and process settings. Listings, change readers and open files keep it alive through a
// shared pointer, so one that outlives the platform object never touches freed memory.
// Every member is guarded by Mutex; functions here expect the caller to hold it.

#include "base/TextCase.h"
#include "platform/DrivePaths.h"
#include "platform/Platform.h"
#include "platform/sim/SimPlatform.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace brimble::sim::detail {

// Orders names as NTFS compares them: letter case ignored.
struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return CompareText(a, b) < 0;
    }
};

struct Node {
    std::string Name;       // as created; "C:" for a root
    Node* Parent = nullptr; // non-owning; null for a root
    bool IsDir = false;
    uint32_t Attr = 0;
    int64_t Size = 0;
    double Compressibility = 0.5;
    // Of a file marked for compression as it was written: the bytes it held before the
    // mark, which lie there uncompressed until a rewrite.
    int64_t PlainBytes = 0;
    std::optional<std::string> Content; // none: Size zero bytes
    std::string LinkTarget;             // set for a directory link
    bool Locked = false;
    bool DecryptRefused = false;
    bool CompressedSizeFails = false;
    bool SharedData = false;
    bool EncodedByVolume = false;
    // Which file this name is when the file has other names (hard links).
    std::optional<std::pair<uint64_t, uint64_t>> LinkedFile;
    bool ChangeRefused = false;
    bool ReadRefused = false;
    bool CompressionThrows = false;
    bool Unreadable = false;
    bool ReadOnlyFolder = false;
    uint32_t MountId = 0; // not 0: the mount point of another volume
    std::vector<std::string> ListingOrder;
    std::map<std::string, std::unique_ptr<Node>, CaseLess> Children;

    bool IsLink() const { return !LinkTarget.empty(); }
    bool IsFile() const { return !IsDir; }
};

struct Volume {
    DriveType Type = DriveType::Fixed;
    std::string FileSystem;
    uint32_t ClusterSize = 4096;
    std::string Label;
    bool NotReady = false;
    bool ClusterQueryFails = false;
    bool DiskFull = false;
    std::optional<TCompressionModel> Model; // none: btrfs's, for estimates
    std::unique_ptr<Node> Root;             // none for a drive without a root folder
};

// A drive-letter path split into its components; "." and ".." resolved, empty parts dropped.
using ParsedPath = TDrivePath;
inline std::optional<ParsedPath> ParsePath(std::string_view path) {
    return ParseDrivePath(path);
}
inline bool IsPathSeparator(char c) {
    return IsDrivePathSeparator(c);
}
using brimble::DriveLetterOfRoot;

// Where a path leads: the folder that would hold it and the entry itself.
struct Lookup {
    Node* Parent = nullptr; // null: the path's folder is missing (or the path is a root)
    Node* Entry = nullptr;  // null: no such entry
    std::string Name;       // the last component as given
    // The error of a call that needs the entry.
    int MissingError() const { return Parent ? err::FileNotFound : err::PathNotFound; }
};

struct ReaderQueue {
    std::string Root; // canonical path of the watched folder, ending in '\'
    uint32_t Filter = 0;
    std::deque<ChangeRecord> Records;
    bool Overflow = false;
    bool Woken = false;
    bool Failed = false;
    std::condition_variable Cond;
};

using ListingHook = std::function<void(const std::string& dir, const std::string& name)>;

class Core {
public:
    std::mutex Mutex;

    // --- tree ---
    std::map<char, Volume> Volumes;
    ListingHook Hook;
    std::vector<std::string> Operations;
    std::optional<std::thread::id> LastCompressionThread;
    int LastCompressionLevel = 0;
    std::vector<std::shared_ptr<ReaderQueue>> Readers;
    uint32_t LastMountId = 0;

    // --- clock ---
    TDateTime NowBase = 46027.5; // 2026-01-05 12:00:00
    int64_t ElapsedMs = 0;       // since NowBase was set
    uint32_t Tick = 1'000'000;
    uint32_t IdleMs = 0;
    uint32_t MachineIdleMs = 0;

    // --- locale and process ---
    std::string ThousandSep = ",";
    std::string DecimalSep = ".";
    std::string ProgramPath = "C:\\Program Files\\Brimble\\Brimble.exe";
    std::vector<std::string> Arguments;
    Platform::DiagnosticsSink Diagnostics;
    std::map<std::string, std::string, CaseLess> Environment;
    std::string LocalAppData;
    std::map<std::string, FileVersion, CaseLess> FileVersions;
    std::set<std::string> InstanceLocks;
    uint32_t ErrorMode = 0;
    int Beeps = 0;
    int CompletionSounds = 0;
    std::map<std::string, std::string, CaseLess> Autostart;
    PriorityLevel ProcessPriority = 3;
    PriorityLevel ThreadPriority = 3;

    // --- lookups ---
    Lookup Find(std::string_view path, bool followFinalLink);
    Lookup Find(const ParsedPath& path, bool followFinalLink, int depth = 0);
    // The folder a link points to; null when dangling or looping.
    Node* ResolveLink(const Node& link, int depth);
    // The node itself, or a link's target folder.
    Node* Followed(Node* node, int depth = 0);
    // Canonical path: drive letter and names as stored; a root ends in '\'.
    static std::string PathOf(const Node& node);
    // The canonical path of a folder, ending in '\'.
    static std::string FolderPathOf(const Node& folder);
    Volume* VolumeOf(const Node& node);
    // The entry as a listing delivers it.
    static TFileAttrRec EntryOf(const Node& node);

    // --- tree changes (each raises its change records) ---
    // A new entry of default attributes; Added is raised unless Announce is false.
    Node& AddChild(Node& folder, const std::string& name, bool isDir, bool announce = true);
    // The folder of Path, created with missing parents. Null when a part is a file, the
    // volume is missing or (unless AsSetUp) a parent is a read-only folder.
    Node* MakeFolders(const ParsedPath& path, size_t partCount, bool asSetUp);
    void RemoveNode(Node& node);
    void ResizeFile(Node& file, int64_t size);
    void MoveNode(Node& node, Node& newFolder, const std::string& newName);

    // --- change records ---
    void Raise(const std::string& path, bool isDir, uint32_t action);
    // A watcher sees a rename inside its tree, a removal or an addition across its border.
    void RaiseRename(const std::string& oldPath, const std::string& newPath, bool isDir);
    void FailReadersBelow(const std::string& canonicalPrefix);

    TDateTime Now() const { return NowBase + static_cast<double>(ElapsedMs) / 86'400'000.0; }
};

// Drive-letter paths, compared without letter case as NTFS does.
using SimPathRules = TDrivePathRules;

// A set-up call that names something impossible: the test is wrong, not the engine.
[[noreturn]] void SetupError(const std::string& what, const std::string& path);

// The content of a file, with a file that has none reading as zero bytes.
std::string ContentOf(const Node& file);

} // namespace brimble::sim::detail

namespace brimble::sim {

struct SimPlatform::State {
    std::shared_ptr<detail::Core> Shared = std::make_shared<detail::Core>();
    detail::SimPathRules Rules;
};

} // namespace brimble::sim
