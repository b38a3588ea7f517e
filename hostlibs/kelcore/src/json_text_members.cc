#include "kelcore/serialization/json_text_members.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <boost/json/basic_parser_impl.hpp>
#include <boost/json/parse.hpp>

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
    ec = bj::error::not_object;
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

std::string ReasonFor(const boost::system::error_code& ec) {
  if (ec == bj::error::not_object) return "the top level is not a JSON object";
  if (ec == bj::error::incomplete) return "the document ends before it is complete";
  if (ec == bj::error::exponent_overflow) return "a number beyond the range of a double";
  if (ec == bj::error::too_deep) {
    return "arrays and objects nested deeper than " + std::to_string(kJsonMaxDepth);
  }
  return ec.message();
}

// Steps over the parts of a text already known to be a valid JSON object.
class ValidObjectScanner {
 public:
  explicit ValidObjectScanner(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  std::size_t Position() const { return pos_; }
  char Peek() const { return text_[pos_]; }
  void Skip(char c) {
    SkipSpace();
    if (!AtEnd() && text_[pos_] == c) ++pos_;
    SkipSpace();
  }
  void SkipSpace() {
    while (!AtEnd() && std::string_view(" \t\r\n").find(text_[pos_]) != std::string_view::npos) {
      ++pos_;
    }
  }
  // The raw token of the string at the position, quotes included.
  std::string_view StringToken() {
    const std::size_t start = pos_++;
    while (text_[pos_] != '"') pos_ += text_[pos_] == '\\' ? 2 : 1;
    ++pos_;
    return text_.substr(start, pos_ - start);
  }
  void SkipValue() {
    if (Peek() == '"') {
      StringToken();
    } else if (Peek() == '{' || Peek() == '[') {
      std::size_t depth = 0;
      do {
        if (Peek() == '"') {
          StringToken();
          continue;
        }
        if (Peek() == '{' || Peek() == '[') ++depth;
        if (Peek() == '}' || Peek() == ']') --depth;
        ++pos_;
      } while (depth > 0);
    } else {
      while (!AtEnd() && std::string_view(",}] \t\r\n").find(Peek()) == std::string_view::npos) {
        ++pos_;
      }
    }
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

const char* KindAt(char first) {
  switch (first) {
    case '"':
      return "a string";
    case '{':
      return "an object";
    case '[':
      return "an array";
    case 't':
    case 'f':
      return "a boolean";
    case 'n':
      return "null";
    default:
      return "a number";
  }
}

}  // namespace

boost::optional<JsonMemberLocation> LocateJSONMember(const UTF8String& text,
                                                     const UTF8String& name) {
  ValidObjectScanner scanner(string::View(text));
  boost::optional<JsonMemberLocation> found;
  scanner.Skip('{');
  while (!scanner.AtEnd() && scanner.Peek() == '"') {
    const bj::value decoded = bj::parse(scanner.StringToken());
    scanner.Skip(':');
    if (decoded.as_string() == string::View(name)) {
      found = JsonMemberLocation{scanner.Position(), KindAt(scanner.Peek())};
    }
    scanner.SkipValue();
    scanner.Skip(',');
  }
  return found;
}

boost::optional<JsonTextMembers> JSONParseTextMembers(const UTF8String& text,
                                                      std::size_t maxMembers,
                                                      JsonParseFailure* failure) {
  bj::parse_options options;
  options.max_depth = kJsonMaxDepth;
  bj::basic_parser<TextMembersHandler> parser(options);
  parser.handler().maxMembers = maxMembers;
  boost::system::error_code ec;
  const std::string_view view = string::View(text);
  const std::size_t used = parser.write_some(false, view.data(), view.size(), ec);
  if (ec || used != view.size()) {
    if (failure) {
      // The parser stops after a scalar top level; point at where it starts.
      failure->offset = ec == bj::error::not_object ? view.find_first_not_of(" \t\r\n") : used;
      failure->reason = ec ? ReasonFor(ec) : "content after the end of the document";
    }
    return boost::none;
  }
  OrderLikeAnObject(parser.handler().members);
  return std::move(parser.handler().members);
}

}  // namespace kelcore::serialization
