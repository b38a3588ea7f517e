// The host's JSON parse never fails loudly, and what it parsed can be written
// and parsed back to the same tree (numbers of type double up to rounding of
// their last digits: the parser's conversion is not exact).

#include <cmath>
#include <stdexcept>

#include "fuzz_support.h"
#include "kelcore/serialization/json.h"

namespace {

using namespace kelcore::serialization;

bool Same(const JsonValuePtr& a, const JsonValuePtr& b);

bool SameAny(const boost::any& a, const boost::any& b) {
  if (a.type() != b.type()) return false;
  if (const auto* x = boost::any_cast<double>(&a)) {
    const double y = boost::any_cast<double>(b);
    return std::fabs(*x - y) <= 1e-12 * std::fmax(std::fabs(*x), std::fabs(y));
  }
  if (const auto* x = boost::any_cast<JsonObject>(&a)) {
    const auto& y = boost::any_cast<const JsonObject&>(b);
    if (x->size() != y.size()) return false;
    for (auto i = x->begin(), j = y.begin(); i != x->end(); ++i, ++j) {
      if (i->first != j->first || !Same(i->second, j->second)) return false;
    }
    return true;
  }
  if (const auto* x = boost::any_cast<JsonArray>(&a)) {
    const auto& y = boost::any_cast<const JsonArray&>(b);
    if (x->size() != y.size()) return false;
    for (std::size_t i = 0; i < x->size(); ++i) {
      if (!Same((*x)[i], y[i])) return false;
    }
    return true;
  }
  if (const auto* x = boost::any_cast<kelcore::UTF8String>(&a)) {
    return *x == boost::any_cast<const kelcore::UTF8String&>(b);
  }
  if (const auto* x = boost::any_cast<std::int64_t>(&a))
    return *x == boost::any_cast<std::int64_t>(b);
  if (const auto* x = boost::any_cast<std::uint64_t>(&a)) {
    return *x == boost::any_cast<std::uint64_t>(b);
  }
  return boost::any_cast<bool>(a) == boost::any_cast<bool>(b);
}

bool Same(const JsonValuePtr& a, const JsonValuePtr& b) {
  if (!a || !b) return !a && !b;
  return SameAny(*a, *b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const kelcore::UTF8String input = fuzz::Text(data, size);
  const JsonValuePtr parsed = JSONParse(input);
  if (!parsed) return 0;
  kelcore::UTF8String written;
  try {
    written = GetJSONUTF8String(*parsed, false);
  } catch (const std::invalid_argument&) {
    std::abort();  // everything the parser produces can be written
  }
  fuzz::Require(Same(parsed, JSONParse(written)));
  return 0;
}
