#include "state_edit.h"

#include <iostream>
#include <vector>

#include "assignment_table.h"
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
    if (request.create || KindOf(path) != kelcore::filesupport::PathKind::kMissing ||
        request.change(none)) {
      edit = kelabexperiment::EditStateFile(statePath, request.unreadable, request.change);
    }
  } catch (const MissingError& e) {
    throw MissingError(e.what() + request.missingHint);
  }
  const std::string backup = kelcore::string::ToStd(kelabexperiment::BackupPath(statePath));
  if (request.json) {
    boost::json::object members =
        StateFileJson(path, request.location.user,
                      KindOf(path) != kelcore::filesupport::PathKind::kMissing, edit.records);
    members["changed"] = edit.written;
    members["backup"] = edit.backedUp ? boost::json::value(backup) : boost::json::value(nullptr);
    PrintJsonResult(request.command, members);
    return;
  }
  if (!edit.written) {
    std::cout << request.unchangedText << ": " << Printable(path) << " not changed.\n";
    return;
  }
  std::cout << request.doneText << " in " << Printable(path) << ".\n";
  if (edit.backedUp) std::cout << "The previous file is kept as " << Printable(backup) << ".\n";
  std::cout << "Stored assignments now:\n";
  PrintAssignmentTable(std::cout, edit.records);
}

}  // namespace kelab
