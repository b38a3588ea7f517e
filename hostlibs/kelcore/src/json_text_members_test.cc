#include "kelcore/serialization/json_text_members.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <tuple>

#include <gtest/gtest.h>

#include "kelcore/serialization/json.h"
#include "kelcore/serialization/json_text_visitor.h"
#include "testsupport/json_suite.h"
#include "testsupport/printers.h"
#include "testsupport/temp_dir.h"

namespace kelcore::serialization {
namespace {

UTF8String Bytes(std::string_view text) { return string::FromStd(text); }

// Appends a member to a one-line listing: "name=text|", or "name#|" for a
// value that is not text. The Via* readers give "(none)" for no object.
void Add(std::string& line, const std::string& name, const UTF8String* text) {
  line += name + (text ? "=" + string::ToStd(*text) : std::string("#")) + "|";
}

// What a walk of JSONParse's object gives.
std::string ViaJsonParse(const UTF8String& text) {
  const JsonValuePtr parsed = JSONParse(text);
  const auto* object = parsed ? boost::any_cast<JsonObject>(parsed.get()) : nullptr;
  if (object == nullptr) return "(none)";
  std::string line;
  for (const auto& [name, value] : *object) {
    Add(line, string::ToStd(name), value ? boost::any_cast<UTF8String>(value.get()) : nullptr);
  }
  return line;
}

std::string ViaReader(const UTF8String& text) {
  const auto read = JSONParseTextMembers(text);
  if (!read) return "(none)";
  std::string line;
  for (const JsonTextMember& m : *read)
    Add(line, string::ToStd(m.name), m.text ? &*m.text : nullptr);
  return line;
}

// What the one-pass visitor sees, kept as the reader keeps it (byte order of
// name, the last of equal names); none when it says no.
std::optional<std::string> ViaVisitor(const UTF8String& text) {
  std::map<std::string, UTF8String> members;
  auto visit = [&](std::string_view name, std::string_view value) {
    members.insert_or_assign(std::string(name), string::FromStd(value));
    return true;
  };
  if (!VisitJSONTextMembers(string::View(text), visit)) return std::nullopt;
  std::string line;
  for (const auto& [name, value] : members) Add(line, name, &value);
  return line;
}

// Texts longer than the parser's buffer arrive in parts.
TEST(JsonTextMembersTest, LongEscapedNamesAndTextsArriveWhole) {
  std::string name, escapedName, text, escapedText;
  for (int i = 0; i < 3000; ++i) {
    name += "n\t";
    escapedName += "n\\t";
    text += "\"x\xC3\xA9";
    escapedText += "\\\"x\\u00e9";
  }
  const UTF8String document = Bytes("{\"" + escapedName + "\":\"" + escapedText + "\"}");
  EXPECT_EQ(ViaReader(document), name + "=" + text + "|");
  // The one-pass visitor, made for such files, reads them too.
  EXPECT_EQ(ViaVisitor(document), ViaReader(document));
}

// Every document of the shared JSON parsing suite, wrapped as a member value
// and as it is: the reader agrees with a walk of JSONParse's result, and so
// does the one-pass visitor wherever it says yes.
TEST(JsonTextMembersTest, AgreesWithJsonParseOnTheParsingSuite) {
  const auto folder = testsupport::JsonSuiteFolder();
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << "JSON test suite not found at " << folder;
  int visited = 0;  // documents the visitor said yes to
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string document = testsupport::ReadAll(entry.path());
    for (const std::string& text : {document, "{\"m\":" + document + ",\"k\":\"v\"}"}) {
      EXPECT_EQ(ViaReader(Bytes(text)), ViaJsonParse(Bytes(text))) << entry.path().filename();
      if (const auto members = ViaVisitor(Bytes(text))) {
        EXPECT_EQ(*members, ViaJsonParse(Bytes(text))) << entry.path().filename();
        ++visited;
      }
    }
  }
  EXPECT_GE(visited, 10);
}

// What else is rejected, and what is not, the parsing-suite test shows.
TEST(JsonTextMembersTest, AFailureSaysWhereAndWhy) {
  const std::string deep = std::string(64, '[') + std::string(64, ']');
  const std::tuple<std::string, std::size_t, std::string> cases[] = {
      {"", 0, "the document ends before it is complete"},
      {"{\"a\":\"b\"", 8, "the document ends before it is complete"},
      {"[]", 0, "the top level is not a JSON object"},
      {" 7", 1, "the top level is not a JSON object"},
      {"{} \n x", 5, "content after the end of the document"},
      {"{\"a\":-1e400}", 11, "a number beyond the range of a double"},
      {"{\"a\":" + deep + "}", 68, "arrays and objects nested deeper than 64"},
      {"{\"a\":tru}", 5, "syntax error"},
  };
  for (const auto& [text, offset, reason] : cases) {
    JsonParseFailure failure;
    EXPECT_FALSE(JSONParseTextMembers(Bytes(text), 10, &failure)) << text;
    EXPECT_EQ(failure.offset, offset) << text;
    EXPECT_EQ(failure.reason, reason) << text;
  }
  // One level less deep, and nothing at all, are read.
  EXPECT_EQ(JSONParseTextMembers(Bytes("{\"a\":" + deep.substr(1, 126) + "}"))->size(), 1u);
  EXPECT_TRUE(JSONParseTextMembers(Bytes("{}"))->empty());
}

// Brackets, braces, quotes and escapes inside earlier values and names; of
// equal names the last is kept, and members come in byte order of name.
TEST(JsonTextMembersTest, ReadsAndLocatesTheKeptMembersPastAnythingBeforeThem) {
  const UTF8String text = Bytes(
      "{ \"s\" : \"}]\\\"{[\", \"n\":-1.5e3 ,\"o\":{\"x\":[1,{\"y\":\"]\"}]},"
      "\"\\u0061\\n\" :\ttrue,\"z\":null,\"d\":[],\"d\":\"late\",\"B\":\"2\","
      "\"\":\"q\\\"\\u00e9\\t\",\"s\":\"last\"}");
  EXPECT_EQ(ViaReader(text), "=q\"\xC3\xA9\t|B=2|a\n#|d=late|n#|o#|s=last|z#|");
  const std::tuple<std::string, std::size_t, std::string> cases[] = {
      {"s", 128, "a string"},   {"n", 22, "a number"}, {"o", 34, "an object"},
      {"a\n", 67, "a boolean"}, {"z", 76, "null"},     {"d", 92, "a string"},
  };
  for (const auto& [name, offset, kind] : cases) {
    const auto where = LocateJSONMember(text, Bytes(name));
    ASSERT_TRUE(where) << name;
    EXPECT_EQ(where->offset, offset) << name;
    EXPECT_STREQ(where->kind, kind.c_str()) << name;
  }
  EXPECT_FALSE(LocateJSONMember(text, Bytes("x")));  // nested names are not members
}

}  // namespace
}  // namespace kelcore::serialization
