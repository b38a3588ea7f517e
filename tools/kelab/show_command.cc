#include <iostream>

#include "assignment_table.h"
#include "commands.h"
#include "output.h"
#include "read_command.h"

namespace kelab {

void AddShowCommand(CLI::App& app) {
  AddReadCommand(
      app, "show", "Show a user's stored assignments",
      "A missing state file holds no assignments, as the library reads it (exit 0).\n"
      "Examples:\n"
      "  kelab show --user alice --docs /tmp/docs\n"
      "  kelab show --file /tmp/docs/Users/alice/ABExperiment --json\n",
      [](const std::string& path, bool exists, const kelabexperiment::RecordMap& records) {
        if (!exists) {
          std::cout << "No state file at " << Printable(path) << ": no stored assignments.\n";
        } else {
          std::cout << "Stored assignments in " << Printable(path) << ":\n";
          PrintAssignmentTable(std::cout, records);
        }
      });
}

}  // namespace kelab
