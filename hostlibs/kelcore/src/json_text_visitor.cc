#include "kelcore/serialization/json_text_visitor.h"

#include <string>

#include <boost/json/basic_parser_impl.hpp>

#include "json_handler_base.h"
#include "json_limits.h"

namespace kelcore::serialization {
namespace {

namespace bj = boost::json;

// Accepts the top-level object's string members and stops at anything else.
class TextMemberVisitor : public FiniteNumbersHandler {
 public:
  TextMemberVisitor(std::string_view text, JsonTextMemberVisitor visit, void* context)
      : text_(text), visit_(visit), context_(context) {}

  bool on_object_begin(error_code& ec) { return depth_++ == 0 || Stop(ec); }
  bool on_object_end(std::size_t, error_code&) {
    --depth_;
    return true;
  }
  bool on_array_begin(error_code& ec) { return Stop(ec); }
  bool on_key_part(string_view part, std::size_t, error_code&) {
    name_.append(part.data(), part.size());
    return true;
  }
  bool on_key(string_view part, std::size_t, error_code&) {
    // A name without escapes is a view of the text, which outlives the value;
    // one with escapes is unescaped into the parser's buffer, which the value
    // reuses, so it is copied.
    if (name_.empty() && InText(part)) {
      name_view_ = part;
    } else {
      name_.append(part.data(), part.size());
      name_view_ = name_;
    }
    return true;
  }
  bool on_string_part(string_view part, std::size_t, error_code& ec) {
    if (depth_ == 0) return Stop(ec);
    value_.append(part.data(), part.size());
    return true;
  }
  bool on_string(string_view part, std::size_t, error_code& ec) {
    if (depth_ == 0) return Stop(ec);
    std::string_view value(part.data(), part.size());
    if (!value_.empty()) value = value_.append(value);
    if (!visit_(context_, name_view_, value)) return Stop(ec);
    name_.clear();
    value_.clear();
    return true;
  }
  bool on_number_part(string_view, error_code& ec) { return Stop(ec); }
  bool on_int64(std::int64_t, string_view, error_code& ec) { return Stop(ec); }
  bool on_uint64(std::uint64_t, string_view, error_code& ec) { return Stop(ec); }
  bool on_double(double, string_view, error_code& ec) { return Stop(ec); }
  bool on_bool(bool, error_code& ec) { return Stop(ec); }
  bool on_null(error_code& ec) { return Stop(ec); }

 private:
  static bool Stop(error_code& ec) {
    ec = bj::error::syntax;
    return false;
  }
  bool InText(string_view part) const {
    return part.data() >= text_.data() && part.data() + part.size() <= text_.data() + text_.size();
  }

  std::string_view text_;
  JsonTextMemberVisitor visit_;
  void* context_;
  std::size_t depth_ = 0;
  std::string name_;  // a name or value the parser delivered in parts or unescaped
  std::string value_;
  std::string_view name_view_;
};

}  // namespace

bool VisitJSONTextMembers(std::string_view text, JsonTextMemberVisitor visit, void* context) {
  bj::parse_options options;
  options.max_depth = kJsonMaxDepth;
  bj::basic_parser<TextMemberVisitor> parser(options, text, visit, context);
  boost::system::error_code ec;
  const std::size_t used = parser.write_some(false, text.data(), text.size(), ec);
  return !ec && used == text.size();
}

}  // namespace kelcore::serialization
