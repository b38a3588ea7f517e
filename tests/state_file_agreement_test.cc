// kelab reads state files with the library's rules written out again (the
// library exports only its five functions). This keeps the two in step: on
// every document, kelab rejects exactly what the library rejects, and shows
// what the library applies.

#include <filesystem>

#include <gtest/gtest.h>

#include "kelappsupport/feature/feature_inspection.h"
#include "state_file_reader.h"
#include "store/experiment_store.h"
#include "store/feature_overrides.h"
#include "store/variation_text.h"
#include "testsupport/json_suite.h"
#include "testsupport/temp_dir.h"

namespace kelabexperiment {
namespace {

using kelcore::string::FromStd;
using kelcore::string::ToStd;

void ExpectAgreement(const std::string& text, const std::string& label) {
  testsupport::TempDir folder;
  const auto path = folder / "ABExperiment";
  testsupport::WriteAll(path, text);
  kelappsupport::feature::ResetFeatureService();
  std::vector<kelab::StoredAssignment> shown;
  bool kelabRejects = false;
  try {
    shown = kelab::ReadStateFile(path);
  } catch (const kelab::StateFileProblem&) {
    kelabRejects = true;
  }
  try {
    ExperimentStore store(FromStd(path.u8string()));
    ASSERT_FALSE(kelabRejects) << label << ": kelab rejects what the library loads";
    ASSERT_EQ(shown.size(), store.Records().size()) << label;
    auto it = shown.begin();
    for (const auto& [id, record] : store.Records()) {
      EXPECT_EQ(it->experiment, ToStd(id)) << label;
      EXPECT_EQ(it->variation, ToStd(VariationKindToText(record.variation))) << label;
      EXPECT_EQ(it->variationValue, VariationFeatureValue(record.variation)) << label;
      EXPECT_EQ(it->challengerType, ToStd(*record.challengerType)) << label;
      EXPECT_EQ(it->variationId.has_value(), record.variationId.has_value()) << label;
      EXPECT_EQ(it->campaignId.has_value(), record.campaignId.has_value()) << label;
      ++it;
    }
  } catch (const boost::bad_any_cast&) {
    EXPECT_TRUE(kelabRejects) << label << ": kelab accepts what the library rejects";
  }
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  if (!std::filesystem::is_directory(folder)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    files.push_back(entry.path());
  }
  return files;
}

TEST(StateFileAgreementTest, KelabAndTheLibraryAgreeOnEveryDocument) {
  int documents = 0;
  for (const char* text :
       {"", "{}",
        R"({"a":"{\"VARIATION\":\"Control\",\"variationid\":\"x\",\"VariationId\":\"y\"}"})",
        R"({"a":"{\"variation\":\"CHALLENGER\",\"campaignId\":\"1\",\"extra\":\"z\"}"})",
        R"({"a":"{\"variation\":\"elsewhere\"}","B":"{}"})", R"({"a":"{\"x\":null}"})",
        R"({"a":"{\"x\":[]}"})", R"({"a":{}})", R"({"a":"[]"})", "[]", "null", "{\"a\":\"{}\""}) {
    ExpectAgreement(text, text);
    ++documents;
  }
  const std::filesystem::path seeds = std::filesystem::path(KELAB_SOURCE_DIR) / "fuzz" / "corpus";
  std::vector<std::filesystem::path> files = FilesIn(seeds / "state_file");
  for (const auto& more : {FilesIn(seeds / "stored_record"), FilesIn(seeds / "json")}) {
    files.insert(files.end(), more.begin(), more.end());
  }
  const auto suite = FilesIn(testsupport::JsonSuiteFolder());
  files.insert(files.end(), suite.begin(), suite.end());
  for (const auto& file : files) {
    ExpectAgreement(testsupport::ReadAll(file), file.filename().string());
    ++documents;
  }
  EXPECT_GT(documents, 300);
}

}  // namespace
}  // namespace kelabexperiment
