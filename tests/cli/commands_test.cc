// End-to-end runs of the tamsel tool: exit codes, the demo, look-ups and the rule-file round trip.

#include <filesystem>

#include "cli_runner.h"

namespace tamsel::clitest {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

TEST_F(CliTest, UsageErrorsExitWithTwoAndSayWhy) {
  std::string db = DemoDb();
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{}, "subcommand"},
      {{"rule"}, "subcommand"},
      {{"bogus"}, "subcommand"},
      {{"price", "--db", db, "--vendor", "V001", "--item", "A01"}, "--qty"},
      {{"price", "--db", db, "--vendor", "V001", "--item", "A01", "--qty", "1e"}, "number"},
      {{"price", "--db", db, "--vendor", "V001", "--item", "A01", "--qty", "nan"}, "number"},
      {{"rule", "find", "--db", db, "--vendor", "V", "--item", "I", "--date", "2026-02-30"},
       "yyyy-MM-dd"},
      {{"rule", "find", "--db", db, "--vendor", "V", "--item", "I", "--date", "06.12.2026"},
       "yyyy-MM-dd"},
      {{"--lang", "fr", "rule", "list", "--db", db}, "fr"},
      {{"price", "--db", db, "--vendor", "V", "--item", "I", "--qty", "1", "--free", "11=X"},
       "1 to 10"},
      {{"price", "--db", db, "--vendor", "V", "--item", "I", "--qty", "1", "--free", "RED"},
       "N=VALUE"},
      {{"price", "--db", db, "--vendor", "V", "--item", "I", "--qty", "1", "--free", "2=A",
        "--free", "2=B"},
       "twice"},
      {{"rule", "show", "abc", "--db", db}, "rule id"},
      {{"rule", "list"}, "--db"},
      {{"rule", "list", "--db", db, "--connection", "Provider=SQLite;Data Source=x"}, "not both"},
      {{"rule", "list", "--connection", "x", "--connection-file", "f"}, "not both"},
      {{"rule", "list", "--connection", "Provider=SQLite;Data Source=" + db + ";data source=y"},
       "\"data source\" more than once"},
      {{"init"}, "--db"},
      {{"rule", "list", "--db", "a;b.db"}, ";"},
  };
  for (const auto& c : cases) {
    Result r = Run(c.args);
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    EXPECT_EQ(r.code, 2) << shown << "\n" << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.says)) << shown;
  }
}

TEST_F(CliTest, MissingDatabaseIsReportedNotCreated) {
  std::string missing = Path("missing.db");
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"rule", "list", "--db", missing},
           {"rule", "list", "--connection", "Provider=SQLite;Data Source=" + missing},
           {"gen", "--db", missing, "--items", "1", "--vendors-per-item", "1", "--tiers", "1"},
           {"price", "--db", missing, "--vendor", "V", "--item", "I", "--qty", "1"}}) {
    Result r = Run(args);
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("database not found: " + missing));
    EXPECT_FALSE(std::filesystem::exists(missing));
  }
  // init refuses to overwrite, and what it refuses stays as it was.
  std::string db = DemoDb();
  auto before = std::filesystem::file_size(db);
  Result again = Run({"init", "--db", db});
  EXPECT_EQ(again.code, 1);
  EXPECT_THAT(again.err, HasSubstr("already exists"));
  EXPECT_EQ(std::filesystem::file_size(db), before);
}

TEST_F(CliTest, ConnectionTextComesFromAFileOrTheEnvironmentAndHidesItsPassword) {
  const std::string db = DemoDb();
  WriteFile(Path("conn.txt"), "Provider=SQLite;Data Source=" + db + "\n");
  EXPECT_EQ(Run({"rule", "list", "--connection-file", "conn.txt"}).code, 0);
  setenv("TAMSEL_CONNECTION", ("Provider=SQLite;Data Source=" + db).c_str(), 1);
  EXPECT_EQ(Run({"rule", "list"}).code, 0);
  setenv("TAMSEL_CONNECTION", "Driver={tamsel no such driver};UID=u;PWD={s3cr3t;pw}", 1);
  Result failed = Run({"rule", "list"});
  unsetenv("TAMSEL_CONNECTION");
  EXPECT_EQ(failed.code, 1);
  EXPECT_THAT(failed.err, AllOf(HasSubstr("PWD=***"), Not(HasSubstr("s3cr3t"))));
}

