#include <memory>

#include "commands.h"
#include "state_edit.h"

namespace kelab {

void AddResetCommand(CLI::App& app) {
  auto* command =
      app.add_subcommand("reset", "Empty a user's state file to {} (a backup keeps the old)");
  command->footer(
      "Also repairs a malformed or oversized file: it is moved aside (renamed, never\n"
      "copied) to ABExperiment.unreadable-<random>, as the library moves aside a file it\n"
      "cannot read. A missing or empty file is left as it is.\n"
      "Examples:\n"
      "  kelab reset --docs /tmp/docs --user alice\n");
  auto request = std::make_shared<StateEditRequest>();
  request->command = "reset";
  request->unreadable = kelabexperiment::UnreadableStateFile::kStartEmpty;
  request->change = [](kelabexperiment::RecordMap& records) {
    const bool changed = !records.empty();
    records.clear();
    return changed;
  };
  request->doneText = "Reset to {}";
  request->unchangedText = "No assignments to reset";
  request->location.AddOptions(*command);
  AddJsonFlag(*command, request->json);
  command->callback([request] { RunStateEdit(*request); });
}

}  // namespace kelab
