#include "kelcore/serialization/json_text_members.h"

#include <cstdlib>
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

// Members as one line, "name=text|" or "name#|" for a value that is not text;
// "(none)" for no object.
std::string Line(const std::vector<std::pair<std::string, const UTF8String*>>& members) {
  std::string out;
  for (const auto& [name, text] : members) {
    out += name + (text ? "=" + string::ToStd(*text) : std::string("#")) + "|";
  }
  return out;
}

// What a walk of JSONParse's object gives.
std::string ViaJsonParse(const UTF8String& text) {
  const JsonValuePtr parsed = JSONParse(text);
  const auto* object = parsed ? boost::any_cast<JsonObject>(parsed.get()) : nullptr;
  if (object == nullptr) return "(none)";
  std::vector<std::pair<std::string, const UTF8String*>> members;
  for (const auto& [name, value] : *object) {
    members.emplace_back(string::ToStd(name),
                         value ? boost::any_cast<UTF8String>(value.get()) : nullptr);
  }
  return Line(members);
}

std::string ViaReader(const UTF8String& text) {
  const auto read = JSONParseTextMembers(text);
  if (!read) return "(none)";
  std::vector<std::pair<std::string, const UTF8String*>> members;
  for (const JsonTextMember& m : *read) {
    members.emplace_back(string::ToStd(m.name), m.text ? &*m.text : nullptr);
  }
  return Line(members);
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
  std::vector<std::pair<std::string, const UTF8String*>> kept;
  for (const auto& [name, value] : members) kept.emplace_back(name, &value);
  return Line(kept);
}

TEST(JsonTextMembersTest, ReadsMembersInObjectOrderWithTheLastOfEqualNames) {
  EXPECT_EQ(ViaReader(Bytes(R"({"b":"1","B":"2","n":5,"b":"3","o":{"x":"y"},"a":[["s"]],)"
                            R"("e":"q\"\u00e9\t","z":null,"":""})")),
            "=|B=2|a#|b=3|e=q\"\xC3\xA9\t|n#|o#|z#|");
  EXPECT_TRUE(JSONParseTextMembers(Bytes("{}"))->empty());
  const std::string deepest = "{\"a\":" + std::string(63, '[') + std::string(63, ']') + "}";
  EXPECT_EQ(JSONParseTextMembers(Bytes(deepest))->size(), 1u);
}

// Texts longer than the parser's buffer arrive in parts.
TEST(JsonTextMembersTest, LongEscapedNamesAndTextsArriveWhole) {
  std::string name, escaped, plain;
  for (int i = 0; i < 3000; ++i) {
    name += "n\\t";
    escaped += "\\\"x\\u00e9";
    plain += "\"x\xC3\xA9";
  }
  const UTF8String document = Bytes("{\"" + name + "\":\"" + escaped + "\"}");
  const auto members = JSONParseTextMembers(document);
  ASSERT_TRUE(members);
  ASSERT_EQ(members->size(), 1u);
  EXPECT_EQ(members->front().name.size(), 6000u);
  EXPECT_EQ(members->front().text, Bytes(plain));
  // The one-pass visitor, made for such files, reads them too.
  EXPECT_EQ(ViaVisitor(document), ViaReader(document));
}

// Every document of the shared JSON parsing suite, wrapped as a member value
// and as it is: the reader agrees with a walk of JSONParse's result, and so
// does the one-pass visitor wherever it says yes.
TEST(JsonTextMembersTest, AgreesWithJsonParseOnTheParsingSuite) {
  const auto folder = testsupport::JsonSuiteFolder();
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << "JSON test suite not found at " << folder;
  int compared = 0;
  int visited = 0;  // documents the visitor said yes to
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string document = testsupport::ReadAll(entry.path());
    for (const std::string& text : {document, "{\"m\":" + document + ",\"k\":\"v\"}"}) {
      EXPECT_EQ(ViaReader(Bytes(text)), ViaJsonParse(Bytes(text))) << entry.path().filename();
      if (const auto members = ViaVisitor(Bytes(text))) {
        EXPECT_EQ(*members, ViaJsonParse(Bytes(text))) << entry.path().filename();
        ++visited;
      }
      ++compared;
    }
  }
  EXPECT_GT(compared, 500);
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
}

TEST(JsonTextMembersTest, LocatesTheKeptMemberPastAnythingBeforeIt) {
  // Brackets, braces, quotes and escapes inside earlier values and names.
  const UTF8String text = Bytes(
      "{ \"s\" : \"}]\\\"{[\", \"n\":-1.5e3 ,\"o\":{\"x\":[1,{\"y\":\"]\"}]},"
      "\"\\u0061\\n\" :\ttrue,\"z\":null,\"d\":[],\"d\":\"late\"}");
  ASSERT_TRUE(JSONParseTextMembers(text));
  const std::tuple<std::string, std::size_t, std::string> cases[] = {
      {"s", 8, "a string"},     {"n", 22, "a number"}, {"o", 34, "an object"},
      {"a\n", 67, "a boolean"}, {"z", 76, "null"},     {"d", 92, "a string"},  // the last "d"
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
