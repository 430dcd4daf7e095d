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
    Result r = Run({"rule", "export", "--db", db, "--format", "json", "--filter",
                    "cMemo like '" + memo_prefix + "%'"});
    EXPECT_EQ(r.code, 0) << r.err;
    return r.code == 0 ? r.json() : Json::array();
  }
};

TEST_F(BulkTest, ImportStoresGoodRulesAndReportsEachRefusedOneByLine) {
  std::string db = DemoDb();
  std::string csv = std::string(kHeader) +
                    // line 2-3: good, two tiers, a memo with a comma, quotes and a line break
                    "good,V001,B02,2027-01-01,,\"zq, \"\"one\"\"\nsecond line\",0,100,3,13,3.39\n"
                    "good,V001,B02,2027-01-01,,\"zq, \"\"one\"\"\nsecond line\",100,,2.8,13,3.164\n"
                    // line 6: unknown item
                    "item,V001,ZZZ,2027-01-01,,zq bad item,0,,1,13,1.13\n"
                    // line 7-8: a gap between the tiers, found by verification on its 2nd tier
                    "gap,V002,B01,2027-01-01,,zq gap,0,10,1,13,1.13\n"
                    "gap,V002,B01,2027-01-01,,zq gap,12,,1,13,1.13\n"
                    // line 9-10: the second line disagrees about the rule's vendor
                    "mixed,V002,B01,2027-05-01,,zq mixed,0,10,1,13,1.13\n"
                    "mixed,V001,B01,2027-05-01,,zq mixed,10,,1,13,1.13\n"
                    // line 11: not a number
                    "num,V002,B01,2027-06-01,,zq num,0,,abc,13,1\n"
                    // line 12: no key
                    ",V002,B01,2027-06-01,,zq key,0,,1,13,1.13\n"
                    // line 13: good, single tier, rows may come in any order of keys
                    "other,V002,B01,2027-01-01,,zq other,0,,5,13,5.65\n";
  WriteFile(Path("in.csv"), csv);
  Result r = Run({"rule", "import", "in.csv", "--db", db, "--json"});
  EXPECT_EQ(r.code, 1) << r.err;
  Json report = r.json();
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
  Json stored = Stored(db, "zq");
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0]["cMemo"], "zq, \"one\"\nsecond line");
  EXPECT_EQ(stored[0]["ruleItems"].size(), 2u);
  EXPECT_EQ(stored[1]["cMemo"], "zq other");

  // The text report names the same lines, and the exit code still says something was refused.
  Result again = Run({"rule", "import", "in.csv", "--db", db, "--lang", "zh-CN"});
  EXPECT_EQ(again.code, 1);
  EXPECT_THAT(again.out, HasSubstr("line 2: "));  // now a duplicate
  EXPECT_THAT(again.out, HasSubstr("line 6: "));
  EXPECT_EQ(Stored(db, "zq").size(), 2u);
}

TEST_F(BulkTest, ImportReadsSpreadsheetCsvAndJsonFromStdin) {
  std::string db = DemoDb();
  // Byte-order mark, CRLF line ends, column names in another case and order, a blank line.
  std::string csv =
      "\xEF\xBB\xBFRULE,cinvcode,CVENCODE,iTaxUnitPrice,iUnitPrice,cMemo,dEnableDate\r\n"
      "k1,B02,V002,3.39,3,\"zq crlf\",2028-01-01\r\n"
      "\r\n";
  WriteFile(Path("excel.csv"), csv);
  Result r = Run({"rule", "import", "excel.csv", "--db", db, "--json"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  Json stored = Stored(db, "zq crlf");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0]["cMemo"], "zq crlf");
  EXPECT_EQ(stored[0]["ruleItems"].size(), 1u);

  Json one = {{"cVenCode", "V002"},
              {"cInvCode", "B02"},
              {"dEnableDate", "2029-01-01"},
              {"cMemo", "zq stdin"},
              {"ruleItems", {{{"iUnitPrice", 3}, {"iTaxUnitPrice", 3.39}}}}};
  Result piped = Run({"rule", "import", "-", "--format", "json", "--db", db}, one.dump());
  EXPECT_EQ(piped.code, 0) << piped.out << piped.err;
  EXPECT_EQ(Stored(db, "zq stdin").size(), 1u);
}

