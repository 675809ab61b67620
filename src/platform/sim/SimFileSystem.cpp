// The file operations the program itself calls, with the failures Windows gives for them.

#include "platform/sim/SimCore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace brimble::sim {

using detail::Core;
using detail::Node;
using detail::ParsePath;

namespace {

constexpr uint32_t SettableAttributes =
    fa::ReadOnly | fa::Hidden | fa::System | fa::Archive | fa::Temporary | fa::Normal;

bool IsReadOnlyFile(const Node& node) {
    return node.IsFile() && (node.Attr & fa::ReadOnly);
}

bool HasDriveColon(const std::string& path) {
    return path.size() >= 2 && detail::DriveLetterOfRoot(path.substr(0, 2)) != 0;
}

std::string HexWord(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

// Bytes on disk of a compressed file: what compression keeps, in whole clusters, never more
// than the file took uncompressed (NTFS stores a chunk that does not shrink as it is).
int64_t CompressedBytes(int64_t size, double compressibility, uint32_t clusterSize) {
    if (size <= 0) return 0;
    const long double cluster = clusterSize ? clusterSize : 1;
    const long double kept = static_cast<long double>(size) * std::max(0.0, compressibility);
    const long double clusters = std::ceil(kept / cluster);
    const long double fullClusters = std::ceil(static_cast<long double>(size) / cluster);
    const long double used = std::clamp(clusters, 1.0L, fullClusters);
    return static_cast<int64_t>(used * cluster);
}

// A file open for writing. It finds its file by path at every call, so a file that went
// away under it fails cleanly instead of writing into freed memory.
class SimOutputFile final : public IOutputFile {
public:
    SimOutputFile(std::shared_ptr<Core> core, std::string path)
        : FCore(std::move(core)), FPath(std::move(path)) {}

    OsResult Write(std::string_view bytes) override {
        std::lock_guard lock(FCore->Mutex);
        if (FClosed) return OsResult::Fail(err::AccessDenied);
        Node* file = FCore->Find(FPath, false).Entry;
        if (!file || file->IsDir) return OsResult::Fail(err::FileNotFound);
        if (bytes.empty()) return {};
        const detail::Volume* vol = FCore->VolumeOf(*file);
        if (vol && vol->DiskFull) return OsResult::Fail(err::DiskFull);
        if (!file->Content) file->Content = detail::ContentOf(*file);
        file->Content->append(bytes);
        FCore->ResizeFile(*file, static_cast<int64_t>(file->Content->size()));
        FWrote = true;
        return {};
    }

    OsResult Close() override {
        std::lock_guard lock(FCore->Mutex);
        if (FClosed) return {};
        FClosed = true;
        // The volume filled up before the cache was flushed.
        const Node* file = FCore->Find(FPath, false).Entry;
        const detail::Volume* vol = file ? FCore->VolumeOf(*file) : nullptr;
        if (FWrote && vol && vol->DiskFull) return OsResult::Fail(err::DiskFull);
        return {};
    }

private:
    std::shared_ptr<Core> FCore;
    std::string FPath;
    bool FWrote = false;
    bool FClosed = false;
};

// A file open for reading. Like the output file it finds its file by path at every call.
class SimInputFile final : public IInputFile {
public:
    SimInputFile(std::shared_ptr<Core> core, std::string path)
        : FCore(std::move(core)), FPath(std::move(path)) {}

    OsResult ReadAt(int64_t offset, std::size_t length, std::string& bytes) override {
        std::lock_guard lock(FCore->Mutex);
        bytes.clear();
        const Node* file = FCore->Find(FPath, false).Entry;
        if (!file || file->IsDir) return OsResult::Fail(err::FileNotFound);
        if (offset < 0 || offset >= file->Size) return {};
        const auto start = static_cast<std::size_t>(offset);
        const std::size_t count = std::min(length, static_cast<std::size_t>(file->Size - offset));
        // A file without content holds zero bytes; only the part asked for is made.
        if (file->Content)
            bytes = file->Content->substr(start, count);
        else
            bytes.assign(count, '\0');
        return {};
    }

private:
    std::shared_ptr<Core> FCore;
    std::string FPath;
};

} // namespace

std::string SimPlatform::DriveOfPath(const std::string& path) {
    if (path.size() < 3 || !HasDriveColon(path) || !detail::IsPathSeparator(path[2])) return {};
    return path.substr(0, 2) + "\\";
}

bool SimPlatform::IsAcceptableScanPath(const std::string& path) {
    return IsDriveScanPath(path);
}

std::optional<TFileAttrRec> SimPlatform::FindEntry(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const Node* node = c.Find(path, false).Entry;
    if (!node || !node->Parent) return std::nullopt;
    return Core::EntryOf(*node);
}

OsValue<uint32_t> SimPlatform::GetAttributes(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const auto found = c.Find(path, false);
    const Node* node = found.Entry;
    if (!node) return OsValue<uint32_t>::Fail(found.MissingError());
    return node->Attr;
}

OsResult SimPlatform::SetAttributes(const std::string& path, uint32_t attr) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto found = c.Find(path, false);
    Node* node = found.Entry;
    if (!node) return OsResult::Fail(found.MissingError());
    if (node->Locked) return OsResult::Fail(err::SharingViolation);
    node->Attr = (node->Attr & ~SettableAttributes) | (attr & SettableAttributes);
    c.Operations.push_back("setattr " + path + " " + HexWord(attr));
    return {};
}

