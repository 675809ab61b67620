#include "engine/FilterList.h"
#include "options/OptionsTable.h"
#include "support/EngineFixture.h"

#include <cctype>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace brimble {
namespace {

using enum TCompressAction;
using enum TSmartDecompress;

// ---------------------------------------------------------------- filter texts

struct FilterCase {
    std::string text;
    std::vector<std::string> entries;
};

class FilterListCases : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilterListCases, SplitsAsDescribed) {
    EXPECT_EQ(ParseFilterList(GetParam().text), GetParam().entries)
        << "[" << GetParam().text << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FilterListCases,
    ::testing::Values(FilterCase{"", {}}, FilterCase{"   ", {}}, FilterCase{"a,b", {"a", "b"}},
                      FilterCase{" \t a , b ", {"a", "b"}},
                      // Blanks and control characters end an entry like a comma.
                      FilterCase{"a b\tc\x01"
                                 "d",
                                 {"a", "b", "c", "d"}},
                      FilterCase{"a,,b", {"a", "", "b"}}, FilterCase{"a, ,b", {"a", "", "b"}},
                      FilterCase{",a", {"", "a"}}, FilterCase{"a,", {"a", ""}},
                      FilterCase{"a, ", {"a"}}, FilterCase{",", {"", ""}},
                      FilterCase{",,", {"", "", ""}}, FilterCase{"\"a,b c\",d", {"a,b c", "d"}},
                      FilterCase{"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
                      FilterCase{"\"\",x", {"", "x"}}, FilterCase{"\"ab\"cd", {"ab", "cd"}},
                      FilterCase{"x\"y", {"x\"y"}},
                      // An unclosed quote runs to the end of the text and keeps every character.
                      FilterCase{"a,\"bc d", {"a", "bc d"}}, FilterCase{"\"b\"\"c", {"b\"c"}},
                      FilterCase{"жпг,ТХТ", {"жпг", "ТХТ"}}));

TEST(FilterList, MatchesWholeEntriesIgnoringCase) {
    EXPECT_TRUE(FilterListContains("asm,TXT", "txt"));
    EXPECT_TRUE(FilterListContains("a,,b", ""));
    EXPECT_TRUE(FilterListContains("a,", ""));
    EXPECT_FALSE(FilterListContains("a,b", ""));
    EXPECT_FALSE(FilterListContains("", ""));
    EXPECT_FALSE(FilterListContains(".txt", "txt"));
    EXPECT_FALSE(FilterListContains("txt", "tx"));
    EXPECT_FALSE(FilterListContains("tx", "txt"));
    EXPECT_TRUE(FilterListContains("doc,\"my ext\"", "MY EXT"));
    EXPECT_TRUE(FilterListContains("ДОК,txt", "док"));
}

TEST(FilterList, ExtensionIsTheTextAfterTheLastDot) {
    EXPECT_EQ(FileExtension("a.tar.gz"), "gz");
    EXPECT_EQ(FileExtension(".profile"), "profile");
    EXPECT_EQ(FileExtension("README"), "");
    EXPECT_EQ(FileExtension("name."), "");
    EXPECT_EQ(FileExtension("Отчёт.ДОК"), "ДОК");
}

// ---------------------------------------------------------------- the decision

constexpr uint32_t kCompressed = fa::Compressed;
constexpr uint32_t kEncrypted = fa::Encrypted;
constexpr uint32_t kTemporary = fa::Temporary;
constexpr int64_t kBig = 100'000; // above one cluster, below both limits

struct DecisionCase {
    const char* label;
    std::string name;
    int64_t size;
    uint32_t attr;
    std::function<void(TBrimbleOptions&)> tweak;
    TCompressAction expected;
    std::string dir = "C:\\Data\\";
};

void Policy(TBrimbleOptions& o, TSmartDecompress p) {
    o.SmartDecompress = p;
}

class DecisionTest : public test::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ApplyDefaults(Engine().Options());
        Engine().AddToList(TListKind::lkNever, "NTLDR");
        Engine().AddToList(TListKind::lkNever, "BOOTMGR");
    }

    TCompressAction Decide(const std::string& dir, const std::string& name, int64_t size,
                           uint32_t attr) {
        return Engine().GetCompressAction(dir, TFileAttrRec{name, size, attr});
    }

    // The folders as the option names them (a name with an empty value), expanded as a
    // scan start expands them.
    void ExcludeFolders(const std::vector<std::string>& expanded) {
        std::vector<std::string>& entries = Engine().Options().ExcludeFolders;
        entries.clear();
        for (const std::string& folder : expanded)
            entries.push_back(folder + "=");
        Engine().RebuildExpandedFolders();
    }
};

