// How the tool presents itself: global options in every command's help, a hint for a mistyped
// command, and the bash completion script, all read from the declared commands so that none of
// them can fall behind a new command or option.

#include "commands/introduce.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <numeric>
#include <set>
#include <string_view>

#include "commands/commands.h"
#include "present/i18n.h"

namespace tamsel::cli {

namespace {

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  std::iota(row.begin(), row.end(), size_t{0});
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Words(const CLI::App& app) {
  std::string words;
  for (const auto* sub : VisibleCommands(app)) words += sub->get_name() + ' ';
  for (const auto* opt : NamedOptions(app)) {
    for (const auto& name : opt->get_lnames()) words += "--" + name + ' ';
  }
  return words;
}

void CompletionCases(const CLI::App& app, const std::string& path, std::string& commands,
                     std::string& cases) {
  // The top level's own options are the global ones.
  cases +=
      "    \"" + path + "\") words=\"" + Words(app) + (path.empty() ? "" : "$global") + "\" ;;\n";
  for (const auto* sub : VisibleCommands(app)) {
    std::string sub_path = path + " " + sub->get_name();
    commands += "      \"" + sub_path + "\") path=\"" + sub_path + "\" ;;\n";
    CompletionCases(*sub, sub_path, commands, cases);
  }
}

// CLI11 pads the option column by bytes; a translated label's characters take three bytes and
// two columns, so this pads by what the terminal shows.
class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_option(const CLI::Option* opt, bool is_positional) const override {
    std::string out = "  " + make_option_name(opt, is_positional) + make_option_opts(opt);
    const std::string description = make_option_desc(opt);
    const size_t width = get_column_width(), used = DisplayWidth(out);
    if (!description.empty()) {
      const std::string indent = '\n' + std::string(width, ' ');
      out += used >= width ? indent : std::string(width - used, ' ');
      for (char c : description) {
        if (c == '\n') {
          out += indent;
        } else {
          out += c;
        }
      }
    }
    return out + '\n';
  }
};

// CLI11's words for the command-line mistakes a user meets most, translated; any other message
// stays as CLI11 words it.
std::string ParseFailure(const CLI::App*, const CLI::Error& error) {
  static constexpr struct {
    const char* prefix;
    const char* suffix;
    const char* form;
  } kForms[] = {
      {"A subcommand is required", "", N_("A subcommand is required")},
      {"", " is required", N_("{0} is required")},
      {"The following argument was not expected: ", "",
       N_("The following argument was not expected: {0}")},
      {"The following arguments were not expected: ", "",
       N_("The following arguments were not expected: {0}")},
  };
  std::string text = error.what();
  for (const auto& [prefix, suffix, form] : kForms) {
    const size_t outer = std::string_view(prefix).size() + std::string_view(suffix).size();
    if (text.size() >= outer && text.starts_with(prefix) && text.ends_with(suffix)) {
      text = Tf(form, text.substr(std::string_view(prefix).size(), text.size() - outer));
      break;
    }
  }
  return Tf("{0}\nRun with --help for more information.", text) + '\n';
}

}  // namespace

std::vector<const CLI::App*> VisibleCommands(const CLI::App& app) {
  // The hidden ones have an empty group.
  return app.get_subcommands(
      [](const CLI::App* sub) { return !sub->get_name().empty() && !sub->get_group().empty(); });
}

std::vector<const CLI::Option*> NamedOptions(const CLI::App& app) {
  return app.get_options([](const CLI::Option* opt) { return !opt->get_lnames().empty(); });
}

std::vector<const CLI::Option*> GlobalOptionList(const CLI::App& app) {
  std::vector<const CLI::Option*> global = NamedOptions(app);
  std::erase_if(global, [&app](const CLI::Option* opt) {
    return opt->get_group().empty() || opt == app.get_help_ptr() || opt == app.get_version_ptr();
  });
  return global;
}

std::string CommandPath(const CLI::App& cmd) {
  std::string path;
  for (const CLI::App* p = &cmd; p->get_parent() != nullptr; p = p->get_parent()) {
    path = p->get_name() + (path.empty() ? "" : " ") + path;
  }
  return path;
}

void LocalizeHelp(CLI::App& app) {
  auto formatter = std::make_shared<HelpFormatter>();
  for (const char* label : {N_("Usage"), N_("OPTIONS"), N_("SUBCOMMAND"), N_("SUBCOMMANDS"),
                            N_("REQUIRED"), N_("Positionals"), N_("Needs"), N_("Excludes")}) {
    formatter->label(label, _(label));
  }
  app.formatter(formatter);
  // Commands and options made later take these over from their parent.
  app.option_defaults()->group(_("Options"));
  app.group(_("Subcommands"));
  app.set_help_flag("-h,--help", _("Print this help message and exit"));
  app.failure_message(ParseFailure);
}

