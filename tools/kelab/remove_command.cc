#include <memory>

#include "commands.h"
#include "kelcore/string/conversions.h"
#include "output.h"
#include "state_edit.h"
#include "text_validator.h"

namespace kelab {

void AddRemoveCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "remove", "Remove one experiment's record from a user's state file (a backup keeps the old)");
  command->footer(
      "The next initialize finds no record: the experiment's features fall back to their\n"
      "defaults until the host records one again. A malformed file is refused (exit 1);\n"
      "an experiment without a record is an error naming the closest stored ones (exit 3).\n"
      "Examples:\n"
      "  kelab remove --docs /tmp/docs --user alice --experiment checkout\n");
  auto request = std::make_shared<StateEditRequest>();
  auto experiment = std::make_shared<std::string>();
  request->command = "remove";
  request->location.AddOptions(*command);
  command->add_option("--experiment", *experiment, "Experiment identifier")
      ->required()
      ->check(kUtf8Text);
  AddJsonFlag(*command, request->json);
  command->callback([request, experiment] {
    const kelcore::UTF8String id = kelcore::string::FromStd(*experiment);
    request->change = [id, name = *experiment,
                       path = request->location.StateFile()](kelabexperiment::RecordMap& records) {
      if (records.erase(id) == 0) throw NoRecord(name, records, path);
      return true;
    };
    request->doneText = "Removed " + Printable(*experiment);
    RunStateEdit(*request);
  });
}

}  // namespace kelab
