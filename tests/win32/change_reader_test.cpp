// Change records of ReadDirectoryChangesW under Wine, and a stop that wakes a blocked read.

#include "Win32TestSupport.h"
#include "platform/win32/Win32Platform.h"

#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace brimble::win32 {
namespace {

using test::TempFolder;
using test::WriteFile;

constexpr uint32_t kFilter =
    notifyfilter::FileName | notifyfilter::DirName | notifyfilter::Size | notifyfilter::Creation;

class Win32ChangeReaderTest : public ::testing::Test {
protected:
    Win32Platform platform;
    TempFolder dir;
    std::unique_ptr<IChangeReader> reader =
        platform.ChangeWatching().OpenChangeReader(dir.Path, kFilter);

    // Reads until a record of Action for Name comes (or a read fails).
    bool ReadUntil(uint32_t action, const std::string& name) {
        std::vector<ChangeRecord> records;
        for (int reads = 0; reads < 20 && reader->Read(records); ++reads)
            for (const ChangeRecord& record : records)
                if (record.Action == action && record.Name == name) return true;
        return false;
    }
};

TEST_F(Win32ChangeReaderTest, ReportsCreatedResizedAndRenamedEntriesByRelativeName) {
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader->Prepare());
    EXPECT_EQ(reader->Method(), "ReadDirectoryChangesW");
    ASSERT_TRUE(::CreateDirectoryW(ApiPath(dir / "sub").c_str(), nullptr));
    EXPECT_TRUE(ReadUntil(fileaction::Added, "sub"));
    WriteFile(dir / "sub\\Données.txt", "");
    EXPECT_TRUE(ReadUntil(fileaction::Added, "sub\\Données.txt"));
    WriteFile(dir / "sub\\Données.txt", std::string(10000, 'x'));
    EXPECT_TRUE(ReadUntil(fileaction::Modified, "sub\\Données.txt"));
    ASSERT_TRUE(::MoveFileW(ApiPath(dir / "sub\\Données.txt").c_str(),
                            ApiPath(dir / "sub\\b.txt").c_str()));
    EXPECT_TRUE(ReadUntil(fileaction::RenamedNewName, "sub\\b.txt"));
}

TEST_F(Win32ChangeReaderTest, WakeEndsABlockedReadAtOnceAndEveryLaterOne) {
    ASSERT_TRUE(reader);
    std::promise<bool> result;
    std::thread watcher([&] {
        std::vector<ChangeRecord> records;
        result.set_value(reader->Read(records));
    });
    ::Sleep(100); // most likely blocked in the read by now; either way it must end
    reader->Wake();
    watcher.join();
    EXPECT_FALSE(result.get_future().get());
    std::vector<ChangeRecord> records;
    EXPECT_FALSE(reader->Read(records));
    EXPECT_TRUE(reader->FailureReason().empty()); // woken, not failed
}

TEST(Win32ChangeWatching, AFolderThatCannotBeOpenedGivesNoReader) {
    Win32Platform platform;
    EXPECT_FALSE(platform.ChangeWatching().OpenChangeReader("C:\\no such folder\\", kFilter));
}

} // namespace
} // namespace brimble::win32
