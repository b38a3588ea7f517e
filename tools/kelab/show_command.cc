#include <iostream>
#include <memory>

#include "assignment_table.h"
#include "commands.h"
#include "state_location.h"

namespace kelab {

void AddShowCommand(CLI::App& app) {
  auto* command = app.add_subcommand("show", "Show a user's stored assignments");
  command->footer(
      "Examples:\n"
      "  kelab show --user alice --docs /tmp/docs\n"
      "  kelab show --file /tmp/docs/Users/alice/ABExperiment --json\n");
  auto location = std::make_shared<StateLocation>();
  auto json = std::make_shared<bool>(false);
  location->AddOptions(*command);
  command->add_flag("--json", *json, "Print JSON instead of a table");
  command->callback([location, json] {
    const auto path = location->StateFile();
    if (!std::filesystem::exists(path)) {
      if (*json) {
        std::cout << "[]\n";
      } else {
        std::cout << "No state file at " << path.u8string() << ": no stored assignments.\n";
      }
      return;
    }
    const auto records = ReadRecords(path);
    if (*json) {
      PrintAssignmentJson(std::cout, records);
    } else {
      std::cout << "Stored assignments in " << path.u8string() << ":\n";
      PrintAssignmentTable(std::cout, records);
    }
  });
}

}  // namespace kelab
