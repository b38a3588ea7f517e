#include <iostream>
#include <memory>

#include "check_all.h"

#include "commands.h"
#include "output.h"
#include "read_command.h"

namespace kelab {

void AddCheckCommand(CLI::App& app) {
  auto all = std::make_shared<bool>(false);
  CLI::App* command = AddReadCommand(
      app, "check", "Check that a state file would load; never modifies it (exit 1 when malformed)",
      "A missing state file loads as no assignments, as the library reads it (exit 0).\n"
      "--all checks every folder under DOCS/Users: exit 1 when a name is no user, a state\n"
      "file cannot be loaded, or a crashed writer left a temporary or a lock without a file.\n"
      "Examples:\n"
      "  kelab check --file /tmp/docs/Users/alice/ABExperiment\n"
      "  kelab check --user alice --docs /tmp/docs --json\n"
      "  kelab check --all --docs /tmp/docs\n",
      [](const std::string& path, bool exists, const kelabexperiment::RecordMap& records) {
        if (!exists) {
          std::cout << Printable(path) << ": OK, no state file (the library reads none as no "
                    << "assignments)\n";
        } else {
          std::cout << Printable(path) << ": OK, " << records.size() << " assignment"
                    << (records.size() == 1 ? "" : "s") << "\n";
        }
      },
      [all](const StateLocation& location, bool json) {
        if (*all) CheckAll(location.docs, json);
        return *all;
      });
  command->add_flag("--all", *all, "Check every user folder under the documents folder instead")
      ->excludes(command->get_option("--user"))
      ->excludes(command->get_option("--file"));
}

}  // namespace kelab
