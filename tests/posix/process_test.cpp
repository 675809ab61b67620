// The process side on Linux: environment references, folders, the single-instance lock,
// autostart, the program's version, priorities, locale and clock.

#include "BrimbleVersion.h"
#include "PosixTestSupport.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixLocale.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/PosixProcess.h"

#include <future>
#include <gtest/gtest.h>
#include <linux/ioprio.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>

namespace brimble::posix {
namespace {

using test::ReadFile;
using test::TempDir;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : FName(name) {
        if (const char* old = std::getenv(name)) FOld = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (FOld)
            ::setenv(FName.c_str(), FOld->c_str(), 1);
        else
            ::unsetenv(FName.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string FName;
    std::optional<std::string> FOld;
};

class PosixProcessTest : public ::testing::Test {
protected:
    TempDir dir;
    ScopedEnv home{"HOME", dir.Path() + "/home"};
    ScopedEnv data{"XDG_DATA_HOME", std::nullopt};
    ScopedEnv config{"XDG_CONFIG_HOME", dir.Path() + "/config"};
    ScopedEnv runtime{"XDG_RUNTIME_DIR", dir.Path()};
    ScopedEnv tmpdir{"TMPDIR", std::nullopt};
    PosixPlatform platform;
    IProcess& process = platform.Process();
};

TEST_F(PosixProcessTest, EnvironmentReferencesIgnoreCaseAndMapTheWindowsNames) {
    const ScopedEnv custom("BrimbleTestValue", std::string("42"));
    const struct {
        const char* name;
        std::optional<std::string> value;
    } cases[] = {
        {"BrimbleTestValue", "42"},
        {"BRIMBLETESTVALUE", "42"},
        {"temp", "/tmp"},
        {"TMP", "/tmp"},
        {"AppData", dir.Path() + "/config"},
        {"localappdata", dir.Path() + "/home/.local/share"},
        {"windir", std::nullopt},
        {"NoSuchVariableAnywhere", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(process.EnvironmentVariable(c.name), c.value) << c.name;
    EXPECT_EQ(process.LocalAppDataDir(), dir.Path() + "/home/.local/share/");
    const ScopedEnv xdg("XDG_DATA_HOME", dir.Path() + "/data/");
    EXPECT_EQ(process.LocalAppDataDir(), dir.Path() + "/data/");
}

TEST_F(PosixProcessTest, OnlyOneInstanceHoldsTheLockAtATime) {
    auto first = process.AcquireInstanceLock("Brimble");
    ASSERT_TRUE(first);
    ASSERT_NE(*first, nullptr);
    // In the data folder, not the runtime folder: one lock per data folder.
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/home/.local/share/Brimble/Brimble.lock"));
    const auto second = process.AcquireInstanceLock("Brimble");
    ASSERT_TRUE(second) << second.code(); // held elsewhere is an answer, not a failure
    EXPECT_EQ(*second, nullptr);

    // Another process is refused too, and the lock dies with its holder.
    const pid_t other = ::fork();
    if (other == 0) {
        const auto refused = process.AcquireInstanceLock("Brimble");
        ::_exit(refused && *refused == nullptr ? 0 : 1);
    }
    int status = -1;
    ::waitpid(other, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    first->reset();
    EXPECT_NE(process.AcquireInstanceLock("Brimble").value(), nullptr);
}

TEST_F(PosixProcessTest, ALockThatCannotBeTakenIsAFailureWithTheReason) {
    // A file where the data folder should be: nothing there can hold a lock file.
    test::WriteFile(dir.Path() + "/not-a-folder", "x");
    const ScopedEnv blocked("XDG_DATA_HOME", dir.Path() + "/not-a-folder/data");
    const auto lock = process.AcquireInstanceLock("Brimble");
    EXPECT_FALSE(lock);
    EXPECT_EQ(lock.code(), ENOTDIR);
}

TEST_F(PosixProcessTest, AutostartIsADesktopEntryThatRunsTheProgram) {
    const std::string program = "/opt/My Tools/50%/brimble";
    ASSERT_TRUE(process.SetAutostart("Brimble", program, true));
    // Refused where the folder for the entry cannot be made.
    {
        test::WriteFile(dir.Path() + "/config-file", "x");
        const ScopedEnv blocked("XDG_CONFIG_HOME", dir.Path() + "/config-file");
        EXPECT_EQ(process.SetAutostart("Brimble", program, true).code(), EEXIST);
    }
    const std::string entry = ReadFile(dir.Path() + "/config/autostart/Brimble.desktop");
    EXPECT_NE(entry.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(entry.find("\nExec=\"/opt/My Tools/50%%/brimble\"\n"), std::string::npos) << entry;
    ASSERT_TRUE(process.SetAutostart("Brimble", program, false));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/config/autostart/Brimble.desktop"));
    EXPECT_TRUE(process.SetAutostart("Brimble", program, false)); // nothing to remove
}

TEST_F(PosixProcessTest, OnlyTheProgramsOwnFileHasAVersion) {
    const auto version = process.GetFileVersion(process.ProgramPath());
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->Major, BRIMBLE_VERSION_MAJOR);
    EXPECT_EQ(version->Minor, BRIMBLE_VERSION_MINOR);
    EXPECT_EQ(version->Release, BRIMBLE_VERSION_RELEASE);
    EXPECT_EQ(version->Build, BRIMBLE_VERSION_BUILD);
    EXPECT_FALSE(process.GetFileVersion("/bin/sh").has_value());
    EXPECT_FALSE(process.GetFileVersion(dir.Path() + "/missing").has_value());
}

TEST_F(PosixProcessTest, MainCanHandTheArgumentsOver) {
    platform.SetCommandLineArguments({"-d:2", "/home/u/My Files"});
    EXPECT_EQ(process.CommandLineArguments(),
              (std::vector<std::string>{"-d:2", "/home/u/My Files"}));
}

TEST_F(PosixProcessTest, PriorityLevelsBecomeNiceValuesAndIoClasses) {
    // In a child of its own: an ordinary process could not raise its priority again.
    const struct {
        PriorityLevel level;
        int nice;
        int ioClass;
    } cases[] = {{0, 19, IOPRIO_CLASS_IDLE}, {1, 15, IOPRIO_CLASS_IDLE}, {2, 5, IOPRIO_CLASS_BE}};
    for (const auto& c : cases) {
        const pid_t child = ::fork();
        if (child == 0) {
            process.SetProcessPriority(c.level);
            const int ioprio = static_cast<int>(::syscall(SYS_ioprio_get, IOPRIO_WHO_PROCESS, 0));
            const bool ok =
                ::getpriority(PRIO_PROCESS, 0) == c.nice && IOPRIO_PRIO_CLASS(ioprio) == c.ioClass;
            ::_exit(ok ? 0 : 1);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << int(c.level);
    }
}

// Started as the service units start it (nice 10, idle I/O class), no Priority level raises
// the program or any of its threads above that; the lowest levels still lower it further.
TEST(PosixPriorityTest, NoLevelRaisesThePriorityAboveTheOneAtStart) {
    // In a child of its own, as root: root could raise it, so only the ceiling stops it.
    const pid_t child = ::fork();
    if (child == 0) {
        ::setpriority(PRIO_PROCESS, 0, 10);
        ::syscall(SYS_ioprio_set, IOPRIO_WHO_PROCESS, 0, IOPRIO_PRIO_VALUE(IOPRIO_CLASS_IDLE, 0));
        PosixProcess started; // reads what it was started with
        // A thread that runs already when the options are applied (a watcher, say).
        std::promise<pid_t> workerId;
        std::promise<void> done;
        std::thread worker([&] {
            workerId.set_value(::gettid());
            done.get_future().wait();
        });
        const pid_t other = workerId.get_future().get();
        const auto stays = [&](pid_t thread, int nice) {
            const long io = ::syscall(SYS_ioprio_get, IOPRIO_WHO_PROCESS, thread);
            return ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread)) == nice &&
                   IOPRIO_PRIO_CLASS(io) == IOPRIO_CLASS_IDLE;
        };
        const struct {
            PriorityLevel level;
            int nice;
        } cases[] = {{6, 10}, {3, 10}, {1, 15}, {5, 10}, {0, 19}, {4, 10}, {2, 10}, {255, 10}};
        bool ok = true;
        for (const auto& c : cases) {
            // As the options are applied: the process, then the UI thread.
            started.SetProcessPriority(c.level);
            started.SetCurrentThreadPriority(c.level);
            ok = ok && stays(::gettid(), c.nice) && stays(other, c.nice);
        }
        done.set_value();
        worker.join();
        ::_exit(ok ? 0 : 1);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(PosixLocaleTest, TheCLocaleGivesItsSeparatorsAndFormats) {
    const ScopedEnv all("LC_ALL", std::string("C"));
    PosixLocale locale;
    EXPECT_EQ(locale.DecimalSeparator(), ".");
    EXPECT_EQ(locale.ThousandSeparator(), "");
    const DateParts when{2026, 1, 5, 14, 3, 9};
    EXPECT_EQ(locale.FormatShortDate(when), "01/05/26");
    EXPECT_EQ(locale.FormatLongTime(when), "14:03:09");
}

TEST(PosixClockTest, LocalTimeCountsDaysSince1899) {
    EXPECT_EQ(DaysSince1899(1899, 12, 30), 0);
    EXPECT_EQ(DaysSince1899(1970, 1, 1), 25569);
    EXPECT_EQ(DaysSince1899(2000, 3, 1), 36586);
    const ScopedEnv zone("TZ", std::string("UTC"));
    ::tzset();
    PosixClock clock;
    const double expected = 25569.0 + static_cast<double>(::time(nullptr)) / 86400.0;
    EXPECT_NEAR(clock.Now(), expected, 2.0 / 86400.0);
}

} // namespace
} // namespace brimble::posix
