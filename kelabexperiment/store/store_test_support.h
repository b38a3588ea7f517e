#pragma once

// Shared fixture of the store's tests: a clean feature service and a
// temporary folder holding the state file.

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "kelappsupport/feature/feature_inspection.h"
#include "store/experiment_store.h"
#include "testsupport/printers.h"
#include "testsupport/temp_dir.h"

namespace kelabexperiment {

inline UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override { kelappsupport::feature::ResetFeatureService(); }
  void TearDown() override { kelappsupport::feature::ResetFeatureService(); }

  std::filesystem::path FilePath() const { return temp_ / "ABExperiment"; }
  UTF8String StatePath() const { return T(FilePath().u8string()); }
  void WriteFile(const std::string& text) const { testsupport::WriteAll(FilePath(), text); }
  std::string FileText() const { return testsupport::ReadAll(FilePath()); }

  // The four features of `id` as "variation|challengerType|variationId|campaignId",
  // "-" for a feature without override.
  static std::string Features(const std::string& id) {
    const auto overrides = kelappsupport::feature::SnapshotOverrides();
    std::string out;
    for (const char* member : {"variation", "challengerType", "variationId", "campaignId"}) {
      auto it = overrides.find(id + "_" + member);
      if (!out.empty()) out += "|";
      if (it == overrides.end()) {
        out += "-";
      } else if (const int* n = std::get_if<int>(&it->second.value)) {
        out += std::to_string(*n);
      } else {
        out += std::get<std::string>(it->second.value);
      }
    }
    return out;
  }

  testsupport::TempDir temp_;
};

}  // namespace kelabexperiment
