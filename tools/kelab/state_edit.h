#pragma once

#include <functional>
#include <string>

#include "state_location.h"
#include "store/state_file_transaction.h"

namespace kelab {

// One deliberate change of a user's state (set, remove, reset).
struct StateEditRequest {
  const char* command;  // for --json
  StateLocation location;
  bool json = false;
  // Whether a missing state file is created (set), or means there is
  // nothing to change (remove, reset).
  bool createsFile = false;
  kelabexperiment::UnreadableStateFile unreadable = kelabexperiment::UnreadableStateFile::kFail;
  // Changes the records; returns whether it changed them.
  std::function<bool(kelabexperiment::RecordMap&)> change;
  std::string doneText;       // "Set checkout": what a change did
  std::string unchangedText;  // "No record of checkout": why nothing changed
};

// Runs the change through the library's own EditStateFile (the state file's
// lock, its atomic write, a .bak of the previous file) and prints the
// outcome as text or JSON. Throws what EditStateFile throws.
void RunStateEdit(const StateEditRequest& request);

}  // namespace kelab