OsResult SimPlatform::Decrypt(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto found = c.Find(path, false);
    Node* node = found.Entry;
    if (!node) return OsResult::Fail(found.MissingError());
    if (node->DecryptRefused || IsReadOnlyFile(*node)) return OsResult::Fail(err::AccessDenied);
    node->Attr &= ~fa::Encrypted;
    c.Operations.push_back("decrypt " + path);
    return {};
}

OsResult SimPlatform::SetCompression(const std::string& path, bool compress, int level) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto found = c.Find(path, false);
    Node* node = found.Entry;
    if (!node) return OsResult::Fail(found.MissingError());
    c.LastCompressionThread = std::this_thread::get_id();
    if (node->CompressionThrows) throw std::runtime_error("device gone");
    // Opening for reading and writing comes first, then the request itself.
    if (node->Locked) return OsResult::Fail(err::SharingViolation);
    if (node->ChangeRefused) return OsResult::Fail(err::WriteProtect);
    if (IsReadOnlyFile(*node)) return OsResult::Fail(err::AccessDenied);
    const detail::Volume* vol = c.VolumeOf(*node);
    if (!vol || vol->FileSystem != "NTFS") return OsResult::Fail(err::InvalidFunction);
    if (node->Attr & fa::Encrypted) return OsResult::Fail(err::AccessDenied);
    if (compress) {
        node->Attr |= fa::Compressed;
    } else {
        node->Attr &= ~fa::Compressed;
    }
    // The rewrite gives the file data of its own, stored as the attribute now says.
    node->PlainBytes = 0;
    node->SharedData = false;
    node->EncodedByVolume = false;
    c.Operations.push_back((compress ? "compress " : "decompress ") + path);
    c.LastCompressionLevel = level;
    return {};
}

OsValue<TNewFileMark> SimPlatform::MarkForCompression(const std::string& path) {
    using Result = OsValue<TNewFileMark>;
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto found = c.Find(path, false);
    Node* node = found.Entry;
    if (!node) return Result::Fail(found.MissingError());
    if (node->Locked) return Result::Fail(err::SharingViolation);
    if (node->ChangeRefused) return Result::Fail(err::WriteProtect);
    if (IsReadOnlyFile(*node) || (node->Attr & fa::Encrypted))
        return Result::Fail(err::AccessDenied);
    const detail::Volume* vol = c.VolumeOf(*node);
    if (!vol || vol->FileSystem != "NTFS") return Result::Fail(err::InvalidFunction);
    node->Attr |= fa::Compressed;
    node->PlainBytes = node->Size;
    c.Operations.push_back("mark " + path);
    return TNewFileMark{node->PlainBytes > 0};
}

OsResult SimPlatform::UnmarkForCompression(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto found = c.Find(path, false);
    Node* node = found.Entry;
    if (!node) return OsResult::Fail(found.MissingError());
    if (node->Locked) return OsResult::Fail(err::SharingViolation);
    if (node->ChangeRefused) return OsResult::Fail(err::WriteProtect);
    if (node->IsFile() && (node->Attr & fa::Compressed) && node->Size > node->PlainBytes)
        node->EncodedByVolume = true;
    node->Attr &= ~fa::Compressed;
    c.Operations.push_back("unmark " + path);
    return {};
}

