#pragma once

#include <functional>
#include <string>

#include "missing.h"
#include "state_location.h"
#include "store/state_file_transaction.h"

namespace kelab {

// One deliberate change of a user's state (set, remove, reset).
struct StateEditRequest {
  const char* command;  // for --json
  StateLocation location;
  bool json = false;
  // Whether missing folders and a missing state file are created (set
  // --create); otherwise they are a MissingError, and a missing file in an
  // existing user's folder holds no records.
  bool create = false;
  // Added to a MissingError's message: how to make what is missing.
  std::string missingHint;
  kelabexperiment::UnreadableStateFile unreadable = kelabexperiment::UnreadableStateFile::kFail;
  // Changes the records; returns whether it changed them.
  std::function<bool(kelabexperiment::RecordMap&)> change;
  std::string doneText;       // "Set checkout": what a change did
  std::string unchangedText;  // "No assignments to reset": why nothing changed
};

// The MissingError for `experiment`, which has no record in `records` of the
// state file at `path`: it names the closest stored experiments.
MissingError NoRecord(const std::string& experiment, const kelabexperiment::RecordMap& records,
                      const std::string& path);

// Runs the change through the library's own EditStateFile (the state file's
// lock, its atomic write, a new backup generation of the previous file,
// older ones rotated once the write succeeded) and prints the outcome as
// text or JSON. Throws what EditStateFile throws.
void RunStateEdit(const StateEditRequest& request);

}  // namespace kelab
