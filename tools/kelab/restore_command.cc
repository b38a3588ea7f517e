#include <iostream>
#include <memory>

#include "backups.h"
#include "commands.h"
#include "output.h"
#include "record_diff.h"
#include "state_edit.h"

namespace kelab {
namespace {

struct RestoreOptions {
  StateEditRequest request;
  std::size_t generation = 1;
  bool dryRun = false;
};

void Restore(RestoreOptions& o) {
  const std::string path = o.request.location.StateFile();
  o.request.location.RequireFolders();
  const Backup backup = ChosenBackup(path, o.generation);
  if (o.dryRun) {
    const RecordDiff diff = DiffRecords(ReadRecords(path), ReadRecords(backup.path));
    if (o.request.json) {
      boost::json::object members = RecordDiffJson(diff, path, backup.path);
      members["dryRun"] = true;
      PrintJsonResult("restore", members);
      return;
    }
    std::cout << "Dry run: nothing was written. Restoring " << Printable(backup.path)
              << " would change " << Printable(path) << ":\n";
    PrintRecordDiff(std::cout, diff);
    return;
  }
  // The backup is read under the state file's lock, in the edit itself.
  o.request.change = [source = backup.path](kelabexperiment::RecordMap& records) {
    kelabexperiment::RecordMap restored = ReadRecords(source);
    const bool changed = !DiffRecords(records, restored).Empty();
    records = std::move(restored);
    return changed;
  };
  o.request.doneText = "Restored " + Printable(backup.path);
  o.request.unchangedText = "The file already holds what " + Printable(backup.path) + " holds";
  RunStateEdit(o.request);
}

}  // namespace

void AddRestoreCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "restore", "Put a backup's records back in a user's state file (a backup keeps the old)");
  command->footer(
      "Runs under the state file's lock like every change, and the file it replaces is\n"
      "kept as a new backup, so a restore can be undone too. A current file the library\n"
      "cannot read is moved aside; a backup it cannot read is refused (exit 1).\n"
      "Examples:\n"
      "  kelab restore --docs /tmp/docs --user alice --dry-run\n"
      "  kelab restore --docs /tmp/docs --user alice --generation 2\n");
  auto o = std::make_shared<RestoreOptions>();
  o->request.command = "restore";
  o->request.unreadable = kelabexperiment::UnreadableStateFile::kStartEmpty;
  o->request.location.AddOptions(*command);
  AddGenerationOption(*command, o->generation);
  command->add_flag("--dry-run", o->dryRun, "Write nothing; show what the restore would change");
  AddJsonFlag(*command, o->request.json);
  command->callback([o] { Restore(*o); });
}

}  // namespace kelab
