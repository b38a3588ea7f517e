#pragma once

#include "host/kelcore.h"

namespace kelabexperiment {

// An identifier's text as the host interface gives it: its UTF-16 text,
// converted back to UTF-8.
struct IdentifierText {
  UTF8String text;
  // Whether `text` is the identifier's own bytes. Only well-formed UTF-8
  // survives the round trip; ill-formed bytes come back as U+FFFD.
  bool exact = false;
};

// The text of `id`, and whether it is exact: told by interning the result,
// which gives `id`'s own handle only for the same bytes.
IdentifierText TextOfIdentifier(const ImmutableString& id);

}  // namespace kelabexperiment
