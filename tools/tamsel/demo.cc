// tamsel demo: the main jobs, one after the other, on the embedded demo database.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>

#include "commands.h"
#include "explain.h"
#include "rule_file.h"
#include "services/connection_text.h"

namespace tamsel::cli {

void CreateDatabase(const std::string& path, bool demo_data);  // gen.cc

namespace {

constexpr const char* kDemoDate = "2026-12-06";  // the demo data's rates and prices cover it
constexpr const char* kDemoMemo = "tamsel demo";
constexpr const char* kDefaultDemoDb = "tamsel-demo.db";

// Prints as it goes, or gathers everything into one JSON document.
class Report {
 public:
  explicit Report(bool json) : json_(json) {}

  void Section(const std::string& title) {
    if (json_) {
      sections_.push_back(Json{{"title", title}, {"items", Json::array()}});
    } else {
      std::cout << "\n== " << title << " ==\n";
    }
  }
  void Text(const std::string& text) {
    if (json_) {
      Items().push_back(Json{{"text", text}});
    } else {
      std::cout << text << '\n';
    }
  }
  void Fields(const std::vector<std::pair<std::string, std::string>>& fields) {
    if (json_) {
      Json obj = Json::object();
      for (const auto& [k, v] : fields) obj[k] = v;
      Items().push_back(Json{{"fields", obj}});
    } else {
      PrintFields(std::cout, fields);
    }
  }
  void Rows(const Table& table) {
    if (json_) {
      Items().push_back(Json{{"table", table.ToJson()}});
    } else {
      table.Print(std::cout);
    }
  }
  void Finish(const std::string& summary) {
    if (json_) {
      std::cout << Json{{"sections", sections_}, {"summary", summary}}.dump(2) << '\n';
    } else {
      std::cout << '\n' << summary << '\n';
    }
  }