class DecisionCases : public DecisionTest, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(DecisionCases, GivesTheAction) {
    const DecisionCase& c = GetParam();
    ExcludeFolders({"C:\\Windows\\"});
    if (c.tweak) c.tweak(Engine().Options());
    EXPECT_EQ(Decide(c.dir, c.name, c.size, c.attr), c.expected) << c.label;
}

const auto kNone = [](TBrimbleOptions& o) { Policy(o, sdNone); };
const auto kAll = [](TBrimbleOptions& o) { Policy(o, sdAllButCompress); };
const auto kStrict = [](TBrimbleOptions& o) { o.CompressUnfiltered = false; };
const auto kDecrypt = [](TBrimbleOptions& o) { o.CompressEncrypted = true; };

INSTANTIATE_TEST_SUITE_P(
    Rules, DecisionCases,
    ::testing::Values(
        // Never-compress names win over every other rule and policy.
        DecisionCase{"ntldr", "ntldr", kBig, 0, nullptr, caNone},
        DecisionCase{"ntldr, all policy", "NtLdr", 10, kCompressed | kEncrypted, kAll, caNone},
        DecisionCase{"bootmgr, excluded bit", "bootmgr", kBig, kCompressed, nullptr, caNone},
        DecisionCase{"never names whole only", "ntldr.txt", kBig, 0, nullptr, caCompress},
        // Extensions, with the default filters.
        DecisionCase{"no extension is included", "README", kBig, 0, nullptr, caCompress},
        DecisionCase{"trailing dot", "name.", kBig, 0, nullptr, caCompress},
        DecisionCase{"included", "notes.TXT", kBig, 0, nullptr, caCompress},
        DecisionCase{"unfiltered", "data.qqq", kBig, 0, nullptr, caCompress},
        DecisionCase{"dot file", ".profile", kBig, 0, nullptr, caCompress},
        DecisionCase{"last dot counts", "a.tar.gz", kBig, 0, nullptr, caNone},
        DecisionCase{"non-ASCII name", "Отчёт.TXT", kBig, 0, nullptr, caCompress},
        DecisionCase{"non-ASCII ext", "ärger.ÄÖÜ", kBig, 0, nullptr, caCompress},
        DecisionCase{"unfiltered off", "data.qqq", kBig, 0, kStrict, caNone},
        DecisionCase{"in both filters", "notes.txt", kBig, 0,
                     [](TBrimbleOptions& o) { o.FilterExcluding += ",txt"; }, caCompress},
        DecisionCase{"dotted entry never matches", "notes.txt", kBig, 0,
                     [](TBrimbleOptions& o) {
                         o.FilterIncluding = ".txt";
                         o.CompressUnfiltered = false;
                     },
                     caNone},
        // The excluding filter.
        DecisionCase{"excluded, compressed", "x.zip", kBig, kCompressed, nullptr, caDecompress},
        DecisionCase{"excluded, uncompressed", "x.zip", kBig, 0, nullptr, caNone},
        DecisionCase{"excluded, no decompress", "x.zip", kBig, kCompressed, kNone, caNone},
        DecisionCase{"excluding unused when strict", "x.zip", kBig, kCompressed, kStrict, caNone},
        DecisionCase{"excluded encrypted", "x.zip", kBig, kEncrypted, nullptr, caNone},
        DecisionCase{"exclusion replaces decrypt", "x.zip", kBig, kEncrypted | kCompressed,
                     kDecrypt, caDecompress},
        DecisionCase{"exclusion replaces a decline", "x.zip", 10, kTemporary | kCompressed, nullptr,
                     caDecompress},
        // Encryption and temporary files.
        DecisionCase{"encrypted, decrypt on", "notes.txt", kBig, kEncrypted, kDecrypt,
                     caCompressDecrypted},
        DecisionCase{"encrypted, decrypt off", "notes.txt", kBig, kEncrypted, kNone, caNone},
        DecisionCase{"encrypted, all policy", "notes.txt", kBig, kEncrypted, kAll, caDecompress},
        DecisionCase{"temporary", "notes.txt", kBig, kTemporary, nullptr, caNone},
        DecisionCase{"temporary, all policy", "notes.txt", kBig, kTemporary, kAll, caDecompress},
        // Already compressed.
        DecisionCase{"compressed", "notes.txt", kBig, kCompressed, nullptr, caNone},
        DecisionCase{"compressed, all policy, otherwise wanted", "notes.txt", kBig, kCompressed,
                     kAll, caDecompress},
        DecisionCase{"compressed, all policy, too small", "notes.txt", 100, kCompressed, kAll,
                     caDecompress},
        DecisionCase{"compressed, all policy, excluded folder", "notes.txt", kBig, kCompressed,
                     kAll, caDecompress, "C:\\Windows\\"},
        // One cluster.
        DecisionCase{"one cluster", "notes.txt", 4096, 0, nullptr, caCompress},
        DecisionCase{"below one cluster", "notes.txt", 4095, 0, nullptr, caNone},
        DecisionCase{"below one cluster, all policy", "notes.txt", 4095, 0, kAll, caDecompress},
        DecisionCase{"empty file", "notes.txt", 0, 0, nullptr, caNone},
        // Size limits.
        DecisionCase{"filtered limit", "notes.txt", 268'435'456, 0, nullptr, caCompress},
        DecisionCase{"over filtered limit", "notes.txt", 268'435'457, 0, nullptr, caNone},
        DecisionCase{"unfiltered limit", "x.qqq", 67'108'864, 0, nullptr, caCompress},
        DecisionCase{"over unfiltered limit", "x.qqq", 67'108'865, 0, nullptr, caNone},
        DecisionCase{"filtered file, unfiltered limit", "notes.txt", 67'108'865, 0, nullptr,
                     caCompress},
        DecisionCase{"limit off", "notes.txt", int64_t{1} << 45, 0,
                     [](TBrimbleOptions& o) { o.MaxFileSizeFilteredEnable = false; }, caCompress},
        DecisionCase{"limit over 4 GiB", "notes.txt", (int64_t{5} << 30) + 1, 0,
                     [](TBrimbleOptions& o) { o.MaxFileSizeFiltered = int64_t{5} << 30; }, caNone},
        // Excluded folders.
        DecisionCase{"excluded folder", "notes.txt", kBig, 0, nullptr, caNone,
                     "C:\\Windows\\System32\\"},
        DecisionCase{"excluded folder, case", "notes.txt", kBig, 0, nullptr, caNone,
                     "c:\\WINDOWS\\"},
        DecisionCase{"excluded folder, all policy", "notes.txt", kBig, 0, kAll, caDecompress,
                     "C:\\Windows\\"},
        DecisionCase{"sibling with the same start", "notes.txt", kBig, 0, nullptr, caCompress,
                     "C:\\WindowsApps\\"},
        DecisionCase{"parent of an excluded folder", "notes.txt", kBig, 0, nullptr, caCompress,
                     "C:\\"},
        DecisionCase{"excluded folders off", "notes.txt", kBig, 0,
                     [](TBrimbleOptions& o) { o.ExcludeFoldersEnabled = false; }, caCompress,
                     "C:\\Windows\\"}),
    [](const ::testing::TestParamInfo<DecisionCase>& testCase) {
        std::string name;
        for (const char ch : std::string(testCase.param.label))
            name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        return name;
    });

