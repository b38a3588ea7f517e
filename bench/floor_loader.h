#pragma once

// What a careful host would write to load a user's state file into its
// feature service without the library: the floor that Initialize is measured
// against. It does the same reading and sets the same overrides through the
// same calls, and keeps nothing.

#include <cstddef>
#include <string>

namespace kelab_bench {

// Reads the state file at `path` (POSIX calls), parses it with Boost.JSON's
// basic_parser and, as each member's record text completes, parses that text
// with a second basic_parser and sets the experiment's four overrides in the
// experiment category, in the order the library sets them:
//   <id>_variation       SetOverrideData: 0 control ("intended_control" or
//                        "control"), 1 "challenger", 2 "disqualified",
//                        3 "forced_control", in any letter case; 0 for any
//                        other text, 2 when the member is missing
//   <id>_challengerType  SetOverrideStringData; "none" when missing
//   <id>_variationId     SetOverrideStringData; empty when missing
//   <id>_campaignId      SetOverrideStringData; empty when missing
// Record member names match in any letter case, the later of two equal ones
// winning; other members are ignored. A missing or empty file sets nothing.
// Returns the number of records applied (an identifier given twice counts
// twice; the later record's overrides stand).
//
// Throws std::runtime_error when the file cannot be read, is not one JSON
// object of string members, or a member's string is not an object of string
// members; host errors pass through. Either way no override of the file
// stays set: the ones set before the fault are removed.
std::size_t FloorLoad(const std::string& path);

}  // namespace kelab_bench
