#include <iostream>

#include "commands.h"
#include "output.h"
#include "read_command.h"

namespace kelab {

void AddCheckCommand(CLI::App& app) {
  AddReadCommand(
      app, "check", "Check that a state file would load; never modifies it (exit 1 when malformed)",
      "A missing state file loads as no assignments, as the library reads it (exit 0).\n"
      "Examples:\n"
      "  kelab check --file /tmp/docs/Users/alice/ABExperiment\n"
      "  kelab check --user alice --docs /tmp/docs --json\n",
      [](const std::string& path, bool exists, const kelabexperiment::RecordMap& records) {
        if (!exists) {
          std::cout << Printable(path) << ": OK, no state file (the library reads none as no "
                    << "assignments)\n";
        } else {
          std::cout << Printable(path) << ": OK, " << records.size() << " assignment"
                    << (records.size() == 1 ? "" : "s") << "\n";
        }
      });
}

}  // namespace kelab
