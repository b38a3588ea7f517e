#include "state_edit.h"

#include <iostream>
#include <vector>

#include "assignment_table.h"
#include "backups.h"
#include "kelcore/string/conversions.h"
#include "output.h"
#include "store/state_file.h"

namespace kelab {

MissingError NoRecord(const std::string& experiment, const kelabexperiment::RecordMap& records,
                      const std::string& path) {
  std::vector<std::string> stored;
  for (const auto& record : records) stored.push_back(kelcore::string::ToStd(record.first));
  return MissingError("no record of '" + Printable(experiment) + "' in " + Printable(path) +
                      ClosestNames(experiment, stored));
}

namespace {

void Report(const StateEditRequest& request, const std::string& path,
            const kelabexperiment::StateFileEdit& edit) {
  const std::string backup = kelcore::string::ToStd(edit.backup);
  if (request.json) {
    boost::json::object members = StateFileJson(path, request.location.user,
                                                KindOf(path) != PathKind::kMissing, edit.records);
    members["changed"] = edit.written;
    members["backup"] = backup.empty() ? boost::json::value(nullptr) : boost::json::value(backup);
    PrintJsonResult(request.command, members);
    return;
  }
  if (!edit.written) {
    std::cout << request.unchangedText << ": " << Printable(path) << " not changed.\n";
    return;
  }
  std::cout << request.doneText << " in " << Printable(path) << ".\n";
  if (!backup.empty()) std::cout << "The previous file is kept as " << Printable(backup) << ".\n";
  std::cout << "Stored assignments now:\n";
  PrintAssignmentTable(std::cout, edit.records);
}

}  // namespace

void RunStateEdit(const StateEditRequest& request) {
  const std::string path = request.location.StateFile();
  const kelcore::UTF8String statePath = kelcore::string::FromStd(path);
  kelabexperiment::StateFileEdit edit;
  try {
    if (request.create) {
      request.location.CreateUserFolder();
    } else {
      request.location.RequireFolders();
    }
    // A missing file holds no records: when the change finds nothing to
    // change there (or throws), nothing is locked or created. The change
    // only edits the map it is given, so running it twice is harmless.
    kelabexperiment::RecordMap none;
    if (request.create || KindOf(path) != PathKind::kMissing || request.change(none)) {
      edit = kelabexperiment::EditStateFile(statePath, request.unreadable, request.change, [&] {
        return kelcore::string::FromStd(NextBackupPath(path));
      });
    }
  } catch (const MissingError& e) {
    throw MissingError(e.what() + request.missingHint);
  }
  if (edit.written) RotateBackups(path);
  ReportAfterWrite(edit.written, [&] { Report(request, path, edit); });
}

}  // namespace kelab
