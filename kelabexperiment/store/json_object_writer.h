#pragma once

#include <cstddef>

#include "host/kelcore.h"

namespace kelabexperiment {

// Writes one JSON object of text members straight into its text: the bytes
// GetJSONUTF8String gives for a JsonObject holding the same members as
// UTF8Strings, without building that object and its boost::any values
// first. For objects written whole and often, such as a state file of one
// record per member.
//
// Members appear in the order they are added. A JsonObject keeps its
// members in byte order of name, one per name: add them that way to get the
// same text. Not thread-safe; one writer per text.
class JsonObjectWriter {
 public:
  // `expectedSize`: bytes to reserve for the text.
  explicit JsonObjectWriter(std::size_t expectedSize = 0);

  // Appends the member. Throws std::invalid_argument, adding nothing, when
  // `name` or `text` is not valid UTF-8 (as GetJSONUTF8String does).
  void Add(const UTF8String& name, const UTF8String& text);

  // Bytes written so far: where the next member's text (its comma first,
  // unless it is the first member) starts.
  std::size_t Size() const noexcept { return text_.size(); }

  // The object's text. REQUIRES: called once; the writer is then spent.
  UTF8String Finish();

 private:
  UTF8String text_;
};

}  // namespace kelabexperiment
