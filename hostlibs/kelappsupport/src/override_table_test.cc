#include "override_table.h"

#include <limits>
#include <map>
#include <new>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "kelappsupport/feature/feature_inspection.h"

namespace kelappsupport::feature {
namespace {

constexpr auto kExperiment = OverrideDataCategory::kExperiment;
using Model = std::map<std::string, OverrideValue>;

OverrideValue Held(const StoredValue& value, OverrideDataCategory category) {
  if (const auto* text = std::get_if<std::string_view>(&value))
    return {std::string(*text), category};
  return {std::get<int>(value), category};
}

Model Contents(const OverrideTable& table) {
  Model contents;
  table.ForEach(
      [&](const OverrideView& o) { contents.emplace(o.name, Held(o.value, o.category)); });
  EXPECT_EQ(contents.size(), table.size());
  return contents;
}

void SetBoth(OverrideTable& table, Model& model, const std::string& name, StoredValue value,
             OverrideDataCategory category = kExperiment) {
  table.Set(name, value, category);
  model.insert_or_assign(name, Held(value, category));
}

// A text replaced by a shorter one stays where it was, a longer one moves to
// the end. A name of 16 MiB or more, or a category beyond 7 bits, is kept in
// a header before the name, so a replacement may move an override either way
// for that too, and compacting (here after the long name goes) must carry the
// headers along. None of it may touch the bytes of the overrides around.
TEST(FeatureOverrideTableTest, ReplacedValuesKeepTheirSizeAndCategoryAndLeaveTheirNeighboursAlone) {
  OverrideTable table;
  Model model;
  SetBoth(table, model, "", std::string_view("nul\0text", 8));
  SetBoth(table, model, "a_variationId", "control");
  SetBoth(table, model, "b", 5);
  for (const StoredValue value : {StoredValue("ctl"), StoredValue("a much longer text than that"),
                                  StoredValue(-7), StoredValue(""), StoredValue("xy")}) {
    SetBoth(table, model, "a_variationId", value);
    EXPECT_EQ(Contents(table), model);
  }
  EXPECT_FALSE(table.Find("a_variation"));
  EXPECT_EQ(std::get<std::string_view>(table.Find("a_variationId")->value), "xy");

  const auto odd = static_cast<OverrideDataCategory>(0x80);
  const std::string longName(0xFFFFFF, 'n');
  const std::tuple<std::string, StoredValue, OverrideDataCategory> steps[] = {
      {"a", "narrow", kExperiment}, {"a", "x", odd},
      {"a", 7, kExperiment},        {"a", "longer text", odd},
      {longName, "t", kExperiment}, {longName, 3, odd},
      {"b", "after", kExperiment}};
  for (const auto& [name, value, category] : steps) {
    SetBoth(table, model, name, value, category);
    EXPECT_EQ(Contents(table), model);
  }
  ASSERT_TRUE(table.Remove(longName));
  model.erase(longName);
  EXPECT_LT(table.GetUsage().arenaBytes, 100u);  // compacted
  EXPECT_EQ(Contents(table), model);

  // A text that keeps growing leaves its old copies behind; replacing must
  // compact them away as removing does.
  for (std::size_t n = 1; n < 2000; ++n) SetBoth(table, model, "grows", std::string(n, 'g'));
  const OverrideTable::Usage usage = table.GetUsage();
  EXPECT_TRUE(usage.garbageBytes < 4096 ||
              2 * usage.garbageBytes <= usage.arenaBytes + 16 * usage.entries);
  EXPECT_EQ(Contents(table), model);
}

TEST(FeatureOverrideTableTest, RemovedNamesComeBackAndChurnStaysBounded) {
  OverrideTable table;
  const auto name = [](int i) { return std::to_string(i) + "_variation"; };
  for (int i = 0; i < 5000; ++i) table.Set(name(i), i, kExperiment);
  const std::size_t slots = table.GetUsage().slots;
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(table.Remove(name(i)));
  EXPECT_FALSE(table.Remove(name(0)));
  Model model;
  for (int i = 0; i < 5000; ++i) SetBoth(table, model, name(i), "again");
  EXPECT_EQ(Contents(table), model);
  EXPECT_EQ(table.GetUsage().slots, slots);
  EXPECT_EQ(table.GetUsage().entries, 5000u);

  // New names arriving as old ones leave, 100 at a time.
  for (int i = 5000; i < 100000; ++i) {
    table.Set(name(i), "text", kExperiment);
    ASSERT_TRUE(table.Remove(name(i - 100)));
  }
  EXPECT_EQ(table.size(), 5000u);
  EXPECT_LE(table.GetUsage().entries, 5001u);
  EXPECT_EQ(table.GetUsage().slots, slots);
  // Names and texts take under 20 bytes each; garbage may match them and
  // the entries' share.
  EXPECT_LE(table.GetUsage().arenaBytes, 2 * 5000u * 20 + 5001u * 16);
}

TEST(FeatureOverrideTableTest, ReserveSizesTheTableOnceAndClearReleasesIt) {
  using Sizes = std::tuple<std::size_t, std::size_t, std::size_t>;
  const auto capacities = [](const OverrideTable& table) {
    const OverrideTable::Usage usage = table.GetUsage();
    return Sizes{usage.arenaCapacity, usage.entryCapacity, usage.slots};
  };
  const auto name = [](int i) { return std::to_string(i) + "_challengerType"; };
  OverrideTable table;
  table.Set("first", 1, kExperiment);  // entries come eight at a time at first
  EXPECT_EQ(table.GetUsage().entryCapacity, 8u);
  table.Clear();
  std::size_t bytes = 0;
  for (int i = 0; i < 1000; ++i) bytes += name(i).size() + 3;
  table.Reserve(1000, bytes);
  const Sizes reserved = capacities(table);
  // Twice, as when a host applies the same overrides again.
  for (const char* text : {"abc", "xyz"}) {
    table.Reserve(1000, bytes);
    for (int i = 0; i < 1000; ++i) table.Set(name(i), text, kExperiment);
    EXPECT_EQ(capacities(table), reserved);
  }
  EXPECT_EQ(table.GetUsage().arenaBytes, bytes);
  EXPECT_THROW(table.Reserve(std::numeric_limits<std::size_t>::max(), 0), std::length_error);
  // Offsets are 32 bits wide: all ones is the largest arena there may be.
  EXPECT_THROW(OverrideTable().Reserve(0, 0x100000000u), std::length_error);
  try {
    OverrideTable().Reserve(0, 0xFFFFFFFFu);
  } catch (const std::bad_alloc&) {  // memory for it is not promised, only the limit
  }
  EXPECT_EQ(table.size(), 1000u);
  table.Clear();
  EXPECT_EQ(capacities(table), Sizes{});
  EXPECT_FALSE(table.Find(name(0)));
}

}  // namespace
}  // namespace kelappsupport::feature
