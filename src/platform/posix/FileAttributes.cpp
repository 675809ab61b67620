#include "platform/posix/FileAttributes.h"

#include <cerrno>
#include <fcntl.h>

namespace brimble::posix {

uint32_t AttributeWord(const struct statx& info, const std::string& name, bool linkToDirectory) {
    uint32_t attr = 0;
    const mode_t type = info.stx_mode & S_IFMT;
    if (type == S_IFDIR) attr |= fa::Directory;
    if (type == S_IFLNK) {
        attr |= fa::ReparsePoint;
        if (linkToDirectory) attr |= fa::Directory;
    } else if ((info.stx_mode & S_IWUSR) == 0) {
        // A link's own permission bits mean nothing on Linux.
        attr |= fa::ReadOnly;
    }
    if (!name.empty() && name.front() == '.' && name != "." && name != "..") attr |= fa::Hidden;
    if (info.stx_attributes & STATX_ATTR_COMPRESSED) attr |= fa::Compressed;
    if (info.stx_attributes & STATX_ATTR_ENCRYPTED) attr |= fa::Encrypted;
    if (attr == 0) attr = fa::Normal;
    return attr;
}

std::optional<TFileAttrRec> StatEntry(int dirFd, const std::string& pathOrName,
                                      const std::string& name, int* error) {
    struct statx info {};
    if (::statx(dirFd, pathOrName.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                STATX_TYPE | STATX_MODE | STATX_SIZE, &info) != 0) {
        if (error) *error = errno;
        return std::nullopt;
    }
    const mode_t type = info.stx_mode & S_IFMT;
    bool linkToDirectory = false;
    if (type == S_IFLNK) {
        // Following the link must not mount what an automount point at its end would bring.
        struct stat target {};
        linkToDirectory = ::fstatat(dirFd, pathOrName.c_str(), &target, AT_NO_AUTOMOUNT) == 0 &&
                          S_ISDIR(target.st_mode);
    }
    TFileAttrRec entry;
    entry.Name = name;
    entry.Attr = AttributeWord(info, name, linkToDirectory);
    // Folders have no size of their own, as on Windows.
    entry.Size = type == S_IFDIR ? 0 : static_cast<int64_t>(info.stx_size);
    return entry;
}

} // namespace brimble::posix
