// tamsel demo: the main jobs, one after the other, on the embedded demo database.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>

#include "commands/commands.h"
#include "db/connection_text.h"
#include "files/rule_file.h"
#include "present/explain.h"
#include "present/i18n.h"

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
  return Tf("{0} up to {1}", FormatNumber(tier.iLowerLimit), FormatUpperLimit(tier.iUpperLimit));
}

std::string Describe(const ComponentError& e) { return CleanMessage(e.description()); }

void RuleLookup(Report& report, Session& session, const std::vector<PriceRow>& rows) {
  report.Section(_("1. The rule that applies to a vendor, an item and a date"));
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
    report.Text(Tf("No rule applies on {0}.", session.today().IsoDate()));
    return;
  }
  report.Text(
      Tf("GetVenInvPriceRule({0}, {1}, {2}): a vendor's own rule beats one for any vendor, "
         "a promotion beats a normal rule.",
         rule->cVenCode, rule->cInvCode, session.today().IsoDate()));
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
  report.Section(_("2. The price of one purchase at three quantities"));
  std::vector<double> limits;
  const PriceRow* group = TieredGroup(rows, limits);
  if (group == nullptr) {
    report.Text(_("The price list has no vendor with several quantity tiers on this date."));
    return nullptr;
  }
  // Inside the first band, exactly on the second band's start, and well beyond the last.
  std::vector<double> quantities = {limits[1] / 2, limits[1], limits.back() * 2};
  report.Text(
      Tf("Vendor {0}, item {1}, {2}: a band's lower limit belongs to it, its upper limit to the "
         "next (tamsel price --explain shows every row and why it lost). The prices come from the "
         "suite's price list, which the purchasing module keeps and tamsel pricelist import adds "
         "to; the rules of sections 5 to 7 are "
         "stored apart and change none of them.",
         group->vendor, group->item, session.today().IsoDate()));
  Table table({N_("Quantity"), N_("Band"), N_("Unit price"), N_("With tax"), N_("Total")});
  for (size_t c : {0, 2, 3, 4}) table.AlignRight(c);
  for (double qty : quantities) {
    auto tier = session.manager().GetVenInvPriceRuleItem(
        group->vendor, group->item, session.today(), qty, "", group->supply_type);
    if (!tier) {
      table.AddRow({FormatNumber(qty), _("(no price)")});
      continue;
    }
    table.AddRow({FormatNumber(qty), BandOf(*tier), FormatMoney(tier->iUnitPrice),
                  FormatMoney(tier->iTaxUnitPrice), FormatMoney(qty * tier->iUnitPrice)});
  }
  report.Rows(table);
  return group;
}

void FreeItems(Report& report, Session& session, const std::vector<PriceRow>& rows) {
  report.Section(_("3. The same with a free-item value"));
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
    report.Text(_("The price list has no prices by free-item value on this date."));
    return;
  }
  const auto& [vendor, item, supply_type, n] = best->first;
  report.Text(
      Tf("Vendor {0}, item {1}: the price depends on free item {2}; the look-up's XML "
         "parameter carries the value.",
         vendor, item, n));
  Table table({N_("Free-item XML"), N_("Price-list row"), N_("Unit price"), N_("With tax")});
  for (size_t c : {1, 2, 3}) table.AlignRight(c);
  for (const auto& value : best->second) {
    std::string xml = FreeItemXml({std::to_string(n) + "=" + value});
    auto tier = session.manager().GetVenInvPriceRuleItem(vendor, item, session.today(), 1, "",
                                                         supply_type, xml);
    if (!tier) {
      table.AddRow({xml, _("(no price)")});
    } else {
      table.AddRow({xml, std::to_string(tier->id), FormatMoney(tier->iUnitPrice),
                    FormatMoney(tier->iTaxUnitPrice)});
    }
  }
  report.Rows(table);
}

