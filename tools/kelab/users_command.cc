#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "kelabexperiment/errors.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/string/conversions.h"
#include "output.h"
#include "state_location.h"

namespace kelab {
namespace {

using kelcore::filesupport::PathKind;

struct UserEntry {
  std::string user;
  std::string stateFile;
  boost::optional<std::size_t> assignments;  // none when the file cannot be read
  std::string error;                         // why not
};

// The folders under <documents>/Users that hold a state file, by name.
std::vector<UserEntry> ListUsers(const std::string& documents) {
  using kelcore::string::ToStd;
  const kelcore::filesupport::Dir users(
      kelcore::filesupport::Dir(kelcore::string::UTF8to16(kelcore::string::FromStd(documents))),
      kelcore::UTF16String(L"Users"));
  std::vector<UserEntry> entries;
  auto& fs = kelcore::filesupport::CurrentFileSystem();
  if (fs.Stat(users.FullPath()) != PathKind::kDirectory) return entries;
  for (const kelcore::UTF16String& name : fs.ListDirectory(users.FullPath())) {
    UserEntry entry;
    entry.user = ToStd(kelcore::string::UTF16to8(name));
    entry.stateFile = UserStateFile(documents, entry.user);
    if (KindOf(entry.stateFile) != PathKind::kFile) continue;
    try {
      entry.assignments = ReadRecords(entry.stateFile).size();
    } catch (const kelabexperiment::StateFileError& e) {
      entry.error = e.Message();
    } catch (const std::exception& e) {
      entry.error = e.what();
    }
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(),
            [](const UserEntry& a, const UserEntry& b) { return a.user < b.user; });
  return entries;
}

void Users(const std::string& docs, bool json) {
  const std::string documents = DocumentsFolder(docs);
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
