// Rule export then import gives the same rules (the import report is in commands.txt).

#include "cli_runner.h"

namespace tamsel::clitest {
namespace {

class BulkTest : public CliTest {
 protected:
  // Rules whose memo starts with the prefix, as rule files, in id order.
  Json Stored(const std::string& db, const std::string& memo_prefix) {
    return RunJson(
        {"rule", "export", "--format", "json", "--filter", "cMemo like '" + memo_prefix + "%'"},
        db);
  }
};

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
    if (format == "csv") {
      EXPECT_TRUE(Slurp(file).starts_with("\xEF\xBB\xBF"));
    }
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
