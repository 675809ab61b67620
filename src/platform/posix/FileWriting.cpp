#include "platform/posix/FileWriting.h"

#include "platform/posix/ErrorText.h"
#include "platform/posix/Paths.h"
#include "platform/posix/UniqueFd.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace brimble::posix {

namespace {

class PosixOutputFile final : public IOutputFile {
public:
    explicit PosixOutputFile(UniqueFd fd) : FFd(std::move(fd)) {}

    OsResult Write(std::string_view bytes) override {
        if (!FFd) return OsResult::Fail(EBADF);
        return WriteAllBytes(FFd.Get(), bytes);
    }
    // Writes go straight to the kernel, so closing is all the flushing there is.
    OsResult Close() override {
        const int error = FFd.Close();
        return error ? OsResult::Fail(error) : OsResult();
    }

private:
    UniqueFd FFd;
};

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Removes the temporary file unless the rename has consumed it.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : FPath(std::move(path)) {}
    ~TemporaryFile() {
        if (!FPath.empty()) ::unlink(FPath.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return FPath; }
    void Consumed() { FPath.clear(); }

private:
    std::string FPath;
};

std::string InFolder(const std::string& folder, const std::string& name) {
    return (folder == "/" ? "/" : folder + "/") + name;
}

// ".NAME." + digits + ".tmp": the temporary files of Path.
std::string TemporaryPrefix(const std::string& path) {
    // Appended piece by piece: "." + name makes GCC 12 at -O3 warn of an overlap that
    // cannot happen.
    std::string prefix(1, '.');
    prefix += LastComponent(path);
    prefix += '.';
    return prefix;
}
bool IsTemporaryOf(std::string_view entry, const std::string& prefix) {
    constexpr std::string_view suffix = ".tmp";
    if (entry.size() <= prefix.size() + suffix.size() || !entry.starts_with(prefix) ||
        !entry.ends_with(suffix))
        return false;
    const std::string_view digits =
        entry.substr(prefix.size(), entry.size() - prefix.size() - suffix.size());
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// A process killed while it saved leaves its temporary file behind; the next save of the
// same file removes it. Only one instance writes these files, so none is in use.
void RemoveStaleTemporaries(const std::string& path) {
    const std::string folder = FolderOf(path);
    const std::string prefix = TemporaryPrefix(path);
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), ::closedir);
    if (!listing) return;
    while (const dirent* entry = ::readdir(listing.get()))
        if (IsTemporaryOf(entry->d_name, prefix)) ::unlink(InFolder(folder, entry->d_name).c_str());
}

// Creates a new file beside Path with a name of its own; its mode obeys the umask.
UniqueFd CreateTemporaryBeside(const std::string& path, std::string& name) {
    std::random_device random;
    const std::string prefix = InFolder(FolderOf(path), TemporaryPrefix(path));
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = prefix + std::to_string(random() % 1000000000u) + ".tmp";
        UniqueFd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
        if (fd || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return UniqueFd();
}

// The new file takes over the old one's permission bits and, where allowed, its owner.
void CopyOwnership(int fd, const std::string& oldPath) {
    struct stat old {};
    if (::stat(oldPath.c_str(), &old) != 0) return;
    ::fchmod(fd, old.st_mode & 07777);
    // Only root may give a file away; anyone else owns the file already.
    [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
}

} // namespace

OsResult MakeFolders(const std::string& folder, unsigned mode) {
    const std::string target = WithoutTrailingSlash(folder);
    if (target.empty() || target.front() != '/') return OsResult::Fail(ENOENT);
    for (std::size_t pos = target.find('/', 1);; pos = target.find('/', pos + 1)) {
        const std::string path = target.substr(0, pos);
        struct stat info {};
        if (::mkdir(path.c_str(), static_cast<mode_t>(mode)) != 0) {
            const int error = errno;
            if (error != EEXIST) return OsResult::Fail(error);
            if (::stat(path.c_str(), &info) != 0) return OsResult::Fail(errno);
            if (!S_ISDIR(info.st_mode)) return OsResult::Fail(EEXIST);
        }
        if (pos == std::string::npos) return {};
    }
}

OsResult WriteAllBytes(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return OsResult::Fail(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

OsResult ReplaceFileAtomically(const std::string& linkOrPath, std::string_view bytes) {
    // A settings file that is a link (kept by a dotfile manager, say) stays one: its
    // target is replaced.
    struct stat info {};
    const bool isLink = ::lstat(linkOrPath.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    const std::string path = isLink ? ResolvePath(linkOrPath) : linkOrPath;
    if (path.empty()) return OsResult::Fail(ENOENT);
    // A FIFO or device in the file's place is the user's, not a file to replace.
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return OsResult::Fail(S_ISDIR(info.st_mode) ? EISDIR : ErrNotRegularFile);
    std::string name;
    UniqueFd fd = CreateTemporaryBeside(path, name);
    if (!fd) return OsResult::Fail(errno);
    TemporaryFile temporary(name);
    CopyOwnership(fd.Get(), path);
    if (auto written = WriteAllBytes(fd.Get(), bytes); !written) return written;
    if (::fsync(fd.Get()) != 0) return OsResult::Fail(errno);
    if (const int error = fd.Close()) return OsResult::Fail(error);
    if (::rename(temporary.Path().c_str(), path.c_str()) != 0) return OsResult::Fail(errno);
    temporary.Consumed();
    RemoveStaleTemporaries(path);
    // The rename itself must reach the disk too.
    if (UniqueFd dir(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir)
        ::fsync(dir.Get());
    return {};
}

OsValue<std::unique_ptr<IOutputFile>> OpenForWrite(const std::string& path, WriteMode mode) {
    using Result = OsValue<std::unique_ptr<IOutputFile>>;
    // Not blocking: a FIFO in place of the log would hold the program until a reader came.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK |
                      (mode == WriteMode::Append ? O_APPEND : O_TRUNC);
    UniqueFd fd(::open(path.c_str(), flags, 0666));
    if (!fd) return Result::Fail(errno);
    struct stat info {};
    if (::fstat(fd.Get(), &info) == 0 && !S_ISREG(info.st_mode))
        return Result::Fail(ErrNotRegularFile);
    return std::make_unique<PosixOutputFile>(std::move(fd));
}

} // namespace brimble::posix
