// The man pages: tamsel(1) and one page per command, written from the declared commands and
// options that --help shows, so that a page cannot lack an option. Pages stay English whatever
// the message language; the build writes them with --lang en-US.

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "commands/introduce.h"
#include "present/i18n.h"
#include "present/output.h"

namespace tamsel::cli {

namespace {

// Worked examples, after the README's. Every option they name is checked against the commands
// when the pages are written, so an example that no longer runs stops the build.
const std::vector<Example> kExamples = {
    {"init",
     "A new embedded database with the demo vendors, items, rates and rules:",
     {"init --db prices.db --demo-data"}},
    {"rule find",
     "The rule that applies to a vendor and item on a day:",
     {"rule find --db prices.db --vendor V001 --item A01 --date 2026-12-06"}},
    {"price",
     "The price-list price of a purchase of 2,000 pieces:",
     {"price --db prices.db --vendor V002 --item A01 --date 2026-12-06 --qty 2000"}},
    {"price",
     "The price of an item variant, whose free item 2 is P6:",
     {"price --db prices.db --vendor V001 --item C01 --date 2026-12-06 --qty 10 --free 2=P6"}},
    {"price",
     "Why a price won: every price-list row of the item in the look-up's order, with the "
     "conditions each fails:",
     {"price --db prices.db --vendor V002 --item A01 --date 2026-12-06 --qty 1500 --explain"}},
    {"compare",
     "The cheapest vendor for an item, prices converted to local currency:",
     {"compare --db prices.db --item A02 --qty 10000 --today 2026-12-06"}},
    {"compare",
     "Every vendor's offer ranked, with the rate each was converted at:",
     {"compare --db prices.db --item A02 --qty 1 --today 2028-01-03 --all"}},
    {"rule show", "A rule with its tiers, in the terminal:", {"rule show 3 --db prices.db"}},
    {"rule save",
     "Change a rule: write it as a rule file, edit the file, save it. The save is refused (exit "
     "status 5) when somebody saved the rule in between; --update keeps rule.json current:",
     {"rule show 3 --db prices.db --json > rule.json",
      "rule save rule.json --update --db prices.db"}},
    {"rule create",
     "A new rule from the defaults: fill in vendor, item and prices, then store it:",
     {"rule new --db prices.db > new.json", "rule create new.json --db prices.db"}},
    {"rule remove", "Remove rule 6 with its tiers:", {"rule remove 6 --db prices.db"}},
    {"rule list",
     "The promotions in US dollars:",
     {"rule list --db prices.db --filter \"cExchName = 'USD' and bPromotion = 1\""}},
    {"rule export", "Every rule as CSV:", {"rule export --db prices.db > rules.csv"}},
    {"rule import",
     "Edit a vendor's rules in a spreadsheet: export them, edit the file, and predict the import "
     "with --dry-run before running it without:",
     {"rule export --db prices.db --vendor V001 -o v001-rules.csv",
      "rule import v001-rules.csv --db prices.db --dry-run"}},
    {"pricelist list",
     "The first 20 price-list rows of a vendor and item:",
     {"pricelist list --db prices.db --vendor V001 --item A01 --limit 20"}},
    {"pricelist import",
     "Change prices: export a vendor's rows, edit the file, and import the edited rows over the "
     "stored ones, each checked first:",
     {"pricelist export --db prices.db --vendor V001 -o v001.csv",
      "pricelist import v001.csv --db prices.db --replace"}},
    {"pricelist export",
     "An item's price list as an xlsx workbook:",
     {"pricelist export --db prices.db --item A01 -o a01.xlsx"}},
    {"vendor list", "The vendors:", {"vendor list --db prices.db"}},
    {"item list", "The first 20 items:", {"item list --db prices.db --limit 20"}},
    {"currency list", "The currencies:", {"currency list --db prices.db"}},
    {"rate list", "The exchange rates of US dollars:", {"rate list --db prices.db --currency USD"}},
    {"gen",
     "A new database with a generated price list of a million rows:",
     {"init --db big.db", "gen --db big.db --rows 1000000"}},
    {"report",
     "A web page of item A01's price breaks, offers and validity at 2,500 pieces:",
     {"report --db prices.db --item A01 --qty 2500 --date 2026-12-06 -o a01.html"}},
    {"demo", "The walk-through, on tamsel-demo.db in the current directory:", {"demo"}},
    {"",
     "The database named by a connection text kept in a file, off the command line:",
     {"rule list --connection-file conn.txt"}},
};

// Text for roff: backslashes and hyphens escaped (a hyphen in an option must stay a minus, to be
// copied), a control character at the start of a line defused, and any other character than
// ASCII by its code point, which needs no input encoding.
std::string Roff(std::string_view text) {
  std::string out;
  bool line_start = true;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (line_start && (c == '.' || c == '\'')) out += "\\&";
    line_start = c == '\n';
    if (static_cast<unsigned char>(c) >= 0x80) {
      out += fmt::format("\\[u{:04X}]", NextCodePoint(text, i));
      continue;
    }
    out += c == '\\' ? "\\e" : c == '-' ? "\\-" : std::string(1, c);
    ++i;
  }
  return out;
}

std::string Bold(std::string_view text) { return "\\fB" + Roff(text) + "\\fR"; }
std::string Italic(std::string_view text) { return "\\fI" + Roff(text) + "\\fR"; }

// Running text: a line break of the source stays one.
std::string Paragraph(std::string_view text) {
  std::string out = Roff(text);
  for (size_t at = 0; (at = out.find('\n', at)) != std::string::npos; at += 5) {
    out.replace(at, 1, "\n.br\n");
  }
  return out + '\n';
}

// A command's description for the NAME line, which starts in lower case.
std::string Summary(const CLI::App& cmd) {
  std::string text = cmd.get_description();
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

// tamsel-rule for rule; tamsel for the top level.
std::string PageName(const CLI::App& cmd) {
  std::string name = "tamsel " + CommandPath(cmd);
  while (name.back() == ' ') name.pop_back();
  std::replace(name.begin(), name.end(), ' ', '-');
  return name;
}

std::string SeeAlso(const CLI::App& cmd) { return Bold(PageName(cmd)) + "(1)"; }

std::vector<const CLI::App*> Leaves(const CLI::App& cmd) {
  std::vector<const CLI::App*> leaves;
  const auto subs = VisibleCommands(cmd);
  if (subs.empty()) leaves.push_back(&cmd);
  for (const CLI::App* sub : subs) {
    const auto more = Leaves(*sub);
    leaves.insert(leaves.end(), more.begin(), more.end());
  }
  return leaves;
}

std::vector<const CLI::Option*> Positionals(const CLI::App& cmd) {
  return cmd.get_options([](const CLI::Option* opt) { return opt->get_positional(); });
}

std::string OptionNames(const CLI::Option& opt) {
  std::string names;
  for (const auto& name : opt.get_snames()) names += (names.empty() ? "" : ", ") + Bold("-" + name);
  for (const auto& name : opt.get_lnames()) {
    names += (names.empty() ? "" : ", ") + Bold("--" + name);
  }
  if (opt.get_expected_max() != 0 && !opt.get_type_name().empty()) {
    names += ' ' + Italic(opt.get_type_name());
  }
  return names;
}

std::string OptionItem(const CLI::Option& opt) {
  std::string head = opt.get_positional() ? Italic(opt.get_name(true)) : OptionNames(opt);
  std::string about = opt.get_description();
  std::vector<std::string> notes;
  if (opt.get_required() && !opt.get_positional()) notes.emplace_back("required");
  if (opt.get_items_expected_max() > 1) notes.emplace_back("may be repeated");
  for (const CLI::Option* other : opt.get_excludes())
    notes.push_back("not with " + other->get_name());
  for (size_t i = 0; i < notes.size(); ++i) {
    about += (i == 0 ? " (" : ", ") + notes[i] + (i + 1 == notes.size() ? ")" : "");
  }
  return ".TP\n" + head + '\n' + Paragraph(about);
}

std::string Synopsis(const CLI::App& cmd) {
  std::string line = Bold("tamsel " + CommandPath(cmd));
  for (const CLI::Option* opt : NamedOptions(cmd)) {
    if (opt->get_required()) line += ' ' + OptionNames(*opt);
  }
  line += " [" + Italic("options") + "]";
  for (const CLI::Option* opt : Positionals(cmd)) {
    std::string name = Italic(opt->get_name(true));
    if (opt->get_items_expected_max() > 1) name += "\\&...";
    line += ' ' + (opt->get_required() ? name : "[" + name + "]");
  }
  return line + '\n';
}

// A command's options, its positionals first; the help flag is with the global options.
std::string Options(const CLI::App& cmd) {
  std::string out;
  for (const CLI::Option* opt : Positionals(cmd)) out += OptionItem(*opt);
  for (const CLI::Option* opt : NamedOptions(cmd)) {
    if (opt != cmd.get_help_ptr()) out += OptionItem(*opt);
  }
  return out;
}

// What --help prints under the options (a file's shape, say): laid out already, so kept so. The
// top level's notes, which a command takes over unless it has its own, are on tamsel(1).
std::string Notes(const CLI::App& cmd) {
  const CLI::App* top = &cmd;
  while (top->get_parent() != nullptr) top = top->get_parent();
  std::string footer = cmd.get_footer();
  if (footer == top->get_footer()) return "";
  while (!footer.empty() && footer.back() == '\n') footer.pop_back();
  if (footer.empty()) return "";
  return ".PP\n.nf\n" + Roff(footer) + "\n.fi\n";
}

std::string ExampleList(std::string_view under) {
  std::string out;
  for (const Example* example : ExamplesUnder(under)) {
    out += ".PP\n" + Paragraph(example->note) + ".PP\n.RS 4\n.EX\n";
    for (std::string_view line : example->lines) out += Roff("tamsel " + std::string(line)) + '\n';
    out += ".EE\n.RE\n";
  }
  return out.empty() ? "" : ".SH EXAMPLES\n" + out;
}

std::string GlobalOptions(const CLI::App& app, bool top) {
  std::string out = ".SH GLOBAL OPTIONS\n";
  if (!top) out += "Every command takes these options, before or after its name.\n";
  out += OptionItem(*app.get_help_ptr());
  if (top) out += OptionItem(*app.get_version_ptr());
  for (const CLI::Option* opt : GlobalOptionList(app)) out += OptionItem(*opt);
  return out;
}

std::string Common(const CLI::App& app, bool top) {
  std::string out = ".SH ENVIRONMENT\n";
  const auto item = [&out](std::string_view names, std::string_view text) {
    out += ".TP\n" + Bold(names) + '\n' + Paragraph(text);
  };
  item("TAMSEL_CONNECTION",
       "The connection text of the database when neither --db, --connection nor "
       "--connection-file is given, so that a password need not appear on the command line. No "
       "message, log or trace shows a password.");
  item("LC_ALL, LC_MESSAGES, LANG",
       "The message language when --lang is not given: the first of them that is set decides. "
       "zh_TW, zh_HK and zh_MO give traditional Chinese, any other zh locale simplified Chinese, "
       "anything else English. Numbers, dates, JSON, CSV and these pages never follow the locale.");
  item("COLUMNS", "The width that the charts of --chart fit (default: the terminal's).");
  item("NO_COLOR", "When set and not empty, charts are drawn without colour.");
  item("TMPDIR",
       "Where rule import and pricelist import keep input that is no regular file (standard "
       "input, a pipe) while they read it (default: /tmp). The file has no name from the moment "
       "it is made.");
  item("TAMSEL_REGISTRY",
       "Not read by tamsel itself: the registry file of the published dispatch library, "
       "libtamsel_publish, through which scripts (the Python client among them) create the "
       "component's objects. Without it: /etc/tamsel/registry.json for root, else "
       "$XDG_CONFIG_HOME/tamsel/registry.json, by default ~/.config/tamsel/registry.json.");
  out += ".SH FILES\n";
  item(TAMSEL_LOCALEDIR "/LANG/LC_MESSAGES/tamsel.mo",
       "The translations (zh_CN, zh_TW). The tool looks first in ../share/locale beside its "
       "own directory, so that a moved installation keeps them.");
  item(TAMSEL_MAN_DATADIR "/bash-completion/completions/tamsel",
       "Bash completion of the commands and options, written by the tool itself.");
  item(TAMSEL_MAN_LIBDIR "/tamsel/libtamsel_sqlite_ext.so",
       "The SQLite extension with the collation of the code columns: load it in sqlite3 before "
       "reading a Tamsel database (.load " TAMSEL_MAN_LIBDIR "/tamsel/libtamsel_sqlite_ext).");
  item("/etc/tamsel/registry.json, ~/.config/tamsel/registry.json",
       "The registry of libtamsel_publish (see TAMSEL_REGISTRY).");
  item("tamsel-demo.db", "The database demo uses when none is named, in the current directory.");
  out += ".SH EXIT STATUS\n";
  static constexpr std::string_view kExitStatus[][2] = {
      {"0", "Done."},
      {"1", "Failed; the message is on standard error."},
      {"2", "Wrong command line."},
      {"3", "Not found: a look-up found nothing, an unknown rule id or vendor."},
      {"4",
       "Refused by a check: validation, a duplicate, an overlap (rule import and pricelist "
       "import: some rule or row refused)."},
      {"5", "Changed or deleted by another user since it was read: read it again."},
      {"6", "The database cannot be reached or opened."},
      {"130, 143",
       "rule import stopped by SIGINT or SIGTERM after the rule in hand; what is stored stays, "
       "and the same import with --skip-existing goes on from there."},
  };
  for (const auto& [code, meaning] : kExitStatus) item(code, meaning);
  out += ".SH SEE ALSO\n";
  if (top) {
    std::string pages;
    for (const CLI::App* cmd : VisibleCommands(app)) {
      pages += (pages.empty() ? "" : ",\n") + SeeAlso(*cmd);
    }
    out += pages + ",\n" + Bold("sqlite3") + "(1)\n";
  } else {
    out += SeeAlso(app) + '\n';
  }
  return out;
}

std::string Header(const std::string& name, const std::string& summary, const std::string& date) {
  std::string title = name;
  for (char& c : title) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return fmt::format(
      ".\\\" Written by \"tamsel {}\" from the tool's own commands; edit those, not this file.\n"
      ".TH {} 1 \"{}\" \"tamsel {}\" \"User Commands\"\n.nh\n.SH NAME\n{} \\- {}\n",
      kManCommand, Roff(title), date, TAMSEL_VERSION, Roff(name), Roff(summary));
}

std::string CommandPage(const CLI::App& app, const CLI::App& cmd, const std::string& date) {
  std::string out = Header(PageName(cmd), Summary(cmd), date) + ".SH SYNOPSIS\n.nf\n";
  const auto leaves = Leaves(cmd);
  for (const CLI::App* leaf : leaves) out += Synopsis(*leaf);
  out += ".fi\n.SH DESCRIPTION\n" + Paragraph(cmd.get_description());
  out +=
      ".PP\nGlobal options may come before or after the command; see " + Bold("tamsel") + "(1).\n";
  if (leaves.size() == 1 && leaves.front() == &cmd) {
    out += Notes(cmd) + ".SH OPTIONS\n" + Options(cmd);
  } else {
    out += ".SH COMMANDS\n";
    for (const CLI::App* leaf : leaves) {
      out += ".SS " + Bold("tamsel " + CommandPath(*leaf)) + '\n' +
             Paragraph(leaf->get_description()) + Notes(*leaf) + Options(*leaf);
    }
  }
  return out + GlobalOptions(app, false) + ExampleList(CommandPath(cmd)) + Common(app, false);
}

std::string ToolPage(const CLI::App& app, const std::string& date) {
  std::string out =
      Header("tamsel", Summary(app), date) + ".SH SYNOPSIS\n.nf\n" + Bold("tamsel") + " [" +
      Italic("global options") + "] " + Italic("command") + " [" + Italic("options") + "]\n" +
      Bold("tamsel --help") + "\n" + Bold("tamsel --version") + "\n.fi\n.SH DESCRIPTION\n" +
      Paragraph(
          "tamsel keeps supplier price rules for the purchasing module of an ERP suite and answers "
          "the questions purchasing asks: which rule applies to a vendor, item and date; what "
          "price a purchase gets at a quantity, currency and item variant; which vendor is "
          "cheapest, with prices converted to local currency. It maintains rules (checked against "
          "master data, tiers without gaps, no overlap or duplicate, saved with optimistic "
          "concurrency) and the supplier price list, on an embedded SQLite database or, through "
          "ODBC, the suite's SQL Server.") +
      ".PP\n" +
      Paragraph(
          "Every command takes --help; each has its own page, listed below. Global options may "
          "come before or after the command. Text output is for people; --json gives "
          "machine-readable output, --trace-sql the statements run. Dates are yyyy-MM-dd, "
          "quantities and prices plain decimals. A missing database file is reported, never "
          "created, except by init and demo. Messages follow --lang or the locale (English, "
          "simplified or traditional Chinese).") +
      ".SH COMMANDS\n";
  for (const CLI::App* cmd : VisibleCommands(app)) {
    out += ".TP\n" + Bold(cmd->get_name()) + '\n' + Roff(cmd->get_description()) + ". See " +
           SeeAlso(*cmd) + ".\n";
  }
  return out + GlobalOptions(app, true) + ExampleList("") + Common(app, true);
}

// Every option an example names must be one its command (or the top level) takes.
void CheckExamples(const CLI::App& app) {
  for (const Example& example : kExamples) {
    // And the command it belongs to is one, or the example would be on no page.
    const CLI::App* owner = &app;
    for (size_t at = 0; at < example.command.size() && owner != nullptr;) {
      const size_t end = std::min(example.command.find(' ', at), example.command.size());
      const std::string name(example.command.substr(at, end - at));
      const auto subs = VisibleCommands(*owner);
      const auto sub = std::find_if(subs.begin(), subs.end(),
                                    [&name](const CLI::App* s) { return s->get_name() == name; });
      owner = sub == subs.end() ? nullptr : *sub;
      at = end + 1;
    }
    if (owner == nullptr) {
      throw ToolError(fmt::format("example of \"{}\": no such command", example.command));
    }
    for (std::string_view line : example.lines) {
      const CLI::App* at = &app;
      bool quoted = false;
      std::string word;
      std::vector<std::string> words;
      for (char c : std::string(line) + ' ') {
        if (c == '"') quoted = !quoted;
        if (c == ' ' && !quoted) {
          if (!word.empty()) words.push_back(word);
          word.clear();
        } else {
          word += c;
        }
      }
      bool naming = true;  // the words that name the command come first
      for (const std::string& w : words) {
        if (w == ">") break;
        const auto subs = VisibleCommands(*at);
        const auto sub = std::find_if(subs.begin(), subs.end(),
                                      [&w](const CLI::App* s) { return s->get_name() == w; });
        naming = naming && sub != subs.end();
        if (naming) {
          at = *sub;
        } else if (w.starts_with("-")) {
          const std::string name = w.substr(0, w.find('='));
          if (at->get_option_no_throw(name) == nullptr &&
              app.get_option_no_throw(name) == nullptr) {
            throw ToolError(fmt::format("example \"{}\": no option {}", line, name));
          }
        }
      }
    }
  }
}

void WritePage(const std::filesystem::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
  out.close();
  if (!out) throw ToolError(Tf("cannot write {0}", file.string()));
}

}  // namespace

std::vector<const Example*> ExamplesUnder(std::string_view path) {
  std::vector<const Example*> examples;
  for (const Example& example : kExamples) {
    if (path.empty() || example.command == path ||
        (example.command.starts_with(path) && example.command[path.size()] == ' ')) {
      examples.push_back(&example);
    }
  }
  return examples;
}

void AddManCommand(CLI::App& app, Action& action) {
  auto dir = std::make_shared<std::string>();
  auto date = std::make_shared<std::string>();
  auto* cmd = app.add_subcommand(std::string(kManCommand), "");
  cmd->group("");
  cmd->add_option("dir", *dir, "directory for the pages")->required();
  cmd->add_option("date", *date, "the pages' date, yyyy-MM-dd")
      ->required()
      ->check(IsoDateValidator());
  cmd->callback([&app, &action, dir, date] {
    action = [&app, dir, date] {
      CheckExamples(app);
      // Help shows the global options and examples through each command's footer function;
      // the pages list those apart, so each command's own footer is what is left without it.
      const auto own_footers = [](auto& self, CLI::App& parent) -> void {
        for (CLI::App* sub : parent.get_subcommands([](CLI::App*) { return true; })) {
          sub->footer(std::function<std::string()>());
          self(self, *sub);
        }
      };
      own_footers(own_footers, app);
      std::filesystem::create_directories(*dir);
      const std::filesystem::path base(*dir);
      WritePage(base / "tamsel.1", ToolPage(app, *date));
      for (const CLI::App* command : VisibleCommands(app)) {
        WritePage(base / (PageName(*command) + ".1"), CommandPage(app, *command, *date));
      }
      return 0;
    };
  });
}

}  // namespace tamsel::cli
