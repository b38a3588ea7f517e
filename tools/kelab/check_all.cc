#include "check_all.h"

#include <iostream>
#include <memory>
#include <vector>

#include "kelabexperiment/errors.h"
#include "kelcore/string/conversions.h"
#include "output.h"
#include "platform/env.h"
#include "platform/folders.h"
#include "state_location.h"
#include "store/state_file.h"
#include "store/state_file_transaction.h"

namespace kelab {
namespace {

struct FolderReport {
  std::string folder;
  std::string stateFile;  // empty when the name is no user
  boost::optional<std::size_t> assignments;
  std::vector<std::string> problems;
};

// The temporaries beside the state file, looked for under its lock when a
// lock file is there (taking it creates nothing then): a writer makes its
// temporary under the lock, so one seen while holding it is stale.
std::vector<std::string> StaleTemporaries(const std::string& stateFile) {
  const std::string lock = stateFile + ".lock";
  std::unique_ptr<kelabexperiment::platform::FileLock> held;
  if (KindOf(lock) == PathKind::kFile) {
    held = kelabexperiment::LockStateFile(kelcore::string::FromStd(stateFile));
  }
  const std::string folder = kelabexperiment::platform::FolderOf(stateFile);
  const std::string stateName =
      stateFile.substr(stateFile.find_last_of(kelabexperiment::platform::kPathSeparators) + 1);
  std::vector<std::string> found;
  for (const std::string& name : kelabexperiment::platform::CurrentEnv().List(folder)) {
    if (kelabexperiment::IsStateTemporaryName(stateName, name)) found.push_back(name);
  }
  return found;
}

FolderReport CheckFolder(const std::string& documents, const std::string& folder) {
  FolderReport report;
  report.folder = folder;
  const std::string refused = UserIdentifierProblem(folder);
  if (!refused.empty()) {
    report.problems.push_back("not a user: " + refused);
    return report;
  }
  report.stateFile = UserStateFile(documents, folder);
  try {
    const bool exists = KindOf(report.stateFile) != PathKind::kMissing;
    report.assignments = ReadRecords(report.stateFile).size();
    if (!exists && KindOf(report.stateFile + ".lock") != PathKind::kMissing) {
      report.problems.push_back("stale lock: ABExperiment.lock without a state file");
    }
  } catch (const kelabexperiment::StateFileError& e) {
    report.problems.push_back(LibraryMessage(e.Message()));
  } catch (const std::exception& e) {
    report.problems.push_back(Printable(e.what()));
  }
  try {
    for (const std::string& name : StaleTemporaries(report.stateFile)) {
      report.problems.push_back("stale temporary: " + Printable(name));
    }
  } catch (const std::exception& e) {
    report.problems.push_back(Printable(e.what()));
  }
  return report;
}

}  // namespace

void CheckAll(const std::string& docs, bool json) {
  const std::string documents = DocumentsFolder(docs);
  RequireFolder(documents, "documents folder");
  std::vector<FolderReport> reports;
  std::size_t problems = 0;
  for (const std::string& folder : UserFolderNames(documents)) {
    reports.push_back(CheckFolder(documents, folder));
    problems += reports.back().problems.size();
  }
  const std::string summary = std::to_string(problems) + " problem" + (problems == 1 ? "" : "s") +
                              " under " + Printable(UsersFolder(documents));
  if (json) {
    boost::json::array folders;
    for (const FolderReport& r : reports) {
      boost::json::array list;
      for (const std::string& problem : r.problems) list.push_back(boost::json::string(problem));
      folders.push_back(boost::json::object{
          {"folder", r.folder},
          {"stateFile",
           r.stateFile.empty() ? boost::json::value(nullptr) : boost::json::value(r.stateFile)},
          {"assignments", r.assignments ? boost::json::value(*r.assignments) : nullptr},
          {"problems", std::move(list)}});
    }
    const boost::json::object members{{"documents", documents}, {"folders", std::move(folders)}};
    if (problems == 0) {
      PrintJsonResult("check", members);
    } else {
      PrintJsonReport("check", 1, ErrorJson("state", summary), members);
    }
  } else {
    std::vector<std::vector<std::string>> rows{{"FOLDER", "STATE"}};
    for (const FolderReport& r : reports) {
      if (r.problems.empty()) {
        rows.push_back({Printable(r.folder), "OK, " + std::to_string(*r.assignments) +
                                                 " assignment" + (*r.assignments == 1 ? "" : "s")});
      }
      for (const std::string& problem : r.problems) rows.push_back({Printable(r.folder), problem});
    }
    std::cout << "User folders under " << Printable(UsersFolder(documents)) << ":\n";
    if (reports.empty()) {
      std::cout << "  (none)\n";
    } else {
      PrintTable(std::cout, rows);
    }
  }
  if (problems != 0) throw ReportedFailure(summary);
}

}  // namespace kelab
