// End-to-end runs of the tamsel tool: the command table (commands.txt) and row authorisation.

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <thread>

#include "cli_runner.h"
#include "tamsel/tamsel.h"
#include "unit/data_table.h"

namespace tamsel::clitest {
namespace {

using table::Unescape;
using ::testing::HasSubstr;
using ::testing::Not;

// The words of a command line: split at blanks outside "...", then unescaped.
std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  for (size_t i = 0; i <= line.size(); ++i) {
    const char c = i < line.size() ? line[i] : ' ';
    if (c == '\\' && i + 1 < line.size()) {
      word += line.substr(i++, 2);
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c != ' ' || quoted) {
      word += c;
    } else if (!word.empty()) {
      words.push_back(Unescape(word));
      word.clear();
    }
  }
  return words;
}

// The text in another encoding, as a spreadsheet would save it.
std::string Encode(const std::string& text, const std::string& encoding) {
  const iconv_t cd = iconv_open(encoding.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no encoding " + encoding);
  std::string out(text.size() * 4 + 8, '\0');
  char* from = const_cast<char*>(text.data());
  char* to = out.data();
  size_t from_left = text.size(), to_left = out.size();
  const size_t done = iconv(cd, &from, &from_left, &to, &to_left);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1)) throw std::runtime_error("not " + encoding + ": " + text);
  out.resize(out.size() - to_left);
  return out;
}

TEST_F(CliTest, CommandTable) {
  const std::string db = DemoDb();
  int runs = 0;
  for (table::Row& row : table::Read("cli/commands.txt")) {
    std::vector<std::string>& fields = row.fields;
    for (std::string& field : fields) {
      for (const auto& [name, value] : {std::pair{"$DB", db}, {"$DIR", dir_.string()}}) {
        for (size_t at; (at = field.find(name)) != std::string::npos;)
          field.replace(at, std::string_view(name).size(), value);
      }
    }
    if (fields[0].starts_with("> ")) {
      const size_t blank = fields[0].find(' ', 2);
      std::string name = fields[0].substr(2, blank - 2);
      std::string text = blank == std::string::npos ? "" : Unescape(fields[0].substr(blank + 1));
      if (const size_t at = name.find('@'); at != std::string::npos) {
        text = Encode(text, name.substr(at + 1));
        name.resize(at);
      }
      WriteFile(Path(name), text);
      continue;
    }
    SCOPED_TRACE(row.where);
    ASSERT_GE(fields.size(), 2u);
    std::vector<std::string> args = Words(fields.back()), variables;
    while (!args.empty() && std::isupper(static_cast<unsigned char>(args[0][0])) &&
           args[0].find('=') != std::string::npos) {
      variables.push_back(args[0]);
      args.erase(args.begin());
    }
    std::string input;
    for (const std::string& field : fields) {
      if (field.starts_with("in ")) input = Unescape(field.substr(3));
    }
    for (const std::string& v : variables) {
      setenv(v.substr(0, v.find('=')).c_str(), v.substr(v.find('=') + 1).c_str(), 1);
    }
    const Result r = Run(args, input);
    for (const std::string& v : variables) unsetenv(v.substr(0, v.find('=')).c_str());
    ++runs;
    int code = -1;
    std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), code);
    EXPECT_EQ(r.code, code) << r.out << r.err;
    for (size_t f = 1; f + 1 < fields.size(); ++f) {
      const std::string& check = fields[f];
      const size_t blank = std::min(check.find(' '), check.size());
      const std::string kind = check.substr(0, blank);
      const std::string text = blank < check.size() ? Unescape(check.substr(blank + 1)) : "";
      const std::string& seen = kind.starts_with("out") ? r.out : r.err;
      if (kind == "out" || kind == "err")
        EXPECT_THAT(seen, HasSubstr(text));
      else if (kind == "out!" || kind == "err!")
        EXPECT_THAT(seen, Not(HasSubstr(text)));
      else if (kind == "out=")
        EXPECT_EQ(seen, text);
      else
        ASSERT_EQ(kind, "in");
    }
    // The message store keeps carriage returns; none may reach the user.
    EXPECT_EQ((r.out + r.err).find('\r'), std::string::npos);
  }
  EXPECT_GT(runs, 50);
}

