// Path rules of drive-letter paths, and the volumes that folders lie on.

#include "platform/sim/SimCore.h"

namespace brimble::sim {

using detail::Node;

const IPathRules& SimPlatform::PathRules() const {
    return FState->Rules;
}

OsValue<std::string> SimPlatform::ResolveFolder(const std::string& path) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const auto parsed = detail::ParsePath(path);
    if (!parsed) return OsValue<std::string>::Fail(err::PathNotFound);
    const auto found = c.Find(*parsed, false);
    Node* entry = found.Entry;
    if (!entry) return OsValue<std::string>::Fail(found.MissingError());
    if (entry->IsLink()) {
        const Node* target = c.Followed(entry);
        if (!target || !target->IsDir) return OsValue<std::string>::Fail(err::PathNotFound);
        return detail::Core::FolderPathOf(*target);
    }
    if (!entry->IsDir) return OsValue<std::string>::Fail(err::DirectoryNameInvalid);
    // The folder as typed: names keep the letter case the user gave them.
    return FState->Rules.Normalize(path);
}

std::optional<uint64_t> SimPlatform::FileSystemIdOf(const std::string& dir) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const auto parsed = detail::ParsePath(dir);
    if (!parsed) return std::nullopt;
    const Node* node = c.Find(*parsed, false).Entry;
    if (!node) return std::nullopt;
    uint32_t mountId = 0;
    for (const Node* up = node; up && mountId == 0; up = up->Parent)
        mountId = up->MountId;
    return (static_cast<uint64_t>(static_cast<unsigned char>(parsed->Drive)) << 32) | mountId;
}

} // namespace brimble::sim
