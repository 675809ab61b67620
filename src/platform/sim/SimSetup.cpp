// Set-up and inspection of the file tree: what a test does before and after the engine runs,
// and what "another program" does to the files meanwhile.

#include "platform/sim/SimCore.h"

namespace brimble::sim {

using detail::Core;
using detail::Node;
using detail::ParsePath;
using detail::SetupError;

namespace {

// The file at Path, created (with missing folders) or, when it exists, resized to Size
// with its old properties dropped. Raises the records another program's write would.
Node& PutFile(Core& core, const std::string& path, int64_t size, uint32_t attr) {
    if (size < 0) SetupError("negative file size", path);
    auto parsed = ParsePath(path);
    if (!parsed || parsed->Parts.empty()) SetupError("not a file path", path);
    Node* folder = core.MakeFolders(*parsed, parsed->Parts.size() - 1, true);
    if (!folder) SetupError("no folder for the file", path);
    const std::string& name = parsed->Parts.back();
    Node* file = nullptr;
    auto existing = folder->Children.find(name);
    if (existing != folder->Children.end()) {
        file = existing->second.get();
        if (file->IsDir) SetupError("a folder of that name exists", path);
        file->Content.reset();
        core.ResizeFile(*file, size);
    } else {
        file = &core.AddChild(*folder, name, false);
        file->Size = size;
    }
    file->Attr = attr & ~fa::Directory;
    file->Compressibility = 0.5;
    return *file;
}

Node& ExistingEntry(Core& core, const std::string& path, bool followLink) {
    Node* node = core.Find(path, followLink).Entry;
    if (!node) SetupError("no such file or folder", path);
    return *node;
}

Node& ExistingFile(Core& core, const std::string& path) {
    Node& node = ExistingEntry(core, path, false);
    if (node.IsDir) SetupError("a folder, not a file", path);
    return node;
}

Node& ExistingFolder(Core& core, const std::string& path) {
    Node& node = ExistingEntry(core, path, true);
    if (!node.IsDir) SetupError("a file, not a folder", path);
    return node;
}

bool IsInside(const Node& node, const Node& ancestor) {
    for (const Node* n = &node; n; n = n->Parent) {
        if (n == &ancestor) return true;
    }
    return false;
}

} // namespace

SimPlatform::SimPlatform() : FState(std::make_unique<State>()) {}

SimPlatform::~SimPlatform() {
    // Readers, listings and open files may outlive us; blocked readers must not wait forever.
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    for (auto& reader : c.Readers) {
        reader->Failed = true;
        reader->Cond.notify_all();
    }
}

void SimPlatform::AddDirectory(const std::string& path, uint32_t attr) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto parsed = ParsePath(path);
    if (!parsed) SetupError("not a drive path", path);
    Node* folder = c.MakeFolders(*parsed, parsed->Parts.size(), true);
    if (!folder) SetupError("cannot create the folder", path);
    folder->Attr = attr | fa::Directory;
}

void SimPlatform::AddFile(const std::string& path, int64_t size, uint32_t attr,
                          double compressibility) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    PutFile(c, path, size, attr).Compressibility = compressibility;
}

void SimPlatform::AddFileWithContent(const std::string& path, const std::string& content,
                                     uint32_t attr) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    PutFile(c, path, static_cast<int64_t>(content.size()), attr).Content = content;
}

void SimPlatform::AddDirectoryLink(const std::string& path, const std::string& target) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto parsed = ParsePath(path);
    if (!parsed || parsed->Parts.empty()) SetupError("not a link path", path);
    if (!ParsePath(target)) SetupError("link target is not a drive path", target);
    Node* folder = c.MakeFolders(*parsed, parsed->Parts.size() - 1, true);
    if (!folder) SetupError("no folder for the link", path);
    if (folder->Children.count(parsed->Parts.back())) SetupError("the name exists", path);
    Node& link = c.AddChild(*folder, parsed->Parts.back(), true);
    link.LinkTarget = target;
    link.Attr = fa::Directory | fa::ReparsePoint;
}

void SimPlatform::SetLocked(const std::string& path, bool locked) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingEntry(c, path, false).Locked = locked;
}

void SimPlatform::SetDecryptRefused(const std::string& path, bool refused) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingEntry(c, path, false).DecryptRefused = refused;
}

void SimPlatform::SetReadRefused(const std::string& path, bool refused) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingEntry(c, path, false).ReadRefused = refused;
}

void SimPlatform::SetCompressionThrows(const std::string& path, bool throws) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingEntry(c, path, false).CompressionThrows = throws;
}

void SimPlatform::SetCompressibility(const std::string& path, double compressibility) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingFile(c, path).Compressibility = compressibility;
}

