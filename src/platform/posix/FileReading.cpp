#include "platform/posix/FileReading.h"

#include "platform/posix/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brimble::posix {

namespace {

class PosixInputFile final : public IInputFile {
public:
    explicit PosixInputFile(UniqueFd fd) : FFd(std::move(fd)) {}

    OsResult ReadAt(int64_t offset, std::size_t length, std::string& bytes) override {
        bytes.resize(length);
        std::size_t got = 0;
        while (got < length) {
            const ssize_t n = ::pread(FFd.Get(), bytes.data() + got, length - got,
                                      static_cast<off_t>(offset) + static_cast<off_t>(got));
            if (n < 0) {
                if (errno == EINTR) continue;
                const int error = errno;
                bytes.clear();
                return OsResult::Fail(error);
            }
            if (n == 0) break; // the end of the file
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        return {};
    }

private:
    UniqueFd FFd;
};

UniqueFd OpenReadOnly(const std::string& path) {
    // Not blocking: a FIFO without a writer would hold the caller forever.
    constexpr int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    // Only the owner (or a privileged process) may leave the access time alone.
    UniqueFd fd(::open(path.c_str(), flags | O_NOATIME));
    if (!fd && errno == EPERM) fd.Reset(::open(path.c_str(), flags));
    return fd;
}

} // namespace

OsValue<std::unique_ptr<IInputFile>> OpenForRead(const std::string& path) {
    using Result = OsValue<std::unique_ptr<IInputFile>>;
    UniqueFd fd = OpenReadOnly(path);
    if (!fd) return Result::Fail(errno);
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) return Result::Fail(errno);
    if (S_ISDIR(info.st_mode)) return Result::Fail(EISDIR);
    // A FIFO or a device holds no data of its own, as the compression request says too.
    if (!S_ISREG(info.st_mode)) return Result::Fail(EOPNOTSUPP);
    return std::unique_ptr<IInputFile>(std::make_unique<PosixInputFile>(std::move(fd)));
}

} // namespace brimble::posix
