// The third-party JSON parsing suite: y_ files must parse, n_ files must not,
// i_ files may go either way; none may crash.

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "kelcore/serialization/json.h"
#include "testsupport/json_suite.h"
#include "testsupport/temp_dir.h"

namespace kelcore::serialization {
namespace {

TEST(JsonSuiteTest, EveryDocumentHasItsExpectedOutcome) {
  const auto folder = testsupport::JsonSuiteFolder();
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << "JSON test suite not found at " << folder;
  int accepted = 0, rejected = 0, either = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    const auto parsed = JSONParse(string::FromStd(testsupport::ReadAll(entry.path())));
    switch (name[0]) {
      case 'y':
        // The document `null` parses to the null pointer by definition.
        if (name == "y_structure_lonely_null.json") {
          EXPECT_FALSE(parsed);
        } else {
          EXPECT_TRUE(parsed) << name;
        }
        ++accepted;
        break;
      case 'n':
        EXPECT_FALSE(parsed) << name;
        ++rejected;
        break;
      default:
        ++either;
    }
  }
  EXPECT_GT(accepted, 90);
  EXPECT_GT(rejected, 150);
  EXPECT_GT(either, 10);
}

}  // namespace
}  // namespace kelcore::serialization
