// A run that is killed while it saves its lists leaves every list file whole: the one it
// had before or the one it was writing, never a mix or a cut-off file.

#include "../support/RecordingView.h"
#include "PosixTestSupport.h"
#include "engine/uMain.h"
#include "options/ProgramFolders.h"
#include "platform/posix/PosixPlatform.h"
#include "threads/StdUiLoop.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace brimble::posix {
namespace {

constexpr int NamesPerRun = 3000;

// One run of the program: start, load the lists, put this run's names in the never list in
// place of the last run's, save at exit.
void SaveOneRun(int run) {
    PosixPlatform platform;
    StdUiLoop loop(platform.Clock());
    brimble::test::RecordingView view;
    const TProgramFolders folders = ComputeProgramFolders(platform);
    TfrmBrimblemain engine(platform, loop, view, folders);
    engine.LoadSettingsAndLists();
    const TCompressList& never = *engine.CompressList(TListKind::lkNever);
    for (const std::string& name : std::vector<std::string>(never.begin(), never.end()))
        engine.RemoveFromList(TListKind::lkNever, name);
    for (int i = 0; i < NamesPerRun; ++i)
        engine.AddToList(TListKind::lkNever,
                         "RUN" + std::to_string(run) + "-NAME" + std::to_string(i));
    engine.SaveLists();
}

// Names per run found in the never list file; false when a line is not one that any run
// wrote or the file does not end with a line break.
bool CountNamesPerRun(const std::string& text, std::map<int, int>& perRun) {
    if (!text.empty() && !text.ends_with("\r\n")) return false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.ends_with('\r')) return false;
        line.pop_back();
        if (line == "NTLDR" || line == "BOOTMGR") continue;
        const auto dash = line.find("-NAME");
        if (!line.starts_with("RUN") || dash == std::string::npos) return false;
        ++perRun[std::stoi(line.substr(3, dash - 3))];
    }
    return true;
}

// Runs one save in a child process that the system kills once it writes past Limit bytes
// of any file: in the middle of writing a list, at a byte of the test's choice.
int SaveKilledAtByte(int run, rlim_t limit) {
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit fileSize{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        SaveOneRun(run);
        ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

// The runs whose names the never list holds, each with how many of them.
std::map<int, int> RunsInList(const std::string& file) {
    std::map<int, int> perRun;
    EXPECT_TRUE(CountNamesPerRun(test::ReadFile(file), perRun)) << "a broken list file";
    return perRun;
}

TEST(KilledSave, EveryListFileIsTheOldOrTheNewOne) {
    test::TempDir data;
    ASSERT_FALSE(data.Path().empty());
    ::setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
    const std::string neverFile = data.Path() + "/Brimble/NeverCompress.lst";
    SaveOneRun(1);
    const auto size = static_cast<rlim_t>(std::filesystem::file_size(neverFile));
    ASSERT_EQ(RunsInList(neverFile), (std::map<int, int>{{1, NamesPerRun}}));

    for (const rlim_t limit : {rlim_t{0}, rlim_t{1}, rlim_t{4096}, size / 2, size - 1}) {
        EXPECT_EQ(SaveKilledAtByte(2, limit), SIGXFSZ) << "not killed at byte " << limit;
        EXPECT_EQ(RunsInList(neverFile), (std::map<int, int>{{1, NamesPerRun}}))
            << "killed at byte " << limit;
    }
    EXPECT_EQ(SaveKilledAtByte(3, RLIM_INFINITY), 0);
    EXPECT_EQ(RunsInList(neverFile), (std::map<int, int>{{3, NamesPerRun}}));
    // The killed saves' temporary files went with the first save that succeeded.
    for (const auto& entry : std::filesystem::directory_iterator(data.Path() + "/Brimble"))
        EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp")) << entry.path();
    ::unsetenv("XDG_DATA_HOME");
}

} // namespace
} // namespace brimble::posix
