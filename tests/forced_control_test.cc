// The forced-control road end to end, through the exports of the shared
// module and the real host layers, as a host application drives it.

#include <gtest/gtest.h>

#include "kelabexperiment/kelabexperiment.h"
#include "kelappsupport/feature/feature_reads.h"
#include "kelcore/filesupport/byte_streams.h"
#include "kelcore/filesupport/file.h"
#include "kelscripting/threads/ui_thread.h"
#include "testsupport/feature_overrides.h"
#include "testsupport/scoped_feature_service.h"
#include "testsupport/scoped_ui_queue.h"
#include "testsupport/scoped_user_docs_dir.h"

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

// The state file as the host's own file API reads it; Windows reaches a path
// past MAX_PATH (260 characters) only in its extended-length form.
std::string ReadThroughHost(const std::filesystem::path& path) {
  kelcore::filesupport::IPlatformByteStream in(
      kelcore::filesupport::File(testsupport::Wide(path),
                                 kelcore::filesupport::StorageType::kLocal),
      kelcore::filesupport::kStreamBinary);
  std::string text(static_cast<std::size_t>(in.Length()), '\0');
  in.ReadBlock(text.data(), static_cast<std::uint32_t>(text.size()));
  in.Close();
  return text;
}

TEST(ForcedControlTest, DefaultFallbackForcesControlAndItSticksForThatUserOnly) {
  kelabexperiment::RegisterExperimentIdentifier(Id("Exp"));
  testsupport::TempDir temp;
  std::filesystem::path deep = temp.path();
  for (char letter = 'a'; letter < 'f'; ++letter) deep /= std::string(50, letter);
  // The host's feature service keeps the module's handlers for the process's
  // life, as a real host does.
  testsupport::ScopedFeatureService features;
  // A documents folder deep past MAX_PATH must work as a short one.
  for (const std::filesystem::path& docs : {temp / "docs", deep}) {
    SCOPED_TRACE(docs.u8string());
    testsupport::ScopedUserDocsDir docsScope(docs);
    testsupport::ScopedUIQueue uiQueue;
    InitializeUser("U");
    const auto stateFile = docs / "Users" / "U" / "ABExperiment";
    EXPECT_EQ(std::filesystem::file_size(stateFile), 0u);

    // Application code reads the feature; nothing overrides it, so the
    // default is taken, which queues the forced-control update for the UI
    // thread.
    EXPECT_FALSE(feature::ReadIntFeature(T("Exp_variation"), 0).fromOverride);
    EXPECT_EQ(testsupport::FeatureOverrides("Exp"), "-|-|-|-");
    EXPECT_EQ(kelscripting::threads::RunPendingUITasks(), 1u);
    EXPECT_EQ(testsupport::FeatureOverrides("Exp"), "3|none|forced_control|");
    EXPECT_EQ(ReadThroughHost(stateFile),
              R"({"Exp":"{\"campaignId\":\"\",\"challengerType\":\"none\",)"
              R"(\"variation\":\"forced_control\",\"variationId\":\"forced_control\"}"})");
    EXPECT_EQ(feature::ReadIntFeature(T("Exp_variation"), 0).value, 3);

    // Another user starts clean; the first user gets the forced record back.
    InitializeUser("V");
    EXPECT_EQ(testsupport::FeatureOverrides("Exp"), "-|-|-|-");
    InitializeUser("U");
    EXPECT_EQ(testsupport::FeatureOverrides("Exp"), "3|none|forced_control|");
    EXPECT_EQ(kelscripting::threads::PendingUITaskCount(), 0u);
  }
  EXPECT_GT((deep / "Users" / "U" / "ABExperiment").u8string().size(), 260u);
  EXPECT_FALSE(kelabexperiment::IsESDKInitializeComplete());
}

}  // namespace
