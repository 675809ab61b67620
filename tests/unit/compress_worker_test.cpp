#include "support/EngineFixture.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace brimble {
namespace {

using enum TCompressAction;

const std::string kFile = "C:\\Data\\report.txt";
const std::string kContent = "the user's words, which no operation may change";
constexpr uint32_t kQuietErrorMode = 0x8007;
constexpr uint32_t kCallersErrorMode = 0x1;

class CompressWorker : public test::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        sim.AddVolume("D:\\", DriveType::Fixed, "FAT32", 4096, "Stick");
        sim.SetErrorMode(kCallersErrorMode);
        Engine().LogFile().SetLogLevel(2);
    }

    std::string LogText() { return sim.Content(Engine().LogFile().FileName()); }
    int LogCount(const std::string& line) {
        const std::string text = LogText();
        int n = 0;
        for (auto pos = text.find(line); pos != std::string::npos; pos = text.find(line, pos + 1))
            ++n;
        return n;
    }
    std::vector<std::string> Delayed() {
        const TCompressList& list = *Engine().CompressList(TListKind::lkDelayed);
        return {list.begin(), list.end()};
    }
    // What every call leaves behind, success or not.
    void ExpectRestored() {
        EXPECT_EQ(sim.ErrorMode(), kCallersErrorMode);
        EXPECT_EQ(view.trayImages, (std::vector<int>{1, 0}));
    }
};

TEST_F(CompressWorker, CompressesAndDecompressesWithoutTouchingTheContent) {
    sim.AddFileWithContent(kFile, kContent);
    EXPECT_TRUE(Engine().TryCompressFile(kFile, caCompress));
    EXPECT_TRUE(sim.IsCompressed(kFile));
    ExpectRestored();
    view.trayImages.clear();

    EXPECT_TRUE(Engine().TryCompressFile(kFile, caDecompress));
    EXPECT_FALSE(sim.IsCompressed(kFile));
    ExpectRestored();
    EXPECT_EQ(sim.Operations(),
              (std::vector<std::string>{"compress " + kFile, "decompress " + kFile}));
    EXPECT_EQ(sim.Content(kFile), kContent);
    EXPECT_EQ(LogCount("Error during"), 0);
}

TEST_F(CompressWorker, ReadOnlyFileIsCompressedAndStaysReadOnly) {
    sim.AddFileWithContent(kFile, kContent, fa::Archive | fa::ReadOnly);
    EXPECT_TRUE(Engine().TryCompressFile(kFile, caCompress));
    EXPECT_TRUE(sim.IsCompressed(kFile));
    EXPECT_TRUE(sim.Attributes(kFile) & fa::ReadOnly);
    EXPECT_EQ(sim.Operations(),
              (std::vector<std::string>{"setattr " + kFile + " 0x20", "compress " + kFile,
                                        "setattr " + kFile + " 0x21"}));
    EXPECT_EQ(sim.Content(kFile), kContent);
}

TEST_F(CompressWorker, EncryptedFileIsDecryptedThenCompressed) {
    sim.AddFile(kFile, 100'000, fa::Archive | fa::Encrypted);
    EXPECT_TRUE(Engine().TryCompressFile(kFile, caCompressDecrypted));
    EXPECT_FALSE(sim.IsEncrypted(kFile));
    EXPECT_TRUE(sim.IsCompressed(kFile));
    EXPECT_EQ(sim.Operations(),
              (std::vector<std::string>{"decrypt " + kFile, "compress " + kFile}));
}

// ---------------------------------------------------------------- failures

struct FailureCase {
    std::string name;
    std::string path;
    std::function<void(sim::SimPlatform&, const std::string&)> arrange;
    TCompressAction action;
    std::string reason; // the system's text in the error line
    bool queued;        // goes on the delayed list
};

std::ostream& operator<<(std::ostream& os, const FailureCase& c) {
    return os << c.name;
}

class CompressWorkerFailure : public CompressWorker,
                              public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CompressWorkerFailure, IsLoggedQueuedByActionAndChangesNothing) {
    const FailureCase& c = GetParam();
    c.arrange(sim, c.path);
    const std::string contentBefore = sim.Content(c.path);
    const uint32_t attrBefore = sim.Attributes(c.path);

    EXPECT_FALSE(Engine().TryCompressFile(c.path, c.action));

    EXPECT_EQ(LogCount("\tError during compress/decompress file \"" + c.path + "\": " + c.reason +
                       "\r\n"),
              1)
        << LogText();
    EXPECT_EQ(LogCount("\tAdded to Delayed Compress List\r\n"), c.queued ? 1 : 0);
    EXPECT_EQ(Delayed().size(), c.queued ? 1u : 0u);
    if (c.queued) {
        EXPECT_EQ(TCompressList::NameOf(Delayed().front()), c.path);
    }
    ExpectRestored();
    EXPECT_EQ(sim.Content(c.path), contentBefore);
    EXPECT_EQ(sim.Attributes(c.path), attrBefore);
    const std::vector<std::string> ops = sim.Operations();
    EXPECT_TRUE(std::none_of(ops.begin(), ops.end(),
                             [](const std::string& op) { return op.starts_with("compress"); }));
}

