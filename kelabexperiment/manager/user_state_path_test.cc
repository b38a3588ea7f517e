#include "manager/user_state_path.h"

#include <gtest/gtest.h>

#include "testsupport/scoped_user_docs_dir.h"

namespace kelabexperiment {
namespace {

UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }

TEST(UserIdentifierTest, AcceptsEverySingleSafeFolderName) {
  for (std::string_view ok : {"", "alice", "user-42_x", "a.b", ".hidden", "CONSOLE", "com0",
                              "COM10", "LPTA", "aux1", "COM\xC2\xB4", "CONIN", "CONOUT$x",
                              "\xC3\x9C"
                              "ser",
                              "\xF0\x9F\x98\x80", "with space"}) {
    EXPECT_NO_THROW(CheckUserIdentifier(T(ok))) << ok;
  }
  std::string euros;  // 85 three-byte characters: 255 bytes
  for (int i = 0; i < 85; ++i) euros += "\xE2\x82\xAC";
  for (const std::string& longest : {std::string(255, 'a'), euros}) {
    EXPECT_NO_THROW(CheckUserIdentifier(T(longest))) << longest.size();
  }
}

TEST(UserIdentifierTest, RejectsNamesThatEscapeOrAliasAFolder) {
  const std::pair<std::string, const char*> bad[] = {
      {".", "current or parent"},
      {"..", "current or parent"},
      {"../x", "path separator"},
      {"a\\b", "path separator"},
      {std::string("a\0b", 3), "NUL"},
      {"a\xFF", "UTF-8"},
      {"\xED\xA0\x80", "UTF-8"},
      {"tab\tx", "control"},
      {"a:b", "reserved"},
      {"what?", "reserved"},
      {"x.", "dot or a blank"},
      {"x ", "dot or a blank"},
      {"CON", "device"},
      {"lpt1.txt", "device"},
      {"Nul", "device"},
      {"COM9", "device"},
      {"lpt9", "device"},
      {"conin$", "device"},
      {"CONOUT$.log", "device"},
      {"COM\xC2\xB9", "device"},
      {"lpt\xC2\xB3.x", "device"},
      {std::string(256, 'a'), "255 bytes"},
  };
  for (const auto& [id, reason] : bad) {
    try {
      CheckUserIdentifier(T(id));
      ADD_FAILURE() << "accepted: " << id;
    } catch (const InvalidUserIdentifierError& e) {
      EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
    }
  }
}

TEST(UserStatePathTest, CreatesFoldersAndAnEmptyFileOnlyWhenMissing) {
  testsupport::TempDir docs;
  testsupport::ScopedUserDocsDir docsScope(docs.path());
  EXPECT_TRUE(GetUserStateFilePath(UTF16String()).empty());
  EXPECT_TRUE(std::filesystem::is_empty(docs.path()));

  const UTF8String path = GetUserStateFilePath(testsupport::Wide("u1"));
  const auto file = docs / "Users" / "u1" / "ABExperiment";
  EXPECT_EQ(kelcore::string::ToStd(path), file.u8string());
  EXPECT_EQ(std::filesystem::file_size(file), 0u);
  testsupport::WriteAll(file, "{\"kept\":\"{}\"}");
  GetUserStateFilePath(testsupport::Wide("u1"));
  EXPECT_EQ(testsupport::ReadAll(file), "{\"kept\":\"{}\"}");
}

}  // namespace
}  // namespace kelabexperiment