OsValue<int64_t> SimPlatform::GetCompressedSize(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const auto found = c.Find(path, false);
    const Node* node = found.Entry;
    if (!node) return OsValue<int64_t>::Fail(found.MissingError());
    if (node->CompressedSizeFails) return OsValue<int64_t>::Fail(err::AccessDenied);
    if (node->IsDir) return 0;
    if (!(node->Attr & fa::Compressed) && !node->EncodedByVolume) return node->Size;
    const detail::Volume* vol = c.VolumeOf(*node);
    const int64_t cluster = vol ? vol->ClusterSize : 4096;
    const int64_t plain = std::min(node->PlainBytes, node->Size);
    return CompressedBytes(node->Size - plain, node->Compressibility,
                           static_cast<uint32_t>(cluster)) +
           (plain + cluster - 1) / cluster * cluster;
}

OsValue<TDataLayout> SimPlatform::ExamineData(const std::string& path) {
    const OsValue<int64_t> size = GetCompressedSize(path);
    if (!size) return OsValue<TDataLayout>::Fail(size.code());
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const Node* node = c.Find(path, false).Entry;
    if (!node) return OsValue<TDataLayout>::Fail(err::FileNotFound); // removed meanwhile
    return TDataLayout{*size, node->SharedData,
                       node->EncodedByVolume && !(node->Attr & fa::Compressed), node->LinkedFile};
}

std::string SimPlatform::SysErrorMessage(int code) {
    switch (code) {
    case err::InvalidFunction:
        return "Incorrect function";
    case err::FileNotFound:
        return "The system cannot find the file specified";
    case err::PathNotFound:
        return "The system cannot find the path specified";
    case err::AccessDenied:
        return "Access is denied";
    case err::NotReady:
        return "The device is not ready";
    case err::WriteProtect:
        return "The media is write protected";
    case err::SharingViolation:
        return "The process cannot access the file because it is being used by another process";
    case err::DiskFull:
        return "There is not enough space on the disk";
    case err::AlreadyExists:
        return "Cannot create a file when that file already exists";
    case err::DirectoryNameInvalid:
        return "The directory name is invalid";
    default:
        return "Unknown error " + std::to_string(code);
    }
}

bool SimPlatform::FileExists(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const Node* node = c.Find(path, false).Entry;
    return node && node->IsFile();
}

bool SimPlatform::DirectoryExists(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const Node* node = c.Find(path, true).Entry;
    return node && node->IsDir;
}

OsResult SimPlatform::ForceDirectories(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto parsed = ParsePath(path);
    if (!parsed) return OsResult::Fail(err::PathNotFound);
    if (c.MakeFolders(*parsed, parsed->Parts.size(), false)) return {};
    // A missing drive or a file in the way leaves no path; otherwise a folder refused it.
    const auto vol = c.Volumes.find(parsed->Drive);
    if (vol == c.Volumes.end() || !vol->second.Root) return OsResult::Fail(err::PathNotFound);
    for (size_t count = 1; count <= parsed->Parts.size(); ++count) {
        detail::ParsedPath prefix = *parsed;
        prefix.Parts.resize(count);
        const Node* node = c.Find(prefix, true).Entry;
        if (node && !node->IsDir)
            return OsResult::Fail(count == parsed->Parts.size() ? err::AlreadyExists
                                                                : err::PathNotFound);
    }
    return OsResult::Fail(err::AccessDenied);
}

OsResult SimPlatform::EraseFile(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto found = c.Find(path, false);
    Node* node = found.Entry;
    if (!node) return OsResult::Fail(found.MissingError());
    if (node->IsDir) return OsResult::Fail(err::AccessDenied);
    if (node->Locked) return OsResult::Fail(err::SharingViolation);
    if (IsReadOnlyFile(*node) || found.Parent->ReadOnlyFolder) {
        return OsResult::Fail(err::AccessDenied);
    }
    c.RemoveNode(*node);
    c.Operations.push_back("delete " + path);
    return {};
}

