// The forced-control road end to end, through the shared module and the real
// host layers, as a host application drives it.

#include <gtest/gtest.h>

#include "kelabexperiment/kelabexperiment.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/feature/feature_reads.h"
#include "kelcore/filesupport/byte_streams.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file.h"
#include "kelcore/serialization/json.h"
#include "kelscripting/threads/ui_thread.h"
#include "testsupport/feature_overrides.h"
#include "testsupport/temp_dir.h"

namespace {

using kelcore::UTF8String;
using kelcore::utility::ImmutableString;
namespace feature = kelappsupport::feature;

UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }
ImmutableString Id(std::string_view text) { return ImmutableString::Create(T(text)); }

void InitializeUser(std::string_view user) {
  EXPECT_EQ(kelabexperiment::Initialize(Id(user), Id("desktop"), Id("retail"), true),
            static_cast<int>(0xA00F0001u));
}

TEST(ForcedControlTest, DefaultFallbackForcesControlAndItSticksForThatUserOnly) {
  testsupport::TempDir docs;
  kelcore::filesupport::Dir::SetUserDocsDir(testsupport::Wide(docs.path()));
  kelabexperiment::RegisterExperimentIdentifier(Id("Exp"));
  InitializeUser("U");
  const auto stateFile = docs / "Users" / "U" / "ABExperiment";
  EXPECT_EQ(std::filesystem::file_size(stateFile), 0u);

  // Application code reads the feature; nothing overrides it, so the default
  // is taken, which queues the forced-control update for the UI thread.
  const auto read = feature::ReadIntFeature(T("Exp_variation"), 0);
  EXPECT_FALSE(read.fromOverride);
  EXPECT_EQ(testsupport::FeatureOverrides("Exp"), "-|-|-|-");
  EXPECT_EQ(kelscripting::threads::RunPendingUITasks(), 1u);

  EXPECT_EQ(testsupport::FeatureOverrides("Exp"), "3|none|forced_control|");
  const auto state = kelcore::serialization::JSONParse(T(testsupport::ReadAll(stateFile)));
  ASSERT_TRUE(state);
  const auto& record =
      boost::any_cast<const UTF8String&>(*kelcore::serialization::GetVariantInObject(
          boost::any_cast<const kelcore::serialization::JsonObject&>(*state), "Exp"));
  EXPECT_EQ(kelcore::string::View(record),
            R"({"campaignId":"","challengerType":"none","variation":"forced_control",)"
            R"("variationId":"forced_control"})");
  EXPECT_EQ(feature::ReadIntFeature(T("Exp_variation"), 0).value, 3);
  EXPECT_EQ(feature::ReadStringFeature(T("Exp_variationId"), T("")).value, T("forced_control"));

  // Another user starts clean; the first user gets the forced record back.
  InitializeUser("V");
  EXPECT_EQ(testsupport::FeatureOverrides("Exp"), "-|-|-|-");
  InitializeUser("U");
  EXPECT_EQ(testsupport::FeatureOverrides("Exp"), "3|none|forced_control|");
  EXPECT_EQ(kelscripting::threads::PendingUITaskCount(), 0u);
  EXPECT_FALSE(kelabexperiment::IsESDKInitializeComplete());
  kelcore::filesupport::Dir::SetUserDocsDir(kelcore::UTF16String());
}

// Windows reaches a path past MAX_PATH (260 characters) only in its
// extended-length form; a deep documents folder must work as a short one.
TEST(ForcedControlTest, AStateFileDeepPastMaxPathIsWrittenAndLoads) {
  testsupport::TempDir temp;
  std::filesystem::path docs = temp.path();
  for (char letter = 'a'; letter < 'f'; ++letter) docs /= std::string(50, letter);
  const auto stateFile = docs / "Users" / "DeepUser" / "ABExperiment";
  ASSERT_GT(stateFile.u8string().size(), 260u);
  kelcore::filesupport::Dir::SetUserDocsDir(testsupport::Wide(docs));
  kelabexperiment::RegisterExperimentIdentifier(Id("DeepExp"));
  InitializeUser("DeepUser");
  feature::ReadIntFeature(T("DeepExp_variation"), 0);
  EXPECT_EQ(kelscripting::threads::RunPendingUITasks(), 1u);
  EXPECT_EQ(testsupport::FeatureOverrides("DeepExp"), "3|none|forced_control|");

  // Read through the host's own file API, which takes such paths.
  kelcore::filesupport::IPlatformByteStream in(
      kelcore::filesupport::File(testsupport::Wide(stateFile),
                                 kelcore::filesupport::StorageType::kLocal),
      kelcore::filesupport::kStreamBinary);
  std::string text(static_cast<std::size_t>(in.Length()), '\0');
  in.ReadBlock(text.data(), static_cast<std::uint32_t>(text.size()));
  in.Close();
  EXPECT_NE(text.find("DeepExp"), std::string::npos) << text;

  InitializeUser("Other");
  EXPECT_EQ(testsupport::FeatureOverrides("DeepExp"), "-|-|-|-");
  InitializeUser("DeepUser");  // loaded from the file again
  EXPECT_EQ(testsupport::FeatureOverrides("DeepExp"), "3|none|forced_control|");
  kelcore::filesupport::Dir::SetUserDocsDir(kelcore::UTF16String());
}

}  // namespace
