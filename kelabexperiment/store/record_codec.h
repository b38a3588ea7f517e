#pragma once

#include <string>
#include <string_view>

#include <boost/any/bad_any_cast.hpp>

#include "host/kelcore.h"
#include "store/variation_record.h"

namespace kelabexperiment {

// A record text that cannot be read: a bad_any_cast, as a malformed file has
// always been, with the reason in words.
class RecordError : public boost::bad_any_cast {
 public:
  explicit RecordError(std::string reason) : reason_(std::move(reason)) {}
  const std::string& Reason() const noexcept { return reason_; }

 private:
  std::string reason_;
};

// A stored record: the text of one top-level member of the state file, itself
// a JSON object of text members. Member names match in any letter case (the
// later of two equal names wins); unknown members are ignored; a missing
// member leaves its field absent (variation: Disqualified); "challengerType"
// is "none" unless given. Throws RecordError, saying why, when the text is not
// a JSON object or a member's value is not text.
VariationRecord ParseStoredRecord(const UTF8String& recordText);

// ParseStoredRecord of a record's text wherever it lies, into `record`, a
// record as VariationRecord() makes it, so that a caller building many can
// build each where it is kept. On RecordError `record` is left in some valid
// state.
void ReadStoredRecord(std::string_view recordText, VariationRecord& record);

// The stored text of a record: all four members, absent fields as empty
// texts.
UTF8String SerializeRecord(const VariationRecord& record);

}  // namespace kelabexperiment
