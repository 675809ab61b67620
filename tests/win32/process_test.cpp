// Process, registry, clock and locale calls of the Windows back end under Wine.

#include "base/DateTime.h"
#include "platform/win32/Registry.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Process.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace brimble::win32 {
namespace {

class Win32ProcessTest : public ::testing::Test {
protected:
    Win32Platform platform;
    IProcess& process = platform.Process();
    // Names of this test run only: other runs may share the prefix.
    const std::string name = "BrimbleTest" + std::to_string(::GetCurrentProcessId());
};

TEST_F(Win32ProcessTest, TheNamedMutexAdmitsOneInstancePerSession) {
    auto first = process.AcquireInstanceLock(name);
    ASSERT_TRUE(first);
    ASSERT_TRUE(*first);
    auto second = process.AcquireInstanceLock(name);
    ASSERT_TRUE(second);
    EXPECT_FALSE(*second); // held: another instance runs
    const HANDLE open = ::OpenMutexW(SYNCHRONIZE, FALSE, InstanceMutexName(name).c_str());
    EXPECT_TRUE(open) << "in the session namespace";
    if (open) ::CloseHandle(open);
    first->reset();
    auto again = process.AcquireInstanceLock(name);
    ASSERT_TRUE(again);
    EXPECT_TRUE(*again);
}

TEST_F(Win32ProcessTest, RunKeyRoundTrip) {
    const std::string program = "C:\\Program Files\\Brimble\\brimble-watch.exe";
    ASSERT_FALSE(process.AutostartExists(name));
    ASSERT_TRUE(process.SetAutostart(name, program, true));
    EXPECT_TRUE(process.AutostartExists(name));
    wchar_t data[MAX_PATH] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, kRunKey, Widen(name).c_str(), RRF_RT_REG_SZ,
                             nullptr, data, &size),
              ERROR_SUCCESS);
    // Quoted: unquoted, Windows would try C:\Program.exe first.
    EXPECT_EQ(Narrow(data), "\"" + program + "\"");
    EXPECT_EQ(size, (program.size() + 3) * sizeof(wchar_t)); // the null counted
    ASSERT_TRUE(process.SetAutostart(name, {}, false));
    EXPECT_FALSE(process.AutostartExists(name));
    EXPECT_EQ(process.SetAutostart(name, {}, false).code(), ERROR_FILE_NOT_FOUND);
    ASSERT_TRUE(process.SetAutostart(name, "C:\\Tools\\brimble.exe", true));
    EXPECT_TRUE(process.AutostartExists(name));
    ASSERT_TRUE(process.SetAutostart(name, {}, false));
}

TEST_F(Win32ProcessTest, TheDataFolderIsTheShellFoldersValue) {
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(
        ::RegGetValueW(HKEY_CURRENT_USER,
                       L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                       L"Local AppData", RRF_RT_REG_SZ, nullptr, value, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(process.LocalAppDataDir(), Narrow(value) + "\\");
    EXPECT_TRUE(platform.FileSystem().DirectoryExists(process.LocalAppDataDir()));
}

TEST_F(Win32ProcessTest, ProgramEnvironmentAndVersion) {
    const std::string program = process.ProgramPath();
    EXPECT_TRUE(program.ends_with("win32_process_test.exe")) << program;
    EXPECT_TRUE(platform.FileSystem().FileExists(program));
    EXPECT_TRUE(process.GetFileVersion(program)); // its own, without a version resource
    EXPECT_FALSE(process.GetFileVersion("C:\\no such program.exe"));
    ASSERT_TRUE(::SetEnvironmentVariableW(Widen(name).c_str(), L"Données"));
    EXPECT_EQ(process.EnvironmentVariable(name), "Données");
    EXPECT_EQ(process.EnvironmentVariable(name + "Missing"), std::nullopt);
    ASSERT_TRUE(::SetEnvironmentVariableW(Widen(name).c_str(), L""));
    EXPECT_EQ(process.EnvironmentVariable(name), ""); // defined, empty
    EXPECT_TRUE(process.PlatformVersionSupported());
    platform.SetCommandLineArguments({"-d:2", "C:\\Data"});
    EXPECT_EQ(process.CommandLineArguments(), (std::vector<std::string>{"-d:2", "C:\\Data"}));
}

TEST_F(Win32ProcessTest, PrioritiesFollowTheTable) {
    struct Case {
        PriorityLevel Level;
        DWORD Class;
        int Thread;
    };
    for (const Case& c : {Case{0, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_IDLE},
                          Case{1, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_LOWEST},
                          Case{2, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_BELOW_NORMAL},
                          Case{4, HIGH_PRIORITY_CLASS, THREAD_PRIORITY_ABOVE_NORMAL},
                          Case{5, HIGH_PRIORITY_CLASS, THREAD_PRIORITY_HIGHEST},
                          Case{9, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_NORMAL},
                          Case{3, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_NORMAL}}) {
        process.SetProcessPriority(c.Level);
        process.SetCurrentThreadPriority(c.Level);
        EXPECT_EQ(::GetPriorityClass(::GetCurrentProcess()), c.Class) << int(c.Level);
        EXPECT_EQ(::GetThreadPriority(::GetCurrentThread()), c.Thread) << int(c.Level);
    }
    EXPECT_EQ(PriorityFor(6).ProcessClass, DWORD(REALTIME_PRIORITY_CLASS));
    EXPECT_EQ(PriorityFor(6).ThreadPriority, THREAD_PRIORITY_TIME_CRITICAL);
}

TEST_F(Win32ProcessTest, ErrorModeComesBack) {
    const uint32_t before = process.SetErrorMode(SEM_FAILCRITICALERRORS);
    EXPECT_EQ(process.SetErrorMode(before), uint32_t(SEM_FAILCRITICALERRORS));
}

TEST(Win32ClockAndLocale, TimeIdleAndTheUsersFormats) {
    Win32Platform platform;
    const DateParts now = DecodeDateTime(platform.Clock().Now());
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    EXPECT_EQ(now.Year, local.wYear);
    EXPECT_EQ(now.Day, local.wDay);
    const uint32_t tick = platform.Clock().TickCount();
    EXPECT_LE(tick - ::GetTickCount(), 1000u);
    EXPECT_LT(platform.Clock().UserIdleMilliseconds(), 0x80000000u);

    ILocale& locale = platform.Locale();
    EXPECT_FALSE(locale.DecimalSeparator().empty());
    const DateParts when{2024, 3, 9, 14, 5, 7};
    EXPECT_NE(locale.FormatShortDate(when).find('9'), std::string::npos);
    EXPECT_NE(locale.FormatLongTime(when).find("05"), std::string::npos);
    bool lossless = false;
    EXPECT_EQ(locale.FromAnsi(locale.ToAnsi("plain text", &lossless)), "plain text");
    EXPECT_TRUE(lossless);
    // No 8-bit code page but UTF-8 holds this; the default character replaces it.
    const std::string cjk = "\xE6\x97\xA5\xE6\x9C\xAC";
    const std::string bytes = locale.ToAnsi(cjk, &lossless);
    EXPECT_EQ(lossless, ::GetACP() == CP_UTF8) << "code page " << ::GetACP();
    if (!lossless) {
        EXPECT_NE(locale.FromAnsi(bytes), cjk);
    }
}

} // namespace
} // namespace brimble::win32
