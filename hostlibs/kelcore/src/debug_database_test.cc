#include "kelcore/debug/debug_database.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "kelcore/config/kel_exception.h"
#include "testsupport/error_of.h"
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

TEST_F(DebugDatabaseTest, EntriesOverrideTheFallback) {
  EXPECT_EQ(Get("A.enable"), "<none>");
  DebugDatabase::Instance().SetEntry(Bytes("A.enable"), Bytes("false"));
  EXPECT_EQ(Get("A.enable"), "false");
  EXPECT_EQ(Get("a.enable"), "<none>");  // keys are case-sensitive
  DebugDatabase::Instance().RemoveEntry(Bytes("A.enable"));
  EXPECT_EQ(Get("A.enable"), "<none>");
}

TEST_F(DebugDatabaseTest, LoadsASettingsFileVerbatim) {
  testsupport::WriteAll(temp_ / "db", "# switches\n\n  A.enable = false\r\nB.enable=true \nC=\n");
  DebugDatabase::Instance().LoadFromFile((temp_ / "db").string());
  EXPECT_EQ(Get("A.enable"), " false");  // value verbatim: leading blank kept
  EXPECT_EQ(Get("B.enable"), "true ");
  EXPECT_EQ(Get("C"), "");
}

TEST_F(DebugDatabaseTest, BadSettingsFileChangesNothing) {
  testsupport::WriteAll(temp_ / "db", "A=1\nno equals sign\n");
  EXPECT_THAT(testsupport::ErrorOf<config::kel_exception>(
                  [&] { DebugDatabase::Instance().LoadFromFile((temp_ / "db").string()); }),
              ::testing::HasSubstr("line 2"));
  EXPECT_EQ(Get("A"), "<none>");
  EXPECT_THROW(DebugDatabase::Instance().LoadFromFile((temp_ / "missing").string()),
               config::kel_exception);
}

}  // namespace
}  // namespace kelcore::debug
