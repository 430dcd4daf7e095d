// End-to-end runs of the tamsel tool: the command table (commands.txt) and row authorisation.

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
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
      WriteFile(Path(fields[0].substr(2, blank - 2)),
                blank == std::string::npos ? "" : Unescape(fields[0].substr(blank + 1)));
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
