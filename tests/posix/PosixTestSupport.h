#pragma once

// Helpers of the Linux back end's tests: running system tools, temporary folders, and real
// volumes made from image files on loop devices (needs root, mount and mkfs).

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// A real-volume test that cannot run skips with its reason, except where the test command
// demands the real volumes (as root in CI): there a silent skip would hide the whole area.
#define BRIMBLE_SKIP_WITHOUT_REAL_VOLUME(reason)                                                   \
    do {                                                                                           \
        if (::brimble::posix::test::RealVolumesRequired()) FAIL() << (reason);                     \
        GTEST_SKIP() << (reason);                                                                  \
    } while (false)

namespace brimble::posix::test {

inline bool RealVolumesRequired() {
    const char* required = std::getenv("BRIMBLE_REQUIRE_REAL_VOLUMES");
    return required != nullptr && std::string(required) == "1";
}

struct CommandResult {
    int Status = -1;    // exit status; -1 when the program could not run
    std::string Output; // stdout and stderr together
};

// The full path of a system tool, also from the sbin folders that a user's PATH may lack.
inline std::string FindTool(const std::string& name) {
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/sbin:/usr/bin:/bin";
    std::stringstream folders(path);
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/" + name;
        if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

inline CommandResult Run(const std::vector<std::string>& command) {
    CommandResult result;
    const std::string tool = FindTool(command.at(0));
    if (tool.empty()) return result;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(pipeFds[1], STDERR_FILENO);
        std::vector<char*> argv;
        for (const auto& argument : command)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(tool.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        result.Output.append(buffer, static_cast<std::size_t>(got));
    ::close(pipeFds[0]);
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
        result.Status = WEXITSTATUS(status);
    return result;
}

// A fresh folder under the temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "brimble-XXXXXX").string();
        if (::mkdtemp(pattern.data())) FPath = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!FPath.empty()) std::filesystem::remove_all(FPath, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file system of its own: an image file, formatted and loop-mounted in a temporary
// folder; unmounted and removed on destruction, whatever the test did.
class LoopVolume {
public:
    // Null with WhyNot set when volumes cannot be made here.
    static std::unique_ptr<LoopVolume> Create(const std::string& fsType, int sizeMiB,
                                              const std::string& label, std::string& whyNot,
                                              const std::string& mountOptions = "") {
        if (::geteuid() != 0) {
            whyNot = "needs root to create loop volumes";
            return nullptr;
        }
        if (::access("/dev/loop-control", F_OK) != 0) {
            whyNot = "no loop devices (/dev/loop-control missing)";
            return nullptr;
        }
        const std::string mkfs = "mkfs." + fsType;
        if (FindTool(mkfs).empty()) {
            whyNot = mkfs + " is not installed (Debian: " +
                     (fsType == "btrfs" ? "btrfs-progs" : "e2fsprogs") + ")";
            return nullptr;
        }
        std::unique_ptr<LoopVolume> volume(new LoopVolume());
        if (volume->FFolder.Path().empty()) {
            whyNot = "cannot create a temporary folder";
            return nullptr;
        }
        const std::string image = volume->FFolder.Path() + "/volume.img";
        volume->FMountPoint = volume->FFolder.Path() + "/mnt";
        ::mkdir(volume->FMountPoint.c_str(), 0755);
        if (::truncate(image.c_str(), 0) != 0) WriteFile(image, "");
        if (::truncate(image.c_str(), static_cast<off_t>(sizeMiB) << 20) != 0) {
            whyNot = "cannot create the image file";
            return nullptr;
        }
        std::vector<std::string> format = {mkfs, "-q", "-L", label};
        if (fsType == "ext4") format.insert(format.end(), {"-F", "-b", "4096"});
        format.push_back(image);
        if (const auto made = Run(format); made.Status != 0) {
            whyNot = mkfs + " failed: " + made.Output;
            return nullptr;
        }
        const std::string options = mountOptions.empty() ? "loop" : "loop," + mountOptions;
        if (const auto mounted = Run({"mount", "-o", options, image, volume->FMountPoint});
            mounted.Status != 0) {
            whyNot = "cannot mount a loop volume: " + mounted.Output;
            return nullptr;
        }
        volume->FMounted = true;
        return volume;
    }

    ~LoopVolume() {
        if (!FMounted) return;
        // A lazy unmount still frees the loop device once the last user lets go.
        if (Run({"umount", FMountPoint}).Status != 0) Run({"umount", "-l", FMountPoint});
    }
    LoopVolume(const LoopVolume&) = delete;
    LoopVolume& operator=(const LoopVolume&) = delete;

    // Unmounts now; false when the volume is busy.
    bool Unmount() {
        if (!FMounted || Run({"umount", FMountPoint}).Status != 0) return false;
        FMounted = false;
        return true;
    }

    const std::string& MountPoint() const { return FMountPoint; }
    // Bytes written to the volume's device since it was attached (/sys/block/<loop>/stat).
    int64_t BytesWritten() const {
        const auto source = Run({"findmnt", "-n", "-o", "SOURCE", FMountPoint});
        std::string device = source.Output.substr(0, source.Output.find('\n'));
        device = device.substr(device.rfind('/') + 1);
        std::stringstream stat(ReadFile("/sys/block/" + device + "/stat"));
        int64_t field = 0, sectors = -1;
        for (int i = 0; i < 7 && stat >> field; ++i)
            sectors = field; // the seventh field: sectors written
        return sectors < 0 ? -1 : sectors * 512;
    }
    // Bytes of data the volume holds, as "btrfs filesystem usage" counts them.
    int64_t DataUsed() const {
        ::sync();
        const auto usage = Run({"btrfs", "filesystem", "usage", "-b", FMountPoint});
        const auto line = usage.Output.find("\nData,");
        const auto used = usage.Output.find("Used:", line);
        if (line == std::string::npos || used == std::string::npos) return -1;
        return std::stoll(usage.Output.substr(used + 5));
    }
    std::string Path(const std::string& name) const { return FMountPoint + "/" + name; }

private:
    LoopVolume() = default;

    TempDir FFolder;
    std::string FMountPoint;
    bool FMounted = false;
};

// compsize's "Disk Usage" of a file in bytes; -1 when compsize is missing or says nothing.
inline int64_t CompsizeDiskUsage(const std::string& path) {
    const auto result = Run({"compsize", "-b", path});
    if (result.Status != 0) return -1;
    std::stringstream lines(result.Output);
    for (std::string line; std::getline(lines, line);) {
        std::stringstream fields(line);
        std::string label, percent;
        int64_t disk = -1;
        if (fields >> label >> percent >> disk && label == "TOTAL") return disk;
    }
    return -1;
}

} // namespace brimble::posix::test
