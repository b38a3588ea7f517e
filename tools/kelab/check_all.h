#pragma once

#include <string>

namespace kelab {

// check --all: every folder under <documents>/Users. A problem is a folder
// name the library refuses as a user identifier, a state file it cannot
// load, a temporary a crashed writer left (ABExperiment.tmp-*, looked for
// while holding the user's lock, so never a save in progress), or a lock
// file without a state file. Prints the report (text or --json); throws
// ReportedFailure when it found a problem, MissingError when the documents
// folder is not there. Reads only: nothing is created, moved or removed.
void CheckAll(const std::string& docs, bool json);

}  // namespace kelab
