#include "store/json_text_reader.h"

#include <filesystem>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "testsupport/json_suite.h"
#include "testsupport/temp_dir.h"

namespace kelabexperiment {
namespace {

using Members = std::vector<std::pair<std::string, std::string>>;

// Appends what `reader` reads to `members`, name and value ("<kind>" for a
// value that is not a string); throws what the reader throws. A reader
// given a content buffer must give each string value's content as the
// value's escapes resolved apart make it.
void ReadInto(JsonObjectReader& reader, Members& members, bool decoding) {
  JsonMember member;
  while (reader.Next(member)) {
    std::string name;
    std::string value;
    AppendUnescaped(member.name, name);
    if (member.kind != nullptr) {
      value = std::string("<") + member.kind + ">";
    } else {
      AppendUnescaped(member.text, value);
      if (decoding) {
        EXPECT_EQ(member.content, value) << name;
      }
    }
    members.emplace_back(name, value);
  }
}

// What `text` reads as, or the error it is refused with, by a reader with or
// without a content buffer.
std::variant<Members, JsonTextError> Outcome(std::string_view text, bool decoding) {
  Members members;
  JsonContentBuffer content;
  JsonObjectReader reader(text, 0, true, JsonObjectReader::Step::kOpen,
                          decoding ? &content : nullptr);
  try {
    ReadInto(reader, members, decoding);
  } catch (const JsonTextError& e) {
    return e;
  }
  return members;
}

// The members of `text`; throws the reader's JsonTextError. Read with and
// without a content buffer, which must give the same.
Members Read(std::string_view text) {
  const auto plain = Outcome(text, false);
  const auto decoded = Outcome(text, true);
  EXPECT_EQ(plain.index(), decoded.index()) << text;
  if (const auto* error = std::get_if<JsonTextError>(&plain)) {
    if (const auto* other = std::get_if<JsonTextError>(&decoded)) {
      EXPECT_EQ(other->Offset(), error->Offset()) << text;
      EXPECT_EQ(other->Reason(), error->Reason()) << text;
    }
    throw *error;
  }
  if (const auto* other = std::get_if<Members>(&decoded)) {
    EXPECT_EQ(*other, std::get<Members>(plain)) << text;
  }
  return std::get<Members>(plain);
}

// Every document of the third-party suite, as the value of a member: y_ ones
// are read, n_ ones refused, i_ ones as decided below.
TEST(JsonTextReaderTest, ReadsTheSuitesDocumentsAsMemberValues) {
  const auto folder = testsupport::JsonSuiteFolder();
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << "JSON test suite not found at " << folder;
  // Of the documents whose outcome JSON leaves open: numbers beyond a
  // double's range are refused, those that round to zero or to a finite
  // double are read; text that is not UTF-8, half surrogate pairs, a byte
  // order mark and nesting past 64 levels are refused.
  const std::map<std::string, bool> implementationDefined = {
      {"i_number_double_huge_neg_exp.json", true},
      {"i_number_huge_exp.json", false},
      {"i_number_neg_int_huge_exp.json", false},
      {"i_number_pos_double_huge_exp.json", false},
      {"i_number_real_neg_overflow.json", false},
      {"i_number_real_pos_overflow.json", false},
      {"i_number_real_underflow.json", true},
      {"i_number_too_big_neg_int.json", true},
      {"i_number_too_big_pos_int.json", true},
      {"i_number_very_big_negative_int.json", true},
      {"i_structure_500_nested_arrays.json", false},
      {"i_structure_UTF-8_BOM_empty_object.json", false},
  };
  int documents = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    const std::string text = "{\"a\":" + testsupport::ReadAll(entry.path()) + "\n,\"b\":\"\"}";
    bool read = true;
    try {
      Read(text);
    } catch (const JsonTextError& e) {
      read = false;
      EXPECT_LE(e.Offset(), text.size()) << name;
    }
    if (name[0] == 'y' || name[0] == 'n') {
      EXPECT_EQ(read, name[0] == 'y') << name;
    } else if (const auto it = implementationDefined.find(name);
               it != implementationDefined.end()) {
      EXPECT_EQ(read, it->second) << name;
    } else {
      EXPECT_FALSE(read) << name << ": every other i_ document is text that is not UTF-8 or UTF-16";
    }
    ++documents;
  }
  EXPECT_GT(documents, 300);
}

TEST(JsonTextReaderTest, NumbersAreReadWhenADoubleHoldsThemAfterRounding) {
  const std::pair<const char*, bool> numbers[] = {
      {"0", true},
      {"-0", true},
      {"0e400", true},
      {"-0E+999", true},
      {"0.000e99999999999999999999", true},
      {"1e-99999999999999999999", true},
      {"1e-400", true},
      {"1.7976931348623158e308", true},  // the largest double
      {"1.7976931348623157e308", true},
      {"17976931348623158e292", true},  // the same, its point moved
      {"0.00017976931348623158e312", true},
      {"1.7976931348623159e308", false},  // past the largest double's rounding range
      {"1.8e308", false},
      {"-1.8e308", false},
      {"1e309", false},
      {"10e308", false},
      {"1e400", false},
      {"1e99999999999999999999", false},
      {"123456789012345678901234567890", true},
      {"-123.456e-7", true},
  };
  for (const auto& [number, fits] : numbers) {
    EXPECT_EQ(NumberFitsADouble(number), fits) << number;
    const std::string text = std::string("{\"n\":") + number + "}";
    try {
      EXPECT_EQ(Read(text).at(0).second, "<a number>") << number;
      EXPECT_TRUE(fits) << number;
    } catch (const JsonTextError& e) {
      EXPECT_FALSE(fits) << number;
      EXPECT_EQ(e.Offset(), 5u) << number;
      EXPECT_EQ(e.Reason(), "a number beyond the range of a double") << number;
    }
  }
}

TEST(JsonTextReaderTest, SaysWhereAndWhyATextIsRefused) {
  const std::pair<const char*, std::pair<std::size_t, const char*>> refused[] = {
      {"", {0, "the document ends before it is complete"}},
      {" \n", {2, "the document ends before it is complete"}},
      {"[]", {0, "the top level is not a JSON object"}},
      {" \"a\"", {1, "the top level is not a JSON object"}},
      {"{} {}", {3, "content after the end of the document"}},
      {"{,}", {1, "expected a member name"}},
      {"{\"a\":1,}", {7, "expected a member name"}},
      {"{\"a\" 1}", {5, "expected ':'"}},
      {"{\"a\":1 \"b\":2}", {7, "expected ',' or '}'"}},
      {"{\"a\":[1 2]}", {8, "expected ',' or ']'"}},
      {"{\"a\":[1,]}", {8, "expected a value"}},
      {"{\"a\":tru}", {5, "expected a value"}},
      {"{\"a\":-}", {6, "expected a digit"}},
      {"{\"a\":1.}", {7, "expected a digit"}},
      {"{\"a\":1e+}", {8, "expected a digit"}},
      {"{\"a\":01}", {6, "expected ',' or '}'"}},
      {"{\"a\":\"x\ty\"}", {7, "a control character inside a string; it must be escaped"}},
      {"{\"a\":\"\\x\"}", {6, "an escape that JSON does not have"}},
      {"{\"a\":\"\\u12g4\"}", {6, "a \\u escape without four hexadecimal digits"}},
      {"{\"a\":\"\\udc00\"}", {6, "a \\u escape of half a surrogate pair"}},
      {"{\"a\":\"\\ud800x\"}", {6, "a \\u escape of half a surrogate pair"}},
      {"{\"a\":\"\\ud800\\u0041\"}", {6, "a \\u escape of half a surrogate pair"}},
      {"{\"a\":\"\xC0\x80\"}", {6, "bytes that are not UTF-8"}},
      {"{\"a\":\"\x80\"}", {6, "bytes that are not UTF-8"}},
      {"{\"a\":\"0123456789abcdef\x80\"}", {22, "bytes that are not UTF-8"}},
      {"{\"a\":\"\xED\xA0\x80\"}", {6, "bytes that are not UTF-8"}},
      {"{\"a\":\"\xF4\x90\x80\x80\"}", {6, "bytes that are not UTF-8"}},
      {"{\"a\":\"\xE2\x82\"}", {6, "bytes that are not UTF-8"}},
      {"{\"a\":\"\xE2\x82", {8, "the document ends before it is complete"}},
      {"{\"a\":\"abc", {9, "the document ends before it is complete"}},
      {"{\"a\":\"\\u00", {10, "the document ends before it is complete"}},
  };
  for (const auto& [text, expected] : refused) {
    try {
      Read(text);
      ADD_FAILURE() << "read: " << text;
    } catch (const JsonTextError& e) {
      EXPECT_EQ(e.Offset(), expected.first) << text;
      EXPECT_EQ(e.Reason(), expected.second) << text;
    }
  }
  // Nesting: 64 levels are read, one more is refused at its bracket.
  const auto nested = [](int depth) {
    return "{\"a\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
  };
  EXPECT_EQ(Read(nested(64)).size(), 1u);
  try {
    Read(nested(65));
    ADD_FAILURE() << "65 levels read";
  } catch (const JsonTextError& e) {
    EXPECT_EQ(e.Offset(), 5u + 63);
    EXPECT_EQ(e.Reason(), "arrays and objects nested deeper than 64");
  }
}

TEST(JsonTextReaderTest, GivesMembersInTheirOrderWithEscapesResolved) {
  const std::string text =
      " {\"b\" : \"plain\", "
      "\"\\u0061\\\"\":\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\u20ac\\ud83d\\ude00\","
      "\"n\":[{\"x\":[true,false,null,-1.5e3]}],\"b\":{}, "
      "\"u\":\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\",\"e\":\"\\ue000\\udbff\\udfff\\ud7ff\"} ";
  const Members expected = {
      {"b", "plain"},
      {"a\"", "\"\\/\b\f\n\r\t\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"n", "<an array>"},
      {"b", "<an object>"},
      {"u", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      // The code points beside the surrogates.
      {"e", "\xEE\x80\x80\xF4\x8F\xBF\xBF\xED\x9F\xBF"},
  };
  EXPECT_EQ(Read(text), expected);
  EXPECT_TRUE(Read("{}").empty());
  // Long values, whose content outgrows the buffer while it is written,
  // with escapes and UTF-8 at every distance from a sixteen-byte block.
  std::string longValues;
  std::string expectedLong;
  for (int gap = 0; gap < 40; ++gap) {
    const std::string run(static_cast<std::size_t>(gap), 'x');
    longValues += run + "\\\"\\u00e9" + run + "\xE2\x82\xAC\\ud83d\\ude00" + run + "\\n";
    expectedLong += run + "\"\xC3\xA9" + run + "\xE2\x82\xAC\xF0\x9F\x98\x80" + run + "\n";
  }
  const Members longMembers = Read("{\"a\":\"" + longValues + "\",\"b\":\"" + longValues + "\"}");
  ASSERT_EQ(longMembers.size(), 2u);
  EXPECT_EQ(longMembers[0].second, expectedLong);
  EXPECT_EQ(longMembers[1].second, expectedLong);

  // Where each value starts, and whether its string holds an escape.
  JsonObjectReader reader(R"({"a":"x","b" : "\n", "c":[1]})");
  JsonMember member;
  ASSERT_TRUE(reader.Next(member));
  EXPECT_EQ(member.valueOffset, 5u);
  EXPECT_FALSE(member.text.escaped);
  ASSERT_TRUE(reader.Next(member));
  EXPECT_EQ(member.valueOffset, 15u);
  EXPECT_TRUE(member.text.escaped);
  ASSERT_TRUE(reader.Next(member));
  EXPECT_EQ(member.valueOffset, 25u);
  EXPECT_STREQ(member.kind, "an array");
  EXPECT_FALSE(reader.Next(member));
}

// A reader over part of a text asks for more wherever the part ends, and goes
// on from where it says with the same result as over the whole text.
TEST(JsonTextReaderTest, AWindowThatEndsAnywhereIsTakenUpWhereItStopped) {
  const std::string text =
      "{\"a\\u00e9\":\"v\\ud83d\\ude00\xC3\xA9\" , \"n\":-12.5e-3,\"t\":true,\"o\":{\"x\":[null]}} "
      " ";
  const auto whole = Read(text);
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    Members members;
    JsonContentBuffer content;
    std::uint64_t from = 0;
    auto step = JsonObjectReader::Step::kOpen;
    for (bool last : {false, true}) {
      const std::size_t end = last ? text.size() : cut;
      // Content is written as windows are read, and begun again in the next.
      JsonObjectReader reader(std::string_view(text).substr(from, end - from), from, last, step,
                              &content);
      try {
        ReadInto(reader, members, true);
        EXPECT_TRUE(last) << cut << ": ended without its last window";
        break;
      } catch (const JsonWindowEnd&) {
        ASSERT_FALSE(last) << cut;
        from = reader.ResumeOffset();
        step = reader.ResumeStep();
        EXPECT_LE(from, cut);
      }
    }
    EXPECT_EQ(members, whole) << "cut at " << cut;
  }
}

}  // namespace
}  // namespace kelabexperiment
