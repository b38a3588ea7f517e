#include "workload.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include <boost/json.hpp>

namespace kelab_bench {
namespace {

// splitmix64: a fixed, portable sequence (std distributions differ between
// standard libraries).
class Sequence {
 public:
  explicit Sequence(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  template <std::size_t N>
  const char* Pick(const char* const (&items)[N]) {
    return items[Next() % N];
  }

 private:
  std::uint64_t state_;
};

const char* const kAreas[] = {"Editor", "Sidebar", "Onboarding", "Export",  "Sharing",
                              "Search", "Billing", "Toolbar",    "Library", "Comments"};
const char* const kFeatures[] = {"Checklist", "Banner", "Tooltip",  "Layout",
                                 "Upsell",    "Prompt", "Wizard",   "Carousel",
                                 "Menu",      "Dialog", "Shortcut", "Template"};
const char* const kVariants[] = {"Compact", "Inline", "Floating", "Guided", "Minimal", "Animated"};
const char* const kChallengerTypes[] = {"none",
                                        "copy",
                                        "layout_compact",
                                        "color_blue",
                                        "price_annual",
                                        "onboarding_short",
                                        "",
                                        "icon_set_rounded"};

std::string Uuid(Sequence& random) {
  const std::uint64_t a = random.Next();
  const std::uint64_t b = random.Next();
  char text[37];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx", static_cast<unsigned>(a >> 32),
                static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFFF),
                static_cast<unsigned>(b >> 48),
                static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
  return text;
}

}  // namespace

std::vector<std::string> ExperimentIds(std::size_t count) {
  Sequence random(0x6B656C6162ull);
  std::vector<std::string> ids;
  ids.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "V%u_%uQ%u_%04zu",
                  static_cast<unsigned>(random.Next() % 4 + 1),
                  static_cast<unsigned>(2021 + random.Next() % 5),
                  static_cast<unsigned>(random.Next() % 4 + 1), i);
    ids.push_back(std::string(random.Pick(kAreas)) + random.Pick(kFeatures) +
                  random.Pick(kVariants) + suffix);
  }
  return ids;
}

std::vector<Record> MakeRecords(std::size_t count) {
  Sequence random(0x7265636F7264ull);
  std::vector<Record> records;
  records.reserve(count);
  for (std::string& id : ExperimentIds(count)) {
    Record record;
    record.id = std::move(id);
    // Most users sit in control or a challenger; a few are disqualified or forced.
    const std::uint64_t roll = random.Next() % 100;
    record.variation = roll < 45   ? "intended_control"
                       : roll < 85 ? "challenger"
                       : roll < 95 ? "disqualified"
                                   : "forced_control";
    record.challengerType = random.Pick(kChallengerTypes);
    record.variationId = Uuid(random);
    record.campaignId = std::to_string(static_cast<std::uint32_t>(random.Next()));
    records.push_back(std::move(record));
  }
  std::sort(records.begin(), records.end(),
            [](const Record& a, const Record& b) { return a.id < b.id; });
  return records;
}

std::string StateFileText(const std::vector<Record>& records) {
  boost::json::object root;
  root.reserve(records.size());
  for (const Record& r : records) {
    // Member order as the store writes them: ascending by name.
    const boost::json::object inner{{"campaignId", r.campaignId},
                                    {"challengerType", r.challengerType},
                                    {"variation", r.variation},
                                    {"variationId", r.variationId}};
    root.emplace(r.id, boost::json::serialize(inner));
  }
  return boost::json::serialize(root);
}

std::string TinyStateFileText(std::size_t count) {
  std::string text = "{";
  for (std::size_t i = 0; i < count; ++i) {
    text.append(i == 0 ? "\"" : ",\"").append(std::to_string(i)).append("\":\"{}\"");
  }
  return text + '}';
}

}  // namespace kelab_bench
