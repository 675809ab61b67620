#include "platform/sim/SimCore.h"

namespace brimble::sim::detail {

namespace {

// Deep enough for any sane chain of links, small enough to stop a link that leads to itself.
constexpr int MaxLinkDepth = 16;

bool StartsWithBytes(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

std::string WithSeparator(std::string path) {
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

void Push(ReaderQueue& reader, uint32_t action, std::string name) {
    reader.Records.push_back(ChangeRecord{action, std::move(name)});
    reader.Cond.notify_all();
}

uint32_t FilterBitFor(bool isDir, uint32_t action) {
    if (action == fileaction::Modified) return notifyfilter::Size;
    return isDir ? notifyfilter::DirName : notifyfilter::FileName;
}

} // namespace

Lookup Core::Find(std::string_view path, bool followFinalLink) {
    auto parsed = ParsePath(path);
    if (!parsed) return {};
    return Find(*parsed, followFinalLink);
}

Lookup Core::Find(const ParsedPath& path, bool followFinalLink, int depth) {
    Lookup result;
    auto vol = Volumes.find(path.Drive);
    if (vol == Volumes.end() || !vol->second.Root) return result;
    Node* node = vol->second.Root.get();
    if (path.Parts.empty()) {
        result.Entry = node;
        return result;
    }
    for (size_t i = 0; i + 1 < path.Parts.size(); ++i) {
        node = Followed(node, depth);
        if (!node || !node->IsDir) return result;
        auto child = node->Children.find(path.Parts[i]);
        if (child == node->Children.end()) return result;
        node = child->second.get();
    }
    Node* folder = Followed(node, depth);
    if (!folder || !folder->IsDir) return result;
    result.Parent = folder;
    result.Name = path.Parts.back();
    auto entry = folder->Children.find(result.Name);
    if (entry != folder->Children.end()) {
        result.Entry = followFinalLink ? Followed(entry->second.get(), depth) : entry->second.get();
    }
    return result;
}

Node* Core::ResolveLink(const Node& link, int depth) {
    if (depth > MaxLinkDepth) return nullptr;
    auto target = ParsePath(link.LinkTarget);
    if (!target) return nullptr;
    Node* node = Find(*target, true, depth).Entry;
    return node && node->IsDir ? node : nullptr;
}

Node* Core::Followed(Node* node, int depth) {
    if (!node || !node->IsLink()) return node;
    return ResolveLink(*node, depth + 1);
}

std::string Core::PathOf(const Node& node) {
    if (!node.Parent) return node.Name + "\\";
    return WithSeparator(PathOf(*node.Parent)) + node.Name;
}

std::string Core::FolderPathOf(const Node& folder) {
    return WithSeparator(PathOf(folder));
}

Volume* Core::VolumeOf(const Node& node) {
    const Node* root = &node;
    while (root->Parent)
        root = root->Parent;
    auto vol = Volumes.find(root->Name.empty() ? '\0' : root->Name.front());
    return vol == Volumes.end() ? nullptr : &vol->second;
}

TFileAttrRec Core::EntryOf(const Node& node) {
    return TFileAttrRec{node.Name, node.IsDir ? 0 : node.Size, node.Attr};
}

Node& Core::AddChild(Node& folder, const std::string& name, bool isDir, bool announce) {
    auto node = std::make_unique<Node>();
    node->Name = name;
    node->Parent = &folder;
    node->IsDir = isDir;
    node->Attr = isDir ? fa::Directory : fa::Archive;
    Node& added = *node;
    folder.Children.emplace(name, std::move(node));
    if (announce && !Readers.empty()) Raise(PathOf(added), isDir, fileaction::Added);
    return added;
}

Node* Core::MakeFolders(const ParsedPath& path, size_t partCount, bool asSetUp) {
    auto vol = Volumes.find(path.Drive);
    if (vol == Volumes.end() || !vol->second.Root) return nullptr;
    Node* node = vol->second.Root.get();
    for (size_t i = 0; i < partCount && i < path.Parts.size(); ++i) {
        node = Followed(node);
        if (!node || !node->IsDir) return nullptr;
        auto child = node->Children.find(path.Parts[i]);
        if (child != node->Children.end()) {
            node = child->second.get();
            continue;
        }
        if (!asSetUp && node->ReadOnlyFolder) return nullptr;
        node = &AddChild(*node, path.Parts[i], true);
    }
    node = Followed(node);
    return node && node->IsDir ? node : nullptr;
}

namespace {

void RaiseRemovedTree(Core& core, const Node& node) {
    if (node.IsDir && !node.IsLink()) {
        for (const auto& child : node.Children)
            RaiseRemovedTree(core, *child.second);
    }
    core.Raise(Core::PathOf(node), node.IsDir, fileaction::Removed);
}

} // namespace

void Core::RemoveNode(Node& node) {
    if (!node.Parent) {
        // A root folder stays; only what it holds goes.
        while (!node.Children.empty())
            RemoveNode(*node.Children.begin()->second);
        return;
    }
    if (!Readers.empty()) RaiseRemovedTree(*this, node);
    if (node.IsDir && !node.IsLink()) FailReadersBelow(WithSeparator(PathOf(node)));
    Node& parent = *node.Parent;
    parent.Children.erase(parent.Children.find(node.Name));
}

void Core::ResizeFile(Node& file, int64_t size) {
    if (file.Size == size) return;
    if (file.Content) file.Content->resize(static_cast<size_t>(size), '\0');
    file.Size = size;
    if (!Readers.empty()) Raise(PathOf(file), false, fileaction::Modified);
}

void Core::MoveNode(Node& node, Node& newFolder, const std::string& newName) {
    const std::string oldPath = PathOf(node);
    Node& oldFolder = *node.Parent;
    auto slot = oldFolder.Children.find(node.Name);
    std::unique_ptr<Node> moving = std::move(slot->second);
    oldFolder.Children.erase(slot);
    moving->Name = newName;
    moving->Parent = &newFolder;
    Node& moved = *moving;
    newFolder.Children.emplace(newName, std::move(moving));
    const std::string newPath = PathOf(moved);
    // Open watch handles follow their folder to its new place.
    const std::string oldPrefix = WithSeparator(oldPath);
    for (auto& reader : Readers) {
        if (StartsWithBytes(reader->Root, oldPrefix)) {
            reader->Root = WithSeparator(newPath) + reader->Root.substr(oldPrefix.size());
        }
    }
    RaiseRename(oldPath, newPath, moved.IsDir);
}

void Core::Raise(const std::string& path, bool isDir, uint32_t action) {
    if (action == fileaction::Modified && isDir) return;
    const uint32_t needed = FilterBitFor(isDir, action);
    for (auto& reader : Readers) {
        if (reader->Failed || !(reader->Filter & needed)) continue;
        if (path.size() > reader->Root.size() && StartsWithBytes(path, reader->Root)) {
            Push(*reader, action, path.substr(reader->Root.size()));
        }
    }
}

void Core::RaiseRename(const std::string& oldPath, const std::string& newPath, bool isDir) {
    const uint32_t needed = FilterBitFor(isDir, fileaction::RenamedNewName);
    for (auto& reader : Readers) {
        if (reader->Failed || !(reader->Filter & needed)) continue;
        const std::string& root = reader->Root;
        const bool inOld = oldPath.size() > root.size() && StartsWithBytes(oldPath, root);
        const bool inNew = newPath.size() > root.size() && StartsWithBytes(newPath, root);
        if (inOld && inNew) {
            Push(*reader, fileaction::RenamedOldName, oldPath.substr(root.size()));
            Push(*reader, fileaction::RenamedNewName, newPath.substr(root.size()));
        } else if (inOld) {
            Push(*reader, fileaction::Removed, oldPath.substr(root.size()));
        } else if (inNew) {
            Push(*reader, fileaction::Added, newPath.substr(root.size()));
        }
    }
}

void Core::FailReadersBelow(const std::string& canonicalPrefix) {
    for (auto& reader : Readers) {
        if (StartsWithBytes(reader->Root, canonicalPrefix)) {
            reader->Failed = true;
            reader->Cond.notify_all();
        }
    }
}

void SetupError(const std::string& what, const std::string& path) {
    throw std::invalid_argument("SimPlatform: " + what + ": \"" + path + "\"");
}

std::string ContentOf(const Node& file) {
    if (file.Content) return *file.Content;
    return std::string(static_cast<size_t>(file.Size), '\0');
}

} // namespace brimble::sim::detail
