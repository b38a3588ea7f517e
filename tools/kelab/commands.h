#pragma once

#include <CLI/CLI.hpp>

namespace kelab {

// Each adds one subcommand to `app`. A command's callback throws
// CLI::ParseError subclasses for bad usage (exit status 2) and other
// exceptions for a failed operation or a bad state (exit status 1); main
// prints them (docs/kelab.md).
void AddUsersCommand(CLI::App& app);
void AddShowCommand(CLI::App& app);
void AddCheckCommand(CLI::App& app);
void AddRunCommand(CLI::App& app);
void AddSetCommand(CLI::App& app);
void AddRemoveCommand(CLI::App& app);
void AddResetCommand(CLI::App& app);
void AddBackupsCommand(CLI::App& app);
void AddDiffCommand(CLI::App& app);
void AddRestoreCommand(CLI::App& app);

// Adds --json to `command`.
inline CLI::Option* AddJsonFlag(CLI::App& command, bool& json) {
  return command.add_flag("--json", json, "Print one JSON object (docs/kelab.md) instead of text");
}

// Adds --generation (1, the newest backup, unless given) to `command`.
inline CLI::Option* AddGenerationOption(CLI::App& command, std::size_t& generation) {
  return command
      .add_option("--generation", generation,
                  "Which backup: 1 the newest (default), 2 the one before...")
      ->check(CLI::PositiveNumber);
}

}  // namespace kelab
