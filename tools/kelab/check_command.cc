#include <iostream>
#include <memory>

#include "commands.h"
#include "state_location.h"

namespace kelab {

void AddCheckCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "check", "Check that a state file would load; never modifies it (exit 1 when malformed)");
  command->footer(
      "Examples:\n"
      "  kelab check --file /tmp/docs/Users/alice/ABExperiment\n"
      "  kelab check --user alice --docs /tmp/docs\n");
  auto location = std::make_shared<StateLocation>();
  location->AddOptions(*command);
  command->callback([location] {
    const auto path = location->StateFile();
    if (!std::filesystem::exists(path)) {
      std::cerr << "kelab: " << path.u8string() << ": no such state file\n";
      throw CommandFailed{1};
    }
    // A malformed file throws, and main prints the library's reason.
    const auto records = ReadRecords(path);
    std::cout << path.u8string() << ": OK, " << records.size() << " assignment"
              << (records.size() == 1 ? "" : "s") << "\n";
  });
}

}  // namespace kelab