// A sheet a spreadsheet program saved as xlsx imports as the CSV it was made from: shared and
// rich strings, numbers, dates, flags (true/false become the sheet's booleans), empty cells, a
// line break in a cell, and a formula-like memo that export quoted.
TEST_F(CliTest, XlsxFromASpreadsheetImportsAsItsCsv) {
  if (std::system("command -v soffice >/dev/null 2>&1") != 0) GTEST_SKIP() << "no soffice";
  WriteFile(Path("sheet.csv"),
            "cVenCode,cInvCode,iSupplyType,dEnableDate,dDisableDate,cExchName,cMemo,iUnitPrice,"
            "iTaxRate,iTaxUnitPrice,bPromotion,bTaxCost,iLowerLimit,iUpperLimit,cFree1\n"
            "V002,B02,1,2050-01-01,2050-12-31,CNY,\"六角 \"\"扳手\"\", 2\",0.76,13,0.8588,1,true,0,"
            "100,red\n"
            "V007,A02,1,2050-02-01,,CNY,'=1+1,1.125,,,0,false,100,,\n"
            "V002,B02,1,2050-03-01,,CNY,\"line\nbreak\",3,13,3.39,,,,,\n");
  // A profile of its own, so that a spreadsheet program running elsewhere does not interfere.
  const std::string convert = "cd '" + dir_.string() +
                              "' && soffice -env:UserInstallation=file://" + Path("lo") +
                              " --headless --infilter=CSV:44,34,76,1 --convert-to xlsx sheet.csv "
                              ">/dev/null 2>&1";
  ASSERT_EQ(std::system(convert.c_str()), 0);
  const std::string from_csv = DemoDb("csv.db"), from_xlsx = DemoDb("xlsx.db");
  EXPECT_EQ(RunJson({"pricelist", "import", "sheet.csv"}, from_csv)["imported"], 3);
  EXPECT_EQ(RunJson({"pricelist", "import", "sheet.xlsx"}, from_xlsx)["imported"], 3);
  const std::vector<std::string> rows = {"pricelist", "export", "--filter",
                                         "dEnableDate >= '2050-01-01'"};
  const Json expected = RunJson(rows, from_csv);
  EXPECT_EQ(expected.size(), 3u);
  EXPECT_EQ(expected[1]["cMemo"], "=1+1");
  EXPECT_EQ(RunJson(rows, from_xlsx), expected);
}

// A workbook as other writers make it: parts found through their relationships, inline and rich
// strings, escaped control characters, booleans, ISO and 1904-system dates, cells and rows left
// out; a refused row is named by its number.
TEST_F(CliTest, XlsxAsOtherWritersMakeIt) {
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  const auto inline_cell = [](const char* ref, const char* text) {
    return std::string("<c r=\"") + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
  };
  const std::map<std::string, std::string> parts = {
      {"_rels/.rels", "<Relationships><Relationship Id=\"r1\" Type=\"" + rel +
                          "/officeDocument\" Target=\"book/wb.xml\"/></Relationships>"},
      {"book/wb.xml", "<workbook xmlns:rel=\"" + rel +
                          "\"><workbookPr date1904=\"1\"/><sheets><sheet name=\"P\" rel:id=\"s\"/>"
                          "<sheet name=\"Q\" rel:id=\"x\"/></sheets></workbook>"},
      {"book/_rels/wb.xml.rels",
       "<Relationships><Relationship Id=\"x\" Type=\"" + rel +
           "/worksheet\" Target=\"nowhere.xml\"/><Relationship Id=\"s\" Type=\"" + rel +
           "/worksheet\" Target=\"/book/s.xml\"/><Relationship Id=\"t\" Type=\"" + rel +
           "/sharedStrings\" Target=\"strings.xml\"/></Relationships>"},
      {"book/strings.xml",
       "<sst><si><t>cInvCode</t></si><si><r><t>cMe</t></r><r><t>mo</t></r><rPh><t>x</t></rPh>"
       "</si></sst>"},
      {"book/s.xml",
       "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>" +
           inline_cell("B1", "iSupplyType") + inline_cell("C1", "dEnableDate") +
           inline_cell("D1", "cExchName") + "<c r=\"E1\" t=\"s\"><v>1</v></c>" +
           inline_cell("F1", "iUnitPrice") + inline_cell("G1", "bPromotion") +
           "</row><row r=\"2\">" + inline_cell("A2", "B02") +
           "<c r=\"B2\"><v>1</v></c><c r=\"C2\" s=\"3\"><v>53692</v></c><c r=\"D2\" t=\"str\">"
           "<f>\"CNY\"</f><v>CNY</v></c>" +
           inline_cell("E2", "xl a_x000D_\nb") +
           "<c r=\"F2\"><v>0.5</v></c><c r=\"G2\" t=\"b\"><v>1</v></c></row><row r=\"4\"/>"
           "<row r=\"5\">" +
           inline_cell("A5", "B02") +
           "<c r=\"B5\"><v>1</v></c><c r=\"C5\" t=\"d\">"
           "<v>2051-01-02T00:00:00</v></c>" +
           inline_cell("D5", "CNY") + inline_cell("E5", "'=1+1") +
           "<c r=\"F5\"><v>2</v></c></row><row r=\"6\">" + inline_cell("A6", "B02") +
           "<c r=\"B6\"><v>1</v></c><c r=\"C6\"><v>53692</v></c>" + inline_cell("D6", "CNY") +
           inline_cell("F6", "abc") + "</row></sheetData></worksheet>"},
  };
  for (const auto& [name, text] : parts) {
    std::filesystem::create_directories(std::filesystem::path(Path("parts/" + name)).parent_path());
    WriteFile(Path("parts/" + name), text);
  }
  const std::string zip =
      "cd '" + Path("parts") +
      "' && python3 -c 'import os, zipfile\n"
      "with zipfile.ZipFile(\"../hand.xlsx\", \"w\", zipfile.ZIP_DEFLATED) as z:\n"
      "  for d, _, fs in os.walk(\".\"):\n"
      "    for f in fs: z.write(os.path.join(d, f))'";
  ASSERT_EQ(std::system(zip.c_str()), 0);
  const std::string db = DemoDb("hand.db");
  const Result r = Run({"pricelist", "import", "hand.xlsx", "--db", db});
  EXPECT_EQ(r.code, 4) << r.err;
  EXPECT_EQ(r.out,
            "Imported 2 price-list rows; refused 1.\n  line 6: iUnitPrice: not a number: abc\n");
  const Json rows =
      RunJson({"pricelist", "export", "--filter", "cMemo like 'xl%' or cMemo = '=1+1'"}, db);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["dEnableDate"], "2051-01-01");
  EXPECT_EQ(rows[0]["cExchName"], "CNY");
  EXPECT_EQ(rows[0]["cMemo"], "xl a\r\nb");
  EXPECT_EQ(rows[0]["iUnitPrice"], 0.5);
  EXPECT_EQ(rows[0]["bPromotion"], true);
  EXPECT_EQ(rows[1]["dEnableDate"], "2051-01-02");
  EXPECT_EQ(rows[1]["cMemo"], "=1+1");
  EXPECT_EQ(rows[1]["bPromotion"], false);
}

