// An accepted user identifier is one folder name: its state file is exactly
// <docs>/Users/<identifier>/ABExperiment, never anywhere else.

#include "fuzz_support.h"
#include "kelcore/string/conversions.h"
#include "manager/user_state_path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelabexperiment;
  const UTF8String id = fuzz::Text(data, size);
  try {
    CheckUserIdentifier(id);
  } catch (const InvalidUserIdentifierError&) {
    return 0;
  }
  fuzz::InMemoryDisk disk;
  const UTF8String path = GetUserStateFilePath(kelcore::string::UTF8to16(id));
  if (id.empty()) {
    fuzz::Require(path.empty());
    return 0;
  }
  fuzz::Require(id.find('/') == UTF8String::npos && id.find('\\') == UTF8String::npos);
  const std::string expected = "/docs/Users/" + kelcore::string::ToStd(id) + "/ABExperiment";
  fuzz::Require(kelcore::string::ToStd(path) == expected);
  std::string content;
  fuzz::Require(disk.fs().GetFile(kelcore::string::ToStd(path), &content) && content.empty());
  return 0;
}
