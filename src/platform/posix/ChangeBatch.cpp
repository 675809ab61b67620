#include "platform/posix/ChangeBatch.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace brimble::posix {

namespace {
constexpr std::size_t MaxCreatedFiles = 65536;
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

bool IsFileBeingWritten(int dirFd, const std::string& name) {
    struct stat info {};
    if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) != 0)
        return true; // gone already: nothing to report now, and its close may still come
    return S_ISREG(info.st_mode) && info.st_nlink == 1;
}

void WrittenFiles::Created(const std::string& path) {
    if (FCreated.size() >= MaxCreatedFiles) FCreated.clear();
    FCreated.insert(path);
}

uint32_t WrittenFiles::Closed(const std::string& path) {
    return FCreated.erase(path) > 0 ? fileaction::Added : fileaction::Modified;
}

std::string JoinRelative(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

} // namespace brimble::posix
