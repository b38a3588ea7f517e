#include "kelcore/debug/debug_database.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "kelcore/config/kel_exception.h"
#include "testsupport/error_of.h"
#include "testsupport/scoped_environment.h"
#include "testsupport/temp_dir.h"

namespace kelcore::debug {
namespace {

UTF8String Bytes(std::string_view text) { return string::FromStd(text); }

class DebugDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override { DebugDatabase::Instance().Clear(); }
  void TearDown() override { DebugDatabase::Instance().Clear(); }
  std::string Get(const char* key) {
    return string::ToStd(DebugDatabase::Instance().GetEntry(Bytes(key), Bytes("<none>")));
  }
  testsupport::TempDir temp_;
};

// A bad file changes nothing; a good one is taken verbatim. An entry set later
// replaces what the file gave, and once removed gives the fallback again.
TEST_F(DebugDatabaseTest, LoadsASettingsFileVerbatimOrNotAtAll) {
  DebugDatabase& db = DebugDatabase::Instance();
  testsupport::WriteAll(temp_ / "bad", "A=1\nno equals sign\n");
  EXPECT_THAT(testsupport::ErrorOf<config::kel_exception>(
                  [&] { db.LoadFromFile((temp_ / "bad").string()); }),
              ::testing::HasSubstr("line 2"));
  EXPECT_EQ(Get("A"), "<none>");
  EXPECT_THROW(db.LoadFromFile((temp_ / "missing").string()), config::kel_exception);

  testsupport::WriteAll(temp_ / "db", "# switches\n\n  A.enable = false\r\nB.enable=true \nC=\n");
  db.LoadFromFile((temp_ / "db").string());
  EXPECT_EQ(Get("A.enable"), " false");  // value verbatim: leading blank kept
  EXPECT_EQ(Get("B.enable"), "true ");
  EXPECT_EQ(Get("C"), "");
  EXPECT_EQ(Get("a.enable"), "<none>");  // keys are case-sensitive
  db.SetEntry(Bytes("A.enable"), Bytes("true"));
  EXPECT_EQ(Get("A.enable"), "true");
  db.RemoveEntry(Bytes("A.enable"));
  EXPECT_EQ(Get("A.enable"), "<none>");
}

// Only a regular file within the size limit is read. Anything else is refused
// at once: a FIFO would otherwise hang the first registration, a device be
// read without end.
TEST_F(DebugDatabaseTest, ReadsOnlyARegularFileWithinTheLimit) {
  DebugDatabase& db = DebugDatabase::Instance();
  const std::size_t limit = DebugDatabase::kMaxFileBytes;
  testsupport::WriteAll(temp_ / "limit", "A=1\n" + std::string(limit - 4, '#'));
  db.LoadFromFile((temp_ / "limit").string());
  EXPECT_EQ(Get("A"), "1");
  db.Clear();
  testsupport::WriteAll(temp_ / "big", "B=1\n" + std::string(limit - 3, '#'));
  std::filesystem::create_directories(temp_ / "folder");
  std::vector<std::pair<std::string, std::string>> refused = {
      {(temp_ / "big").string(), "holds 1048577 bytes, more than the 1048576 allowed"},
      {(temp_ / "folder").string(), "not a regular file"},
  };
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((temp_ / "fifo").c_str(), 0600), 0);
  refused.emplace_back((temp_ / "fifo").string(), "not a regular file");
  refused.emplace_back("/dev/zero", "not a regular file");
#endif
  for (const auto& [path, reason] : refused) {
    EXPECT_THAT(
        testsupport::ErrorOf<config::kel_exception>([&] { db.LoadFromFile(path); }),
        ::testing::AllOf(::testing::HasSubstr("'" + path + "'"), ::testing::HasSubstr(reason)))
        << path;
  }
  EXPECT_EQ(Get("B"), "<none>");
}

#ifndef _WIN32
// Windows runs of the suite go through an emulator, where the re-run of this
// program that the test needs has not been tried.

// The database is built on first use: only a fresh run of this program (the
// death test's re-run of this body) sees the file that KEL_DEBUG_DATABASE
// names; an empty name names no file.
TEST(DebugDatabaseStartTest, TheFileTheEnvironmentNamesIsLoadedOnFirstUse) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  testsupport::TempDir temp;
  testsupport::WriteAll(temp / "db", "A=1\n");
  for (const std::string& named : {(temp / "db").string(), std::string()}) {
    const testsupport::ScopedEnvironmentVariable variable("KEL_DEBUG_DATABASE", named.c_str());
    const UTF8String expected = Bytes(named.empty() ? "<none>" : "1");
    EXPECT_EXIT(
        {
          const bool loaded =
              DebugDatabase::Instance().GetEntry(Bytes("A"), Bytes("<none>")) == expected;
          std::filesystem::remove_all(temp.path());  // the re-run's own folder
          std::_Exit(loaded ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << named;
  }
}
#endif

}  // namespace
}  // namespace kelcore::debug
