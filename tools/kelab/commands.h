#pragma once

#include <CLI/CLI.hpp>

namespace kelab {

// Each adds one subcommand to `app`. A command's callback throws
// CLI::ParseError subclasses for bad usage (exit status 2) and
// CommandFailed or other exceptions for a failed operation (exit status 1).
void AddRunCommand(CLI::App& app);
void AddShowCommand(CLI::App& app);
void AddCheckCommand(CLI::App& app);

// A command that ran but whose result is a failure, with its exit message
// already printed.
struct CommandFailed {
  int status;
};

}  // namespace kelab