TEST_F(BulkTest, ImportRefusesAMalformedFileBeforeStoringAnything) {
  std::string db = DemoDb();
  struct Case {
    std::string text;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"rule,cVenCode,colour\n", "unknown column \"colour\""},
      {"cVenCode,cInvCode\nV001,A01\n", "no \"rule\" column"},
      {std::string(kHeader) + "a,V001,B02,2027-01-01,,\"open quote,0,,1,13,1.13\n", "not closed"},
      {std::string(kHeader) + "a,V001,B02,2027-01-01,,ab\"c,0,,1,13,1.13\n", "quote"},
      {"", "no header"},
      {std::string(kHeader) + "a,V001,B02,2027-01-01,,\"x\n\xC3(\",0,,1,13,1.13\n",
       "line 3: the text is not UTF-8"},
  };
  for (const auto& c : cases) {
    WriteFile(Path("bad.csv"), c.text);
    Result r = Run({"rule", "import", "bad.csv", "--db", db});
    EXPECT_EQ(r.code, 1) << c.text;
    EXPECT_THAT(r.err, HasSubstr(c.says)) << c.text;
  }
  EXPECT_EQ(Stored(db, "").size(), 6u);  // the demo's own rules only
}

TEST_F(BulkTest, DryRunChecksWithoutStoring) {
  std::string db = DemoDb();
  // Overlaps the demo's open-ended rule 1 (V001/A01 from 2026-01-01).
  std::string csv = std::string(kHeader) + "x,V001,A01,2027-01-01,,dry overlap,0,,1,13,1.13\n" +
                    "y,V002,B02,2027-01-01,,dry fine,0,,1,13,1.13\n";
  WriteFile(Path("dry.csv"), csv);
  Result plain = Run({"rule", "import", "dry.csv", "--db", db, "--dry-run", "--json"});
  EXPECT_EQ(plain.code, 0) << plain.out << plain.err;
  Result checked =
      Run({"rule", "import", "dry.csv", "--db", db, "--dry-run", "--check-overlap", "--json"});
  EXPECT_EQ(checked.code, 1);
  ASSERT_EQ(checked.json()["refused"].size(), 1u);
  EXPECT_EQ(checked.json()["refused"][0]["line"], 2);
  EXPECT_EQ(Stored(db, "dry").size(), 0u);

  // Stored for real, the overlap check refuses the same rule.
  Result real = Run({"rule", "import", "dry.csv", "--db", db, "--check-overlap", "--json"});
  EXPECT_EQ(real.code, 1);
  EXPECT_EQ(real.json()["imported"], 1);
  EXPECT_EQ(Stored(db, "dry").size(), 1u);
}

TEST_F(BulkTest, ExportThenImportGivesTheSameRules) {
  std::string db = DemoDb();
  // Texts that a careless CSV writer would break.
  Json rules = Json::array();
  const std::vector<std::string> memos = {"rt plain",
                                          "rt, comma",
                                          "rt \"quoted\" 'single'",
                                          "rt line\nbreak\r\nand crlf",
                                          "rt  trailing blanks  ",
                                          "rt 六角扳手"};
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
  Result seeded = Run({"rule", "import", "seed.json", "--db", db});
  ASSERT_EQ(seeded.code, 0) << seeded.out << seeded.err;
  Json before = Stored(db, "rt");
  ASSERT_EQ(before.size(), memos.size());

  auto strip = [](Json list) {
    for (auto& rule : list) {
      rule.erase("id");
      rule.erase("ufts");
    }
    return list;
  };
  for (const std::string format : {"csv", "json"}) {
    std::string file = Path("rules." + format);
    Result exported =
        Run({"rule", "export", "--db", db, "--filter", "cMemo like 'rt%'", "--output", file});
    ASSERT_EQ(exported.code, 0) << exported.err;
    std::string target = DemoDb("target-" + format + ".db");
    Result imported = Run({"rule", "import", file, "--db", target, "--json"});
    ASSERT_EQ(imported.code, 0) << imported.out << imported.err;
    EXPECT_EQ(imported.json()["imported"], memos.size());
    EXPECT_EQ(strip(Stored(target, "rt")), strip(before)) << format;
  }

  // Export goes to stdout by default, as CSV with the header import reads.
  Result out = Run({"rule", "export", "--db", db, "--filter", "cMemo = 'rt plain'"});
  ASSERT_EQ(out.code, 0);
  EXPECT_EQ(out.out.rfind("rule,cVenCode,cInvCode,", 0), 0u);
}

}  // namespace
}  // namespace tamsel::clitest
