// Directory listings: a snapshot of names taken at open, each entry checked again when it is
// delivered, so entries that vanish in the middle of a walk are skipped as on a real disk.

#include "platform/sim/SimCore.h"

#include <set>

namespace brimble::sim {

using detail::Core;
using detail::Node;

namespace {

// Names as the folder lists them: those of the set listing order first, then the rest
// in the default order (case-insensitive by name).
std::vector<std::string> ListedNames(const Node& folder) {
    std::vector<std::string> names;
    if (folder.Parent) {
        names.emplace_back(".");
        names.emplace_back("..");
    }
    std::set<const Node*> taken;
    for (const std::string& wanted : folder.ListingOrder) {
        auto child = folder.Children.find(wanted);
        if (child != folder.Children.end() && taken.insert(child->second.get()).second) {
            names.push_back(child->second->Name);
        }
    }
    for (const auto& child : folder.Children) {
        if (!taken.count(child.second.get())) names.push_back(child.second->Name);
    }
    return names;
}

class SimListing final : public IDirListing {
public:
    SimListing(std::shared_ptr<Core> core, std::string dir, detail::ParsedPath path,
               std::vector<std::string> names)
        : FCore(std::move(core)), FDir(std::move(dir)), FPath(std::move(path)),
          FNames(std::move(names)) {}

    bool Next(TFileAttrRec& entry) override {
        while (!FEnded && FNext < FNames.size()) {
            const std::string& name = FNames[FNext++];
            CallHook(name);
            std::lock_guard lock(FCore->Mutex);
            const Node* folder = FCore->Find(FPath, true).Entry;
            if (!folder || !folder->IsDir) {
                FEnded = true;
                break;
            }
            if (name == "." || name == "..") {
                entry = TFileAttrRec{name, 0, fa::Directory};
                return true;
            }
            auto child = folder->Children.find(name);
            if (child == folder->Children.end()) continue;
            entry = Core::EntryOf(*child->second);
            return true;
        }
        FEnded = true;
        return false;
    }

private:
    // Outside the lock: the hook may change the tree.
    void CallHook(const std::string& name) {
        detail::ListingHook hook;
        {
            std::lock_guard lock(FCore->Mutex);
            hook = FCore->Hook;
        }
        if (hook) hook(FDir, name);
    }

    std::shared_ptr<Core> FCore;
    std::string FDir;
    detail::ParsedPath FPath;
    std::vector<std::string> FNames;
    size_t FNext = 0;
    bool FEnded = false;
};

} // namespace

OsValue<std::unique_ptr<IDirListing>> SimPlatform::OpenListing(const std::string& dir) {
    using Result = OsValue<std::unique_ptr<IDirListing>>;
    auto fail = [](int code) { return Result::Fail(code); };
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    auto parsed = detail::ParsePath(dir);
    if (!parsed) return fail(err::PathNotFound);
    const auto found = c.Find(*parsed, true);
    const Node* folder = found.Entry;
    if (!folder) return fail(found.MissingError());
    if (!folder->IsDir) return fail(err::DirectoryNameInvalid);
    if (folder->Unreadable) return fail(err::AccessDenied);
    return std::make_unique<SimListing>(FState->Shared, dir, std::move(*parsed),
                                        ListedNames(*folder));
}

} // namespace brimble::sim
