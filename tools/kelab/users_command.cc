#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "kelabexperiment/errors.h"
#include "output.h"
#include "state_location.h"

namespace kelab {
namespace {

struct UserEntry {
  std::string user;
  std::string stateFile;
  boost::optional<std::size_t> assignments;  // none when the file cannot be read
  std::string error;                         // why not
};

// The users (folders the library accepts as user identifiers) under
// <documents>/Users that hold a state file, by name.
std::vector<UserEntry> ListUsers(const std::string& documents) {
  std::vector<UserEntry> entries;
  for (const std::string& name : UserFolderNames(documents)) {
    if (!IsUserIdentifier(name)) continue;
    UserEntry entry;
    entry.user = name;
    entry.stateFile = UserStateFile(documents, entry.user);
    if (KindOf(entry.stateFile) != PathKind::kFile) continue;
    try {
      entry.assignments = ReadRecords(entry.stateFile).size();
    } catch (const kelabexperiment::StateFileError& e) {
      entry.error = LibraryMessage(e.Message());
    } catch (const std::exception& e) {
      entry.error = e.what();
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

void Users(const std::string& docs, bool json) {
  const std::string documents = DocumentsFolder(docs);
  RequireFolder(documents, "documents folder");
  const std::vector<UserEntry> entries = ListUsers(documents);
  if (json) {
    boost::json::array users;
    for (const UserEntry& e : entries) {
      users.push_back(boost::json::object{
          {"user", e.user},
          {"stateFile", e.stateFile},
          {"assignments", e.assignments ? boost::json::value(*e.assignments) : nullptr},
          {"error", e.error.empty() ? boost::json::value(nullptr) : boost::json::value(e.error)}});
    }
    PrintJsonResult("users", {{"documents", documents}, {"users", std::move(users)}});
    return;
  }
  std::cout << "Users with a state file under " << Printable(documents) << ":\n";
  if (entries.empty()) {
    std::cout << "  (none)\n";
    return;
  }
  std::vector<std::vector<std::string>> rows{{"USER", "ASSIGNMENTS"}};
  for (const UserEntry& e : entries) {
    rows.push_back({Printable(e.user), e.assignments ? std::to_string(*e.assignments)
                                                     : "unreadable: " + Printable(e.error)});
  }
  PrintTable(std::cout, rows);
}

}  // namespace

void AddUsersCommand(CLI::App& app) {
  auto* command =
      app.add_subcommand("users", "List the users that have a state file under a documents folder");
  command->footer(
      "A file that cannot be read is listed with the reason (exit 0); 'kelab check' checks one.\n"
      "Examples:\n"
      "  kelab users --docs /tmp/docs\n"
      "  kelab users --docs /tmp/docs --json\n");
  auto docs = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  AddDocsOption(*command, *docs);
  AddJsonFlag(*command, *json);
  command->callback([docs, json] { Users(*docs, *json); });
}

}  // namespace kelab
