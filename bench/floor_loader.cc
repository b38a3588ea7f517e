#include "floor_loader.h"

#include <stdexcept>
#include <string_view>
#include <utility>

#include <boost/json/basic_parser_impl.hpp>

#include "kelappsupport/feature/feature_overrides.h"
#include "kelcore/string/string_types.h"
#include "posix_io.h"
#include "sax_handler_base.h"

namespace kelab_bench {
namespace {

namespace bj = boost::json;
namespace feature = kelappsupport::feature;
using error_code = boost::system::error_code;
using kelcore::UTF8String;

constexpr auto kCategory = feature::OverrideDataCategory::kExperiment;

// The record members, in the order their overrides are set.
enum Field : unsigned { kVariation, kChallengerType, kVariationId, kCampaignId, kFields, kNone };
constexpr std::string_view kMemberNames[kFields] = {"variation", "challengerType", "variationId",
                                                    "campaignId"};

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// The written spelling first, as nearly every name is, then any letter case.
Field FieldOf(std::string_view name) {
  for (unsigned i = 0; i < kFields; ++i) {
    if (name == kMemberNames[i]) return Field(i);
  }
  for (unsigned i = 0; i < kFields; ++i) {
    if (EqualsIgnoringAsciiCase(name, kMemberNames[i])) return Field(i);
  }
  return kNone;
}

int VariationValue(std::string_view text) {
  const std::pair<std::string_view, int> known[] = {{"intended_control", 0},
                                                    {"control", 0},
                                                    {"challenger", 1},
                                                    {"disqualified", 2},
                                                    {"forced_control", 3}};
  for (const auto& [name, value] : known) {
    if (EqualsIgnoringAsciiCase(text, name)) return value;
  }
  return 0;
}

void Append(UTF8String& to, bj::string_view part) {
  to.append(reinterpret_cast<const unsigned char*>(part.data()), part.size());
}

// One record text: a flat object of text members, read straight into the
// values the overrides take. The buffers are kept from record to record.
struct RecordReader : RefusingHandler {
  UTF8String texts[kFields];  // kVariation's only to be compared
  unsigned seen = 0;          // bit per Field
  Field field = kNone;
  std::size_t depth = 0;
  std::string key;  // a name the parser delivers in parts

  // Ready for the next record: a completed object leaves depth at 0, and
  // each member sets its field before its text.
  void Next() { seen = 0; }
  bool on_object_begin(error_code& ec) { return ++depth == 1 || Refuse(ec); }
  bool on_object_end(std::size_t, error_code&) {
    --depth;
    return true;
  }
  bool on_key_part(string_view part, std::size_t, error_code&) {
    key.append(part.data(), part.size());
    return true;
  }
  bool on_key(string_view part, std::size_t, error_code&) {
    std::string_view name(part.data(), part.size());
    if (!key.empty()) name = key.append(name);
    field = FieldOf(name);
    key.clear();
    if (field != kNone) {
      texts[field].clear();  // the later of two equal names wins
      seen |= 1u << field;
    }
    return true;
  }
  bool on_string_part(string_view part, std::size_t, error_code& ec) { return Text(part, ec); }
  bool on_string(string_view part, std::size_t, error_code& ec) { return Text(part, ec); }
  bool Text(string_view part, error_code& ec) {
    if (depth == 0) return Refuse(ec);
    if (field != kNone) Append(texts[field], part);
    return true;
  }
  bool Has(Field f) const { return (seen >> f) & 1u; }
};

// The field's text, taken over, or `absent` when the record does not name it.
UTF8String Take(RecordReader& r, Field f, std::string_view absent) {
  if (r.Has(f)) return std::move(r.texts[f]);
  return UTF8String(reinterpret_cast<const unsigned char*>(absent.data()), absent.size());
}

// The state file: the overrides of each member are set as its record text
// completes; the text goes to the record parser part by part, never copied.
// With `withdrawing`, it removes the overrides of the first `limit` members
// instead, reading no record.
struct FileReader : RefusingHandler {
  bj::basic_parser<RecordReader> record{bj::parse_options()};
  UTF8String name;  // "<id>_", then each feature name in turn; empty between members
  std::size_t stem = 0;
  std::size_t depth = 0;
  std::size_t started = 0;  // members whose overrides were begun
  std::size_t applied = 0;
  bool withdrawing = false;
  std::size_t limit = 0;
  std::size_t withdrawn = 0;

  bool on_object_begin(error_code& ec) { return ++depth == 1 || Refuse(ec); }
  bool on_object_end(std::size_t, error_code&) {
    --depth;
    return true;
  }
  bool on_key_part(string_view part, std::size_t, error_code&) {
    Append(name, part);
    return true;
  }
  bool on_key(string_view part, std::size_t, error_code& ec) {
    Append(name, part);
    name.push_back('_');
    stem = name.size();
    if (!withdrawing) return true;
    for (std::string_view member : kMemberNames) feature::RemoveOverride(Feature(member));
    return ++withdrawn < limit || Refuse(ec);
  }
  bool on_string_part(string_view part, std::size_t, error_code& ec) {
    return Value(true, part, ec);
  }
  bool on_string(string_view part, std::size_t, error_code& ec) {
    if (!Value(false, part, ec)) return false;
    if (!withdrawing) {
      Apply(record.handler());
      record.reset();
      record.handler().Next();
    }
    name.clear();
    return true;
  }

  bool Value(bool more, string_view part, error_code& ec) {
    if (depth == 0) return Refuse(ec);
    if (withdrawing) return true;
    const std::size_t used = record.write_some(more, part.data(), part.size(), ec);
    return !ec && (used == part.size() || Refuse(ec));
  }
  const UTF8String& Feature(std::string_view member) {
    name.resize(stem);
    name.append(reinterpret_cast<const unsigned char*>(member.data()), member.size());
    return name;
  }
  void Apply(RecordReader& r) {
    ++started;
    const std::string_view variation(reinterpret_cast<const char*>(r.texts[kVariation].data()),
                                     r.texts[kVariation].size());
    feature::SetOverrideData(Feature(kMemberNames[kVariation]),
                             r.Has(kVariation) ? VariationValue(variation) : 2, kCategory);
    feature::SetOverrideStringData(Feature(kMemberNames[kChallengerType]),
                                   Take(r, kChallengerType, "none"), kCategory);
    for (Field f : {kVariationId, kCampaignId}) {
      feature::SetOverrideStringData(Feature(kMemberNames[f]), Take(r, f, ""), kCategory);
    }
    ++applied;
  }
};

// Removes the overrides of the first `count` members of `text`.
void Withdraw(const std::string& text, std::size_t count) {
  if (count == 0) return;
  bj::basic_parser<FileReader> parser{bj::parse_options()};
  parser.handler().withdrawing = true;
  parser.handler().limit = count;
  error_code ec;
  parser.write_some(false, text.data(), text.size(), ec);
}

}  // namespace

std::size_t FloorLoad(const std::string& path) {
  std::string text;
  if (!ReadIfPresent(path, text) || text.empty()) return 0;
  bj::basic_parser<FileReader> parser{bj::parse_options()};
  error_code ec;
  std::size_t used = 0;
  try {
    used = parser.write_some(false, text.data(), text.size(), ec);
  } catch (...) {
    Withdraw(text, parser.handler().started);
    throw;
  }
  if (ec || used != text.size()) {
    Withdraw(text, parser.handler().started);
    throw std::runtime_error("not a state file: " + path + " (" + ec.message() + ")");
  }
  return parser.handler().applied;
}

}  // namespace kelab_bench
