#include "store/json_object_writer.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "kelcore/serialization/json.h"
#include "testsupport/printers.h"

namespace kelabexperiment {
namespace {

using kelcore::serialization::AddToObject;
using kelcore::serialization::GetJSONUTF8String;
using kelcore::serialization::JsonObject;

UTF8String Bytes(std::string_view text) { return kelcore::string::FromStd(text); }

TEST(JsonObjectWriterTest, WritesWhatGetJSONUTF8StringWritesAndRefusesTextThatIsNotUTF8) {
  EXPECT_EQ(JsonObjectWriter().Finish(), Bytes("{}"));
  JsonObjectWriter writer;
  boost::any object = JsonObject();
  const auto add = [&](const std::string& name, const std::string& text) {
    writer.Add(Bytes(name), Bytes(text));
    AddToObject(object, Bytes(name), Bytes(text), false);
  };
  // Every ASCII byte, each at every offset within an eight-byte block.
  for (int c = 0; c < 0x80; ++c) {
    for (std::size_t at = 0; at < 9; ++at) {
      char name[16];
      std::snprintf(name, sizeof name, "m%03d-%zu", c, at);
      add(name, std::string(at, 'x') + static_cast<char>(c) + "0123456789");
    }
  }
  // Text that is not UTF-8 is refused and leaves no trace.
  EXPECT_THROW(writer.Add(Bytes("b"), Bytes("bad \xFF byte")), std::invalid_argument);
  EXPECT_THROW(writer.Add(Bytes("\xC3"), Bytes("x")), std::invalid_argument);
  // Added in byte order of name, as the JsonObject keeps them.
  add("quote\"name\\", "");
  add("\xC3\xA9t\xC3\xA9", "\xE2\x82\xAC \xF0\x9F\x98\x80 / \x7F");
  EXPECT_EQ(kelcore::string::ToStd(writer.Finish()),
            kelcore::string::ToStd(GetJSONUTF8String(object, false)));
}

}  // namespace
}  // namespace kelabexperiment
