#include "platform/posix/ChangeBatch.h"

namespace brimble::posix {

namespace {
constexpr std::size_t MaxTrackedSizes = 65536;
}

WatchFilter WatchFilter::FromBits(uint32_t filter) {
    WatchFilter result;
    result.FileNames = (filter & notifyfilter::FileName) != 0;
    result.DirNames = (filter & notifyfilter::DirName) != 0;
    result.Sizes = (filter & notifyfilter::Size) != 0;
    return result;
}

void ChangeBatch::Add(uint32_t action, std::string name) {
    if (!FRecords.empty() && FRecords.back().Action == action && FRecords.back().Name == name)
        return;
    FRecords.push_back(ChangeRecord{action, std::move(name)});
}

void ChangeBatch::MoveTo(std::vector<ChangeRecord>& records) {
    records.clear();
    if (FOverflow)
        records.push_back(ChangeRecord{fileaction::None, {}});
    else
        records = std::move(FRecords);
    FRecords.clear();
    FOverflow = false;
}

bool SizeTracker::Changed(const std::string& path, int64_t size) {
    const auto found = FSizes.find(path);
    const bool changed = found == FSizes.end() || found->second != size;
    Remember(path, size);
    return changed;
}

void SizeTracker::Remember(const std::string& path, int64_t size) {
    if (FSizes.size() >= MaxTrackedSizes && !FSizes.contains(path)) FSizes.clear();
    FSizes[path] = size;
}

std::string JoinRelative(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

} // namespace brimble::posix
