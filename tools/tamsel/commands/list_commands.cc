// rule list, pricelist list and the master-data lists: filtered, limited, and read a page at a
// time so that a list of any length is printed with the memory of one page.

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

#include <functional>
#include <iostream>
#include <memory>

#include "commands/commands.h"
#include "common/text.h"
#include "present/i18n.h"

namespace tamsel::cli {

namespace {

// Rows per statement: enough to keep the statements few, few enough to keep memory flat.
constexpr int64_t kPageRows = 2000;

struct ListSource {
  const char* one;   // the count line: "{0} rule."
  const char* many;  // "{0} rules."
  const char* from;  // view or table
  const char* key;   // unique column the pages follow; "" reads in one statement
  const char* order;
  std::vector<std::string> columns;  // shown in a table; --json shows every column
  // The columns --vendor, --item and --currency compare with; "" where one does not apply.
  const char* vendor;
  const char* item;
  const char* currency;
};

const ListSource kRules = {NP_("{0} rule.", "{0} rules."),
                           "pu_VenInvPriceRule",
                           "id",
                           "id",
                           {"id", "cVenCode", "cVenAbbName", "cInvCode", "cInvName", "iSupplyType",
                            "cExch_Name", "dEnableDate", "dDisableDate", "bPromotion"},
                           "cVenCode",
                           "cInvCode",
                           "cExch_Name"};
const ListSource kPriceList = {
    NP_("{0} price-list row.", "{0} price-list rows."),
    "pu_veninvpricelist",
    "autoid",
    "autoid",
    {"autoid", "cVenCode", "cInvCode", "iSupplyType", "cExch_Name", "dEnableDate", "dDisableDate",
     "iLowerLimit", "iUpperLimit", "iUnitPrice", "iTaxUnitPrice", "cFree1", "cFree2", "cFree3"},
    "cVenCode",
    "cInvCode",
    "cExch_Name"};
// The price list's own table, for export: its column names, not the view's.
const ListSource kPriceTable = {NP_("{0} price-list row.", "{0} price-list rows."),
                                "ven_inv_price",
                                "autoid",
                                "autoid",
                                {},
                                "cVenCode",
                                "cInvCode",
                                "cExch_Name"};
const ListSource kVendors = {NP_("{0} vendor.", "{0} vendors."),
                             "Vendor",
                             "cVenCode",
                             "cVenCode",
                             {"cVenCode", "cVenName", "cVenAbbName", "dEndDate", "bVenOverseas"},
                             "cVenCode",
                             "",
                             ""};
const ListSource kItems = {NP_("{0} item.", "{0} items."),
                           "Inventory",
                           "cInvCode",
                           "cInvCode",
                           {"cInvCode", "cInvName", "cInvStd", "cComUnitCode", "bPurchase"},
                           "",
                           "cInvCode",
                           ""};
const ListSource kCurrencies = {NP_("{0} currency.", "{0} currencies."),
                                "ForeignCurrency",
                                "cExch_Name",
                                "cExch_Name",
                                {"cExch_Name", "cExch_Code", "iOtherUsed", "bCal"},
                                "",
                                "",
                                "cExch_Name"};
// Rates have no single-column key; a currency's rates are few enough for one statement.
const ListSource kRates = {NP_("{0} rate.", "{0} rates."),
                           "exch",
                           "",
                           "cexch_name, itype, iyear, cdate",
                           {"cexch_name", "itype", "iyear", "cdate", "nflat"},
                           "",
                           "",
                           "cexch_name"};

// The list's condition: the caller's filter (an SQL condition, as trusted as the list
// operations take it, in the tool's names or the columns') and the codes asked for, quoted.
std::string Condition(const ListSource& source, const ListArgs& args) {
  std::vector<std::string> parts;
  if (!detail::Trim(args.filter).empty()) parts.push_back("(" + FilterToColumns(args.filter) + ")");
  for (const auto& [column, value] : {std::pair{source.vendor, &args.vendor},
                                      {source.item, &args.item},
                                      {source.currency, &args.currency}}) {
    if (*column != '\0' && !value->empty()) {
      parts.push_back(std::string(column) + " = " + ToSqlText(Variant(*value)));
    }
  }
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : " and ") + part;
  return out;
}

// Each page's result is freed just before the next one, of the same size, is read. By default
// the allocator hands such large blocks back to the system and faults them in again page after
// page, which costs a long list more time in the kernel than in writing; kept in the process,
// they serve the next page, and the peak stays that of one page.
void KeepPagesInProcess() {
#ifdef M_MMAP_THRESHOLD
  static const bool kept = [] {
    return mallopt(M_MMAP_THRESHOLD, 32 << 20) == 1 && mallopt(M_TRIM_THRESHOLD, 256 << 20) == 1;
  }();
  static_cast<void>(kept);
#endif
}

void EachListPage(const std::string& connection_text, const ListSource& source,
                  const ListArgs& args, const std::function<void(Recordset&)>& page) {
  KeepPagesInProcess();
  Connection conn;
  conn.Open(connection_text);
  const std::string condition = Condition(source, args);
  int64_t left = args.limit < 0 ? INT64_MAX : args.limit;
  Variant last;  // the key of the last row shown
  while (left > 0) {
    const bool paged = *source.key != '\0';
    const int64_t rows = paged ? std::min(left, kPageRows) : left;
    std::string where = condition;
    if (paged && !last.IsEmpty()) {
      where = std::string(source.key) + " > " + ToSqlText(last) +
              (condition.empty() ? "" : " and " + condition);
    }
    const std::string top = rows == INT64_MAX ? "" : "top " + std::to_string(rows) + " ";
    auto rs =
        conn.OpenRecordset("select " + top + "* from " + source.from +
                           (where.empty() ? "" : " where " + where) + " order by " + source.order);
    const int32_t count = rs->RecordCount();
    if (count == 0) break;
    left -= count;
    if (paged && count == rows) {
      for (int32_t row = 1; row < count; ++row) rs->MoveNext();
      last = rs->Fields(source.key);
      rs->MoveFirst();
    }
    page(*rs);
    if (!paged || count < rows) break;
  }
}

int List(const GlobalOptions& options, const ListSource& source, const ListArgs& args) {
  // The manager's session reports an unreachable database as every command does.
  const Session session(options);
  const std::string& text = session.connection_text();
  int64_t count = 0;
  std::vector<size_t> widths;
  JsonRows rows([&](std::string_view text) {
    if (options.json) std::cout << text;
  });
  EachListPage(text, source, args, [&](Recordset& rs) {
    if (options.json) {
      count += rows.AddAll(rs);
      return;
    }
    std::vector<std::string> columns;
    for (const auto& c : source.columns) {
      if (rs.HasField(c)) columns.push_back(c);
    }
    count += rs.RecordCount();
    const Table table = RecordsetToTable(rs, columns);
    const bool first = widths.empty();
    if (first) widths = table.Widths();
    table.Print(std::cout, widths, first);
  });
  rows.Close();
  if (!options.json) {
    std::cout << Tfn(source.one, source.many, count, count) << '\n';
  }
  return kDone;
}

}  // namespace

