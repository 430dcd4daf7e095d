// rule find, price and compare.

#include <cmath>
#include <iostream>
#include <map>
#include <memory>

#include "commands/commands.h"
#include "common/text.h"
#include "files/rule_file.h"
#include "present/chart.h"
#include "present/explain.h"
#include "present/i18n.h"

namespace tamsel::cli {

CLI::Validator QuantityValidator() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        try {
          size_t used = 0;
          double d = std::stod(value, &used);
          if (used == value.size() && std::isfinite(d)) {
            return d >= 0 ? "" : Tf("a quantity cannot be negative: {0}", value);
          }
        } catch (const std::exception&) {
        }
        return Tf("not a number: {0}", value);
      },
      "NUMBER", "Quantity");
}

void RequireVendor(const Session& session, const std::string& vendor) {
  if (!detail::Trim(vendor).empty() && !session.HasVendor(vendor)) {
    throw ToolError(Tf("vendor {0} does not exist", vendor), kNotFound);
  }
}

void RequireItem(const Session& session, const std::string& item) {
  if (!detail::Trim(item).empty() && !session.HasItem(item)) {
    throw ToolError(Tf("item {0} does not exist", item), kNotFound);
  }
}

namespace {

struct LookupArgs {
  std::string vendor, item, date, currency, today, xml;
  int32_t supply_type = 1;
  double qty = 0;
  std::vector<std::string> free;
  bool monthly_rates = false;
  bool explain = false;  // price: the candidate rows; compare: every qualifying offer
  bool chart = false;
};

void AddChartFlag(CLI::App& cmd, LookupArgs& args) {
  cmd.add_flag("--chart", args.chart, _("also draw the answer in the terminal"));
}

// Pictures are for people; the JSON stays one document.
void RefuseChartWithJson(const GlobalOptions& options, const LookupArgs& args) {
  if (args.chart && options.json) throw UsageError(_("--chart draws for people; not with --json"));
}

void Draw(const Figures& figures) {
  std::cout << '\n';
  DrawFigures(std::cout, figures, TerminalWidth(), TerminalColour());
}

void AddFreeOptions(CLI::App& cmd, LookupArgs& args) {
  auto* free = cmd.add_option("--free", args.free,
                              _("free-item value of the purchased item, N=VALUE with N from 1 to "
                                "10; repeat for several (--free 2=RED --free 5=XL)"));
  auto* xml = cmd.add_option("--xml", args.xml, _("the free-item XML parameter as it stands"));
  free->excludes(xml);
}

std::string XmlOf(const LookupArgs& args) {
  return args.xml.empty() ? FreeItemXml(args.free) : args.xml;
}

// The look-ups answer with codes; the names beside them come from the master data.
void AddNames(const Session& session, PriceRule& rule) {
  Connection conn;
  conn.Open(session.connection_text());
  const auto name_of = [&](const char* sql, const std::string& code, const char* column) {
    if (detail::Trim(code).empty()) return std::string();
    auto rs = conn.OpenRecordset(sql + ToSqlText(Variant(code)));
    return rs->Eof() ? std::string() : detail::Trim(VarToStr(rs->Fields(column)));
  };
  rule.cVenAbbName =
      name_of("select cVenAbbName from Vendor where cVenCode=", rule.cVenCode, "cVenAbbName");
  rule.cInvName =
      name_of("select cInvName from Inventory where cInvCode=", rule.cInvCode, "cInvName");
  conn.Close();
}

bool RuleFind(const GlobalOptions& options, const LookupArgs& args) {
  Session session(options);
  RequireVendor(session, args.vendor);
  RequireItem(session, args.item);
  Date date = args.date.empty() ? session.login_date() : ParseIsoDate(args.date);
  auto rule = session.manager().GetVenInvPriceRule(args.vendor, args.item, date, args.currency,
                                                   args.supply_type);
  if (rule) AddNames(session, *rule);
  if (options.json) {
    std::cout << (rule ? RuleHeaderToJson(*rule) : Json(nullptr)).dump(2) << '\n';
  } else if (!rule) {
    std::cout << Tf("No rule applies to vendor {0}, item {1} on {2}.", args.vendor, args.item,
                    date.IsoDate())
              << '\n';
  } else {
    PrintFields(std::cout, RuleHeaderDisplay(*rule));
  }
  return rule != nullptr;
}

bool Price(const GlobalOptions& options, const LookupArgs& args) {
  RefuseChartWithJson(options, args);
  std::string xml = XmlOf(args);
  Session session(options);
  RequireVendor(session, args.vendor);
  RequireItem(session, args.item);
  Date date = args.date.empty() ? session.login_date() : ParseIsoDate(args.date);
  auto tier = session.manager().GetVenInvPriceRuleItem(args.vendor, args.item, date, args.qty,
                                                       args.currency, args.supply_type, xml);
  if (tier && tier->objRule()) AddNames(session, *tier->objRule());
  const PriceQuery query{args.vendor, args.item, args.currency,   xml,
                         date,        args.qty,  args.supply_type};
  std::vector<Candidate> candidates;
  if (tier || args.explain || args.chart) candidates = PriceCandidates(session, query);
  const std::optional<NextTier> next =
      tier ? FindNextTier(session, query, candidates, *tier) : std::nullopt;
  const int32_t chosen = tier ? tier->id : 0;
  if (args.explain) {
    if (std::string odd = Disagreement(candidates, chosen); !odd.empty()) {
      std::cerr << Tf("warning: {0}", odd) << '\n';
    }
  }
  if (options.json) {
    if (!tier && !args.explain) {
      std::cout << "null\n";
      return false;
    }
    Json out =
        tier ? PriceToJson(*tier) : Json{{"autoid", nullptr}, {"rule", nullptr}, {"tier", nullptr}};
    out["nextTier"] =
        next ? Json{{"quantity", next->quantity}, {"unitPrice", next->unit_price}} : Json(nullptr);
    if (args.explain) out["candidates"] = CandidatesToJson(candidates);
    std::cout << out.dump(2) << '\n';
    return tier != nullptr;
  }
  if (!tier) {
    std::cout << Tf("No price applies to vendor {0}, item {1}, quantity {2} on {3}.", args.vendor,
                    args.item, FormatNumber(args.qty), date.IsoDate())
              << '\n';
  } else {
    PrintPrice(std::cout, *tier);
    if (next) std::cout << Tf("Next band: {0}.", DescribeNextTier(*next, args.qty)) << '\n';
  }
  if (args.explain) PrintCandidates(std::cout, candidates, chosen);
  if (args.chart) Draw(PriceFigures(session, query, candidates, chosen));
  return tier != nullptr;
}

bool Compare(const GlobalOptions& options, const LookupArgs& args) {
  RefuseChartWithJson(options, args);
  std::string xml = XmlOf(args);
  SessionSettings settings;
  if (!args.today.empty()) settings.today = ParseIsoDate(args.today);
  settings.monthly_rates = args.monthly_rates;
  Session session(options, settings);
  RequireItem(session, args.item);
  const std::optional<ComparedPrice> winner =
      ComparePriceWithRate(session.manager(), args.item, args.qty, args.supply_type, xml);
  std::vector<Offer> offers;
  if (args.explain || args.chart) {
    offers = RankOffers(session, args.item, args.qty, args.supply_type, xml);
    const int32_t first = offers.empty() ? 0 : offers.front().id;
    if (first != (winner ? winner->item->id : 0)) {
      std::cerr
          << Tf("warning: the ranking starts with row {0} but the comparison returned row {1}",
                first, winner ? winner->item->id : 0)
          << '\n';
    }
    if (std::string warning = MissingRateWarning(offers, session); !warning.empty()) {
      std::cerr << warning << '\n';
    }
  }
  if (!winner) {
    if (options.json) {
      std::cout << "null\n";
    } else {
      std::cout << Tf("No vendor offers item {0} for quantity {1} on {2}.", args.item,
                      FormatNumber(args.qty), session.today().IsoDate())
                << '\n';
    }
    return false;
  }
  const PriceRuleItem& tier = *winner->item;
  auto rule = tier.objRule();
  if (rule) AddNames(session, *rule);
  const LocalPrice local = ToLocalCurrency(*winner, LocalCurrency(session));
  if (options.json) {
    Json out = PriceToJson(tier);
    out["local"] = local.ToJson();
    if (args.explain) out["ranking"] = OffersToJson(offers);
    std::cout << out.dump(2) << '\n';
    return true;
  }
  std::cout << Tf("Cheapest vendor for item {0}, quantity {1}, on {2}:", args.item,
                  FormatNumber(args.qty), session.today().IsoDate())
            << '\n';
  PrintPrice(std::cout, tier);
  PrintFields(std::cout, {{N_("In local currency"), local.Describe()}});
  if (args.explain) {
    std::cout << '\n'
              << _("Each offer at this quantity, cheapest in local currency first:") << '\n';
    OffersTable(offers).Print(std::cout);
  }
  if (args.chart) Draw(CompareFigures(session, offers, args.item, args.qty, args.supply_type, xml));
  return true;
}

}  // namespace

