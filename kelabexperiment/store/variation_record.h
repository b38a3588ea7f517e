#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include <boost/container/flat_map.hpp>
#include <boost/optional.hpp>

#include "host/kelcore.h"

namespace kelabexperiment {

// Which variation of an experiment a user is in. The values are what the
// experiment's variation feature answers.
enum class VariationKind : std::uint8_t {
  Control = 0,
  Challenger = 1,
  Disqualified = 2,
  ForcedControl = 3,
};

// One experiment's assignment for one user. An optional text is absent or
// present; present-and-empty is not the same as absent. Records built from
// update payloads have all three present; only a stored record may lack one.
struct VariationRecord {
  VariationKind variation = VariationKind::Disqualified;
  boost::optional<UTF8String> challengerType;
  boost::optional<UTF8String> variationId;
  boost::optional<UTF8String> campaignId;
};

// Records by experiment identifier, in plain byte order (case-sensitive). A
// sorted array: a load fills it in order with one allocation, and a million
// records cost no node each; a merge inserts one record at a time.
using RecordMap = boost::container::flat_map<UTF8String, VariationRecord, std::less<UTF8String>,
                                             STLAllocator<std::pair<UTF8String, VariationRecord>>>;

// What the variation payload of an update carries.
struct VariationPayload {
  VariationKind variation;
  UTF8String challengerType;
};

// What the identifiers payload of an update carries.
struct IdentifiersPayload {
  UTF8String variationId;
  UTF8String campaignId;
};

// The text an absent optional field stands for wherever a record is written
// or applied: the empty text, as the update parsers produce for a payload
// that names nothing.
inline const UTF8String& TextOrEmpty(const boost::optional<UTF8String>& text) {
  static const UTF8String* const kEmpty = new UTF8String;
  return text ? *text : *kEmpty;
}

}  // namespace kelabexperiment
