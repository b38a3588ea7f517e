#include "read_command.h"

#include <memory>

#include "assignment_table.h"
#include "commands.h"
#include "output.h"
#include "state_location.h"

namespace kelab {

CLI::App* AddReadCommand(CLI::App& app, const std::string& name, const std::string& description,
                         const std::string& footer, TextReport text,
                         std::function<bool(const StateLocation& location, bool json)> instead) {
  auto* command = app.add_subcommand(name, description);
  command->footer(footer);
  auto location = std::make_shared<StateLocation>();
  auto json = std::make_shared<bool>(false);
  location->AddOptions(*command);
  AddJsonFlag(*command, *json);
  command->callback([name, location, json, text = std::move(text), instead = std::move(instead)] {
    if (instead && instead(*location, *json)) return;
    const std::string path = location->StateFile();
    location->RequireFolders();
    const bool exists = KindOf(path) != PathKind::kMissing;
    const auto records = ReadRecords(path);
    if (*json) {
      PrintJsonResult(name, StateFileJson(path, location->user, exists, records));
    } else {
      text(path, exists, records);
    }
  });
  return command;
}

}  // namespace kelab
