#pragma once

// An owned file descriptor, closed when destroyed.

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace brimble::posix {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : FFd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            FFd = std::exchange(other.FFd, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    explicit operator bool() const { return Valid(); }

    void Reset(int fd = -1) {
        if (FFd >= 0) ::close(FFd);
        FFd = fd;
    }
    // Closes now and returns errno of a failed close (0 on success), for callers that must
    // know whether written data was accepted.
    int Close() {
        if (FFd < 0) return 0;
        const int result = ::close(std::exchange(FFd, -1));
        return result == 0 ? 0 : errno;
    }

private:
    int FFd = -1;
};

} // namespace brimble::posix