TEST_F(CliTest, FailuresPrintTheComponentsMessageInTheChosenLanguage) {
  std::string db = DemoDb();
  Result en = Run({"rule", "remove", "999", "--db", db});
  Result cn = Run({"--lang", "zh-CN", "rule", "remove", "999", "--db", db});
  Result tw = Run({"rule", "remove", "999", "--db", db, "--lang", "zh-TW"});
  for (const Result* r : {&en, &cn, &tw}) {
    EXPECT_EQ(r->code, 1);
    EXPECT_EQ(r->out, "");
    ASSERT_FALSE(r->err.empty());
    // One line, no carriage return left over from the message store.
    EXPECT_EQ(r->err.find('\r'), std::string::npos);
    EXPECT_EQ(r->err.find('\n'), r->err.size() - 1);
  }
  EXPECT_NE(en.err, cn.err);
  EXPECT_NE(cn.err, tw.err);
  // The Chinese texts are not the English one with another prefix.
  EXPECT_TRUE(std::any_of(cn.err.begin(), cn.err.end(), [](char c) { return c & 0x80; }));

  // A database error reaches stderr as the database's text, not as a crash.
  Result bad = Run({"rule", "list", "--db", db, "--filter", "nonsense ==="});
  EXPECT_EQ(bad.code, 1);
  EXPECT_THAT(bad.err, HasSubstr("tamsel: "));
}

TEST_F(CliTest, DemoRunsFromNothingAndAgainOnItsOwnDatabase) {
  Result first = Run({"demo"});
  ASSERT_EQ(first.code, 0) << first.err;
  EXPECT_TRUE(std::filesystem::exists(Path("tamsel-demo.db")));
  for (const char* heading :
       {"The rule that applies", "three quantities", "free-item value", "cheapest vendor",
        "created and loaded back", "overlapping rule is refused", "stale save is refused"}) {
    EXPECT_THAT(first.out, HasSubstr(heading));
  }
  EXPECT_THAT(first.out, Not(HasSubstr("went unnoticed")));

  // The second run reuses the database; the demo leaves no rule of its own behind.
  Result second = Run({"demo", "--json"});
  ASSERT_EQ(second.code, 0) << second.err;
  Json doc = second.json();
  ASSERT_GE(doc["sections"].size(), 8u);
  EXPECT_THAT(doc["sections"][0].dump(), HasSubstr("reused"));
  Result left = Run({"rule", "list", "--db", "tamsel-demo.db", "--json", "--filter",
                     "cMemo like 'tamsel demo%'"});
  ASSERT_EQ(left.code, 0) << left.err;
  EXPECT_EQ(left.json().size(), 0u);
}

TEST_F(CliTest, LookupsAnswerInJson) {
  std::string db = DemoDb();
  auto run_json = [&](std::vector<std::string> args) {
    args.insert(args.end(), {"--db", db, "--json"});
    Result r = Run(args);
    EXPECT_EQ(r.code, 0) << r.err;
    return r.code == 0 ? r.json() : Json();
  };
  // A promotion running on the day wins over the vendor's normal rule; after it, the normal one.
  Json promo =
      run_json({"rule", "find", "--vendor", "V001", "--item", "A01", "--date", "2026-12-06"});
  Json normal =
      run_json({"rule", "find", "--vendor", "V001", "--item", "A01", "--date", "2027-02-01"});
  EXPECT_EQ(promo["bPromotion"], true);
  EXPECT_EQ(normal["bPromotion"], false);
  EXPECT_NE(promo["id"], normal["id"]);
  // Without --date the look-up day is the login date.
  Json by_login =
      run_json({"--date", "2027-02-01", "rule", "find", "--vendor", "V001", "--item", "A01"});
  EXPECT_EQ(by_login["id"], normal["id"]);

  // The quantity reaching a band's lower limit changes the tier.
  std::vector<std::string> price = {"price", "--vendor", "V002",       "--item",
                                    "A01",   "--date",   "2026-12-06", "--qty"};
  auto at = [&](const std::string& qty) {
    auto args = price;
    args.push_back(qty);
    return run_json(args)["tier"];
  };
  Json below = at("1999.5"), on = at("2000");
  EXPECT_LT(below["iLowerLimit"].get<double>(), 2000);
  EXPECT_EQ(on["iLowerLimit"].get<double>(), 2000);
  EXPECT_NE(below["iUnitPrice"], on["iUnitPrice"]);

  // Free-item values choose among otherwise equal price rows.
  auto colour = [&](const std::string& value) {
    return run_json({"price", "--vendor", "V001", "--item", "E01", "--date", "2026-12-06", "--qty",
                     "1", "--free", "1=" + value})["tier"]["iUnitPrice"];
  };
  EXPECT_NE(colour("RAL 9010"), colour("RAL 5015"));

  // The comparison reports its winner with the conversion to local currency.
  Json cheapest = run_json({"compare", "--item", "A02", "--qty", "10000", "--today", "2026-12-06"});
  ASSERT_TRUE(cheapest.is_object());
  const Json& local = cheapest["local"];
  double amount = local["amount"],
         rate = local["rate"].is_null() ? 1.0 : local["rate"].get<double>();
  double expected = local["operation"] == "divide" ? amount / rate : amount * rate;
  EXPECT_NEAR(local["localAmount"].get<double>(), expected, 1e-9);
  EXPECT_EQ(local["currency"], cheapest["rule"]["cExchName"]);

  // Finding nothing is no error.
  EXPECT_TRUE(run_json({"price", "--vendor", "V001", "--item", "NOPE", "--qty", "1"}).is_null());
  EXPECT_TRUE(run_json({"compare", "--item", "NOPE", "--qty", "1"}).is_null());
}

