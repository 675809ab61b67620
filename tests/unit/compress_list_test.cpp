#include "engine/TCompressList.h"
#include "platform/sim/SimPlatform.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
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

// Look-ups go through a hash that must agree with the platform's rule: names that begin
// alike, letter case (a folded one too) where the platform ignores it and exact where it
// keeps it, and a long list.
TEST(TCompressList, FindsANameUnderThePlatformsRule) {
    posix_like::ExactRules exact;
    for (const IPathRules* rules :
         {static_cast<const IPathRules*>(&exact), static_cast<const IPathRules*>(nullptr)}) {
        sim::SimPlatform sim;
        const bool caseless = rules == nullptr;
        TCompressList list(rules ? *rules : sim.PathRules());
        for (const char* e :
             {"/d/a.txt.bak=1", "/d/a.txtx=2", "/d/a.txt=3", "/d/a=4", "/d/Ärger.txt=5"})
            list.Add(e);
        for (int i = 0; i < 5000; ++i)
            list.Add("/d/many/" + std::to_string(i) + "=5");
        EXPECT_EQ(list[list.IndexOfName("/d/a.txt")], "/d/a.txt=3");
        EXPECT_EQ(list[list.IndexOfName("/d/a")], "/d/a=4");
        EXPECT_EQ(list[list.IndexOfName("/d/many/4321")], "/d/many/4321=5");
        EXPECT_EQ(list.IndexOfName("/d/a.tx"), TCompressList::npos);
        EXPECT_EQ(list.IndexOfName("/D/A.TXT") != TCompressList::npos, caseless);
        EXPECT_EQ(list.IndexOfName("/d/ärger.TXT") != TCompressList::npos, caseless);
        EXPECT_EQ(list.Contains("/D/MANY/7=5"), caseless);
        EXPECT_EQ(list.Add("/D/A=4"), !caseless);
    }
}

// The blocks, their counts and the index against a plain sorted vector searched from the
// front, through enough additions and deletions to split and join blocks: order,
// positions and look-ups stay the same.
TEST(TCompressList, AgreesWithASortedVectorThroughManyChanges) {
    posix_like::ExactRules exact;
    for (const IPathRules* rules :
         {static_cast<const IPathRules*>(&exact), static_cast<const IPathRules*>(nullptr)}) {
        sim::SimPlatform sim;
        const IPathRules& rule = rules ? *rules : sim.PathRules();
        TCompressList list(rule);
        std::vector<std::string> model;
        const auto modelIndexOfName = [&](std::string_view name) {
            for (std::size_t i = 0; i < model.size(); ++i)
                if (rule.Same(TCompressList::NameOf(model[i]), name)) return i;
            return TCompressList::npos;
        };
        std::mt19937 random(7);
        for (int step = 0; step < 12000; ++step) {
            // Mostly additions first, then mostly deletions: the list grows past many blocks
            // and shrinks again.
            const bool add = model.empty() || random() % 100 < (step < 6000 ? 75u : 20u);
            if (add) {
                const unsigned n = random() % 4000;
                std::string entry = (n % 3 ? "/D/f" : "/d/F") + std::to_string(n) + "=" +
                                    std::to_string(random() % 2);
                const bool known = std::any_of(model.begin(), model.end(),
                                               [&](const auto& e) { return rule.Same(e, entry); });
                ASSERT_EQ(list.Add(entry), !known) << entry;
                if (!known)
                    model.insert(
                        std::find_if(model.begin(), model.end(),
                                     [&](const auto& e) { return rule.Compare(e, entry) > 0; }),
                        entry);
            } else {
                const std::size_t at = random() % model.size();
                list.Delete(at);
                model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
            }
            ASSERT_EQ(list.Count(), model.size());
            if (step % 500 == 0) {
                ASSERT_EQ(Entries(list), model) << "step " << step;
            }
            const std::string probe = "/d/f" + std::to_string(random() % 4000);
            ASSERT_EQ(list.IndexOfName(probe), modelIndexOfName(probe)) << probe;
            if (!model.empty()) {
                const std::size_t at = random() % model.size();
                ASSERT_EQ(list[at], model[at]);
                ASSERT_EQ(list.IndexOf(model[at]), at);
            }
        }
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