OsResult SimPlatform::RenameEntry(const std::string& from, const std::string& to) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto found = c.Find(from, false);
    Node* node = found.Entry;
    if (!node) return OsResult::Fail(found.MissingError());
    auto target = c.Find(to, false);
    if (!target.Parent) return OsResult::Fail(target.MissingError());
    if (target.Entry) return OsResult::Fail(err::AlreadyExists);
    if (node->Locked) return OsResult::Fail(err::SharingViolation);
    if (found.Parent->ReadOnlyFolder || target.Parent->ReadOnlyFolder)
        return OsResult::Fail(err::AccessDenied);
    c.MoveNode(*node, *target.Parent, target.Name);
    c.Operations.push_back("rename " + from + " " + to);
    return {};
}

OsResult SimPlatform::ReadWholeFile(const std::string& path, std::string& bytes) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto found = c.Find(path, false);
    const Node* node = found.Entry;
    if (!node) return OsResult::Fail(found.MissingError());
    if (node->IsDir || node->ReadRefused) return OsResult::Fail(err::AccessDenied);
    bytes = detail::ContentOf(*node);
    return {};
}

OsResult SimPlatform::ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto parsed = ParsePath(path);
    if (!parsed || parsed->Parts.empty()) return OsResult::Fail(err::PathNotFound);
    auto found = c.Find(*parsed, false);
    Node* folder = found.Parent;
    Node* old = found.Entry;
    if (!folder) return OsResult::Fail(err::PathNotFound);
    if (old && old->IsDir) return OsResult::Fail(err::AccessDenied);
    // Every failure is found before anything changes: the old file stays as it was.
    if (folder->ReadOnlyFolder) return OsResult::Fail(err::AccessDenied);
    const detail::Volume* vol = c.VolumeOf(*folder);
    if (vol && vol->DiskFull && !bytes.empty()) return OsResult::Fail(err::DiskFull);
    if (old && old->Locked) return OsResult::Fail(err::SharingViolation);
    if (old && IsReadOnlyFile(*old)) return OsResult::Fail(err::AccessDenied);

    // What a watcher sees: the temporary file written, then renamed over the target.
    const std::string name = old ? old->Name : found.Name;
    const std::string tempPath = Core::FolderPathOf(*folder) + name + ".tmp";
    c.Raise(tempPath, false, fileaction::Added);
    if (!bytes.empty()) c.Raise(tempPath, false, fileaction::Modified);
    if (old) c.RemoveNode(*old);
    Node& file = c.AddChild(*folder, name, false, false);
    file.Content = std::string(bytes);
    file.Size = static_cast<int64_t>(bytes.size());
    c.RaiseRename(tempPath, Core::PathOf(file), false);
    c.Operations.push_back("replace " + path);
    return {};
}

OsValue<std::unique_ptr<IInputFile>> SimPlatform::OpenForRead(const std::string& path) {
    using Result = OsValue<std::unique_ptr<IInputFile>>;
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const auto found = c.Find(path, false);
    const Node* node = found.Entry;
    if (!node) return Result::Fail(found.MissingError());
    if (node->IsDir || node->ReadRefused) return Result::Fail(err::AccessDenied);
    return std::unique_ptr<IInputFile>(
        std::make_unique<SimInputFile>(FState->Shared, Core::PathOf(*node)));
}

OsValue<std::unique_ptr<IOutputFile>> SimPlatform::OpenForWrite(const std::string& path,
                                                                WriteMode mode) {
    using Result = OsValue<std::unique_ptr<IOutputFile>>;
    auto fail = [](int code) { return Result::Fail(code); };
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto parsed = ParsePath(path);
    if (!parsed || parsed->Parts.empty()) return fail(err::PathNotFound);
    auto found = c.Find(*parsed, false);
    Node* file = found.Entry;
    if (!found.Parent) return fail(err::PathNotFound);
    if (file && file->IsDir) return fail(err::AccessDenied);
    if (found.Parent->ReadOnlyFolder) return fail(err::AccessDenied);
    if (file && file->Locked) return fail(err::SharingViolation);
    if (file && IsReadOnlyFile(*file)) return fail(err::AccessDenied);

    if (!file) {
        file = &c.AddChild(*found.Parent, found.Name, false);
        file->Content = std::string();
    } else if (mode == WriteMode::Truncate) {
        c.ResizeFile(*file, 0);
        file->Content = std::string();
    }
    return std::make_unique<SimOutputFile>(FState->Shared, Core::PathOf(*file));
}

} // namespace brimble::sim