TEST_F(CliTest, QuotesAndMarkupInValuesNeitherBreakNorWidenALookUp) {
  std::string db = DemoDb();
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"price", "--vendor", "V001' or '1'='1", "--item", "A01", "--qty", "1"},
           {"price", "--vendor", "V001", "--item", "E01", "--qty", "1", "--free",
            "1=RAL 9010' or '1'='1"},
           {"price", "--vendor", "V001", "--item", "E01", "--qty", "1", "--free",
            "1=\"/><z cfree1=\"RAL 9010"},
           {"rule", "find", "--vendor", "V'1", "--item", "A'01"}}) {
    auto full = args;
    full.insert(full.end(), {"--db", db, "--json", "--date", "2026-12-06"});
    Result r = Run(full);
    ASSERT_EQ(r.code, 0) << r.err;
    // Nothing, or a row meant for every vendor: never the named vendor's own row.
    Json found = r.json();
    if (!found.is_null()) {
      const Json& rule = found.contains("rule") ? found["rule"] : found;
      EXPECT_EQ(rule["cVenCode"], "") << args[2];
    }
  }
}

TEST_F(CliTest, RuleFileRoundTripAndStaleSave) {
  std::string db = DemoDb();
  Result shown = Run({"rule", "show", "1", "--db", db, "--json"});
  ASSERT_EQ(shown.code, 0) << shown.err;
  Json file = shown.json();
  ASSERT_GE(file["ruleItems"].size(), 2u);
  EXPECT_TRUE(file["ruleItems"].back()["iUpperLimit"].is_null());

  file["cMemo"] = "Edited, with 'quotes'";
  file["ruleItems"][0]["iUnitPrice"] = 0.84;
  WriteFile(Path("rule1.json"), file.dump(2));
  Result saved = Run({"rule", "save", "rule1.json", "--db", db, "--json"});
  ASSERT_EQ(saved.code, 0) << saved.err;
  EXPECT_NE(saved.json()["ufts"], file["ufts"]);

  Json reread = Run({"rule", "show", "1", "--db", db, "--json"}).json();
  EXPECT_EQ(reread["cMemo"], "Edited, with 'quotes'");
  EXPECT_EQ(reread["ruleItems"][0]["iUnitPrice"], 0.84);
  EXPECT_EQ(reread["ruleItems"].size(), file["ruleItems"].size());

  // The same file again carries the old row version: refused, and nothing of it is stored.
  file["cMemo"] = "Second writer";
  WriteFile(Path("rule1.json"), file.dump(2));
  Result stale = Run({"rule", "save", "rule1.json", "--db", db});
  EXPECT_EQ(stale.code, 1);
  EXPECT_FALSE(stale.err.empty());
  EXPECT_EQ(Run({"rule", "show", "1", "--db", db, "--json"}).json()["cMemo"],
            "Edited, with 'quotes'");

  // A file without its row version cannot be saved.
  file.erase("ufts");
  WriteFile(Path("rule1.json"), file.dump());
  Result no_version = Run({"rule", "save", "rule1.json", "--db", db});
  EXPECT_EQ(no_version.code, 1);
  EXPECT_THAT(no_version.err, HasSubstr("ufts"));
}

