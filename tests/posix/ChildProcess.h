#pragma once

// A program of the project running as a child process, its output read through pipes (or,
// for standard output, a terminal), as a user's shell would run it.

#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace brimble::posix::test {

struct Finished {
    int Status = -1; // the exit code, or 128 + the signal that ended the program
    std::string Out;
    std::string Err;
};

// The program running as a child process, its output read through pipes (or, for standard
// output, a terminal).
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 bool terminal) {
        int err[2];
        EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
        int outRead = -1, outWrite = -1;
        if (terminal) {
            EXPECT_EQ(::openpty(&outRead, &outWrite, nullptr, nullptr, nullptr), 0);
        } else {
            int out[2];
            EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
            outRead = out[0];
            outWrite = out[1];
        }
        FPid = ::fork();
        if (FPid == 0) {
            ::dup2(outWrite, STDOUT_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const auto& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(outWrite);
        ::close(err[1]);
        FOut = outRead;
        FErr = err[0];
    }
    ~ChildProcess() {
        if (FPid > 0 && !FWaited) {
            ::kill(FPid, SIGKILL);
            Wait();
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Signal(int signal) { ::kill(FPid, signal); }

    Finished Wait() {
        Finished result;
        pollfd fds[2] = {{FOut, POLLIN, 0}, {FErr, POLLIN, 0}};
        std::string* texts[2] = {&result.Out, &result.Err};
        int open = 2;
        while (open > 0 && ::poll(fds, 2, -1) >= 0) {
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || !fds[i].revents) continue;
                char buffer[4096];
                const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
                if (got > 0) {
                    texts[i]->append(buffer, static_cast<std::size_t>(got));
                    continue;
                }
                ::close(fds[i].fd); // end of file, or EIO once a terminal's last writer is gone
                fds[i].fd = -1;
                --open;
            }
        }
        int status = 0;
        ::waitpid(FPid, &status, 0);
        FWaited = true;
        result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return result;
    }

private:
    pid_t FPid = -1;
    int FOut = -1;
    int FErr = -1;
    bool FWaited = false;
};

} // namespace brimble::posix::test
