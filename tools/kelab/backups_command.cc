#include <iostream>
#include <memory>

#include "backups.h"
#include "commands.h"
#include "output.h"
#include "state_location.h"

namespace kelab {

void AddBackupsCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "backups", "List the backups of a user's state file that diff and restore can use");
  command->footer(
      "Every change kelab makes keeps the file it replaces as a backup; the newest 5 are kept.\n"
      "Examples:\n"
      "  kelab backups --docs /tmp/docs --user alice\n");
  auto location = std::make_shared<StateLocation>();
  auto json = std::make_shared<bool>(false);
  location->AddOptions(*command);
  AddJsonFlag(*command, *json);
  command->callback([location, json] {
    const std::string path = location->StateFile();
    location->RequireFolders();
    const std::vector<Backup> backups = Backups(path);
    if (*json) {
      boost::json::array list;
      for (std::size_t i = 0; i < backups.size(); ++i) {
        list.push_back(boost::json::object{
            {"generation", i + 1}, {"time", backups[i].time}, {"path", backups[i].path}});
      }
      PrintJsonResult("backups", {{"stateFile", path}, {"backups", std::move(list)}});
      return;
    }
    std::cout << "Backups of " << Printable(path) << ", newest first:\n";
    if (backups.empty()) {
      std::cout << "  (none)\n";
      return;
    }
    std::vector<std::vector<std::string>> rows{{"GENERATION", "TIME (UTC)", "FILE"}};
    for (std::size_t i = 0; i < backups.size(); ++i) {
      rows.push_back({std::to_string(i + 1), backups[i].time, Printable(backups[i].path)});
    }
    PrintTable(std::cout, rows);
  });
}

}  // namespace kelab
