#include "state_edit.h"

#include <iostream>

#include "assignment_table.h"
#include "kelcore/string/conversions.h"
#include "output.h"
#include "store/state_file.h"

namespace kelab {

void RunStateEdit(const StateEditRequest& request) {
  const std::string path = request.location.StateFile();
  const kelcore::UTF8String statePath = kelcore::string::FromStd(path);
  kelabexperiment::StateFileEdit edit;
  // A missing file holds no records: with nothing to change, nothing is
  // locked or created. (Another process that creates the file meanwhile
  // comes after this edit.)
  if (request.createsFile || KindOf(path) != kelcore::filesupport::PathKind::kMissing) {
    if (request.createsFile) request.location.CreateUserFolder();
    edit = kelabexperiment::EditStateFile(statePath, request.unreadable, request.change);
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
