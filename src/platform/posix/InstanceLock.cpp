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

} // namespace

std::string InstanceLockFile(const std::string& name) {
    const auto runtime = RuntimeDir();
    const std::string folder = runtime ? *runtime : DataHome() + "/Brimble";
    return folder + "/" + SafeName(name) + ".lock";
}

std::unique_ptr<IInstanceLock> AcquireInstanceLock(const std::string& name) {
    const std::string file = InstanceLockFile(name);
    if (!RuntimeDir()) MakeFolders(DataHome() + "/Brimble", 0777);
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) return std::make_unique<FileInstanceLock>(UniqueFd());
    while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return nullptr;
        return std::make_unique<FileInstanceLock>(UniqueFd()); // no locking here at all
    }
    return std::make_unique<FileInstanceLock>(std::move(fd));
}

} // namespace brimble::posix
