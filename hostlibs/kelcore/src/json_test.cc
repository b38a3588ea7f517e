#include "kelcore/serialization/json.h"

#include <cmath>

#include <gtest/gtest.h>

namespace kelcore::serialization {
namespace {

UTF8String Bytes(std::string_view text) { return string::FromStd(text); }

const JsonObject& AsObject(const JsonValuePtr& v) { return boost::any_cast<const JsonObject&>(*v); }

// Names sort by their bytes.
TEST(JsonTest, ParsesEveryKindIntoItsHeldTypeKeepingTheLastOfEqualNames) {
  const auto v =
      JSONParse(Bytes(R"({"s":"1","\u00e9":0,"S":0,"s":"t\u00e9","i":-5,)"
                      R"("u":18446744073709551615,"d":1.5,"b":true,"n":null,"a":[1],"o":{}})"));
  ASSERT_TRUE(v);
  const JsonObject& o = AsObject(v);
  EXPECT_EQ(boost::any_cast<UTF8String>(*GetVariantInObject(o, "s")), Bytes("t\xC3\xA9"));
  EXPECT_EQ(boost::any_cast<std::int64_t>(*GetVariantInObject(o, "i")), -5);
  EXPECT_EQ(boost::any_cast<std::uint64_t>(*GetVariantInObject(o, "u")), UINT64_MAX);
  EXPECT_EQ(boost::any_cast<double>(*GetVariantInObject(o, "d")), 1.5);
  EXPECT_TRUE(boost::any_cast<bool>(*GetVariantInObject(o, "b")));
  EXPECT_FALSE(GetVariantInObject(o, "n"));  // null is a null pointer
  EXPECT_EQ(boost::any_cast<const JsonArray&>(*GetVariantInObject(o, "a")).size(), 1u);
  EXPECT_TRUE(boost::any_cast<const JsonObject&>(*GetVariantInObject(o, "o")).empty());
  EXPECT_FALSE(GetVariantInObject(o, "missing"));
  std::string order;
  for (const auto& member : o) order += string::ToStd(member.first) + ",";
  EXPECT_EQ(order, "S,a,b,d,i,n,o,s,u,\xC3\xA9,");
}

TEST(JsonTest, BadInputGivesNullNeverThrows) {
  for (const char* text : {"", "{", "{\"a\":}", "[1,]", "nul", "{\"a\":1} x", "null"}) {
    EXPECT_FALSE(JSONParse(Bytes(text))) << text;
  }
  EXPECT_FALSE(JSONParse(Bytes("\"\xC3\x28\"")));            // invalid UTF-8 inside a string
  EXPECT_FALSE(JSONParse(Bytes(std::string(100000, '['))));  // nesting far too deep
  EXPECT_TRUE(JSONParse(Bytes(std::string(60, '[') + std::string(60, ']'))));
  // Beyond a double's range there is nothing to write back.
  EXPECT_FALSE(JSONParse(Bytes("[-1e+9999]")));
  EXPECT_FALSE(JSONParse(Bytes("{\"a\":1e400}")));
  EXPECT_FALSE(JSONParse(Bytes("1e400")));                  // also when it ends the document
  EXPECT_FALSE(JSONParse(Bytes("{\"m\":1e568,\"m\":1}")));  // also when replaced later
  EXPECT_TRUE(JSONParse(Bytes("[1e308,1e-400]")));
}

TEST(JsonTest, WhatIsWrittenParsesBackAndWhatCannotBeWrittenIsRefused) {
  boost::any root = JsonObject();
  AddToObject(root, Bytes("z"), UTF8String(Bytes("quote \" and \\ and \x01")), false);
  AddToObject(root, Bytes("a"), std::int64_t{-7}, false);
  AddToObject(root, Bytes("a"), std::int64_t{9}, false);  // present: kept
  AddToObject(root, Bytes("nested"), JsonObject(), false);
  const UTF8String text = GetJSONUTF8String(root, false);
  EXPECT_EQ(string::View(text), R"({"a":-7,"nested":{},"z":"quote \" and \\ and \u0001"})");
  const auto back = JSONParse(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(GetJSONUTF8String(*back, false), text);

  AddToObject(root, Bytes("a"), std::int64_t{9}, true);  // replaced
  EXPECT_EQ(string::View(GetJSONUTF8String(root, false)).substr(0, 7), R"({"a":9,)");

  EXPECT_THROW(GetJSONUTF8String(boost::any(3.5f), false), std::invalid_argument);
  EXPECT_THROW(GetJSONUTF8String(boost::any(HUGE_VAL), false), std::invalid_argument);
  EXPECT_THROW(GetJSONUTF8String(boost::any(Bytes("\xFF")), false), std::invalid_argument);
  EXPECT_THROW(GetJSONUTF8String(boost::any(JsonObject()), true), std::invalid_argument);
  boost::any notObject = Bytes("x");
  EXPECT_THROW(AddToObject(notObject, Bytes("k"), Bytes("v"), false), boost::bad_any_cast);
}

}  // namespace
}  // namespace kelcore::serialization
