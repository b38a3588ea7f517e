#include "kelcore/serialization/json_text_members.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <boost/json/basic_parser_impl.hpp>

#include "json_handler_base.h"
#include "json_limits.h"

namespace kelcore::serialization {
namespace {

namespace bj = boost::json;

// Keeps the members of the top-level object (depth 1) and skips everything
// nested deeper; any other top-level value stops the parse.
class TextMembersHandler : public FiniteNumbersHandler {
 public:
  JsonTextMembers members;
  std::size_t maxMembers = std::numeric_limits<std::size_t>::max();

  bool on_object_begin(error_code&) {
    ++depth_;
    return true;
  }
  bool on_object_end(std::size_t, error_code&) {
    --depth_;
    return true;
  }
  bool on_array_begin(error_code& ec) {
    if (!Value(ec)) return false;
    ++depth_;
    return true;
  }
  bool on_array_end(std::size_t, error_code&) {
    --depth_;
    return true;
  }
  bool on_key_part(string_view part, std::size_t, error_code&) {
    if (depth_ == 1) Name(part);
    return true;
  }
  bool on_key(string_view part, std::size_t, error_code&) {
    if (depth_ == 1) {
      Name(part);
      inName_ = false;
    }
    return true;
  }
  bool on_string_part(string_view part, std::size_t, error_code& ec) {
    if (!Value(ec)) return false;
    if (depth_ == 1) Text(part);
    return true;
  }
  bool on_string(string_view part, std::size_t, error_code& ec) {
    if (!Value(ec)) return false;
    if (depth_ == 1) Text(part);
    return true;
  }
  bool on_number_part(string_view, error_code& ec) { return Value(ec); }
  bool on_int64(std::int64_t, string_view, error_code& ec) { return Value(ec); }
  bool on_uint64(std::uint64_t, string_view, error_code& ec) { return Value(ec); }
  bool on_double(double d, string_view text, error_code& ec) {
    return FiniteNumbersHandler::on_double(d, text, ec) && Value(ec);
  }
  bool on_bool(bool, error_code& ec) { return Value(ec); }
  bool on_null(error_code& ec) { return Value(ec); }

 private:
  // A value outside any object means the top level is not an object.
  bool Value(error_code& ec) {
    if (depth_ > 0) return true;
    ec = bj::error::syntax;
    return false;
  }
  void Name(string_view part) {
    if (!inName_) {
      if (members.size() == maxMembers) {
        throw JsonLimitError("the object has more than " + std::to_string(maxMembers) + " members");
      }
      members.emplace_back();
      inName_ = true;
    }
    Append(members.back().name, part);
  }
  void Text(string_view part) {
    boost::optional<UTF8String>& text = members.back().text;
    if (!text) text.emplace();
    Append(*text, part);
  }
  static void Append(UTF8String& out, string_view part) {
    out.append(reinterpret_cast<const unsigned char*>(part.data()), part.size());
  }

  std::size_t depth_ = 0;
  bool inName_ = false;
};

bool NameLess(const JsonTextMember& a, const JsonTextMember& b) {
  return string::View(a.name) < string::View(b.name);
}

// Orders the members by name, keeping the last of equal names, as a JsonObject
// built member by member would. Written files are usually in order already.
void OrderLikeAnObject(JsonTextMembers& members) {
  const auto ascending = [](const JsonTextMember& a, const JsonTextMember& b) {
    return !(string::View(a.name) < string::View(b.name));
  };
  if (std::adjacent_find(members.begin(), members.end(), ascending) == members.end()) return;
  std::stable_sort(members.begin(), members.end(), NameLess);
  auto out = members.begin();
  for (auto it = members.begin(); it != members.end(); ++it) {
    const auto next = std::next(it);
    if (next != members.end() && next->name == it->name) continue;  // a later one wins
    if (out != it) *out = std::move(*it);
    ++out;
  }
  members.erase(out, members.end());
}

}  // namespace

boost::optional<JsonTextMembers> JSONParseTextMembers(const UTF8String& text,
                                                      std::size_t maxMembers) {
  bj::parse_options options;
  options.max_depth = kJsonMaxDepth;
  bj::basic_parser<TextMembersHandler> parser(options);
  parser.handler().maxMembers = maxMembers;
  boost::system::error_code ec;
  const std::string_view view = string::View(text);
  const std::size_t used = parser.write_some(false, view.data(), view.size(), ec);
  if (ec || used != view.size()) return boost::none;
  OrderLikeAnObject(parser.handler().members);
  return std::move(parser.handler().members);
}

}  // namespace kelcore::serialization
