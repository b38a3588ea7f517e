#include <iostream>
#include <memory>

#include "assignment_table.h"
#include "commands.h"
#include "output.h"
#include "state_location.h"

namespace kelab {

void AddShowCommand(CLI::App& app) {
  auto* command = app.add_subcommand("show", "Show a user's stored assignments");
  command->footer(
      "A missing state file holds no assignments, as the library reads it (exit 0).\n"
      "Examples:\n"
      "  kelab show --user alice --docs /tmp/docs\n"
      "  kelab show --file /tmp/docs/Users/alice/ABExperiment --json\n");
  auto location = std::make_shared<StateLocation>();
  auto json = std::make_shared<bool>(false);
  location->AddOptions(*command);
  AddJsonFlag(*command, *json);
  command->callback([location, json] {
    const std::string path = location->StateFile();
    const bool exists = KindOf(path) != kelcore::filesupport::PathKind::kMissing;
    const auto records = ReadRecords(path);
    if (*json) {
      PrintJsonResult("show", StateFileJson(path, location->user, exists, records));
    } else if (!exists) {
      std::cout << "No state file at " << Printable(path) << ": no stored assignments.\n";
    } else {
      std::cout << "Stored assignments in " << Printable(path) << ":\n";
      PrintAssignmentTable(std::cout, records);
    }
  });
}

}  // namespace kelab