TEST_F(DecisionTest, FiltersAreReadAfreshAtEveryDecision) {
    EXPECT_EQ(Decide("C:\\Data\\", "x.zip", kBig, 0), caNone);
    Engine().Options().FilterIncluding = "zip";
    EXPECT_EQ(Decide("C:\\Data\\", "x.zip", kBig, 0), caCompress);
    Engine().Options().FilterIncluding.clear();
    Engine().Options().CompressUnfiltered = false;
    EXPECT_EQ(Decide("C:\\Data\\", "README", kBig, 0), caNone);
}

TEST_F(DecisionTest, FolderTestNeedsTheListOfAScanAndTheOption) {
    EXPECT_FALSE(Engine().IsFolderExcluded("C:\\Windows\\")); // before the first scan
    ExcludeFolders({"C:\\Users\\u\\AppData\\Local\\Temp\\", "C:\\Windows\\", ""});
    EXPECT_TRUE(Engine().IsFolderExcluded("C:\\Windows\\System32\\"));
    EXPECT_TRUE(Engine().IsFolderExcluded("c:\\users\\U\\appdata\\local\\temp\\x\\"));
    EXPECT_FALSE(Engine().IsFolderExcluded("C:\\Windows")); // shorter than the entry
    EXPECT_FALSE(Engine().IsFolderExcluded("D:\\Data\\"));  // the empty entry excludes nothing
    // ".." cannot lead past an entry, nor "." and doubled delimiters around it.
    EXPECT_TRUE(Engine().IsFolderExcluded("C:\\Data\\..\\Windows\\Fonts\\"));
    EXPECT_TRUE(Engine().IsFolderExcluded("C:\\.\\Windows\\\\Fonts\\"));
    EXPECT_FALSE(Engine().IsFolderExcluded("C:\\Windows\\..\\Data\\"));

    Engine().Options().ExcludeFoldersEnabled = false;
    EXPECT_FALSE(Engine().IsFolderExcluded("C:\\Windows\\Fonts\\"));
}