void Locked(sim::SimPlatform& s, const std::string& p) {
    s.AddFileWithContent(p, kContent);
    s.SetLocked(p, true);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompressWorkerFailure,
    ::testing::Values(
        FailureCase{"Locked", kFile, Locked, caCompress,
                    "The process cannot access the file because it is being used by another "
                    "process",
                    true},
        FailureCase{"LockedReadOnly", kFile,
                    [](sim::SimPlatform& s, const std::string& p) {
                        s.AddFileWithContent(p, kContent, fa::Archive | fa::ReadOnly);
                        s.SetLocked(p, true);
                    },
                    caCompress,
                    "The process cannot access the file because it is being used by another "
                    "process",
                    true},
        FailureCase{"Vanished", kFile,
                    [](sim::SimPlatform& s, const std::string& p) {
                        s.AddFile(p, 100'000);
                        s.RemoveFile(p);
                    },
                    caCompress, "The system cannot find the file specified", true},
        FailureCase{
            "NoCompressionOnVolume", "D:\\report.txt",
            [](sim::SimPlatform& s, const std::string& p) { s.AddFileWithContent(p, kContent); },
            caCompress, "Incorrect function", true},
        FailureCase{"DecryptionRefused", kFile,
                    [](sim::SimPlatform& s, const std::string& p) {
                        s.AddFile(p, 100'000, fa::Archive | fa::Encrypted | fa::ReadOnly);
                        s.SetDecryptRefused(p, true);
                    },
                    caCompressDecrypted, "Access is denied", true},
        FailureCase{"LockedDecompress", kFile,
                    [](sim::SimPlatform& s, const std::string& p) {
                        s.AddFileWithContent(p, kContent, fa::Archive | fa::Compressed);
                        s.SetLocked(p, true);
                    },
                    caDecompress,
                    "The process cannot access the file because it is being used by another "
                    "process",
                    false}),
    [](const auto& tc) { return tc.param.name; });

TEST_F(CompressWorker, RefusedDecryptionNeitherDecryptsNorCompresses) {
    sim.AddFile(kFile, 100'000, fa::Archive | fa::Encrypted);
    sim.SetDecryptRefused(kFile, true);
    EXPECT_FALSE(Engine().TryCompressFile(kFile, caCompressDecrypted));
    EXPECT_TRUE(sim.IsEncrypted(kFile));
    EXPECT_FALSE(sim.IsCompressed(kFile));
    EXPECT_TRUE(sim.Operations().empty());
}

TEST_F(CompressWorker, RepeatedFailureLogsAgainButQueuesOnce) {
    Locked(sim, kFile);
    EXPECT_FALSE(Engine().TryCompressFile(kFile, caCompress));
    const std::vector<std::string> first = Delayed();
    sim.AdvanceMilliseconds(3 * 86'400'000); // a later day must not refresh the stamp
    EXPECT_FALSE(Engine().TryCompressFile(kFile, caCompress));

    EXPECT_EQ(Delayed(), first);
    EXPECT_EQ(LogCount("\tAdded to Delayed Compress List\r\n"), 2);
    EXPECT_EQ(LogCount("\tError during compress/decompress file"), 2);
}

// ---------------------------------------------------------------- the delayed list

TEST_F(CompressWorker, SuccessRemovesTheDelayedEntry) {
    sim.AddFile(kFile, 100'000);
    QueueAt(TListKind::lkDelayed, "C:\\DATA\\REPORT.TXT", 46000.5);
    QueueAt(TListKind::lkDelayed, "C:\\Data\\other.txt", 46000.5);
    EXPECT_TRUE(Engine().TryCompressFile(kFile, caCompress));
    EXPECT_EQ(Delayed(), (std::vector<std::string>{"C:\\Data\\other.txt=46000"}));
}

TEST_F(CompressWorker, NoneRemovesTheDelayedEntryWithoutTouchingTheFile) {
    sim.AddFileWithContent(kFile, kContent, fa::Archive | fa::ReadOnly);
    sim.SetLocked(kFile, true); // any access would fail
    QueueAt(TListKind::lkDelayed, kFile, 46000.5);

    EXPECT_TRUE(Engine().TryCompressFile(kFile, caNone));
    EXPECT_TRUE(Delayed().empty());
    EXPECT_TRUE(sim.Operations().empty());
    EXPECT_TRUE(view.trayImages.empty());
    EXPECT_EQ(sim.ErrorMode(), kCallersErrorMode);
    EXPECT_EQ(LogCount("\tAction: NONE. Try Remove From Delayed List\r\n"), 1);
    EXPECT_EQ(LogCount("Error during"), 0);
}

TEST_F(CompressWorker, FailedDecompressLeavesTheDelayedListAlone) {
    sim.AddFile(kFile, 100'000, fa::Archive | fa::Compressed);
    sim.SetLocked(kFile, true);
    QueueAt(TListKind::lkDelayed, kFile, 46000.5);
    EXPECT_FALSE(Engine().TryCompressFile(kFile, caDecompress));
    EXPECT_EQ(Delayed(), (std::vector<std::string>{kFile + "=46000"}));
}

TEST_F(CompressWorker, CallerMayHoldTheCriticalSectionAlready) {
    sim.AddFile(kFile, 100'000);
    sim.SetLocked(kFile, true);
    Engine().Options().FilterIncluding = "txt";
    // The smart queue holds the lock while the file goes through the decision to the worker,
    // whose failure takes it again to queue the file.
    Engine().SmartCompress(kFile);
    EXPECT_EQ(LogCount("\tError during compress/decompress file"), 1);
    EXPECT_EQ(Delayed().size(), 1u);
}

// ---------------------------------------------------------------- a worker that throws

TEST_F(CompressWorker, WorkerThatThrowsIsAFailureAndRestoresTheFile) {
    sim.AddFileWithContent(kFile, kContent, fa::Archive | fa::ReadOnly);
    sim.SetCompressionThrows(kFile, true);
    Engine().LogFile().SetLogLevel(1);

    EXPECT_FALSE(Engine().TryCompressFile(kFile, caCompress));

    ASSERT_TRUE(sim.LastCompressionThread().has_value());
    EXPECT_NE(*sim.LastCompressionThread(), std::this_thread::get_id());
    EXPECT_NE(sim.Content(Engine().LogFile().FileName())
                  .find("Error during compress/decompress file \"" + kFile + "\": device gone"),
              std::string::npos);
    EXPECT_EQ(Engine().CompressList(TListKind::lkDelayed)->Count(), 1u);
    EXPECT_EQ(sim.Attributes(kFile), fa::Archive | fa::ReadOnly);
    EXPECT_EQ(sim.Content(kFile), kContent);
    ExpectRestored();
}

// ---------------------------------------------------------------- error mode

// A view that notes the process error mode when the busy tray image appears.
class ErrorModeView : public test::RecordingView {
public:
    explicit ErrorModeView(sim::SimPlatform& s) : FSim(s) {}
    void SetTrayIconImage(int index) override {
        RecordingView::SetTrayIconImage(index);
        if (index == 1) modeWhileBusy = FSim.ErrorMode();
    }
    uint32_t modeWhileBusy = 0;

private:
    sim::SimPlatform& FSim;
};

TEST_F(CompressWorker, QuietErrorModeWhileTheFileIsTouched) {
    sim.AddFile(kFile, 100'000);
    ErrorModeView quietView(sim);
    TfrmBrimblemain quiet(sim, loop, quietView, ComputeProgramFolders(sim));
    EXPECT_TRUE(quiet.TryCompressFile(kFile, caCompress));
    EXPECT_EQ(quietView.modeWhileBusy, kQuietErrorMode);
    EXPECT_EQ(sim.ErrorMode(), kCallersErrorMode);
}

TEST(SetFileCompression, ReportsTheSystemErrorOfTheRequest) {
    sim::SimPlatform s;
    s.AddVolume("C:\\", DriveType::Fixed);
    s.AddFile(kFile, 100'000);
    int code = 0;
    EXPECT_TRUE(SetFileCompression(s, kFile, true, &code));
    EXPECT_TRUE(s.IsCompressed(kFile));
    EXPECT_FALSE(SetFileCompression(s, "C:\\Data\\missing.txt", true, &code));
    EXPECT_EQ(code, sim::err::FileNotFound);
}

TEST(CompressThreadProc, LeavesAFileToBeLeftAloneUntouched) {
    sim::SimPlatform s;
    s.AddVolume("C:\\", DriveType::Fixed);
    s.AddFile(kFile, 100'000, fa::Archive | fa::ReadOnly);
    TFileCompressRec rec;
    rec.FileName = kFile;
    rec.Action = caNone;
    CompressThreadProc(s, rec);
    EXPECT_TRUE(rec.ResultSuccess);
    EXPECT_TRUE(s.Operations().empty());
}

} // namespace
} // namespace brimble
