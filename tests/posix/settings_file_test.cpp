// The settings file on a real file system: a save that is killed, that may not write, or
// that meets something other than a file never costs the user the file that was there.

#include "PosixTestSupport.h"
#include "options/OptionsStorage.h"
#include "options/OptionsTable.h"
#include "platform/posix/PosixPlatform.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace brimble::posix {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr uid_t kNobody = 65534;

// Runs Body in a child process (as an ordinary user when this one is root, since root may
// write anywhere) and gives its exit code, or 128 + the signal that ended it. An alarm ends
// a child that blocks.
int InChild(const std::function<bool(IFileSystem&)>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(20);
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(2);
        PosixPlatform platform;
        ::_exit(body(platform.FileSystem()) ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// What the child may do in the folder: everything, when it is the owner.
void GiveToChild(const std::string& path) {
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
    }
}

std::vector<std::string> EntriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.Path().empty());
        ::chmod(dir.Path().c_str(), 0755); // the child may pass through as another user
    }
    std::string MakeFolder(const std::string& name) {
        const std::string folder = dir.Path() + "/" + name;
        ::mkdir(folder.c_str(), 0755);
        return folder;
    }

    TempDir dir;
};

TEST_F(SettingsFile, AFifoInItsPlaceLoadsTheDefaultsAndIsNeverReplaced) {
    const std::string folder = MakeFolder("fifo");
    GiveToChild(folder);
    const std::string ini = folder + "/Brimble.ini";
    ASSERT_EQ(::mkfifo(ini.c_str(), 0666), 0);
    // No one writes into the FIFO: a load that opened it for reading would wait forever.
    EXPECT_EQ(InChild([&](IFileSystem& fs) {
                  TBrimbleOptions options;
                  LoadOptionsFromFile(fs, ini, options);
                  return options.IdleTime == 1 &&
                         options.FilterIncluding == kDefaultFilterIncluding &&
                         !SaveOptionsToFile(fs, ini, options);
              }),
              0);
    struct stat info {};
    ASSERT_EQ(::lstat(ini.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(EntriesOf(folder), std::vector<std::string>{"Brimble.ini"});
}

TEST_F(SettingsFile, AFailedSaveKeepsTheOldFile) {
    struct Case {
        std::string name;
        mode_t folderMode;
        mode_t fileMode;
    };
    // A file that cannot be read stays even where the folder lets the save write: a new file
    // would lose the lines of the old one that the save could not see.
    const Case cases[] = {{"read-only folder", 0555, 0644}, {"unreadable file", 0755, 0200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = MakeFolder(c.name);
        const std::string ini = folder + "/Brimble.ini";
        WriteFile(ini, "; mine\n[GENERAL]\nIdleTime=5\n");
        GiveToChild(folder);
        GiveToChild(ini);
        ::chmod(ini.c_str(), c.fileMode);
        ::chmod(folder.c_str(), c.folderMode);
        EXPECT_EQ(InChild([&](IFileSystem& fs) {
                      TBrimbleOptions options;
                      ApplyDefaults(options);
                      return !SaveOptionsToFile(fs, ini, options);
                  }),
                  0);
        ::chmod(folder.c_str(), 0755);
        EXPECT_EQ(ReadFile(ini), "; mine\n[GENERAL]\nIdleTime=5\n");
        EXPECT_EQ(EntriesOf(folder), std::vector<std::string>{"Brimble.ini"});
    }
}

// --- a save killed at random moments ---

constexpr int kKills = 60;

// The options of save number Generation: big values, each part of them telling its save,
// so that a file mixed of two saves or cut short cannot pass for a whole one.
TBrimbleOptions Generation(int generation) {
    TBrimbleOptions options;
    ApplyDefaults(options);
    const std::string mark = "g" + std::to_string(generation);
    options.IdleTime = generation;
    options.FilterIncluding = mark + ",";
    while (options.FilterIncluding.size() < (1 << 18))
        options.FilterIncluding += options.FilterIncluding;
    options.FilterIncluding.resize(1 << 18);
    options.ExcludeFolders.clear();
    for (int i = 0; i < 2000; ++i)
        options.ExcludeFolders.push_back("/data/" + mark + "/folder " + std::to_string(i) + "=");
    return options;
}

const std::string kUsersLines = "; the user's own\n[Other]\nkey = value\n";

// Saves forever, each save the next generation after the one the file holds, and writes
// one byte to Done after each. With a limit, the system kills it once it writes past that
// byte of a file.
[[noreturn]] void SaveUntilKilled(const std::string& ini, std::optional<rlim_t> limit, int done) {
    if (limit) {
        const rlimit fileSize{*limit, *limit};
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
    }
    PosixPlatform platform;
    TBrimbleOptions options;
    LoadOptionsFromFile(platform.FileSystem(), ini, options);
    for (int generation = options.IdleTime + 1;; ++generation) {
        if (!SaveOptionsToFile(platform.FileSystem(), ini, Generation(generation))) ::_exit(1);
        if (::write(done, "s", 1) != 1) ::_exit(1);
    }
}

// Waits until the child has reported Count saves; false when it ended before.
bool WaitForSaves(int done, int count) {
    char report = 0;
    for (int i = 0; i < count; ++i)
        if (::read(done, &report, 1) != 1) return false;
    return true;
}

class KilledSettingsSave : public SettingsFile {
protected:
    // The whole file that a save of Generation writes over the user's file.
    const std::string& Expected(int generation) {
        auto found = expected.find(generation);
        if (found != expected.end()) return found->second;
        const std::string scratch = dir.Path() + "/scratch.ini";
        WriteFile(scratch, kUsersLines);
        EXPECT_TRUE(SaveOptionsToFile(platform.FileSystem(), scratch, Generation(generation)));
        return expected.emplace(generation, Read(scratch)).first->second;
    }
    std::string Read(const std::string& path) {
        std::string bytes;
        EXPECT_TRUE(platform.FileSystem().ReadWholeFile(path, bytes));
        return bytes;
    }

    PosixPlatform platform;
    std::map<int, std::string> expected;
};

TEST_F(KilledSettingsSave, TheFileIsAlwaysTheOldOrTheNewOneWhole) {
    const std::string folder = MakeFolder("settings");
    const std::string ini = folder + "/Brimble.ini";
    WriteFile(ini, kUsersLines);
    const TBrimbleOptions first = Generation(0);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(SaveOptionsToFile(platform.FileSystem(), ini, first));
    // A kill falls after a few whole saves of the child, at any moment of the next one.
    const auto oneSave = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    const std::random_device::result_type seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> savesBefore(0, 2);
    std::uniform_int_distribution<int64_t> delay(0, 2 * oneSave.count());

    int last = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        // Every other child dies in the middle of writing, at a byte of the test's choice.
        std::uniform_int_distribution<rlim_t> byte(0, Expected(last).size() - 1);
        const std::optional<rlim_t> limit =
            kill % 2 ? std::optional<rlim_t>(byte(random)) : std::nullopt;
        int done[2];
        ASSERT_EQ(::pipe2(done, O_CLOEXEC), 0);
        const pid_t child = ::fork();
        if (child == 0) SaveUntilKilled(ini, limit, done[1]);
        ::close(done[1]);
        ASSERT_GT(child, 0);
        int saved = 0;
        if (!limit) {
            saved = savesBefore(random);
            if (WaitForSaves(done[0], saved))
                std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
            ::kill(child, SIGKILL);
        }
        ::close(done[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "a save failed";
        EXPECT_EQ(WTERMSIG(status), limit ? SIGXFSZ : SIGKILL);

        TBrimbleOptions loaded;
        LoadOptionsFromFile(platform.FileSystem(), ini, loaded);
        const int generation = loaded.IdleTime;
        ASSERT_GE(generation, last + saved) << "kill " << kill;
        // Compared without printing a megabyte.
        ASSERT_TRUE(Read(ini) == Expected(generation))
            << "kill " << kill << ": not the whole file of save " << generation;
        last = generation;
    }

    // The first save that runs through takes the killed saves' temporary files with it.
    ASSERT_TRUE(SaveOptionsToFile(platform.FileSystem(), ini, Generation(last + 1)));
    EXPECT_EQ(EntriesOf(folder), std::vector<std::string>{"Brimble.ini"});
}

} // namespace
} // namespace brimble::posix
