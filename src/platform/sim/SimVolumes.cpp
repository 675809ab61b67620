// Drives: letters with a type, a file system, a label and a cluster size.

#include "platform/sim/SimCore.h"

namespace brimble::sim {

using detail::Core;
using detail::SetupError;
using detail::Volume;

namespace {

char RootLetter(const std::string& root) {
    const char letter = detail::DriveLetterOfRoot(root);
    if (!letter) SetupError("not a drive root", root);
    return letter;
}

Volume& ExistingVolume(Core& core, const std::string& root) {
    auto vol = core.Volumes.find(RootLetter(root));
    if (vol == core.Volumes.end()) SetupError("no such volume", root);
    return vol->second;
}

// The volume of a root as the program passes it ("C:" or "C:\"); null when there is none.
const Volume* VolumeOfRoot(Core& core, const std::string& root) {
    auto vol = core.Volumes.find(detail::DriveLetterOfRoot(root));
    return vol == core.Volumes.end() ? nullptr : &vol->second;
}

// Why a volume's information cannot be read; 0 when it can.
int UnreadableVolumeError(const Volume* vol) {
    if (!vol || !vol->Root) return err::PathNotFound;
    return vol->NotReady ? err::NotReady : 0;
}

std::string RootPath(char letter) {
    return std::string(1, letter) + ":\\";
}

} // namespace

void SimPlatform::AddVolume(const std::string& root, DriveType type, const std::string& fileSystem,
                            uint32_t clusterSize, const std::string& label) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const char letter = RootLetter(root);
    Volume& vol = c.Volumes[letter];
    vol.Type = type;
    vol.FileSystem = fileSystem;
    vol.ClusterSize = clusterSize;
    vol.Label = label;
    if (type == DriveType::NoRootDir) {
        c.FailReadersBelow(RootPath(letter));
        vol.Root.reset();
    } else if (!vol.Root) {
        vol.Root = std::make_unique<detail::Node>();
        vol.Root->Name = std::string(1, letter) + ":";
        vol.Root->IsDir = true;
        vol.Root->Attr = fa::Directory;
    }
}

void SimPlatform::RemoveVolume(const std::string& root) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const char letter = RootLetter(root);
    c.FailReadersBelow(RootPath(letter));
    c.Volumes.erase(letter);
}

void SimPlatform::SetVolumeNotReady(const std::string& root, bool notReady) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingVolume(c, root).NotReady = notReady;
}

void SimPlatform::SetClusterQueryFails(const std::string& root, bool fails) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingVolume(c, root).ClusterQueryFails = fails;
}

void SimPlatform::SetCompressionModel(const std::string& root, const TCompressionModel& model) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingVolume(c, root).Model = model;
}

void SimPlatform::SetDiskFull(const std::string& root, bool full) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    ExistingVolume(c, root).DiskFull = full;
}

std::vector<std::string> SimPlatform::LogicalDrives() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    std::vector<std::string> roots;
    for (const auto& vol : c.Volumes)
        roots.push_back(RootPath(vol.first));
    return roots;
}

DriveType SimPlatform::DriveTypeOf(const std::string& root) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const Volume* vol = VolumeOfRoot(c, root);
    return vol ? vol->Type : DriveType::NoRootDir;
}

OsValue<VolumeInformation> SimPlatform::QueryVolumeInformation(const std::string& root) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const Volume* vol = VolumeOfRoot(c, root);
    if (const int error = UnreadableVolumeError(vol))
        return OsValue<VolumeInformation>::Fail(error);
    return VolumeInformation{vol->Label, vol->FileSystem, vol->FileSystem == "NTFS", {}};
}

OsValue<uint32_t> SimPlatform::GetClusterSize(const std::string& root) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const Volume* vol = VolumeOfRoot(c, root);
    if (const int error = UnreadableVolumeError(vol)) return OsValue<uint32_t>::Fail(error);
    if (vol->ClusterQueryFails) return OsValue<uint32_t>::Fail(err::InvalidFunction);
    return vol->ClusterSize;
}

TCompressionModel SimPlatform::CompressionModel(const std::string& root) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const Volume* vol = VolumeOfRoot(c, root);
    if (vol && vol->Model) return *vol->Model;
    return {TCompressionFormat::Zstd, vol ? vol->ClusterSize : 4096, {}};
}

} // namespace brimble::sim
