#include "registry/feature_switches.h"

#include <string_view>

#include "base/text_compare.h"
#include "base/utf8.h"
#include "kelcore/debug/debug_database.h"

namespace kelabexperiment {
namespace {

// Why `text`, which is not "true", turns a switch off.
std::string OffReason(const UTF8String& text) {
  const std::string quoted =
      "the text \"" + PrintableForMessage(kelcore::string::View(text)) + "\"";
  const std::string_view view = kelcore::string::View(text);
  const std::size_t first = view.find_first_not_of(" \t\r\n");
  const std::size_t last = view.find_last_not_of(" \t\r\n");
  const std::string_view trimmed =
      first == std::string_view::npos ? std::string_view() : view.substr(first, last - first + 1);
  const char* why = "is not true";
  if (view.empty()) {
    why = "is empty";
  } else if (trimmed == "true") {
    why = "has blanks around true";
  } else if (EqualsIgnoreCase(kelcore::string::FromStd(trimmed),
                              kelcore::string::FromStd("true"))) {
    why = "is not in lower case";
  } else if (view == "false") {
    return "the text is \"false\"";
  }
  return quoted + " " + why + "; only the exact text \"true\" turns it on";
}

}  // namespace

FeatureSwitchState DescribeFeatureSwitch(const char* key, bool defaultOn) {
  const auto& database = kelcore::debug::DebugDatabase::Instance();
  const UTF8String name = kelcore::string::FromStd(key);
  FeatureSwitchState state;
  // The verdict: the entry's text, or the default's, against "true".
  const UTF8String text =
      database.GetEntry(name, kelcore::string::FromStd(defaultOn ? "true" : "false"));
  state.on = kelcore::string::View(text) == "true";
  // Only for the description: whether that text was an entry's. An entry
  // answers the same to two different fallbacks; a missing one does not.
  state.hasEntry = database.GetEntry(name, kelcore::string::FromStd("0")) ==
                   database.GetEntry(name, kelcore::string::FromStd("1"));
  if (state.hasEntry) state.text = text;
  if (!state.on) {
    state.reason = state.hasEntry
                       ? OffReason(text)
                       : std::string("there is no entry, and the switch is off by default");
  }
  return state;
}

bool ReadFeatureSwitch(const char* key, bool defaultOn) {
  return DescribeFeatureSwitch(key, defaultOn).on;
}

}  // namespace kelabexperiment