std::string FreeItemXml(const std::vector<std::string>& free_items) {
  if (free_items.empty()) return "";
  std::map<int, std::string> values;
  for (const auto& item : free_items) {
    size_t eq = item.find('=');
    int n = 0;
    if (eq != std::string::npos && eq > 0 && eq <= 2 &&
        item.find_first_not_of("0123456789") == eq) {
      n = std::stoi(item.substr(0, eq));
    }
    if (n < 1 || n > 10) {
      throw UsageError(Tf("--free expects N=VALUE with N from 1 to 10: {0}", item));
    }
    if (!values.emplace(n, item.substr(eq + 1)).second) {
      throw UsageError(Tf("--free {0} given twice", n));
    }
  }
  std::string xml = "<z";
  for (const auto& [n, value] : values) {
    xml += " cfree" + std::to_string(n) + "=\"" + XmlEscape(value) + "\"";
  }
  return xml + "/>";
}

void AddLookupCommands(CLI::App& app, CLI::App& rule, GlobalOptions& options, Action& action) {
  auto find_args = std::make_shared<LookupArgs>();
  auto* find = rule.add_subcommand("find", _("The rule that applies to a vendor, item and date"));
  find->add_option("--vendor", find_args->vendor, _("vendor code"))->required();
  find->add_option("--item", find_args->item, _("item code"))->required();
  find->add_option("--date", find_args->date, _("the day (default: the login date)"))
      ->check(IsoDateValidator());
  find->add_option("--currency", find_args->currency, _("currency name (default: any)"));
  find->add_option("--supply-type", find_args->supply_type, _("supply type (default 1)"));
  find->callback([&options, &action, find_args] {
    action = [&options, find_args] { return RuleFind(options, *find_args) ? kDone : kNotFound; };
  });

  auto price_args = std::make_shared<LookupArgs>();
  auto* price = app.add_subcommand("price", _("The price-list price of one purchase"));
  price->add_option("--vendor", price_args->vendor, _("vendor code"))->required();
  price->add_option("--item", price_args->item, _("item code"))->required();
  price->add_option("--date", price_args->date, _("the day (default: the login date)"))
      ->check(IsoDateValidator());
  price->add_option("--qty", price_args->qty, _("quantity"))
      ->required()
      ->check(QuantityValidator());
  price->add_option("--currency", price_args->currency, _("currency name (default: any)"));
  price->add_option("--supply-type", price_args->supply_type, _("supply type (default 1)"));
  price->add_flag("--explain", price_args->explain,
                  _("also list the item's price-list rows: why each is out, why the winner won"));
  AddChartFlag(*price, *price_args);
  AddFreeOptions(*price, *price_args);
  price->callback([&options, &action, price_args] {
    action = [&options, price_args] { return Price(options, *price_args) ? kDone : kNotFound; };
  });

  auto cmp_args = std::make_shared<LookupArgs>();
  auto* compare = app.add_subcommand(
      "compare", _("The cheapest vendor for an item, prices compared in local currency"));
  compare->add_option("--item", cmp_args->item, _("item code"))->required();
  compare->add_option("--qty", cmp_args->qty, _("quantity"))
      ->required()
      ->check(QuantityValidator());
  compare->add_option("--supply-type", cmp_args->supply_type, _("supply type (default 1)"));
  compare->add_option("--today", cmp_args->today, _("business date (default: the login date)"))
      ->check(IsoDateValidator());
  compare->add_flag("--monthly-rates", cmp_args->monthly_rates,
                    _("convert with the month's rate instead of the day's"));
  compare->add_flag("--all", cmp_args->explain,
                    _("also rank every qualifying offer, with the rate each was converted at"));
  AddChartFlag(*compare, *cmp_args);
  AddFreeOptions(*compare, *cmp_args);
  compare->callback([&options, &action, cmp_args] {
    action = [&options, cmp_args] { return Compare(options, *cmp_args) ? kDone : kNotFound; };
  });
}

}  // namespace tamsel::cli
