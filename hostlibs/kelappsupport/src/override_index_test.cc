#include "override_index.h"

#include <string>

#include <gtest/gtest.h>

namespace kelappsupport::feature {
namespace {

std::size_t SlotOf(const OverrideIndex& index, std::uint32_t tag, std::uint32_t entry) {
  return index.Find(tag, [&](std::uint32_t e) { return e == entry; });
}

bool Holds(const OverrideIndex& index, std::uint32_t tag, std::uint32_t entry) {
  return SlotOf(index, tag, entry) != OverrideIndex::kNotFound;
}

// Equal tags share a probe chain; the highest tag's chain starts in the last
// slot and wraps around to the first.
TEST(FeatureOverrideIndexTest, RemovalsKeepTheRestOfAWrappingChain) {
  constexpr std::uint32_t kTag = 0xFFFFFFFFu;
  OverrideIndex index;
  for (std::uint32_t e = 0; e < 5; ++e) index.Insert(kTag, e);
  ASSERT_EQ(index.SlotCount(), 8u);
  index.Erase(SlotOf(index, kTag, 1));
  index.Erase(SlotOf(index, kTag, 4));
  for (std::uint32_t e : {0u, 2u, 3u}) EXPECT_TRUE(Holds(index, kTag, e)) << e;
  EXPECT_FALSE(Holds(index, kTag, 1));
  index.Insert(kTag, 7);  // into the tombstone that entry 1 left
  EXPECT_TRUE(Holds(index, kTag, 7));
  EXPECT_TRUE(Holds(index, kTag, 3));
  EXPECT_EQ(index.size(), 4u);
}

// The slots stay at most three quarters full. When an insertion would pass
// that, tombstones are swept out at the same size if that leaves at most five
// eighths of the slots live, and the slots double otherwise.
TEST(FeatureOverrideIndexTest, GrowsOrSweepsExactlyAtTheLoadLimits) {
  const struct {
    std::uint32_t inserted, erased;
    std::size_t slots;
  } rows[] = {{6, 0, 8}, {7, 0, 16}, {7, 2, 8}, {7, 1, 16}};
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.inserted << " " << row.erased);
    OverrideIndex index;
    const std::uint32_t kTag = 7;  // one chain: erasing its head leaves tombstones
    for (std::uint32_t e = 0; e + 1 < row.inserted; ++e) index.Insert(kTag, e);
    for (std::uint32_t e = 0; e < row.erased; ++e) index.Erase(SlotOf(index, kTag, e));
    index.Insert(kTag, 100);
    EXPECT_EQ(index.SlotCount(), row.slots);
    EXPECT_EQ(index.size(), row.inserted - row.erased);
    for (std::uint32_t e = row.erased; e + 1 < row.inserted; ++e)
      EXPECT_TRUE(Holds(index, kTag, e));
    EXPECT_TRUE(Holds(index, kTag, 100));
  }
}

// Entries coming and going leave tombstones; with few live ones they are
// swept out at the same size instead of doubling the slots.
TEST(FeatureOverrideIndexTest, ChurnDoesNotGrowTheSlots) {
  const auto tag = [](std::uint32_t e) { return NameTag(std::to_string(e)); };
  OverrideIndex index;
  for (std::uint32_t e = 0; e < 20000; ++e) {
    index.Insert(tag(e), e);
    if (e >= 2) index.Erase(SlotOf(index, tag(e - 2), e - 2));
  }
  EXPECT_EQ(index.SlotCount(), 8u);
  EXPECT_EQ(index.size(), 2u);
  EXPECT_TRUE(Holds(index, tag(19999), 19999));
  EXPECT_TRUE(Holds(index, tag(19998), 19998));
  EXPECT_FALSE(Holds(index, tag(0), 0));  // a probe for a gone entry still ends
}

}  // namespace
}  // namespace kelappsupport::feature
