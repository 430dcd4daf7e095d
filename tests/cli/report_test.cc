// tamsel report: each page of the case table read as XML, its numbers held against --json.

#include <pugixml.hpp>
#include <sstream>

#include "cli_runner.h"
#include "unit/data_table.h"

namespace tamsel::clitest {
namespace {

using table::Unescape;

// The cells of a figure's table, row by row.
std::vector<std::vector<std::string>> Cells(const pugi::xml_node& table) {
  std::vector<std::vector<std::string>> rows;
  for (auto tr : table.select_nodes("./tbody/tr")) {
    auto& row = rows.emplace_back();
    for (auto td : tr.node().children("td")) row.emplace_back(td.text().get());
  }
  return rows;
}

std::string Text(const pugi::xml_node& node) {
  std::string text;
  for (auto n : node.select_nodes(".//text()")) text += std::string(n.node().value()) + " ";
  return text;
}

std::string Option(const std::vector<std::string>& args, const std::string& name) {
  const auto at = std::find(args.begin(), args.end(), name);
  return at == args.end() || at + 1 == args.end() ? "" : *(at + 1);
}

TEST_F(CliTest, ReportCases) {
  const std::string db = DemoDb();
  for (const table::Row& row : table::Read("data/reports.txt")) {
    SCOPED_TRACE(row.where);
    std::vector<std::string> args = {"report", "--db", db};
    for (size_t from = 0, blank; from < row.fields[0].size(); from = blank + 1) {
      blank = std::min(row.fields[0].find(' ', from), row.fields[0].size());
      args.push_back(row.fields[0].substr(from, blank - from));
    }
    const Result r = Run(args);
    ASSERT_EQ(r.code, 0) << r.err;
    pugi::xml_document doc;
    const auto parsed = doc.load_string(r.out.c_str());
    ASSERT_TRUE(parsed) << parsed.description() << " at " << parsed.offset;
    const pugi::xml_node html = doc.child("html");
    const std::string lang = Option(args, "--lang");
    EXPECT_STREQ(html.attribute("lang").value(), lang.empty() ? "en-US" : lang.c_str());
    EXPECT_TRUE(doc.select_nodes("//script|//*[@src]|//*[@href]").empty());
    const auto figures = html.select_nodes("//figure");
    ASSERT_EQ(figures.size(), 3u);
    for (const auto& f : figures) {
      const pugi::xml_node svg = f.node().child("svg");
      EXPECT_STREQ(svg.attribute("role").value(), "img");
      EXPECT_STRNE(svg.child("title").text().get(), "");
      EXPECT_STRNE(svg.child("desc").text().get(), "");
      EXPECT_TRUE(f.node().child("table"));
    }
    const std::string text = Text(html);
    for (size_t f = 1; f < row.fields.size(); ++f) {
      const std::string& check = row.fields[f];
      const std::string kind = check.substr(0, check.find(' '));
      const std::string value = Unescape(check.substr(kind.size() + 1));
      const size_t drawn =
          doc.select_nodes(("//*[contains(concat(' ', @class, ' '), ' " + value + " ')]").c_str())
              .size();
      if (kind == "text") {
        EXPECT_NE(text.find(value), std::string::npos) << value;
      } else if (kind == "class") {
        EXPECT_GT(drawn, 0u) << value;
      } else {
        ASSERT_EQ(kind, "no");
        EXPECT_EQ(drawn, 0u) << value;
      }
    }

    // The comparison's ranking, row for row, and the chosen step at the quantity its winner.
    const std::string item = Option(args, "--item"), qty = Option(args, "--qty"),
                      date = Option(args, "--date"), vendor = Option(args, "--vendor");
    const Result cmp = Run(
        {"compare", "--all", "--json", "--db", db, "--item", item, "--qty", qty, "--today", date});
    const Json ranking = cmp.code == 0 ? cmp.json()["ranking"] : Json::array();
    const auto bars = Cells(figures[1].node().child("table"));
    ASSERT_EQ(bars.size(), ranking.size());
    // Steps: offer (the chosen one starred), from quantity, unit price, row.
    double chosen = -1;
    for (const auto& step : Cells(figures[0].node().child("table"))) {
      if (step.at(0).ends_with(" *") && std::stod(step.at(1)) <= std::stod(qty)) {
        chosen = std::stod(step.at(2));
      }
    }
    // Bars: rank, vendor, row, unit price, currency, rate, its source, local price.
    for (size_t i = 0; i < bars.size(); ++i) {
      EXPECT_EQ(std::stoi(bars[i].at(2)), ranking[i]["autoid"].get<int>());
      EXPECT_NEAR(std::stod(bars[i].at(7)), ranking[i]["localAmount"].get<double>(), 1e-6);
    }
    if (!ranking.empty() && vendor.empty()) {
      EXPECT_NEAR(chosen, ranking[0]["localAmount"].get<double>(), 1e-6);
    }
    if (!vendor.empty()) {
      const Result price = Run({"price", "--json", "--db", db, "--vendor", vendor, "--item", item,
                                "--qty", qty, "--date", date});
      ASSERT_EQ(price.code, 0) << price.err;
      const auto wins = doc.select_nodes("//*[contains(@class, 'rows wins')]/title");
      ASSERT_EQ(wins.size(), 1u);
      EXPECT_NE(std::string(wins[0].node().text().get())
                    .find(std::to_string(price.json()["autoid"].get<int>())),
                std::string::npos);
    }
  }
}

// The terminal pictures keep within the width they are given, however narrow.
TEST_F(CliTest, ChartsFitTheTerminal) {
  const std::string db = DemoDb();
  for (const char* columns : {"COLUMNS=40", "COLUMNS=72", "COLUMNS=150"}) {
    putenv(const_cast<char*>(columns));
    const size_t width = std::stoul(std::string(columns).substr(8));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"price", "--vendor", "V002", "--item", "A01", "--qty", "1500",
                                   "--date", "2026-12-06", "--chart"},
          {"compare", "--item", "A02", "--qty", "10000", "--today", "2026-12-06", "--chart"},
          {"rule", "show", "1", "--chart"}}) {
      std::vector<std::string> with_db = args;
      with_db.insert(with_db.end(), {"--db", db});
      const Result r = Run(with_db);
      ASSERT_EQ(r.code, 0) << r.err;
      std::istringstream lines(r.out.substr(r.out.find("Price breaks")));
      for (std::string line; std::getline(lines, line);) {
        // Every glyph drawn here is one column wide: count the characters.
        const size_t shown =
            std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xC0) != 0x80; });
        EXPECT_LE(shown, width) << columns << ": " << line;
      }
    }
  }
  unsetenv("COLUMNS");
}

}  // namespace
}  // namespace tamsel::clitest
