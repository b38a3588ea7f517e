#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include <boost/json/basic_parser.hpp>

namespace kelcore::serialization {

// A handler for boost::json::basic_parser that accepts every well-formed
// document except one holding a number beyond the range of a double
// (anywhere, also in a member that a later duplicate replaces): such a number
// has no JSON spelling to write back. Readers derive from it and hide the
// callbacks they care about.
class FiniteNumbersHandler {
 public:
  using error_code = boost::system::error_code;
  using string_view = boost::json::string_view;

  static constexpr std::size_t max_object_size = std::numeric_limits<std::size_t>::max();
  static constexpr std::size_t max_array_size = std::numeric_limits<std::size_t>::max();
  static constexpr std::size_t max_key_size = std::numeric_limits<std::size_t>::max();
  static constexpr std::size_t max_string_size = std::numeric_limits<std::size_t>::max();

  bool on_document_begin(error_code&) { return true; }
  bool on_document_end(error_code&) { return true; }
  bool on_object_begin(error_code&) { return true; }
  bool on_object_end(std::size_t, error_code&) { return true; }
  bool on_array_begin(error_code&) { return true; }
  bool on_array_end(std::size_t, error_code&) { return true; }
  bool on_key_part(string_view, std::size_t, error_code&) { return true; }
  bool on_key(string_view, std::size_t, error_code&) { return true; }
  bool on_string_part(string_view, std::size_t, error_code&) { return true; }
  bool on_string(string_view, std::size_t, error_code&) { return true; }
  bool on_number_part(string_view, error_code&) { return true; }
  bool on_int64(std::int64_t, string_view, error_code&) { return true; }
  bool on_uint64(std::uint64_t, string_view, error_code&) { return true; }
  bool on_double(double d, string_view, error_code& ec) {
    if (std::isfinite(d)) return true;
    ec = boost::json::error::exponent_overflow;
    return false;
  }
  bool on_bool(bool, error_code&) { return true; }
  bool on_null(error_code&) { return true; }
  bool on_comment_part(string_view, error_code&) { return true; }
  bool on_comment(string_view, error_code&) { return true; }
};

}  // namespace kelcore::serialization
