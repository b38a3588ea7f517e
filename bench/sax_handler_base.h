#pragma once

// The part every Boost.JSON SAX handler of the baselines shares: limits off,
// and a refusal of every kind of value a state file never holds at a place.

#include <cstddef>
#include <cstdint>
#include <limits>

#include <boost/json/error.hpp>
#include <boost/json/string_view.hpp>

namespace kelab_bench {

// Accepts the document and comments; refuses arrays, numbers, booleans and
// null. A handler adds the object and string callbacks, and refuses what it
// must not meet there by calling Refuse.
struct RefusingHandler {
  using error_code = boost::system::error_code;
  using string_view = boost::json::string_view;

  static constexpr std::size_t max_object_size = std::numeric_limits<std::size_t>::max();
  static constexpr std::size_t max_array_size = max_object_size;
  static constexpr std::size_t max_key_size = max_object_size;
  static constexpr std::size_t max_string_size = max_object_size;

  static bool Refuse(error_code& ec) {
    ec = boost::json::error::syntax;
    return false;
  }
  bool on_document_begin(error_code&) { return true; }
  bool on_document_end(error_code&) { return true; }
  bool on_array_begin(error_code& ec) { return Refuse(ec); }
  bool on_array_end(std::size_t, error_code& ec) { return Refuse(ec); }
  bool on_number_part(string_view, error_code& ec) { return Refuse(ec); }
  bool on_int64(std::int64_t, string_view, error_code& ec) { return Refuse(ec); }
  bool on_uint64(std::uint64_t, string_view, error_code& ec) { return Refuse(ec); }
  bool on_double(double, string_view, error_code& ec) { return Refuse(ec); }
  bool on_bool(bool, error_code& ec) { return Refuse(ec); }
  bool on_null(error_code& ec) { return Refuse(ec); }
  bool on_comment_part(string_view, error_code&) { return true; }
  bool on_comment(string_view, error_code&) { return true; }
};

}  // namespace kelab_bench
