#include "kelcore/serialization/json.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include <boost/json.hpp>
#include <boost/json/basic_parser_impl.hpp>

#include "json_handler_base.h"
#include "json_limits.h"
#include "kelcore/string/conversions.h"

namespace kelcore::serialization {
namespace {

namespace bj = boost::json;

constexpr std::size_t kMaxDepth = kJsonMaxDepth;

JsonValuePtr FromJson(const bj::value& v);

JsonValuePtr MakeObject(const bj::object& object) {
  JsonObject out;
  for (const auto& member : object) {
    // insert_or_assign: of duplicate names the last one wins.
    out.insert_or_assign(string::FromStd(member.key()), FromJson(member.value()));
  }
  return boost::make_shared<boost::any>(std::move(out));
}

JsonValuePtr MakeArray(const bj::array& array) {
  JsonArray out;
  out.reserve(array.size());
  for (const auto& element : array) out.push_back(FromJson(element));
  return boost::make_shared<boost::any>(std::move(out));
}

JsonValuePtr FromJson(const bj::value& v) {
  switch (v.kind()) {
    case bj::kind::null:
      return JsonValuePtr();
    case bj::kind::bool_:
      return boost::make_shared<boost::any>(v.get_bool());
    case bj::kind::int64:
      return boost::make_shared<boost::any>(static_cast<std::int64_t>(v.get_int64()));
    case bj::kind::uint64:
      return boost::make_shared<boost::any>(static_cast<std::uint64_t>(v.get_uint64()));
    case bj::kind::double_:
      return boost::make_shared<boost::any>(v.get_double());
    case bj::kind::string:
      return boost::make_shared<boost::any>(string::FromStd(v.get_string()));
    case bj::kind::array:
      return MakeArray(v.get_array());
    case bj::kind::object:
      return MakeObject(v.get_object());
  }
  return JsonValuePtr();
}

bj::string_view ViewOf(const UTF8String& text) {
  if (!string::IsValidUTF8(text)) {
    throw std::invalid_argument("GetJSONUTF8String: text is not valid UTF-8");
  }
  return bj::string_view(string::View(text));
}

bj::value ToJson(const boost::any& v, std::size_t depth);

bj::value ToJson(const JsonValuePtr& v, std::size_t depth) {
  return v ? ToJson(*v, depth) : bj::value(nullptr);
}

bj::value ToJson(const boost::any& v, std::size_t depth) {
  if (depth > kMaxDepth) throw std::invalid_argument("GetJSONUTF8String: nesting too deep");
  if (v.empty()) return nullptr;
  if (const auto* s = boost::any_cast<UTF8String>(&v)) return bj::string(ViewOf(*s));
  if (const auto* o = boost::any_cast<JsonObject>(&v)) {
    bj::object out;
    out.reserve(o->size());
    for (const auto& [key, value] : *o) out.emplace(ViewOf(key), ToJson(value, depth + 1));
    return out;
  }
  if (const auto* a = boost::any_cast<JsonArray>(&v)) {
    bj::array out;
    out.reserve(a->size());
    for (const auto& element : *a) out.push_back(ToJson(element, depth + 1));
    return out;
  }
  if (const auto* i = boost::any_cast<std::int64_t>(&v)) return *i;
  if (const auto* u = boost::any_cast<std::uint64_t>(&v)) return *u;
  if (const auto* d = boost::any_cast<double>(&v)) {
    if (!std::isfinite(*d)) throw std::invalid_argument("GetJSONUTF8String: number is not finite");
    return *d;
  }
  if (const auto* b = boost::any_cast<bool>(&v)) return *b;
  throw std::invalid_argument("GetJSONUTF8String: unsupported value type");
}

}  // namespace

JsonValuePtr JSONParse(const UTF8String& text) {
  bj::parse_options options;
  options.max_depth = kMaxDepth;
  boost::system::error_code ec;
  // A first pass sees every number, also those of members that a later
  // duplicate replaces and that the tree below no longer holds.
  bj::basic_parser<FiniteNumbersHandler> check(options);
  const std::string_view view = string::View(text);
  if (check.write_some(false, view.data(), view.size(), ec) != view.size() || ec) {
    return JsonValuePtr();
  }
  bj::value parsed = bj::parse(view, ec, bj::storage_ptr(), options);
  if (ec) return JsonValuePtr();
  return FromJson(parsed);
}

JsonValuePtr GetVariantInObject(const JsonObject& object, const UTF8String& key) {
  auto it = object.find(key);
  return it == object.end() ? JsonValuePtr() : it->second;
}

JsonValuePtr GetVariantInObject(const JsonObject& object, const char* key) {
  return GetVariantInObject(object, string::FromStd(key));
}

void AddToObject(boost::any& object, const UTF8String& key, const boost::any& value,
                 bool overwrite) {
  auto& members = boost::any_cast<JsonObject&>(object);
  auto ptr = value.empty() ? JsonValuePtr() : boost::make_shared<boost::any>(value);
  if (overwrite) {
    members.insert_or_assign(key, std::move(ptr));
  } else {
    members.emplace(key, std::move(ptr));
  }
}

UTF8String GetJSONUTF8String(const boost::any& value, bool pretty) {
  if (pretty) throw std::invalid_argument("GetJSONUTF8String: pretty printing is not offered");
  return string::FromStd(bj::serialize(ToJson(value, 0)));
}

}  // namespace kelcore::serialization
