#include "kelcore/serialization/json_object_writer.h"

#include <gtest/gtest.h>

#include "kelcore/serialization/json.h"
#include "testsupport/printers.h"

namespace kelcore::serialization {
namespace {

UTF8String Bytes(std::string_view text) { return string::FromStd(text); }

// The text GetJSONUTF8String gives for a JsonObject of these members.
UTF8String ViaJsonObject(const std::vector<std::pair<UTF8String, UTF8String>>& members) {
  boost::any object = JsonObject();
  for (const auto& [name, text] : members) AddToObject(object, name, text, false);
  return GetJSONUTF8String(object, false);
}

UTF8String ViaWriter(const std::vector<std::pair<UTF8String, UTF8String>>& members) {
  JsonObjectWriter writer;
  for (const auto& [name, text] : members) writer.Add(name, text);
  return writer.Finish();
}

TEST(JsonObjectWriterTest, WritesWhatGetJSONUTF8StringWrites) {
  EXPECT_EQ(ViaWriter({}), Bytes("{}"));
  // Every ASCII byte, each at every offset within an eight-byte block.
  std::vector<std::pair<UTF8String, UTF8String>> members;
  for (int c = 0; c < 0x80; ++c) {
    for (std::size_t at = 0; at < 9; ++at) {
      const std::string text = std::string(at, 'x') + static_cast<char>(c) + "0123456789";
      char name[16];
      std::snprintf(name, sizeof name, "m%03d-%zu", c, at);
      members.emplace_back(Bytes(name), Bytes(text));
    }
  }
  // Added in byte order of name, as the JsonObject keeps them.
  members.emplace_back(Bytes("quote\"name\\"), Bytes(""));
  members.emplace_back(Bytes("\xC3\xA9t\xC3\xA9"), Bytes("\xE2\x82\xAC \xF0\x9F\x98\x80 / \x7F"));
  EXPECT_EQ(string::ToStd(ViaWriter(members)), string::ToStd(ViaJsonObject(members)));
}

TEST(JsonObjectWriterTest, TextThatIsNotUTF8IsRefusedAndLeavesNoTrace) {
  JsonObjectWriter writer;
  writer.Add(Bytes("a"), Bytes("1"));
  EXPECT_THROW(writer.Add(Bytes("b"), Bytes("bad \xFF byte")), std::invalid_argument);
  EXPECT_THROW(writer.Add(Bytes("\xC3"), Bytes("x")), std::invalid_argument);
  writer.Add(Bytes("c"), Bytes("3"));
  EXPECT_EQ(writer.Finish(), Bytes(R"({"a":"1","c":"3"})"));
}

}  // namespace
}  // namespace kelcore::serialization
