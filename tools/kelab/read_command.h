#pragma once

#include <functional>
#include <string>

#include <CLI/CLI.hpp>

#include "state_location.h"
#include "store/state_file.h"

namespace kelab {

// Prints, as text, what a read-only command found: the state file's path,
// whether it exists, and the records it holds (none when missing).
using TextReport = std::function<void(const std::string& path, bool exists,
                                      const kelabexperiment::RecordMap& records)>;

// Adds a read-only command named `name`: it takes --user/--docs or --file and
// --json, reads the state file with the library's reader (a malformed one
// throws, and main prints the library's reason) and reports it as JSON or
// through `text`.
// `instead`, when given, runs first with the location and --json; when it
// returns true the file is not read (check --all). Returns the command.
CLI::App* AddReadCommand(
    CLI::App& app, const std::string& name, const std::string& description,
    const std::string& footer, TextReport text,
    std::function<bool(const StateLocation& location, bool json)> instead = nullptr);

}  // namespace kelab
