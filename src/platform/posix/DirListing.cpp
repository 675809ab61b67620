#include "platform/posix/DirListing.h"

#include "platform/posix/FileAttributes.h"
#include "platform/posix/Paths.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <vector>

namespace brimble::posix {

namespace {

class ReadListing final : public IDirListing {
public:
    explicit ReadListing(std::vector<TFileAttrRec> entries) : FEntries(std::move(entries)) {}

    bool Next(TFileAttrRec& entry) override {
        if (FNext >= FEntries.size()) return false;
        entry = std::move(FEntries[FNext++]);
        return true;
    }

private:
    std::vector<TFileAttrRec> FEntries;
    std::size_t FNext = 0;
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// What the directory entry alone tells, for an entry that cannot be examined further.
TFileAttrRec EntryFromType(const struct dirent& raw) {
    TFileAttrRec entry;
    entry.Name = raw.d_name;
    if (raw.d_type == DT_DIR) entry.Attr |= fa::Directory;
    if (raw.d_type == DT_LNK) entry.Attr |= fa::ReparsePoint;
    if (entry.Name.front() == '.' && entry.Name != "." && entry.Name != "..")
        entry.Attr |= fa::Hidden;
    if (entry.Attr == 0) entry.Attr = fa::Normal;
    return entry;
}

} // namespace

std::unique_ptr<IDirListing> OpenDirListing(const std::string& dir, int* error) {
    const std::string path = WithoutTrailingSlash(dir);
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = errno;
        return nullptr;
    }
    const std::unique_ptr<DIR, DirCloser> stream(::fdopendir(fd));
    if (!stream) {
        if (error) *error = errno;
        ::close(fd);
        return nullptr;
    }
    std::vector<TFileAttrRec> entries;
    while (const struct dirent* raw = ::readdir(stream.get())) {
        const std::string name = raw->d_name;
        if (name == "." || name == "..") {
            entries.push_back(EntryFromType(*raw));
            continue;
        }
        int statError = 0;
        if (auto entry = StatEntry(::dirfd(stream.get()), name, name, &statError))
            entries.push_back(std::move(*entry));
        else if (statError != ENOENT) // an entry that vanished meanwhile is not listed
            entries.push_back(EntryFromType(*raw));
    }
    return std::make_unique<ReadListing>(std::move(entries));
}

} // namespace brimble::posix
