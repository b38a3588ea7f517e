#include <iostream>
#include <memory>

#include "assignment_table.h"
#include "commands.h"
#include "output.h"
#include "state_location.h"

namespace kelab {

void AddCheckCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "check", "Check that a state file would load; never modifies it (exit 1 when malformed)");
  command->footer(
      "A missing state file loads as no assignments, as the library reads it (exit 0).\n"
      "Examples:\n"
      "  kelab check --file /tmp/docs/Users/alice/ABExperiment\n"
      "  kelab check --user alice --docs /tmp/docs --json\n");
  auto location = std::make_shared<StateLocation>();
  auto json = std::make_shared<bool>(false);
  location->AddOptions(*command);
  AddJsonFlag(*command, *json);
  command->callback([location, json] {
    const std::string path = location->StateFile();
    const bool exists = KindOf(path) != kelcore::filesupport::PathKind::kMissing;
    // A malformed file throws, and main prints the library's reason.
    const auto records = ReadRecords(path);
    if (*json) {
      PrintJsonResult("check", StateFileJson(path, location->user, exists, records));
    } else if (!exists) {
      std::cout << Printable(path) << ": OK, no state file (the library reads none as no "
                << "assignments)\n";
    } else {
      std::cout << Printable(path) << ": OK, " << records.size() << " assignment"
                << (records.size() == 1 ? "" : "s") << "\n";
    }
  });
}

}  // namespace kelab