void AddListOptions(CLI::App& cmd, ListArgs& args, bool vendor, bool item, bool currency) {
  cmd.add_option("--filter", args.filter,
                 _("SQL condition over the list's fields (cExchName = 'USD' and bPromotion = 1)"));
  if (vendor) cmd.add_option("--vendor", args.vendor, _("only this vendor code"));
  if (item) cmd.add_option("--item", args.item, _("only this item code"));
  if (currency) cmd.add_option("--currency", args.currency, _("only this currency name"));
  cmd.add_option("--limit", args.limit, _("at most this many rows"))->check(CLI::NonNegativeNumber);
}

void AddListCommands(CLI::App& app, CLI::App& rule, GlobalOptions& options, Action& action) {
  const auto add = [&](CLI::App& parent, const char* name, const char* about,
                       const ListSource& source) {
    auto args = std::make_shared<ListArgs>();
    auto* cmd = parent.add_subcommand(name, _(about));
    AddListOptions(*cmd, *args, *source.vendor != '\0', *source.item != '\0',
                   *source.currency != '\0');
    cmd->callback([&options, &action, &source, args] {
      action = [&options, &source, args] { return List(options, source, *args); };
    });
    return cmd;
  };
  add(rule, "list", N_("Stored rules, with vendor and item names"), kRules);
  auto* pricelist = app.add_subcommand("pricelist", _("The supplier price list"));
  pricelist->require_subcommand(1);
  add(*pricelist, "list", N_("Price-list rows"), kPriceList);
  const struct {
    const char* name;
    const char* about;
    const ListSource* source;
  } lists[] = {{"vendor", N_("Vendors (master data)"), &kVendors},
               {"item", N_("Items (master data)"), &kItems},
               {"currency", N_("Currencies (master data)"), &kCurrencies},
               {"rate", N_("Exchange rates, daily (itype 1) and monthly (itype 2)"), &kRates}};
  for (const auto& list : lists) {
    auto* group = app.add_subcommand(list.name, _(list.about));
    group->require_subcommand(1);
    add(*group, "list", list.about, *list.source);
  }
}

namespace {

int64_t CountRows(const std::string& connection_text, const ListSource& source,
                  const ListArgs& args) {
  Connection conn;
  conn.Open(connection_text);
  const std::string condition = Condition(source, args);
  const int64_t count = static_cast<int64_t>(
      VarToDbl(conn.OpenRecordset(std::string("select count(*) as n from ") + source.from +
                                  (condition.empty() ? "" : " where " + condition))
                   ->Fields("n")));
  return args.limit < 0 ? count : std::min(count, args.limit);
}

}  // namespace

int64_t CountRules(const std::string& connection_text, const ListArgs& args) {
  return CountRows(connection_text, kRules, args);
}

int64_t CountPriceRows(const std::string& connection_text, const ListArgs& args) {
  return CountRows(connection_text, kPriceTable, args);
}

void EachPriceRowPage(const std::string& connection_text, const ListArgs& args,
                      const std::function<void(Recordset&)>& page) {
  EachListPage(connection_text, kPriceTable, args, page);
}

void EachRulePage(const std::string& connection_text, const ListArgs& args,
                  const std::function<void(Recordset&)>& page) {
  EachListPage(connection_text, kRules, args, page);
}

}  // namespace tamsel::cli
