#include <iostream>
#include <memory>

#include "backups.h"
#include "commands.h"
#include "output.h"
#include "record_diff.h"
#include "state_location.h"

namespace kelab {

void AddDiffCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "diff", "Show what changed in a user's state file since a backup (never modifies it)");
  command->footer(
      "Records added, removed and changed from the backup to the file now.\n"
      "Examples:\n"
      "  kelab diff --docs /tmp/docs --user alice\n"
      "  kelab diff --docs /tmp/docs --user alice --generation 2 --json\n");
  auto location = std::make_shared<StateLocation>();
  auto json = std::make_shared<bool>(false);
  auto generation = std::make_shared<std::size_t>(1);
  location->AddOptions(*command);
  AddGenerationOption(*command, *generation);
  AddJsonFlag(*command, *json);
  command->callback([location, json, generation] {
    const std::string path = location->StateFile();
    location->RequireFolders();
    const Backup backup = ChosenBackup(path, *generation);
    const RecordDiff diff = DiffRecords(ReadRecords(backup.path), ReadRecords(path));
    if (*json) {
      boost::json::object members = RecordDiffJson(diff, path, backup.path);
      PrintJsonResult("diff", members);
      return;
    }
    std::cout << "From " << Printable(backup.path) << " to " << Printable(path) << ":\n";
    PrintRecordDiff(std::cout, diff);
  });
}

}  // namespace kelab
