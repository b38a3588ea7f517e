#include "state_file_reader.h"

#include <fstream>
#include <iterator>

#include <boost/json.hpp>

#include "kelcore/serialization/json.h"
#include "kelcore/string/string_types.h"

namespace kelab {
namespace {

using kelcore::UTF8String;
using kelcore::serialization::JsonArray;
using kelcore::serialization::JsonObject;
using kelcore::serialization::JsonValuePtr;
using kelcore::string::FromStd;
using kelcore::string::ToStd;

std::string KindOf(const JsonValuePtr& value) {
  if (!value) return "null";
  if (value->type() == typeid(JsonObject)) return "an object";
  if (value->type() == typeid(JsonArray)) return "an array";
  if (value->type() == typeid(UTF8String)) return "a string";
  if (value->type() == typeid(bool)) return "a boolean";
  return "a number";
}

std::string Quoted(const std::string& text) {
  return boost::json::serialize(boost::json::string(text));
}

// Why the text does not parse, in Boost.JSON's words, with the byte offset.
std::string ParseFailure(const std::string& text) {
  boost::json::parse_options options;
  options.max_depth = 64;  // as the host's parser
  boost::json::stream_parser parser({}, options);
  boost::system::error_code ec;
  const std::size_t used = parser.write_some(text.data(), text.size(), ec);
  if (!ec) parser.finish(ec);
  if (!ec) return "the document is null";
  return ec.message() + " at byte " + std::to_string(used);
}

// The parsed object, or a problem naming `what` and why.
// REQUIRES: `parsed` is JSONParse of `text`, and outlives the result.
const JsonObject& ExpectObject(const std::string& text, const JsonValuePtr& parsed,
                               const std::string& what) {
  if (!parsed) {
    throw StateFileProblem(what + " is not valid JSON: " + ParseFailure(text));
  }
  if (parsed->type() != typeid(JsonObject)) {
    throw StateFileProblem(what + " is " + KindOf(parsed) + "; expected a JSON object");
  }
  return boost::any_cast<const JsonObject&>(*parsed);
}

bool SameIgnoringCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    const auto up = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; };
    if (up(a[i]) != up(b[i])) return false;
  }
  return i == a.size() && b[i] == '\0';
}

void SetVariation(StoredAssignment& a, const std::string& text) {
  const std::pair<const char*, int> kinds[] = {
      {"challenger", 1}, {"disqualified", 2}, {"forced_control", 3}};
  a.variation = "intended_control";
  a.variationValue = 0;
  for (const auto& [name, value] : kinds) {
    if (SameIgnoringCase(text, name)) {
      a.variation = name;
      a.variationValue = value;
    }
  }
}

StoredAssignment ReadRecord(const std::string& experiment, const std::string& text) {
  const std::string what = "member " + Quoted(experiment) + ": the record text";
  const JsonValuePtr parsed = kelcore::serialization::JSONParse(FromStd(text));
  const JsonObject& record = ExpectObject(text, parsed, what);
  StoredAssignment a{experiment, "disqualified", 2, "none", std::nullopt, std::nullopt};
  for (const auto& [name, value] : record) {
    const std::string member = ToStd(name);
    if (!value || value->type() != typeid(UTF8String)) {
      throw StateFileProblem("member " + Quoted(experiment) + ": record member " + Quoted(member) +
                             " is " + KindOf(value) + "; expected a string");
    }
    const std::string v = ToStd(boost::any_cast<const UTF8String&>(*value));
    if (SameIgnoringCase(member, "variation")) {
      SetVariation(a, v);
    } else if (SameIgnoringCase(member, "variationId")) {
      a.variationId = v;
    } else if (SameIgnoringCase(member, "campaignId")) {
      a.campaignId = v;
    } else if (SameIgnoringCase(member, "challengerType")) {
      a.challengerType = v;
    }
  }
  return a;
}

}  // namespace

std::vector<StoredAssignment> ReadStateFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read " + path.string());
  std::vector<StoredAssignment> assignments;
  if (text.empty()) return assignments;
  const JsonValuePtr parsed = kelcore::serialization::JSONParse(FromStd(text));
  const JsonObject& top = ExpectObject(text, parsed, "the file");
  for (const auto& [name, value] : top) {
    const std::string experiment = ToStd(name);
    if (!value || value->type() != typeid(UTF8String)) {
      throw StateFileProblem("member " + Quoted(experiment) + " is " + KindOf(value) +
                             "; expected a string holding the record's JSON object");
    }
    assignments.push_back(
        ReadRecord(experiment, ToStd(boost::any_cast<const UTF8String&>(*value))));
  }
  return assignments;
}

}  // namespace kelab
