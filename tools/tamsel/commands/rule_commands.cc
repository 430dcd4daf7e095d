// rule new/show/create/save/remove/list and pricelist list.

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>

#include "commands/commands.h"
#include "db/connection_text.h"
#include "files/rule_file.h"
#include "present/chart.h"
#include "present/i18n.h"

namespace tamsel::cli {
namespace {

Json ReadRuleFile(const std::string& path) {
  std::string text = ReadInput(path);
  try {
    return Json::parse(text);
  } catch (const Json::parse_error& e) {
    throw ToolError(Tf("{0}: not valid JSON: {1}", path, e.what()));
  }
}

void PrintRule(const GlobalOptions& options, const PriceRule& rule) {
  if (options.json) {
    std::cout << RuleToJson(rule).dump(2) << '\n';
    return;
  }
  PrintFields(std::cout, RuleHeaderDisplay(rule));
  std::cout << '\n';
  Table tiers = TierTable(rule);
  if (tiers.empty()) {
    std::cout << "  " << _("(no tiers)") << '\n';
  } else {
    tiers.Print(std::cout);
  }
}

int32_t ParseId(const std::string& text) {
  try {
    size_t used = 0;
    long long id = std::stoll(text, &used);
    if (used == text.size() && id >= INT32_MIN && id <= INT32_MAX) return static_cast<int32_t>(id);
  } catch (const std::exception&) {
  }
  throw UsageError(Tf("not a rule id: {0}", text));
}

// A word as a POSIX shell reads it back: quoted when it holds anything but plain characters.
std::string ShellWord(const std::string& word) {
  constexpr std::string_view kPlain =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.,/:=@%+";
  if (!word.empty() && word.find_first_not_of(kPlain) == std::string::npos) return word;
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The options that chose the database, for a command suggested to the user; a connection text
// with its secrets masked. Nothing for the environment's text, which the command finds there.
std::string DatabaseArguments(const GlobalOptions& options) {
  if (!options.db_path.empty()) return " --db " + ShellWord(options.db_path);
  if (!options.connection_file.empty())
    return " --connection-file " + ShellWord(options.connection_file);
  const char* environment = std::getenv("TAMSEL_CONNECTION");
  if (options.connection.empty() || (environment && options.connection == environment)) return "";
  return " --connection " + ShellWord(detail::RedactConnectionText(options.connection));
}

}  // namespace

void AddRuleCommands(CLI::App& rule, GlobalOptions& options, Action& action) {
  auto* cmd_new = rule.add_subcommand(
      "new", _("Print a new rule file with the suite's defaults and one open tier to fill in"));
  cmd_new->callback([&options, &action] {
    action = [&options] {
      Session session(options);
      // The file is meant for editing: always the rule-file shape.
      std::cout << RuleTemplate(session.manager()).dump(2) << '\n';
      return 0;
    };
  });

  auto show_id = std::make_shared<std::string>();
  auto show_chart = std::make_shared<bool>(false);
  auto* show = rule.add_subcommand("show", _("A stored rule with its tiers (--json: a rule file)"));
  show->add_option("ID", *show_id, _("rule id"))->required();
  show->add_flag("--chart", *show_chart, _("also draw the answer in the terminal"));
  show->callback([&options, &action, show_id, show_chart] {
    action = [&options, show_id, show_chart] {
      if (*show_chart && options.json) {
        throw UsageError(_("--chart draws for people; not with --json"));
      }
      int32_t id = ParseId(*show_id);
      Session session(options);
      auto rule = session.manager().LoadVenInvPriceRule(id);
      if (!rule) throw ToolError(Tf("no rule has id {0}", id), kNotFound);
      PrintRule(options, *rule);
      if (*show_chart) {
        std::cout << '\n';
        DrawFigures(std::cout, RuleFigures(session, *rule), TerminalWidth(), TerminalColour());
      }
      return 0;
    };
  });

  auto create_file = std::make_shared<std::string>();
  auto* create = rule.add_subcommand(
      "create", _("Verify and store a new rule from a rule file (JSON; - reads stdin)"));
  create->add_option("FILE", *create_file, _("rule file"))->required();
  create->callback([&options, &action, create_file] {
    action = [&options, create_file] {
      Json file = ReadRuleFile(*create_file);
      Session session(options);
      auto rule = RuleFromJson(file, session.manager());
      VerifyReportingAll(session.manager(), *rule);
      session.manager().CreateVenInvPriceRule(rule);
      if (options.json) {
        std::cout << RuleToJson(*rule).dump(2) << '\n';
      } else {
        std::cout << Tf("Created rule {0} (row version {1}).", rule->id, rule->ufts) << '\n';
      }
      return 0;
    };
  });

  auto save_file = std::make_shared<std::string>();
  auto save_update = std::make_shared<bool>(false);
  auto* save = rule.add_subcommand(
      "save",
      _("Store a changed rule from a rule file; refused when the stored rule changed since the "
        "file's ufts was read"));
  save->add_option("FILE", *save_file, _("rule file with id and ufts (from rule show --json)"))
      ->required();
  save->add_flag("--update", *save_update,
                 _("write the saved rule back to FILE, with its new row version, so that the next "
                   "save of the same file is not refused"));
  save->callback([&options, &action, save_file, save_update] {
    action = [&options, save_file, save_update] {
      if (*save_update && *save_file == "-") throw UsageError(_("--update needs a file, not -"));
      Json file = ReadRuleFile(*save_file);
      if (!file.is_object() || !file.contains("id") || !file.contains("ufts")) {
        throw ToolError(
            Tf("{0}: a rule to save needs its id and ufts (write it with rule show --json)",
               *save_file));
      }
      Session session(options);
      auto rule = RuleFromJson(file, session.manager());
      VerifyReportingAll(session.manager(), *rule);
      try {
        session.manager().SaveVenInvPriceRule(rule);
      } catch (const ComponentError& e) {
        if (ExitCodeOf(e) != kConflict) throw;
        throw ToolError(Tf("{0} Read it again with: {1}", CleanMessage(e.description()),
                           "tamsel rule show " + std::to_string(rule->id) + " --json" +
                               DatabaseArguments(options) + " > " + ShellWord(*save_file)),
                        kConflict);
      }
      if (*save_update) {
        try {
          WriteFileAtomically(*save_file, RuleToJson(*rule).dump(2) + "\n");
        } catch (const ToolError& e) {
          // The save is committed: say so, or a retry would be refused as stale unexplained.
          throw ToolError(
              Tf("saved rule {0} (row version {1}), but {2} (read it with: tamsel rule "
                 "show {0} --json)",
                 rule->id, rule->ufts, e.what()));
        }
      }
      if (options.json) {
        std::cout << RuleToJson(*rule).dump(2) << '\n';
      } else {
        std::cout << Tf("Saved rule {0} (row version {1}).", rule->id, rule->ufts) << '\n';
      }
      return 0;
    };
  });

  auto remove_id = std::make_shared<std::string>();
  auto* remove = rule.add_subcommand("remove", _("Remove a stored rule with its tiers"));
  remove->add_option("ID", *remove_id, _("rule id"))->required();
  remove->callback([&options, &action, remove_id] {
    action = [&options, remove_id] {
      int32_t id = ParseId(*remove_id);
      Session session(options);
      session.manager().RemoveVenInvPriceRule(id);
      if (options.json) {
        std::cout << Json{{"removed", id}}.dump(2) << '\n';
      } else {
        std::cout << Tf("Removed rule {0}.", id) << '\n';
      }
      return 0;
    };
  });
}

}  // namespace tamsel::cli