void Cheapest(Report& report, Session& session, const std::vector<PriceRow>& rows) {
  report.Section(_("4. The cheapest vendor, prices compared in local currency"));
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
    report.Text(_("No item has prices from several vendors on this date."));
    return;
  }
  double qty = std::max(1.0, top_limit[item]);
  const auto winner = ComparePriceWithRate(session.manager(), item, qty, 1);
  report.Text(
      Tf("ComparePrice({0}, {1}) on {2}, every qualifying offer converted with the day's "
         "rate, cheapest first (tamsel compare --all):",
         item, FormatNumber(qty), session.today().IsoDate()));
  report.Rows(OffersTable(RankOffers(session, item, qty, 1, "")));
  if (!winner) {
    report.Text(_("No vendor qualifies."));
    return;
  }
  auto rule = winner->item->objRule();
  LocalPrice local = ToLocalCurrency(*winner, LocalCurrency(session));
  report.Fields({{N_("Cheapest vendor"), rule->cVenCode + " (" + rule->cVenAbbName + ")"},
                 {N_("Price-list row"), std::to_string(winner->item->id)},
                 {N_("Conversion"), local.Describe()}});
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
  report.Section(_("5. A new rule, created and loaded back"));
  if (group == nullptr) {
    report.Text(_("Skipped: no vendor and item to write a rule for."));
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
      Tf("CreateVenInvPriceRule verified it, completed names from master data and stored it as "
         "rule {0}. LoadVenInvPriceRule reads back:",
         rule->id));
  auto loaded = manager.LoadVenInvPriceRule(rule->id);
  report.Fields(RuleHeaderDisplay(*loaded));
  report.Rows(TierTable(*loaded));

  report.Section(_("6. An overlapping rule is refused"));
  Date overlap_from = from.AddDays(30);
  report.Text(
      Tf("A second rule for {0}/{1} from {2} without end, with the overlap check on, in "
         "each language:",
         group->vendor, group->item, overlap_from.IsoDate()));
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
      refusals.emplace_back(lang,
                            Tf("stored as rule {0} (the overlap went unnoticed)", attempt->id));
      manager.RemoveVenInvPriceRule(attempt->id);
    } catch (const ComponentError& e) {
      refusals.emplace_back(lang, Describe(e));
    }
  }
  SetMessageLanguage(language);
  report.Fields(refusals);

  report.Section(_("7. A stale save is refused by the row version"));
  auto first = manager.LoadVenInvPriceRule(rule->id);
  auto second = manager.LoadVenInvPriceRule(rule->id);
  std::string read_version = first->ufts;
  first->ruleItems->Item("2")->iUnitPrice = 2.1;
  first->ruleItems->Item("2")->iTaxUnitPrice = 2.373;
  manager.SaveVenInvPriceRule(first);
  report.Text(
      Tf("Two users load rule {0} at row version {1}. The first saves a new price for "
         "tier 2: row version now {2}.",
         rule->id, read_version, first->ufts));
  second->cMemo = std::string(kDemoMemo) + " (second user)";
  std::string outcome;
  try {
    manager.SaveVenInvPriceRule(second);
    outcome = _("saved (the change went unnoticed)");
  } catch (const ComponentError& e) {
    outcome = Describe(e);
  }
  report.Fields({{N_("Second user's save"), outcome}});

  report.Section(_("8. Clean-up"));
  manager.RemoveVenInvPriceRule(rule->id);
  auto left = manager.ListVenInvPriceRules("id = " + std::to_string(rule->id));
  report.Text(Tf("RemoveVenInvPriceRule({0}): rule and tiers removed; {1} rows left with that id.",
                 rule->id, left->RecordCount()));
  left->Close();
}

int RunDemo(GlobalOptions options) {
  auto start = std::chrono::steady_clock::now();
  if (options.db_path.empty() && options.connection.empty()) options.db_path = kDefaultDemoDb;
  if (options.login_date.empty()) options.login_date = kDemoDate;
  Report report(options.json);
  std::string origin = _("reused");
  if (!options.db_path.empty()) {
    std::error_code ec;
    if (!std::filesystem::exists(options.db_path, ec)) {
      CreateDatabase(options.db_path, /*demo_data=*/true);
      origin = _("created with the suite schema and demo data");
    }
  }
  Session session(options);
  report.Section(_("Tamsel demo"));
  report.Fields(
      {{N_("Database"), (options.db_path.empty() ? detail::RedactConnectionText(options.connection)
                                                 : options.db_path) +
                            " (" + origin + ")"},
       {N_("Login date"), session.login_date().IsoDate()},
       {N_("Messages"), MessageLanguage()}});
  std::vector<PriceRow> rows = ValidRows(session);
  if (rows.empty()) {
    report.Text(
        Tf("This database has no prices valid on {0}; for the full tour run the demo on a "
           "new file: tamsel demo --db new.db",
           session.login_date().IsoDate()));
  }
  RuleLookup(report, session, rows);
  const PriceRow* group = TierChange(report, session, rows);
  FreeItems(report, session, rows);
  Cheapest(report, session, rows);
  Maintenance(report, session, group, MessageLanguage());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  report.Finish(Tf("Demo finished in {0} s.", FormatNumber(std::round(seconds * 100) / 100)));
  return 0;
}

}  // namespace

void AddDemoCommand(CLI::App& app, GlobalOptions& options, Action& action) {
  auto* demo = app.add_subcommand(
      "demo", _("Walk through the main jobs on the embedded demo database (created when missing)"));
  demo->footer(Tf("Default database: ./{0}; default login date: {1}.", kDefaultDemoDb, kDemoDate));
  demo->callback([&options, &action] { action = [&options] { return RunDemo(options); }; });
}

}  // namespace tamsel::cli
