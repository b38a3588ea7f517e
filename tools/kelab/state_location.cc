#include "state_location.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/utf8.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/string/conversions.h"
#include "manager/user_state_path.h"
#include "missing.h"
#include "output.h"
#include "platform/env.h"
#include "platform/folders.h"
#include "store/state_file.h"
#include "store/state_file_reader.h"

namespace kelab {
namespace {

using kelcore::string::FromStd;
using kelcore::string::ToStd;

kelcore::UTF16String Wide(const std::string& utf8) {
  return kelcore::string::UTF8to16(FromStd(utf8));
}

std::string Narrow(const kelcore::UTF16String& wide) {
  return ToStd(kelcore::string::UTF16to8(wide));
}

// A path given on the command line: not empty (an empty --docs must never
// mean the platform's folder) and UTF-8, which names one UTF-16 path.
const CLI::Validator kPathText(
    [](std::string& text) -> std::string {
      if (text.empty()) return "an empty path names no folder or file";
      if (!kelabexperiment::IsValidUTF8(text)) return "the path is not valid UTF-8";
      return "";
    },
    "PATH");

const CLI::Validator kUserIdentifier(
    [](std::string& text) -> std::string {
      if (text.empty()) return "an empty user identifier names no user";
      return UserIdentifierProblem(text);
    },
    "USER");

}  // namespace

CLI::Option* AddDocsOption(CLI::App& command, std::string& docs) {
  return command.add_option("--docs", docs, "Documents folder (default: the platform's)")
      ->check(kPathText);
}

void StateLocation::AddOptions(CLI::App& command, bool withFile) {
  AddDocsOption(command, docs);
  auto* userOption = command.add_option("--user", user, "User identifier")->check(kUserIdentifier);
  if (withFile) {
    auto* fileOption = command.add_option("--file", file, "Path of a state file")->check(kPathText);
    userOption->excludes(fileOption);
  }
}

std::string DocumentsFolder(const std::string& docs) {
  if (!docs.empty()) return docs;
  return Narrow(kelcore::filesupport::Dir::UserDocsDir().FullPath());
}

std::string StateLocation::DocumentsFolder() const { return kelab::DocumentsFolder(docs); }

std::string UserStateFile(const std::string& documents, const std::string& user) {
  const kelcore::filesupport::Dir folder(Wide(documents));
  return Narrow(kelabexperiment::UserStateFile(folder, Wide(user)).FullPath());
}

std::string StateLocation::StateFile() const {
  if (!file.empty()) return file;
  if (user.empty()) throw CLI::RequiredError("--user or --file");
  return UserStateFile(DocumentsFolder(), user);
}

void StateLocation::CreateUserFolder() const {
  if (user.empty()) return;
  kelabexperiment::platform::CreateFolders(kelabexperiment::platform::CurrentEnv(),
                                           kelabexperiment::platform::FolderOf(StateFile()));
}

void StateLocation::RequireFolders() const {
  const std::string folder = kelabexperiment::platform::FolderOf(StateFile());
  if (user.empty()) return RequireFolder(folder, "the folder of --file");
  const std::string documents = DocumentsFolder();
  RequireFolder(documents, "documents folder");
  if (KindOf(folder) == PathKind::kDirectory) return;
  std::vector<std::string> users = UserFolderNames(documents);
  users.erase(std::remove_if(users.begin(), users.end(),
                             [](const std::string& name) { return !IsUserIdentifier(name); }),
              users.end());
  throw MissingError("user '" + Printable(user) + "' has no folder in " +
                     Printable(UsersFolder(documents)) + ClosestNames(user, users));
}

void RequireFolder(const std::string& path, const std::string& what) {
  switch (KindOf(path)) {
    case PathKind::kDirectory:
      return;
    case PathKind::kMissing:
      throw MissingError(what + " '" + Printable(path) + "' does not exist");
    default:
      throw MissingError(what + " '" + Printable(path) + "' is not a folder");
  }
}

std::string UsersFolder(const std::string& documents) {
  return Narrow(kelcore::filesupport::Dir(kelcore::filesupport::Dir(Wide(documents)),
                                          kelcore::UTF16String(L"Users"))
                    .FullPath());
}

std::vector<std::string> UserFolderNames(const std::string& documents) {
  const std::string users = UsersFolder(documents);
  std::vector<std::string> names;
  if (KindOf(users) != PathKind::kDirectory) return names;
  for (const std::string& name : kelabexperiment::platform::CurrentEnv().List(users)) {
    if (KindOf(Narrow(kelcore::filesupport::Dir(kelcore::filesupport::Dir(Wide(users)), Wide(name))
                          .FullPath())) == PathKind::kDirectory) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string UserIdentifierProblem(const std::string& name) {
  try {
    kelabexperiment::CheckUserIdentifier(FromStd(name));
  } catch (const kelabexperiment::InvalidUserIdentifierError& e) {
    return LibraryMessage(e.what());
  }
  return "";
}

bool IsUserIdentifier(const std::string& name) {
  return !name.empty() && UserIdentifierProblem(name).empty();
}

PathKind KindOf(const std::string& path) {
  const PathKind kind = kelabexperiment::platform::CurrentEnv().Stat(path);
  if (kind != PathKind::kLink) return kind;
  // What the link leads to: a user may keep documents anywhere.
  std::error_code error;
  const auto target = std::filesystem::status(std::filesystem::u8path(path), error);
  if (std::filesystem::is_directory(target)) return PathKind::kDirectory;
  return std::filesystem::is_regular_file(target) ? PathKind::kFile : PathKind::kLink;
}

kelabexperiment::RecordMap ReadRecords(const std::string& path) {
  return kelabexperiment::LoadStateFile(FromStd(path));
}

}  // namespace kelab
