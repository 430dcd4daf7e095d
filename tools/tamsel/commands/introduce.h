#pragma once

// How the tool presents itself, read from the declared commands: the bash completion script, the
// man pages, the global options and examples in every command's help, and the nearest command to
// a mistyped one.

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/commands.h"

namespace tamsel::cli {

// The hidden command that writes the bash completion script (the build installs its output).
inline constexpr std::string_view kCompletionCommand = "__bash-completion";
void AddCompletionCommand(CLI::App& app, Action& action);
std::string BashCompletion(const CLI::App& app);
// The hidden command that writes the man pages into a directory (the build installs them).
inline constexpr std::string_view kManCommand = "__man";
void AddManCommand(CLI::App& app, Action& action);

// A worked example of a command: what it shows, and the lines a user types (without "tamsel ").
struct Example {
  std::string_view command;  // the command's path, "rule import"; "" for the tool as a whole
  std::string_view note;     // English, for the man pages only
  std::vector<std::string_view> lines;
};
// The examples of a command and its subcommands, in the order a newcomer meets them; all of them
// for "".
std::vector<const Example*> ExamplesUnder(std::string_view path);

// The commands a user may type (not the hidden ones), and the named options of a command.
std::vector<const CLI::App*> VisibleCommands(const CLI::App& app);
std::vector<const CLI::Option*> NamedOptions(const CLI::App& app);
// The top level's own options, which every command accepts; help and version excepted.
std::vector<const CLI::Option*> GlobalOptionList(const CLI::App& app);
// "rule import" for that command; "" for the top level.
std::string CommandPath(const CLI::App& cmd);

// Appends the top level's options to every command's help, since they are accepted after any
// command, and the command's examples. Call once all commands are declared.
void ShowGlobalOptionsInHelp(CLI::App& app);
// For a command line that failed to parse because a word is no known command: the message naming
// it, with the nearest command's name when one is close. nullopt for any other mistake.
std::optional<std::string> UnknownCommandMessage(const CLI::App& app);

}  // namespace tamsel::cli
