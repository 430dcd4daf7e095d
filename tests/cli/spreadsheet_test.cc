// Exports as a real spreadsheet program reads them: LibreOffice converts the exported xlsx and
// CSV back to CSV, and every cell must be the tool's own CSV cell, formulas staying text.

#include <unistd.h>

#include <cstdlib>

#include "cli/cli_runner.h"

namespace tamsel::clitest {
namespace {

using ::testing::ElementsAre;

using Rows = std::vector<std::vector<std::string>>;

// The cells of a CSV text (quoted fields with doubled quotes, CRLF or LF, a leading BOM).
Rows Cells(std::string text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  Rows rows(1, std::vector<std::string>(1));
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    std::string& field = rows.back().back();
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += c, ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().emplace_back();
    } else if (c == '\n') {
      rows.emplace_back(1);
    } else if (c != '\r') {
      field += c;
    }
  }
  if (rows.back() == std::vector<std::string>(1)) rows.pop_back();
  return rows;
}

bool HaveSoffice() {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "";
  for (size_t at = 0; at <= dirs.size();) {
    const size_t end = std::min(dirs.find(':', at), dirs.size());
    if (access((dirs.substr(at, end - at) + "/soffice").c_str(), X_OK) == 0) return true;
    at = end + 1;
  }
  return false;
}

class SpreadsheetTest : public CliTest {
 protected:
  // Converts the files to CSV (UTF-8, comma, quote) in a directory of their own; CSV inputs are
  // read as UTF-8 with commas, as a buyer's spreadsheet opens them.
  std::filesystem::path Convert(const std::string& name, const std::vector<std::string>& files,
                                bool csv_input) {
    const std::filesystem::path out = dir_ / name;
    std::vector<std::string> argv = {"/bin/sh",
                                     "-c",
                                     "exec soffice \"$@\" >\"$0\" 2>&1",
                                     Path(name + ".log"),
                                     "-env:UserInstallation=file://" + Path("profile"),
                                     "--headless"};
    if (csv_input) argv.push_back("--infilter=CSV:44,34,76,1");
    argv.insert(argv.end(), {"--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1",
                             "--outdir", out.string()});
    for (const auto& file : files) argv.push_back(Path(file));
    EXPECT_EQ(Wait(Spawn(argv, Path(name + ".out"))), 0) << Slurp(Path(name + ".log"));
    return out;
  }
};

TEST_F(SpreadsheetTest, LibreOfficeReadsEveryExportedCellAsTheToolWroteIt) {
  if (!HaveSoffice()) GTEST_SKIP() << "soffice not found: install libreoffice-calc-nogui";
  const std::string db = DemoDb();
  const std::string memos =
      "cInvCode,iSupplyType,dEnableDate,cExchName,cMemo,iUnitPrice,iTaxRate,cFree1\n"
      "F01,1,2035-01-01,CNY,=1+1,0.76,13,@SUM(A1)\n"
      "F01,1,2035-01-02,CNY,\"=CMD|' /C calc'!A0\",1234567.125,0,+1\n"
      "F01,1,2035-01-03,CNY,-2+3,2,13,''quoted\n"
      "F01,1,2035-01-04,CNY,\"\ttab\",2,13,\"a,b \"\"q\"\"\"\n"
      "F01,1,2035-01-05,CNY,六角扳手,2,13,\n";
  ASSERT_EQ(Run({"pricelist", "import", "-", "--format", "csv", "--db", db}, memos).code, 0);
  for (const char* file : {"p.csv", "p.xlsx"}) {
    const Result r = Run({"pricelist", "export", "--db", db, "-o", file});
    ASSERT_EQ(r.code, 0) << r.err;
  }
  for (const char* file : {"r.csv", "r.xlsx"}) {
    const Result r = Run({"rule", "export", "--db", db, "-o", file});
    ASSERT_EQ(r.code, 0) << r.err;
  }

  // The file neutralises formulas, and a text that starts with a quote, by one more quote.
  const Rows price_list = Cells(Slurp(Path("p.csv")));
  ASSERT_EQ(price_list.size(), 41u);
  std::vector<std::string> memo_and_free;
  for (size_t row = 36; row < 41; ++row) {
    memo_and_free.push_back(price_list[row][8] + " | " + price_list[row][16]);
  }
  EXPECT_THAT(memo_and_free, ElementsAre("'=1+1 | '@SUM(A1)", "'=CMD|' /C calc'!A0 | '+1",
                                         "'-2+3 | ''quoted", "'\ttab | a,b \"q\"", "六角扳手 | "));

  const auto from_xlsx = Convert("from_xlsx", {"p.xlsx", "r.xlsx"}, false);
  const auto from_csv = Convert("from_csv", {"p.csv", "r.csv"}, true);
  for (const char* name : {"p", "r"}) {
    SCOPED_TRACE(name);
    const Rows exported = Cells(Slurp(Path(std::string(name) + ".csv")));
    EXPECT_EQ(Cells(Slurp(from_xlsx / (std::string(name) + ".csv"))), exported);
    EXPECT_EQ(Cells(Slurp(from_csv / (std::string(name) + ".csv"))), exported);
  }

  // Both exports import into a new database as the same rows: every text as it was stored.
  for (const char* file : {"p.csv", "p.xlsx"}) {
    SCOPED_TRACE(file);
    const std::string copy = DemoDb(std::string(file) + ".db");
    const Result imported = Run({"pricelist", "import", file, "--db", copy, "--replace"});
    ASSERT_EQ(imported.code, 0) << imported.out << imported.err;
    ASSERT_EQ(Run({"pricelist", "export", "--db", copy, "-o", "again.csv"}).code, 0);
    EXPECT_EQ(Slurp(Path("again.csv")), Slurp(Path("p.csv")));
  }
}

}  // namespace
}  // namespace tamsel::clitest
