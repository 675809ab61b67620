#include "engine/TCompressList.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace brimble {
namespace {

namespace posix_like {
// Paths compared byte for byte, as on Linux.
struct ExactRules final : IPathRules {
    int Compare(std::string_view a, std::string_view b) const override { return a.compare(b); }
    bool IsAtOrBelow(std::string_view path, std::string_view folder) const override {
        return path.starts_with(folder);
    }
    std::string Normalize(std::string_view path) const override { return std::string(path); }
};
} // namespace posix_like

std::vector<std::string> Entries(const TCompressList& list) {
    return {list.begin(), list.end()};
}

TEST(TCompressList, KeepsEntriesSortedIgnoringCaseAndRefusesCaseDuplicates) {
    sim::SimPlatform sim;
    TCompressList list(sim.PathRules());
    EXPECT_TRUE(list.Add("ntldr"));
    EXPECT_TRUE(list.Add("BOOTMGR"));
    EXPECT_FALSE(list.Add("NTLDR"));
    EXPECT_TRUE(list.Add("_setup.log"));
    EXPECT_TRUE(list.Add("Ärger.txt"));
    EXPECT_FALSE(list.Add("ärger.TXT"));
    EXPECT_EQ(Entries(list),
              (std::vector<std::string>{"_setup.log", "BOOTMGR", "ntldr", "Ärger.txt"}));

    EXPECT_EQ(list.IndexOf("NtLdR"), 2u);
    EXPECT_TRUE(list.Contains("bootmgr"));
    EXPECT_FALSE(list.Contains("boot"));
    EXPECT_EQ(list.IndexOf("zzz"), TCompressList::npos);
}

TEST(TCompressList, FindsByTheNameBeforeTheLastEquals) {
    sim::SimPlatform sim;
    TCompressList list(sim.PathRules());
    list.Add("C:\\a=b\\file.txt=46000");
    list.Add("C:\\Data\\report.doc=45999");
    list.Add("no stamp");
    list.Add("=46001");

    const auto withEquals = list.IndexOfName("c:\\A=B\\FILE.TXT");
    ASSERT_NE(withEquals, TCompressList::npos);
    EXPECT_EQ(TCompressList::ValueOf(list[withEquals]), "46000");
    EXPECT_EQ(TCompressList::NameOf(list[list.IndexOfName("C:\\DATA\\Report.doc")]),
              "C:\\Data\\report.doc");
    EXPECT_EQ(list.IndexOfName("C:\\a"), TCompressList::npos);

    // An entry without "=" has an empty name, as has one that starts with it.
    EXPECT_EQ(TCompressList::NameOf("no stamp"), "");
    EXPECT_EQ(TCompressList::ValueOf("no stamp"), "");
    EXPECT_EQ(list[list.IndexOfName("")], "=46001"); // the first match in list order
    TCompressList bare(sim.PathRules());             // a never list's entries have no "="
    bare.Add("NTLDR");
    EXPECT_EQ(bare.IndexOfName(""), 0u);
}

// The look-up by name is a search in the sorted entries: names that begin alike, exact
// letter case where the platform keeps it, and a long list.
TEST(TCompressList, FindsANameAmongNamesThatBeginAlike) {
    posix_like::ExactRules exact;
    for (const IPathRules* rules :
         {static_cast<const IPathRules*>(&exact), static_cast<const IPathRules*>(nullptr)}) {
        sim::SimPlatform sim;
        TCompressList list(rules ? *rules : sim.PathRules());
        for (const char* e : {"/d/a.txt.bak=1", "/d/a.txtx=2", "/d/a.txt=3", "/d/a=4"})
            list.Add(e);
        for (int i = 0; i < 5000; ++i)
            list.Add("/d/many/" + std::to_string(i) + "=5");
        EXPECT_EQ(list[list.IndexOfName("/d/a.txt")], "/d/a.txt=3");
        EXPECT_EQ(list[list.IndexOfName("/d/a")], "/d/a=4");
        EXPECT_EQ(list[list.IndexOfName("/d/many/4321")], "/d/many/4321=5");
        EXPECT_EQ(list.IndexOfName("/d/a.tx"), TCompressList::npos);
        EXPECT_EQ(list.IndexOfName("/D/A.TXT") != TCompressList::npos, rules == nullptr);
    }
}

TEST(TCompressList, DeletesByIndexAndClears) {
    sim::SimPlatform sim;
    TCompressList list(sim.PathRules());
    for (const char* e : {"c", "a", "b"})
        list.Add(e);
    list.Delete(1);
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"a", "c"}));
    EXPECT_THROW(list.Delete(2), std::out_of_range);
    EXPECT_THROW(list[5], std::out_of_range);
    EXPECT_EQ(list.Count(), 2u);
    list.Clear();
    EXPECT_TRUE(list.Empty());
    EXPECT_TRUE(list.Add("A")); // a cleared list takes entries again
}

} // namespace
} // namespace brimble
