// End-to-end runs of rule import and rule export.

#include "cli_runner.h"

namespace tamsel::clitest {
namespace {

using ::testing::HasSubstr;

constexpr const char* kHeader =
    "rule,cVenCode,cInvCode,dEnableDate,dDisableDate,cMemo,iLowerLimit,iUpperLimit,iUnitPrice,"
    "iTaxRate,iTaxUnitPrice\n";

class BulkTest : public CliTest {
 protected:
  // Rules whose memo starts with the prefix, as rule files, in id order.
  Json Stored(const std::string& db, const std::string& memo_prefix) {
    return RunJson(
        {"rule", "export", "--format", "json", "--filter", "cMemo like '" + memo_prefix + "%'"},
        db);
  }
};

TEST_F(BulkTest, ImportStoresGoodRulesAndReportsEachRefusedOneByLine) {
  const std::string db = DemoDb();
  const std::string memo = "\"zq, \"\"one\"\"\nsecond line\"";
  WriteFile(Path("in.csv"),
            std::string(kHeader) +
                // line 2-3: good, two tiers, a memo with a comma, quotes and a line break
                "good,V001,B02,2027-01-01,," + memo + ",0,100,3,13,3.39\n" +
                "good,V001,B02,2027-01-01,," + memo + ",100,,2.8,13,3.164\n" +
                "item,V001,ZZZ,2027-01-01,,zq bad item,0,,1,13,1.13\n"  // 6: unknown item
                // line 7-8: a gap between the tiers, found by verification on its 2nd tier
                "gap,V002,B01,2027-01-01,,zq gap,0,10,1,13,1.13\n"
                "gap,V002,B01,2027-01-01,,zq gap,12,,1,13,1.13\n"
                // line 9-10: the second line disagrees about the rule's vendor
                "mixed,V002,B01,2027-05-01,,zq mixed,0,10,1,13,1.13\n"
                "mixed,V001,B01,2027-05-01,,zq mixed,10,,1,13,1.13\n"
                "num,V002,B01,2027-06-01,,zq num,0,,abc,13,1\n"  // 11: not a number
                ",V002,B01,2027-06-01,,zq key,0,,1,13,1.13\n"    // 12: no key
                // line 13: good, single tier, rows may come in any order of keys
                "other,V002,B01,2027-01-01,,zq other,0,,5,13,5.65\n");
  const Result r = Run({"rule", "import", "in.csv", "--db", db, "--json"});
  EXPECT_EQ(r.code, 1) << r.err;
  const Json report = r.json();
  EXPECT_EQ(report["imported"], 2);
  std::map<int, std::string> refused;
  for (const auto& entry : report["refused"]) refused[entry["line"]] = entry["message"];
  ASSERT_EQ(refused.size(), 5u) << r.out;
  EXPECT_THAT(refused[6], HasSubstr("ZZZ"));
  EXPECT_TRUE(refused.count(7));
  EXPECT_THAT(refused[10], HasSubstr("cVenCode differs"));
  EXPECT_THAT(refused[11], HasSubstr("iUnitPrice"));
  EXPECT_THAT(refused[12], HasSubstr("rule column is empty"));

  // Nothing of a refused rule is stored; the good ones are whole.
  const Json stored = Stored(db, "zq");
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0]["cMemo"], "zq, \"one\"\nsecond line");
  EXPECT_EQ(stored[0]["ruleItems"].size(), 2u);
  EXPECT_EQ(stored[1]["cMemo"], "zq other");

  // The text report names the same lines, and the exit code still says something was refused.
  const Result again = Run({"rule", "import", "in.csv", "--db", db, "--lang", "zh-CN"});
  EXPECT_EQ(again.code, 1);
  EXPECT_THAT(again.out, HasSubstr("line 2: "));  // now a duplicate
  EXPECT_THAT(again.out, HasSubstr("line 6: "));
  EXPECT_EQ(Stored(db, "zq").size(), 2u);
}

TEST_F(BulkTest, ExportThenImportGivesTheSameRules) {
  const std::string db = DemoDb();
  // Texts that a careless CSV writer would break.
  const std::vector<std::string> memos = {"rt plain",       "rt, comma",
                                          "rt \"q\" 's'",   "rt line\nbreak\r\nand crlf",
                                          "rt  trailing  ", "rt 六角扳手"};
  Json rules = Json::array();
  for (size_t i = 0; i < memos.size(); ++i) {
    rules.push_back({{"cVenCode", "V002"},
                     {"cInvCode", "B02"},
                     {"dEnableDate", "2028-0" + std::to_string(i + 1) + "-01"},
                     {"dDisableDate", "2028-0" + std::to_string(i + 2) + "-01"},
                     {"cMemo", memos[i]},
                     {"bPromotion", i % 2 == 0},
                     {"ruleItems",
                      {{{"iUpperLimit", 10.5}, {"iUnitPrice", 1.125}, {"iTaxUnitPrice", 1.27125}},
                       {{"iUnitPrice", 0.1 + 0.2}, {"iTaxRate", 0}, {"iTaxUnitPrice", 0.3}}}}});
  }
  WriteFile(Path("seed.json"), rules.dump());
  RunJson({"rule", "import", "seed.json"}, db);
  auto without_ids = [](Json list) {
    for (auto& rule : list) {
      rule.erase("id");
      rule.erase("ufts");
    }
    return list;
  };
  const Json before = without_ids(Stored(db, "rt"));
  ASSERT_EQ(before.size(), memos.size());
  for (const std::string format : {"csv", "json"}) {
    const std::string file = Path("rules." + format), target = DemoDb("target-" + format + ".db");
    ASSERT_EQ(
        Run({"rule", "export", "--db", db, "--filter", "cMemo like 'rt%'", "--output", file}).code,
        0);
    EXPECT_EQ(RunJson({"rule", "import", file}, target)["imported"], memos.size());
    EXPECT_EQ(without_ids(Stored(target, "rt")), before) << format;
  }
  // Export goes to stdout by default, as CSV with the header import reads.
  const Result out = Run({"rule", "export", "--db", db, "--filter", "cMemo = 'rt plain'"});
  ASSERT_EQ(out.code, 0);
  EXPECT_EQ(out.out.rfind("rule,cVenCode,cInvCode,", 0), 0u);
}

}  // namespace
}  // namespace tamsel::clitest