// Rights are asked for only with --check-auth: without it the tool starts no service for them and
// needs none of its tables.
TEST_F(CliTest, RowAuthorisationOnlyWhenAsked) {
  const std::string db = DemoDb();
  Connection conn;
  conn.Open("Provider=SQLite;Data Source=" + db);
  conn.Execute("drop table tamsel_row_auth");
  conn.Close();
  const std::vector<std::string> price = {"price", "--db",   db,          "--vendor",
                                          "V002",  "--item", "A01",       "--qty",
                                          "2000",  "--date", "2026-12-06"};
  EXPECT_EQ(Run(price).code, 0);
  std::vector<std::string> checked = price;
  checked.insert(checked.begin(), "--check-auth");
  const Result refused = Run(checked);
  EXPECT_EQ(refused.code, 6);
  EXPECT_THAT(refused.err, HasSubstr("row permission service"));
}

int64_t CountRules(const std::string& db) {
  Connection conn;
  conn.Open("Provider=SQLite;Data Source=" + db);
  return VarToLng(conn.OpenRecordset("select count(*) as n from ven_inv_price_rule")->Fields("n"));
}

// A signal mid-import: the rule in hand is finished or undone, the summary counts exactly what is
// stored, the same import with --skip-existing completes it, and the spool of an input read from
// a pipe is gone.
TEST_F(CliTest, AnInterruptedRuleImportResumes) {
  constexpr int kRules = 20000;
  std::string csv = "rule,cVenCode,cInvCode,dEnableDate,iUnitPrice,iTaxUnitPrice\n";
  const auto first = std::chrono::sys_days(std::chrono::year{2040} / 1 / 1);
  for (int i = 0; i < kRules; ++i) {
    const std::chrono::year_month_day day{first + std::chrono::days(i)};
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02u-%02u", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    csv += "r" + std::to_string(i) + ",V002,B02," + date + ",1,1.13\n";
  }
  WriteFile(Path("many.csv"), csv);
  const std::string spool = Path("tmp");
  std::filesystem::create_directory(spool);
  setenv("TMPDIR", spool.c_str(), 1);
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    const std::string db = DemoDb("signal" + std::to_string(signal) + ".db");
    const int64_t before = CountRules(db);
    const std::string fifo = Path("fifo");
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string out = Path("out"), err = Path("err");
    std::filesystem::remove(out);
    const pid_t pid = Spawn(
        {binary_, "rule", "import", fifo, "--format", "csv", "--batch", "10", "--db", db, "--json"},
        out, "", err);
    std::ofstream(fifo, std::ios::binary) << csv;
    while (CountRules(db) == before) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    kill(pid, signal);
    ASSERT_EQ(Wait(pid), 128 + signal) << Slurp(err);
    EXPECT_THAT(Slurp(err), HasSubstr("Interrupted"));
    const Json stopped = Json::parse(Slurp(out));
    const int64_t stored = stopped["imported"].get<int64_t>();
    EXPECT_GT(stored, 0);
    EXPECT_LT(stored, kRules);
    EXPECT_EQ(CountRules(db) - before, stored);
    EXPECT_EQ(stopped["resumeAt"], "line " + std::to_string(stored + 2));
    EXPECT_TRUE(std::filesystem::is_empty(spool));

    const Json resumed = RunJson({"rule", "import", Path("many.csv"), "--skip-existing"}, db);
    EXPECT_EQ(resumed["skipped"], stored);
    EXPECT_EQ(resumed["imported"].get<int64_t>() + stored, kRules);
    EXPECT_EQ(CountRules(db) - before, kRules);
  }
  unsetenv("TMPDIR");
}

}  // namespace
}  // namespace tamsel::clitest
