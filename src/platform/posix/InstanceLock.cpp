#include "platform/posix/InstanceLock.h"

#include "platform/posix/FileWriting.h"
#include "platform/posix/UniqueFd.h"
#include "platform/posix/XdgDirs.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>

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

[[noreturn]] void Fail(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

UniqueFd OpenLockFile(const std::string& file) {
    constexpr int common = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | common, 0600));
    if (fd) return fd;
    const int error = errno;
    // A lock file that exists in a folder we may not write to still takes a lock.
    if (error == EROFS || error == EACCES) {
        if (UniqueFd existing(::open(file.c_str(), O_RDONLY | common)); existing) return existing;
    }
    Fail(error, "cannot open the lock file " + file);
}

} // namespace

std::string InstanceLockFile(const std::string& name) {
    return LockFolder() + "/" + SafeName(name) + ".lock";
}

std::unique_ptr<IInstanceLock> AcquireInstanceLock(const std::string& name) {
    const std::string file = InstanceLockFile(name);
    if (!MakeFolders(LockFolder(), 0777) && errno != EEXIST)
        Fail(errno, "cannot create the folder " + LockFolder());
    UniqueFd fd = OpenLockFile(file);
    while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return nullptr;
        Fail(errno, "cannot lock the file " + file);
    }
    return std::make_unique<FileInstanceLock>(std::move(fd));
}

} // namespace brimble::posix
