// The exports as a host sees them: through the shared module.

#include <gtest/gtest.h>

#include "kelabexperiment/kelabexperiment.h"

namespace {

using kelcore::utility::ImmutableString;

TEST(LibraryBoundaryTest, ExportsWorkThroughTheModule) {
  EXPECT_FALSE(kelabexperiment::IsESDKInitializeComplete());
  kelabexperiment::RegisterExperimentIdentifier(ImmutableString::_PrivateCreateStatic("BoundaryB"));
  kelabexperiment::RegisterExperimentIdentifier(ImmutableString::_PrivateCreateStatic("BoundaryA"));
  kelabexperiment::RegisterExperimentIdentifier(ImmutableString::_PrivateCreateStatic("BoundaryB"));
  const auto ids = kelabexperiment::GetRegisteredExperimentIdentifiers();
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(kelcore::string::View(ids.begin()->Text()), "BoundaryB");
  const ImmutableString empty;
  EXPECT_EQ(kelabexperiment::Initialize(empty, empty, empty, false), static_cast<int>(0xA00F0001u));
  // Any arguments: the fixed result, as a signed int.
  EXPECT_EQ(kelabexperiment::Initialize(empty, ImmutableString::_PrivateCreateStatic("phone"),
                                        ImmutableString::_PrivateCreateStatic("store"), true),
            -1609629695);
  EXPECT_FALSE(kelabexperiment::IsESDKInitializeComplete());
}

}  // namespace
