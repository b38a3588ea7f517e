#pragma once

// Shared fixture of the store's tests: a clean feature service and a
// temporary folder holding the state file.

#include <string>

#include <gtest/gtest.h>

#include "store/experiment_store.h"
#include "testsupport/feature_overrides.h"
#include "testsupport/printers.h"
#include "testsupport/scoped_feature_service.h"
#include "testsupport/temp_dir.h"

namespace kelabexperiment {

inline UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }

class StoreTest : public ::testing::Test {
 protected:
  std::filesystem::path FilePath() const { return temp_ / "ABExperiment"; }
  UTF8String StatePath() const { return T(FilePath().u8string()); }
  void WriteFile(const std::string& text) const { testsupport::WriteAll(FilePath(), text); }
  std::string FileText() const { return testsupport::ReadAll(FilePath()); }

  static std::string Features(const std::string& id) { return testsupport::FeatureOverrides(id); }

  testsupport::TempDir temp_;
  testsupport::ScopedFeatureService features_;
};

}  // namespace kelabexperiment
