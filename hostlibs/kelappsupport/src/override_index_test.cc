#include "override_index.h"

#include <gtest/gtest.h>

namespace kelappsupport::feature {
namespace {

std::size_t SlotOf(const OverrideIndex& index, std::uint32_t tag, std::uint32_t entry) {
  return index.Find(tag, [&](std::uint32_t e) { return e == entry; });
}

bool Holds(const OverrideIndex& index, std::uint32_t tag, std::uint32_t entry) {
  return SlotOf(index, tag, entry) != OverrideIndex::kNotFound;
}

// The slots stay at most three quarters full. When an insertion would pass
// that, tombstones are swept out at the same size if that leaves at most five
// eighths of the slots live, and the slots double otherwise. All entries share
// the highest tag, whose chain starts in the last slot and wraps around to the
// first: erasing its head leaves tombstones that probes must pass, and that a
// later insertion may reuse.
TEST(FeatureOverrideIndexTest, GrowsOrSweepsExactlyAtTheLoadLimits) {
  constexpr std::uint32_t kTag = 0xFFFFFFFFu;
  const struct {
    std::uint32_t inserted, erased;
    std::size_t slots;
  } rows[] = {{5, 2, 8}, {6, 0, 8}, {7, 0, 16}, {7, 2, 8}, {7, 1, 16}};
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.inserted << " " << row.erased);
    OverrideIndex index;
    for (std::uint32_t e = 0; e + 1 < row.inserted; ++e) index.Insert(kTag, e);
    for (std::uint32_t e = 0; e < row.erased; ++e) index.Erase(SlotOf(index, kTag, e));
    index.Insert(kTag, 100);
    EXPECT_EQ(index.SlotCount(), row.slots);
    EXPECT_EQ(index.size(), row.inserted - row.erased);
    // Also a probe for an erased entry must end.
    for (std::uint32_t e = 0; e + 1 < row.inserted; ++e)
      EXPECT_EQ(Holds(index, kTag, e), e >= row.erased) << e;
    EXPECT_TRUE(Holds(index, kTag, 100));
  }
}

}  // namespace
}  // namespace kelappsupport::feature