void SimPlatform::SetCompressedSizeQueryFails(const std::string& path, bool fails) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingEntry(c, path, false).CompressedSizeFails = fails;
}

void SimPlatform::SetSharedData(const std::string& path, bool shared) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingEntry(c, path, false).SharedData = shared;
}

void SimPlatform::SetEncodedByVolume(const std::string& path, bool encoded) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingEntry(c, path, false).EncodedByVolume = encoded;
}

void SimPlatform::SetLinkedFile(const std::string& path, std::pair<uint64_t, uint64_t> id) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingEntry(c, path, false).LinkedFile = id;
}

void SimPlatform::SetChangeRefused(const std::string& path, bool refused) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingEntry(c, path, false).ChangeRefused = refused;
}

void SimPlatform::SetUnreadable(const std::string& dir, bool unreadable) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingFolder(c, dir).Unreadable = unreadable;
}

void SimPlatform::SetMountPoint(const std::string& dir, bool mounted) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingFolder(c, dir).MountId = mounted ? ++c.LastMountId : 0;
}

void SimPlatform::SetReadOnlyFolder(const std::string& dir, bool readOnly) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingFolder(c, dir).ReadOnlyFolder = readOnly;
}

void SimPlatform::SetListingOrder(const std::string& dir, const std::vector<std::string>& names) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingFolder(c, dir).ListingOrder = names;
}

void SimPlatform::SetListingHook(
    std::function<void(const std::string& dir, const std::string& name)> hook) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    c.Hook = std::move(hook);
}

void SimPlatform::SetFileSize(const std::string& path, int64_t size) {
    if (size < 0) SetupError("negative file size", path);
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    c.ResizeFile(ExistingFile(c, path), size);
}

void SimPlatform::BeginNewFile(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto parsed = ParsePath(path);
    if (!parsed || parsed->Parts.empty()) SetupError("not a file path", path);
    Node* folder = c.MakeFolders(*parsed, parsed->Parts.size() - 1, true);
    if (!folder) SetupError("no folder for the file", path);
    if (folder->Children.contains(parsed->Parts.back())) SetupError("the file exists", path);
    Node& file = c.AddChild(*folder, parsed->Parts.back(), false, false);
    // A compressed folder passes its compression on to a new file, as NTFS and btrfs do.
    if (folder->Attr & fa::Compressed) file.Attr |= fa::Compressed;
    c.Raise(Core::PathOf(file), false, fileaction::Created);
}

void SimPlatform::FinishNewFile(const std::string& path, int64_t size, double compressibility) {
    if (size < 0) SetupError("negative file size", path);
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    Node& file = ExistingFile(c, path);
    file.Size = size;
    file.Compressibility = compressibility;
    c.Raise(Core::PathOf(file), false, fileaction::Added);
}

void SimPlatform::RenameFile(const std::string& from, const std::string& to) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    Node& node = ExistingEntry(c, from, false);
    if (!node.Parent) SetupError("a root cannot be renamed", from);
    auto target = c.Find(to, false);
    if (!target.Parent) SetupError("no folder for the new name", to);
    // A change of letter case only finds the entry itself.
    if (target.Entry && target.Entry != &node) SetupError("the new name exists", to);
    if (IsInside(*target.Parent, node)) SetupError("a folder cannot move into itself", to);
    c.MoveNode(node, *target.Parent, target.Name);
}

void SimPlatform::RemoveFile(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    // Already gone is fine: hooks may remove the same entry more than once.
    if (Node* node = c.Find(path, false).Entry) c.RemoveNode(*node);
}

void SimPlatform::TouchFile(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    // Only the last-write time changes, which nothing here models or watches.
    ExistingFile(c, path);
}

bool SimPlatform::Exists(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.Find(path, false).Entry != nullptr;
}

bool SimPlatform::IsCompressed(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const Node* node = c.Find(path, false).Entry;
    return node && (node->Attr & fa::Compressed);
}

bool SimPlatform::IsEncrypted(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const Node* node = c.Find(path, false).Entry;
    return node && (node->Attr & fa::Encrypted);
}

uint32_t SimPlatform::Attributes(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const Node* node = c.Find(path, false).Entry;
    return node ? node->Attr : 0xFFFFFFFFu;
}

int64_t SimPlatform::FileSize(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const Node* node = c.Find(path, false).Entry;
    if (!node) return -1;
    return node->IsDir ? 0 : node->Size;
}

std::string SimPlatform::Content(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const Node* node = c.Find(path, false).Entry;
    return node && node->IsFile() ? detail::ContentOf(*node) : std::string();
}

std::vector<std::string> SimPlatform::Operations() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return c.Operations;
}

void SimPlatform::ClearOperations() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    c.Operations.clear();
}

} // namespace brimble::sim
