#include "manager/user_state_path.h"

#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/env.h"
#include "testsupport/error_of.h"
#include "testsupport/memory_env.h"
#include "testsupport/scoped_user_docs_dir.h"

namespace kelabexperiment {
namespace {

using ::testing::HasSubstr;

UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }

TEST(UserIdentifierTest, AcceptsSafeFolderNamesAndSaysWhyItRefusesOthers) {
  std::string euros;  // 85 three-byte characters: 255 bytes
  for (int i = 0; i < 85; ++i) euros += "\xE2\x82\xAC";
  // Names grouped by what checking them says; the first group is accepted.
  const std::pair<const char*, std::vector<std::string>> groups[] = {
      {"no error",
       {"", "alice", "user-42_x", "a.b", ".hidden", "CONSOLE", "com0", "COM10", "LPTA", "aux1",
        "COM\xC2\xB4", "CONIN", "CONOUT$x",
        "\xC3\x9C"
        "ser",
        "\xF0\x9F\x98\x80", "with space", "nbsp\xC2\xA0x", std::string(255, 'a'), euros}},
      {"current or parent", {".", ".."}},
      {"path separator", {"../x", "a\\b"}},
      {"NUL", {std::string("a\0b", 3)}},
      {"UTF-8", {"a\xFF", "\xED\xA0\x80"}},
      {"control", {"tab\tx", "\x7F", "next\xC2\x85line", "\xC2\x80", "c1\xC2\x9F"}},
      {"reserved", {"a:b", "what?"}},
      {"dot or a blank", {"x.", "x "}},
      {"device",
       {"CON", "lpt1.txt", "Nul", "COM9", "lpt9", "conin$", "CONOUT$.log", "COM\xC2\xB9",
        "lpt\xC2\xB3.x"}},
      {"255 bytes", {std::string(256, 'a')}},
  };
  for (const auto& [said, ids] : groups) {
    for (const std::string& id : ids) {
      const std::string error =
          testsupport::ErrorOf<InvalidUserIdentifierError>([&] { CheckUserIdentifier(T(id)); });
      EXPECT_THAT(error, HasSubstr(said)) << id.size() << " bytes: " << id;
      EXPECT_EQ(error.find('\n'), std::string::npos);
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

  // A link at the state path, dangling or not, is an error; nothing is made
  // where it points (with a relative link: another user's file).
  std::filesystem::create_directories(docs / "Users" / "u2");
  const auto link = docs / "Users" / "u2" / "ABExperiment";
  for (const std::filesystem::path target : {"../u3/ABExperiment", "../u1/ABExperiment"}) {
    std::filesystem::remove(link);
    std::filesystem::create_directories(docs / "Users" / "u3");
    std::error_code unsupported;
    std::filesystem::create_symlink(target, link, unsupported);
    if (unsupported) GTEST_SKIP() << "no symbolic links here: " << unsupported.message();
    EXPECT_THAT(
        testsupport::ErrorOf<FileError>([] { GetUserStateFilePath(testsupport::Wide("u2")); }),
        HasSubstr("is a symbolic link"));
  }
  EXPECT_FALSE(std::filesystem::exists(docs / "Users" / "u3" / "ABExperiment"));
  EXPECT_EQ(testsupport::ReadAll(file), "{\"kept\":\"{}\"}");
}

#ifndef _WIN32  // the in-memory disk names paths as POSIX does
// A first Initialize's folders and empty file are there after a power loss,
// as the files later saved in them are.
TEST(UserStatePathTest, NewFoldersAndTheEmptyFileSurviveAPowerLoss) {
  testsupport::MemoryEnv disk;
  platform::ScopedEnv scope(disk);
  testsupport::ScopedUserDocsDir docsScope(std::filesystem::path("/docs"));
  disk.CreateFolder("/docs");
  disk.SyncEverything();
  GetUserStateFilePath(testsupport::Wide("u1"));
  disk.SimulatePowerLoss();
  std::string content = "?";
  EXPECT_TRUE(disk.GetFile("/docs/Users/u1/ABExperiment", &content) && content.empty());
  EXPECT_EQ(disk.Stat("/docs/Users/u1"), platform::EntryKind::kDirectory);
}
#endif

// A relative documents folder is taken against the working folder when the
// path is formed, so that a host changing its working folder later still
// saves into the same folder.
TEST(UserStatePathTest, ARelativeDocumentsFolderGivesAnAbsolutePath) {
  testsupport::TempDir temp;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(temp.path());
  UTF8String path;
  {
    testsupport::ScopedUserDocsDir docsScope("relative-docs");
    path = GetUserStateFilePath(testsupport::Wide("u1"));
  }
  std::filesystem::current_path(previous);
  EXPECT_EQ(kelcore::string::ToStd(path),
            (temp / "relative-docs" / "Users" / "u1" / "ABExperiment").u8string());
}

}  // namespace
}  // namespace kelabexperiment
