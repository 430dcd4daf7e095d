// report: the look-ups of an item as pictures on one self-contained web page.

#include <iostream>
#include <memory>

#include "commands/commands.h"
#include "present/chart.h"
#include "present/i18n.h"

namespace tamsel::cli {
namespace {

struct ReportArgs {
  std::string item, vendor, date, output;
  double qty = 0;
  int32_t supply_type = 1;
};

int Report(const GlobalOptions& options, const ReportArgs& args) {
  SessionSettings settings;
  // The comparison prices on its business date: the report's date, so that all three figures
  // answer for the same day.
  if (!args.date.empty()) settings.today = ParseIsoDate(args.date);
  Session session(options, settings);
  RequireVendor(session, args.vendor);
  RequireItem(session, args.item);
  const Figures figures =
      ReportFigures(session, args.item, args.vendor, args.qty, args.supply_type, "");
  const std::string page = ReportPage(figures, args.qty, MessageLanguage());
  if (args.output.empty() || args.output == "-") {
    std::cout << page;
  } else {
    WriteFileAtomically(args.output, page);
  }
  return kDone;
}

}  // namespace

void AddReportCommand(CLI::App& app, GlobalOptions& options, Action& action) {
  auto args = std::make_shared<ReportArgs>();
  auto* report = app.add_subcommand(
      "report", _("A web page of an item's price breaks, vendor comparison and validity"));
  report->add_option("--item", args->item, _("item code"))->required();
  report->add_option("--qty", args->qty, _("quantity"))->required()->check(QuantityValidator());
  report->add_option("--date", args->date, _("the day (default: the login date)"))
      ->check(IsoDateValidator());
  report->add_option("--vendor", args->vendor, _("vendor code"));
  report->add_option("--supply-type", args->supply_type, _("supply type (default 1)"));
  report->add_option("-o,--output", args->output, _("the page's file (default: standard output)"));
  report->callback(
      [&options, &action, args] { action = [&options, args] { return Report(options, *args); }; });
}

}  // namespace tamsel::cli
