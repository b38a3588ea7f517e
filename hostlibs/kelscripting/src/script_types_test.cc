#include <memory>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "kelscripting/script_exception.h"
#include "kelscripting/types/parameter_type.h"
#include "kelscripting/types/property_type.h"
#include "testsupport/error_of.h"

namespace kelscripting {
namespace {

using kelcore::string::FromStd;

ScriptValue Value(const boost::any& any) { return boost::make_shared<boost::any>(any); }

TEST(ParameterTypeTest, GivesTheArgumentOfItsTypeOrNamesWhatIsWrong) {
  const ParameterType<bool> flag("freeUser");
  const ParameterType<UTF8String> text("quillUserID");
  const ScriptArgumentList arguments{Value(FromStd("u1")), Value(true), ScriptValue(),
                                     Value(boost::any()), Value(7)};
  EXPECT_EQ(text.Validate(0, arguments), FromStd("u1"));
  EXPECT_TRUE(flag.Validate(1, arguments));

  // Past the end, like a missing value, an argument is missing.
  const std::pair<std::size_t, const char*> errors[] = {
      {0, "argument 0 (\"freeUser\") must be bool, got string"},
      {2, "argument 2 (\"freeUser\") is missing; expected bool"},
      {3, "argument 3 (\"freeUser\") is missing; expected bool"},
      {4, "argument 4 (\"freeUser\") must be bool, got C++ type int"},
      {9, "argument 9 (\"freeUser\") is missing; expected bool"}};
  for (const auto& [index, message] : errors) {
    EXPECT_EQ(testsupport::ErrorOf<ScriptArgumentException>(
                  [&, index = index] { flag.Validate(index, arguments); }),
              message);
  }
  EXPECT_THROW(text.Validate(1, arguments), ScriptException);  // no conversion from bool
}

TEST(PropertyTypeTest, StoresTheResultAndRecheckingCatchesAForeignType) {
  ScriptValueMap map;
  const PropertyType<bool> result;
  EXPECT_EQ(result.Validate(true, &map), &map);
  ASSERT_EQ(map.size(), 1u);
  EXPECT_TRUE(boost::any_cast<bool>(*GetScriptResult(map)));
  EXPECT_NO_THROW(ReValidatePropertyValue(result.GetTransferTypeInfo(), map));
  EXPECT_NO_THROW(ReValidatePropertyValue(result.GetTransferTypeInfo(), ScriptValueMap()));

  PropertyType<UTF8String>().Validate(FromStd("late"), &map);  // replaces the bool
  ASSERT_EQ(map.size(), 1u);
  EXPECT_EQ(testsupport::ErrorOf<ScriptException>(
                [&] { ReValidatePropertyValue(result.GetTransferTypeInfo(), map); }),
            "the call's result is string where bool was declared");
  EXPECT_THROW(ReValidatePropertyValue(ScriptTransferTypeInfo(), map), ScriptException);

  ScriptValueMap nothing;
  SetScriptResult(nothing, Value(boost::any()));
  EXPECT_NO_THROW(ReValidatePropertyValue(ScriptTransferTypeInfo(), nothing));
  EXPECT_EQ(testsupport::ErrorOf<ScriptException>(
                [&] { ReValidatePropertyValue(result.GetTransferTypeInfo(), nothing); }),
            "the call's result is nothing where bool was declared");
}

}  // namespace
}  // namespace kelscripting
