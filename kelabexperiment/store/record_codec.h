#pragma once

#include "host/kelcore.h"
#include "store/variation_record.h"

namespace kelabexperiment {

// A stored record: the text of one top-level member of the state file, itself
// a JSON object of text members. Member names match in any letter case (the
// later of two equal names wins); unknown members are ignored; a missing
// member leaves its field absent (variation: Disqualified); "challengerType"
// is "none" unless given. Throws boost::bad_any_cast when the text is not a
// JSON object or a member's value is not text.
VariationRecord ParseStoredRecord(const UTF8String& recordText);

// The stored text of a record: all four members, absent fields as empty
// texts.
UTF8String SerializeRecord(const VariationRecord& record);

}  // namespace kelabexperiment