 private:
  Json& Items() {
    if (sections_.empty()) sections_.push_back(Json{{"title", ""}, {"items", Json::array()}});
    return sections_.back()["items"];
  }
  bool json_;
  Json sections_ = Json::array();
};

struct PriceRow {
  int32_t id;
  std::string vendor, item, currency;
  int32_t supply_type;
  double lower;
  bool promotion;
  std::map<int, std::string> free;  // free item number -> value
};

std::string Quoted(const std::string& text) { return ToSqlText(Variant(text)); }

// Price-list rows valid on the date, with a vendor that has not ended.
std::vector<PriceRow> ValidRows(Session& session) {
  std::string day = Quoted(session.today().IsoDate());
  std::set<std::string> ended;
  {
    Connection conn;
    conn.Open(session.connection_text());
    auto rs = conn.OpenRecordset("select cVenCode from Vendor where dEndDate is not null and " +
                                 std::string("dEndDate <= ") + day);
    for (; !rs->Eof(); rs->MoveNext()) ended.insert(VarToStr(rs->Fields("cVenCode")));
    conn.Close();
  }
  auto rs = session.manager().ListVenInvPriceRuleItems(
      "dEnableDate <= " + day + " and (dDisableDate is null or dDisableDate > " + day +
      ") and cVenCode <> '' order by autoid");
  std::vector<PriceRow> rows;
  for (; !rs->Eof(); rs->MoveNext()) {
    PriceRow row{VarToLng(rs->Fields("autoid")),          VarToStr(rs->Fields("cVenCode")),
                 VarToStr(rs->Fields("cInvCode")),        VarToStr(rs->Fields("cExch_Name")),
                 VarToLng(rs->Fields("iSupplyType")),     VarToDbl(rs->Fields("iLowerLimit")),
                 VarToLng(rs->Fields("bPromotion")) == 1, {}};
    for (int n = 1; n <= 10; ++n) {
      std::string column = "cFree" + std::to_string(n);
      if (rs->HasField(column)) {
        std::string value = VarToStr(rs->Fields(column));
        if (!value.empty()) row.free[n] = value;
      }
    }
    if (!ended.count(row.vendor)) rows.push_back(std::move(row));
  }
  rs->Close();
  return rows;
}

std::string BandOf(const PriceRuleItem& tier) {
  return FormatNumber(tier.iLowerLimit) + " up to " + FormatUpperLimit(tier.iUpperLimit);
}

std::string Describe(const ComponentError& e) { return CleanMessage(e.description()); }

void RuleLookup(Report& report, Session& session, const std::vector<PriceRow>& rows) {
  report.Section("1. The rule that applies to a vendor, an item and a date");
  auto& manager = session.manager();
  // Prefer a vendor whose own rule competes with a promotion; else any rule with a vendor.
  std::shared_ptr<PriceRule> rule = manager.GetVenInvPriceRule("V001", "A01", session.today());
  if (!rule) {
    for (const auto& row : rows) {
      rule = manager.GetVenInvPriceRule(row.vendor, row.item, session.today(), "", row.supply_type);
      if (rule) break;
    }
  }
  if (!rule) {
    report.Text("No rule applies on " + session.today().IsoDate() + ".");
    return;
  }
  report.Text("GetVenInvPriceRule(" + rule->cVenCode + ", " + rule->cInvCode + ", " +
              session.today().IsoDate() +
              "): a vendor's own rule beats one for any vendor, a "
              "promotion beats a normal rule.");
  auto full = manager.LoadVenInvPriceRule(rule->id);
  report.Fields(RuleHeaderDisplay(full ? *full : *rule));
  if (full) report.Rows(TierTable(*full));
}

// A vendor and item with the most quantity tiers and no promotion hiding them.
const PriceRow* TieredGroup(const std::vector<PriceRow>& rows, std::vector<double>& limits) {
  std::map<std::tuple<std::string, std::string, int32_t>, std::set<double>> tiers;
  std::set<std::tuple<std::string, std::string, int32_t>> promoted;
  for (const auto& row : rows) {
    auto key = std::make_tuple(row.vendor, row.item, row.supply_type);
    if (row.promotion) promoted.insert(key);
    if (row.free.empty()) tiers[key].insert(row.lower);
  }
  const PriceRow* best = nullptr;
  size_t best_count = 1;
  for (const auto& row : rows) {
    auto key = std::make_tuple(row.vendor, row.item, row.supply_type);
    if (promoted.count(key) || !row.free.empty()) continue;
    if (tiers[key].size() > best_count) {
      best = &row;
      best_count = tiers[key].size();
      limits.assign(tiers[key].begin(), tiers[key].end());
    }
  }
  return best;
}

const PriceRow* TierChange(Report& report, Session& session, const std::vector<PriceRow>& rows) {
  report.Section("2. The price of one purchase at three quantities");
  std::vector<double> limits;
  const PriceRow* group = TieredGroup(rows, limits);
  if (group == nullptr) {
    report.Text("The price list has no vendor with several quantity tiers on this date.");
    return nullptr;
  }
  // Inside the first band, exactly on the second band's start, and well beyond the last.
  std::vector<double> quantities = {limits[1] / 2, limits[1], limits.back() * 2};
  report.Text("Vendor " + group->vendor + ", item " + group->item + ", " +
              session.today().IsoDate() +
              ": a band's lower limit belongs to it, its upper "
              "limit to the next (tamsel price --explain shows every row and why it lost). The "
              "prices come from the suite's price list, which the purchasing module keeps and "
              "tamsel pricelist import adds to; the rules of sections 5 to 7 are stored apart and "
              "change none of them.");
  Table table({"Quantity", "Band", "Unit price", "With tax", "Total"});
  for (size_t c : {0, 2, 3, 4}) table.AlignRight(c);
  for (double qty : quantities) {
    auto tier = session.manager().GetVenInvPriceRuleItem(
        group->vendor, group->item, session.today(), qty, "", group->supply_type);
    if (!tier) {
      table.AddRow({FormatNumber(qty), "(no price)"});
      continue;
    }
    table.AddRow({FormatNumber(qty), BandOf(*tier), FormatMoney(tier->iUnitPrice),
                  FormatMoney(tier->iTaxUnitPrice), FormatMoney(qty * tier->iUnitPrice)});
  }
  report.Rows(table);
  return group;
}

void FreeItems(Report& report, Session& session, const std::vector<PriceRow>& rows) {
  report.Section("3. The same with a free-item value");
  // A vendor and item priced by several values of one free item.
  std::map<std::tuple<std::string, std::string, int32_t, int>, std::set<std::string>> values;
  for (const auto& row : rows) {
    for (const auto& [n, value] : row.free) {
      values[{row.vendor, row.item, row.supply_type, n}].insert(value);
    }
  }
  auto best = std::max_element(values.begin(), values.end(), [](const auto& a, const auto& b) {
    return a.second.size() < b.second.size();
  });
  if (best == values.end() || best->second.size() < 2) {
    report.Text("The price list has no prices by free-item value on this date.");
    return;
  }
  const auto& [vendor, item, supply_type, n] = best->first;
  report.Text("Vendor " + vendor + ", item " + item + ": the price depends on free item " +
              std::to_string(n) + "; the look-up's XML parameter carries the value.");
  Table table({"Free-item XML", "Price-list row", "Unit price", "With tax"});
  for (size_t c : {1, 2, 3}) table.AlignRight(c);
  for (const auto& value : best->second) {
    std::string xml = FreeItemXml({std::to_string(n) + "=" + value});
    auto tier = session.manager().GetVenInvPriceRuleItem(vendor, item, session.today(), 1, "",
                                                         supply_type, xml);
    if (!tier) {
      table.AddRow({xml, "(no price)"});
    } else {
      table.AddRow({xml, std::to_string(tier->id), FormatMoney(tier->iUnitPrice),
                    FormatMoney(tier->iTaxUnitPrice)});
    }
  }
  report.Rows(table);
}

void Cheapest(Report& report, Session& session, const std::vector<PriceRow>& rows) {
  report.Section("4. The cheapest vendor, prices compared in local currency");
  // The item quoted in the most currencies (then by the most vendors), supply type 1.
  std::map<std::string, std::set<std::string>> currencies, vendors;
  std::map<std::string, double> top_limit;
  for (const auto& row : rows) {
    if (row.supply_type != 1 || !row.free.empty()) continue;
    currencies[row.item].insert(row.currency);
    vendors[row.item].insert(row.vendor);
    top_limit[row.item] = std::max(top_limit[row.item], row.lower);
  }
  std::string item;
  for (const auto& [code, set] : currencies) {
    if (item.empty() || set.size() > currencies[item].size() ||
        (set.size() == currencies[item].size() && vendors[code].size() > vendors[item].size())) {
      item = code;
    }
  }
  if (item.empty()) {
    report.Text("No item has prices from several vendors on this date.");
    return;
  }
  double qty = std::max(1.0, top_limit[item]);
  auto winner = session.manager().ComparePrice(item, qty, 1);
  report.Text("ComparePrice(" + item + ", " + FormatNumber(qty) + ") on " +
              session.today().IsoDate() +
              ", every qualifying offer converted with the day's rate, cheapest first "
              "(tamsel compare --all):");
  report.Rows(OffersTable(RankOffers(session, item, qty, 1, "")));
  if (!winner) {
    report.Text("No vendor qualifies.");
    return;
  }
  auto rule = winner->objRule();
  LocalPrice local = ToLocalCurrency(session, rule->cExchName, winner->iUnitPrice);
  report.Fields({{"Cheapest vendor", rule->cVenCode + " (" + rule->cVenAbbName + ")"},
                 {"Price-list row", std::to_string(winner->id)},
                 {"Conversion", local.Describe()}});
}

std::shared_ptr<PriceRule> DemoRule(PriceRuleManager& manager, const PriceRow& group,
                                    const Date& from, const std::string& until) {
  auto rule = manager.NewVenInvPriceRule();
  rule->cVenCode = group.vendor;
  rule->cInvCode = group.item;
  rule->iSupplyType = group.supply_type;
  rule->dEnableDate = from.IsoDate();
  rule->dDisableDate = until;
  rule->cMemo = kDemoMemo;
  rule->iTaxRate = 13;
  auto first = rule->AddRuleItem();
  first->iUpperLimit = 100.0;
  first->iUnitPrice = 2.5;
  first->iTaxUnitPrice = 2.825;
  auto second = rule->AddRuleItem();
  second->iUpperLimit = Variant::Null();
  second->iUnitPrice = 2.2;
  second->iTaxUnitPrice = 2.486;
  return rule;
}

void Maintenance(Report& report, Session& session, const PriceRow* group,
                 const std::string& language) {
  auto& manager = session.manager();
  report.Section("5. A new rule, created and loaded back");
  if (group == nullptr) {
    report.Text("Skipped: no vendor and item to write a rule for.");
    return;
  }
  // Leftovers of an interrupted run would make the new rule a duplicate.
  auto old = manager.ListVenInvPriceRules("cMemo = " + Quoted(kDemoMemo));
  std::vector<int32_t> stale;
  for (; !old->Eof(); old->MoveNext()) stale.push_back(VarToLng(old->Fields("id")));
  old->Close();
  for (int32_t id : stale) manager.RemoveVenInvPriceRule(id);

  Date from = session.today().AddDays(90);
  auto rule = DemoRule(manager, *group, from, from.AddDays(180).IsoDate());
  manager.CreateVenInvPriceRule(rule);
  report.Text(
      "CreateVenInvPriceRule verified it, completed names from master data and stored "
      "it as rule " +
      std::to_string(rule->id) + ". LoadVenInvPriceRule reads back:");
  auto loaded = manager.LoadVenInvPriceRule(rule->id);
  report.Fields(RuleHeaderDisplay(*loaded));
  report.Rows(TierTable(*loaded));

  report.Section("6. An overlapping rule is refused");
  Date overlap_from = from.AddDays(30);
  report.Text("A second rule for " + group->vendor + "/" + group->item + " from " +
              overlap_from.IsoDate() +
              " without end, with the overlap check on, in each "
              "language:");
  std::vector<std::string> languages = {language};
  for (const char* other : {"en-US", "zh-CN", "zh-TW"}) {
    if (other != language) languages.emplace_back(other);
  }
  std::vector<std::pair<std::string, std::string>> refusals;
  for (const auto& lang : languages) {
    SetMessageLanguage(lang);
    auto attempt = DemoRule(manager, *group, overlap_from, "");
    attempt->bCheckOverLap = true;
    try {
      manager.CreateVenInvPriceRule(attempt);
      refusals.emplace_back(
          lang, "stored as rule " + std::to_string(attempt->id) + " (the overlap went unnoticed)");
      manager.RemoveVenInvPriceRule(attempt->id);
    } catch (const ComponentError& e) {
      refusals.emplace_back(lang, Describe(e));
    }
  }
  SetMessageLanguage(language);
  report.Fields(refusals);

  report.Section("7. A stale save is refused by the row version");
  auto first = manager.LoadVenInvPriceRule(rule->id);
  auto second = manager.LoadVenInvPriceRule(rule->id);
  std::string read_version = first->ufts;
  first->ruleItems->Item("2")->iUnitPrice = 2.1;
  first->ruleItems->Item("2")->iTaxUnitPrice = 2.373;
  manager.SaveVenInvPriceRule(first);
  report.Text("Two users load rule " + std::to_string(rule->id) + " at row version " +
              read_version + ". The first saves a new price for tier 2: row version now " +
              first->ufts + ".");
  second->cMemo = std::string(kDemoMemo) + " (second user)";
  std::string outcome;
  try {
    manager.SaveVenInvPriceRule(second);
    outcome = "saved (the change went unnoticed)";
  } catch (const ComponentError& e) {
    outcome = Describe(e);
  }
  report.Fields({{"Second user's save", outcome}});

  report.Section("8. Clean-up");
  manager.RemoveVenInvPriceRule(rule->id);
  auto left = manager.ListVenInvPriceRules("id = " + std::to_string(rule->id));
  report.Text("RemoveVenInvPriceRule(" + std::to_string(rule->id) + "): rule and tiers removed; " +
              std::to_string(left->RecordCount()) + " rows left with that id.");
  left->Close();
}

int RunDemo(GlobalOptions options) {
  auto start = std::chrono::steady_clock::now();
  if (options.db_path.empty() && options.connection.empty()) options.db_path = kDefaultDemoDb;
  if (options.login_date.empty()) options.login_date = kDemoDate;
  Report report(options.json);
  std::string origin = "reused";
  if (!options.db_path.empty()) {
    std::error_code ec;
    if (!std::filesystem::exists(options.db_path, ec)) {
      CreateDatabase(options.db_path, /*demo_data=*/true);
      origin = "created with the suite schema and demo data";
    }
  }
  Session session(options);
  report.Section("Tamsel demo");
  report.Fields(
      {{"Database", (options.db_path.empty() ? detail::RedactConnectionText(options.connection)
                                             : options.db_path) +
                        " (" + origin + ")"},
       {"Login date", session.login_date().IsoDate()},
       {"Messages", MessageLanguage()}});
  std::vector<PriceRow> rows = ValidRows(session);
  if (rows.empty()) {
    report.Text("This database has no prices valid on " + session.login_date().IsoDate() +
                "; for the full tour run the demo on a new file: tamsel demo --db new.db");
  }
  RuleLookup(report, session, rows);
  const PriceRow* group = TierChange(report, session, rows);
  FreeItems(report, session, rows);
  Cheapest(report, session, rows);
  Maintenance(report, session, group, MessageLanguage());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  report.Finish("Demo finished in " + FormatNumber(std::round(seconds * 100) / 100) + " s.");
  return 0;
}

}  // namespace

void AddDemoCommand(CLI::App& app, GlobalOptions& options, Action& action) {
  auto* demo = app.add_subcommand(
      "demo", "Walk through the main jobs on the embedded demo database (created when missing)");
  demo->footer(std::string("Default database: ./") + kDefaultDemoDb +
               "; default login date: " + kDemoDate + ".");
  demo->callback([&options, &action] { action = [&options] { return RunDemo(options); }; });
}

}  // namespace tamsel::cli
