#include "platform/posix/InstanceLock.h"

#include "platform/posix/FileWriting.h"
#include "platform/posix/UniqueFd.h"
#include "platform/posix/XdgDirs.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace brimble::posix {

namespace {

class FileInstanceLock final : public IInstanceLock {
public:
    explicit FileInstanceLock(UniqueFd fd) : FFd(std::move(fd)) {}

private:
    UniqueFd FFd; // the lock lives as long as the descriptor; the file stays for the next
};

std::string SafeName(const std::string& name) {
    std::string safe = name.empty() ? "instance" : name;
    for (char& c : safe)
        if (c == '/') c = '_';
    return safe;
}

std::string LockFolder() {
    return DataHome() + "/Brimble";
}

// The open descriptor, or the reason it could not be opened.
OsValue<UniqueFd> OpenLockFile(const std::string& file) {
    constexpr int common = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | common, 0600));
    if (fd) return fd;
    const int error = errno;
    // A lock file that exists in a folder we may not write to still takes a lock.
    if (error == EROFS || error == EACCES) {
        if (UniqueFd existing(::open(file.c_str(), O_RDONLY | common)); existing) return existing;
    }
    return OsValue<UniqueFd>::Fail(error);
}

} // namespace

std::string InstanceLockFile(const std::string& name) {
    return LockFolder() + "/" + SafeName(name) + ".lock";
}

OsValue<std::unique_ptr<IInstanceLock>> AcquireInstanceLock(const std::string& name) {
    using Result = OsValue<std::unique_ptr<IInstanceLock>>;
    // A file in the folder's place shows up when the lock file is opened.
    if (auto made = MakeFolders(LockFolder(), 0777); !made && made.code() != EEXIST)
        return Result::Fail(made.code());
    OsValue<UniqueFd> fd = OpenLockFile(InstanceLockFile(name));
    if (!fd) return Result::Fail(fd.code());
    while (::flock(fd->Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return std::unique_ptr<IInstanceLock>();
        return Result::Fail(errno);
    }
    return std::make_unique<FileInstanceLock>(std::move(*fd));
}

} // namespace brimble::posix
