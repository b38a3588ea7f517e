#include "state_location.h"

#include "kelcore/filesupport/dir.h"
#include "kelcore/string/conversions.h"
#include "manager/user_state_path.h"
#include "store/state_file.h"

namespace kelab {
namespace {

using kelcore::string::FromStd;
using kelcore::string::ToStd;

}  // namespace

void StateLocation::AddOptions(CLI::App& command) {
  command.add_option("--docs", docs, "Documents folder (default: the platform's)");
  auto* userOption = command.add_option("--user", user, "User identifier");
  auto* fileOption = command.add_option("--file", file, "Path of a state file");
  userOption->excludes(fileOption);
}

std::filesystem::path StateLocation::DocumentsFolder() const {
  if (!docs.empty()) return std::filesystem::u8path(docs);
  const auto folder = kelcore::filesupport::Dir::UserDocsDir().FullPath();
  return std::filesystem::u8path(ToStd(kelcore::string::UTF16to8(folder)));
}

std::filesystem::path StateLocation::StateFile() const {
  if (!file.empty()) return std::filesystem::u8path(file);
  if (user.empty()) throw CLI::RequiredError("--user or --file");
  try {
    kelabexperiment::CheckUserIdentifier(FromStd(user));
  } catch (const kelabexperiment::InvalidUserIdentifierError& e) {
    throw CLI::ValidationError("--user", e.what());
  }
  const kelcore::filesupport::Dir documents(
      kelcore::string::UTF8to16(FromStd(DocumentsFolder().u8string())));
  const auto path =
      kelabexperiment::UserStateFile(documents, kelcore::string::UTF8to16(FromStd(user)));
  return std::filesystem::u8path(ToStd(kelcore::string::UTF16to8(path.FullPath())));
}

kelabexperiment::RecordMap ReadRecords(const std::filesystem::path& path) {
  return kelabexperiment::LoadStateFile(FromStd(path.u8string()));
}

}  // namespace kelab
