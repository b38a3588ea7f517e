#pragma once

// Generated, realistic data for the benchmarks: experiment identifiers and
// stored records with texts of the lengths the library meets in practice.
// Everything is deterministic, so two runs measure the same bytes.

#include <cstddef>
#include <string>
#include <vector>

namespace kelab_bench {

// One stored assignment, as plain text fields in the written form.
struct Record {
  std::string id;              // e.g. "EditorChecklistGuidedV2_2024Q3_0412"
  std::string variation;       // one of the four written variation texts
  std::string challengerType;  // "none", empty, or a short snake_case label
  std::string variationId;     // a 36-character UUID text
  std::string campaignId;      // decimal digits of a 32-bit number
};

// The first `count` experiment identifiers of one fixed sequence: a prefix of
// a longer list is the shorter list. Unique, 30 to 45 bytes each.
std::vector<std::string> ExperimentIds(std::size_t count);

// Records for ExperimentIds(count), in ascending byte order of identifier.
std::vector<Record> MakeRecords(std::size_t count);

// The state-file text the store writes for `records`: one member per record
// whose string value is the record's own JSON object text, members in the
// given order. REQUIRES: `records` in ascending byte order of identifier.
std::string StateFileText(const std::vector<Record>& records);

// A state-file text of `count` members of the smallest kind, "<n>":"{}".
std::string TinyStateFileText(std::size_t count);

}  // namespace kelab_bench