TEST_F(DecisionTest, ByNameJudgesTheEntryFoundInItsFolder) {
    sim.AddFile("C:\\Data\\notes.txt", kBig);
    sim.AddFile("C:\\Data\\Ärger\\Отчёт.ДОК", kBig, fa::Archive | fa::Compressed);
    sim.AddFile("C:\\Windows\\setup.log", kBig);
    sim.AddFile("C:\\Data\\small.txt", 10);
    sim.AddDirectory("C:\\Data\\Sub");
    ExcludeFolders({"C:\\Windows\\"});
    TfrmBrimblemain& e = Engine();

    EXPECT_EQ(e.GetCompressAction("C:\\Data\\notes.txt"), caCompress);
    EXPECT_EQ(e.GetCompressAction("C:\\Data\\Ärger\\Отчёт.ДОК"), caNone);
    EXPECT_EQ(e.GetCompressAction("C:\\Windows\\setup.log"), caNone); // its folder is passed on
    EXPECT_EQ(e.GetCompressAction("C:\\Data\\small.txt"), caNone);
    EXPECT_EQ(e.GetCompressAction("C:\\Data\\missing.txt"), caNone);
    EXPECT_EQ(e.GetCompressAction("C:\\Data\\Sub"), caNone); // a folder's entry has size 0
    e.Options().SmartDecompress = sdAllButCompress;
    EXPECT_EQ(e.GetCompressAction("C:\\Data\\Sub"), caDecompress);
    EXPECT_EQ(e.GetCompressAction("C:\\Data\\missing.txt"), caNone);
}

} // namespace
} // namespace brimble