void ShowGlobalOptionsInHelp(CLI::App& app) {
  auto formatter = std::dynamic_pointer_cast<CLI::Formatter>(app.get_formatter());
  if (!formatter) return;
  std::vector<const CLI::Option*> global = GlobalOptionList(app);
  std::string text =
      formatter->make_group(_("Global options (before or after the command)"), false, global);
  auto add = [&text](auto& self, CLI::App& parent) -> void {
    for (auto* sub : parent.get_subcommands([](CLI::App*) { return true; })) {
      // A group's help shows the examples of its commands too.
      const std::string path = CommandPath(*sub);
      std::string examples;
      for (const Example* example : ExamplesUnder(path)) {
        for (std::string_view line : example->lines) examples += fmt::format("  tamsel {}\n", line);
      }
      std::string footer = text;
      if (!examples.empty()) footer += fmt::format("\n{}:\n{}", _("Examples"), examples);
      sub->footer([footer] { return footer; });
      // A command makes its help flag before it takes over the translated option group.
      if (CLI::Option* help = sub->get_help_ptr()) help->group(_("Options"));
      self(self, *sub);
    }
  };
  add(add, app);
}

std::optional<std::string> UnknownCommandMessage(const CLI::App& app) {
  const CLI::App* at = &app;
  while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
  std::vector<std::string> rest = app.remaining(true);
  if (VisibleCommands(*at).empty() || rest.empty() || rest.front().starts_with("-")) {
    return std::nullopt;
  }
  const std::string& typed = rest.front();
  std::string path = CommandPath(*at);
  if (!path.empty()) path += ' ';
  const std::string command = path + typed;
  const CLI::App* best = nullptr;
  size_t best_distance = std::max<size_t>(2, typed.size() / 3) + 1;
  for (const auto* sub : VisibleCommands(*at)) {
    size_t distance = EditDistance(typed, sub->get_name());
    if (distance < best_distance) best = sub, best_distance = distance;
  }
  if (best != nullptr) {
    return Tf("unknown command \"{0}\"; did you mean \"{1}\"?", command, path + best->get_name());
  }
  return Tf("unknown command \"{0}\" (tamsel {1}--help lists the commands)", command, path);
}

std::string BashCompletion(const CLI::App& app) {
  std::string commands, cases, global, value_options;
  for (const auto* opt : GlobalOptionList(app)) {
    for (const auto& name : opt->get_lnames()) global += "--" + name + ' ';
  }
  std::set<std::string> takes_value;
  auto collect = [&takes_value](auto& self, const CLI::App& at) -> void {
    for (const auto* opt : NamedOptions(at)) {
      if (opt->get_expected_max() == 0) continue;  // a flag
      for (const auto& name : opt->get_lnames()) takes_value.insert("--" + name);
    }
    for (const auto* sub : VisibleCommands(at)) self(self, *sub);
  };
  collect(collect, app);
  for (const auto& name : takes_value) value_options += (value_options.empty() ? "" : "|") + name;
  CompletionCases(app, "", commands, cases);
  // Words after an option that takes a value are left to the default (file name) completion.
  return fmt::format(
      R"(# bash completion for tamsel; written by "tamsel {self}" from its own commands.
_tamsel() {{
  local cur=${{COMP_WORDS[COMP_CWORD]}} prev=${{COMP_WORDS[COMP_CWORD-1]}} path="" i words
  local global="{global}"
  case $prev in
    {value_options}) COMPREPLY=(); return ;;
  esac
  for ((i = 1; i < COMP_CWORD; i++)); do
    case "$path ${{COMP_WORDS[i]}}" in
{commands}    esac
  done
  case $path in
{cases}  esac
  COMPREPLY=($(compgen -W "$words" -- "$cur"))
}}
complete -o default -F _tamsel tamsel
)",
      fmt::arg("self", kCompletionCommand), fmt::arg("global", global),
      fmt::arg("value_options", value_options), fmt::arg("commands", commands),
      fmt::arg("cases", cases));
}

void AddCompletionCommand(CLI::App& app, Action& action) {
  auto file = std::make_shared<std::string>();
  auto* cmd = app.add_subcommand(std::string(kCompletionCommand), "");
  cmd->group("");
  cmd->add_option("file", *file, "where to write the script (default: standard output)");
  cmd->callback([&app, &action, file] {
    action = [&app, file] {
      std::string script = BashCompletion(app);
      if (file->empty()) {
        std::cout << script;
        return 0;
      }
      std::ofstream out(*file, std::ios::binary);
      out << script;
      out.close();
      if (!out) throw ToolError(Tf("cannot write {0}", *file));
      return 0;
    };
  });
}

}  // namespace tamsel::cli
