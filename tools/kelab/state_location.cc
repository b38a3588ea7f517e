#include "state_location.h"

#include "kelcore/filesupport/dir.h"
#include "kelcore/string/conversions.h"

namespace kelab {

void StateLocation::AddOptions(CLI::App& command) {
  command.add_option("--docs", docs, "Documents folder (default: the platform's)");
  auto* userOption = command.add_option("--user", user, "User identifier");
  auto* fileOption = command.add_option("--file", file, "Path of a state file");
  userOption->excludes(fileOption);
}

std::filesystem::path StateLocation::DocumentsFolder() const {
  if (!docs.empty()) return std::filesystem::u8path(docs);
  const auto folder = kelcore::filesupport::Dir::UserDocsDir().FullPath();
  return std::filesystem::u8path(kelcore::string::ToStd(kelcore::string::UTF16to8(folder)));
}

std::filesystem::path StateLocation::StateFile() const {
  if (!file.empty()) return std::filesystem::u8path(file);
  if (user.empty()) throw CLI::RequiredError("--user or --file");
  if (user.empty() || user == "." || user == ".." ||
      user.find_first_of(std::string("/\\\0", 3)) != std::string::npos) {
    throw CLI::ValidationError("--user", "'" + user + "' is not a single folder name");
  }
  return DocumentsFolder() / "Users" / std::filesystem::u8path(user) / "ABExperiment";
}

}  // namespace kelab
