#pragma once

// How the tool presents itself, read from the declared commands: the bash completion script,
// the global options in every command's help, and the nearest command to a mistyped one.

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "commands/commands.h"

namespace tamsel::cli {

// The hidden command that writes the bash completion script (the build installs its output).
inline constexpr std::string_view kCompletionCommand = "__bash-completion";
void AddCompletionCommand(CLI::App& app, Action& action);
std::string BashCompletion(const CLI::App& app);
// Appends the top level's options to every command's help: they are accepted after any command.
// Call once all commands are declared.
void ShowGlobalOptionsInHelp(CLI::App& app);
// For a command line that failed to parse because a word is no known command: the message naming
// it, with the nearest command's name when one is close. nullopt for any other mistake.
std::optional<std::string> UnknownCommandMessage(const CLI::App& app);

}  // namespace tamsel::cli