TEST_F(CliTest, RuleFilesCreateFromDefaultsAndRefuseWhatTheyDoNotKnow) {
  std::string db = DemoDb();
  Result fresh = Run({"rule", "new", "--db", db, "--date", "2027-03-01"});
  ASSERT_EQ(fresh.code, 0) << fresh.err;
  Json templ = fresh.json();
  EXPECT_EQ(templ["dEnableDate"], "2027-03-01");
  EXPECT_EQ(templ["iSupplyType"], 1);
  ASSERT_EQ(templ["ruleItems"].size(), 1u);
  EXPECT_TRUE(templ["ruleItems"][0]["iUpperLimit"].is_null());

  // Only what differs from the defaults; the missing lower limit chains to the tier before.
  Json minimal = {{"cVenCode", "V002"},
                  {"cInvCode", "B02"},
                  {"dEnableDate", "2027-03-01"},
                  {"ruleItems",
                   {{{"iUpperLimit", 50}, {"iUnitPrice", 3}, {"iTaxUnitPrice", 3.39}},
                    {{"iUnitPrice", 2.9}, {"iTaxUnitPrice", 3.277}}}}};
  Result created = Run({"rule", "create", "-", "--db", db, "--json"}, minimal.dump());
  ASSERT_EQ(created.code, 0) << created.err;
  Json stored = created.json();
  EXPECT_GT(stored["id"].get<int>(), 0);
  EXPECT_EQ(stored["cExchName"], templ["cExchName"]);
  EXPECT_EQ(stored["ruleItems"][1]["iLowerLimit"], 50.0);

  // The same rule again is a duplicate; the component's message says so.
  Result duplicate = Run({"rule", "create", "-", "--db", db}, minimal.dump());
  EXPECT_EQ(duplicate.code, 1);
  EXPECT_FALSE(duplicate.err.empty());

  struct Case {
    std::string text;
    std::string says;
  };
  const std::vector<Case> bad = {
      {R"({"cVendorCode": "V001"})", "cVendorCode: unknown field"},
      {R"({"iSupplyType": "one"})", "iSupplyType"},
      {R"({"iSupplyType": 1.5})", "whole number"},
      {R"({"bPromotion": "yes"})", "true or false"},
      {R"({"ruleItems": [{"iUnitPrice": "cheap"}]})", "ruleItems[1].iUnitPrice"},
      {R"({"ruleItems": {}})", "ruleItems"},
      {R"({"cVenCode": )", "not valid JSON"},
      {R"([1, 2])", "object"},
  };
  for (const auto& c : bad) {
    Result r = Run({"rule", "create", "-", "--db", db}, c.text);
    EXPECT_EQ(r.code, 1) << c.text;
    EXPECT_THAT(r.err, HasSubstr(c.says)) << c.text;
  }
  Result missing_file = Run({"rule", "create", Path("nothing.json"), "--db", db});
  EXPECT_EQ(missing_file.code, 1);
  EXPECT_THAT(missing_file.err, HasSubstr("cannot read"));
}

TEST_F(CliTest, ListsGiveEveryColumnInJsonWithTypedValues) {
  std::string db = DemoDb();
  Result rules = Run({"rule", "list", "--json", "--db", db, "--filter", "cVenCode = 'V001'"});
  ASSERT_EQ(rules.code, 0) << rules.err;
  Json list = rules.json();
  ASSERT_FALSE(list.empty());
  for (const auto& row : list) {
    EXPECT_EQ(row["cVenCode"], "V001");
    EXPECT_TRUE(row.contains("ufts"));
    EXPECT_TRUE(row["id"].is_number_integer());
  }
  Result prices = Run({"--json", "--db", db, "pricelist", "list", "--filter", "cInvCode = 'F01'"});
  ASSERT_EQ(prices.code, 0) << prices.err;
  Json rows = prices.json();
  ASSERT_EQ(rows.size(), 2u);
  // An open upper limit stays null, not 0.
  int open = 0;
  for (const auto& row : rows) open += row["iUpperLimit"].is_null() ? 1 : 0;
  EXPECT_EQ(open, 1);
  EXPECT_TRUE(rows[0]["iUnitPrice"].is_number());
  // The text form ends with the count.
  Result text = Run({"pricelist", "list", "--db", db, "--filter", "cInvCode = 'F01'"});
  EXPECT_THAT(text.out, HasSubstr("2 price-list rows."));
}

TEST_F(CliTest, TraceSqlShowsTheStatementsOnStderrOnly) {
  std::string db = DemoDb();
  Result r = Run({"--trace-sql", "rule", "find", "--db", db, "--vendor", "V001", "--item", "A01",
                  "--date", "2026-12-06", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("sql: select TOP 1 id,cvencode"));
  EXPECT_NO_THROW(r.json());
}

TEST_F(CliTest, GenAddsTheRequestedPriceRows) {
  std::string db = Path("gen.db");
  ASSERT_EQ(Run({"init", "--db", db}).code, 0);
  Result r = Run({"gen", "--db", db, "--items", "7", "--vendors-per-item", "3", "--tiers", "2",
                  "--seed", "5", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  size_t made = r.json()["rows"];
  EXPECT_GE(made, 7u * 3u * 2u);
  Result rows = Run({"pricelist", "list", "--db", db, "--json"});
  ASSERT_EQ(rows.code, 0) << rows.err;
  EXPECT_EQ(rows.json().size(), made);
}

}  // namespace
}  // namespace tamsel::clitest
