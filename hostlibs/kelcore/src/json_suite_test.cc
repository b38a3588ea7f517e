// The third-party JSON parsing suite: y_ files must parse, n_ files must not,
// i_ files may go either way; none may crash.

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
  const std::string lonelyNull = "y_structure_lonely_null.json";  // the null pointer by definition
  int documents = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    const bool parsed = JSONParse(string::FromStd(testsupport::ReadAll(entry.path()))) != nullptr;
    if (name[0] == 'y' || name[0] == 'n') {
      EXPECT_EQ(parsed, name[0] == 'y' && name != lonelyNull) << name;
    }
    ++documents;
  }
  EXPECT_GT(documents, 300);
}

}  // namespace
}  // namespace kelcore::serialization
