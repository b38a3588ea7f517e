#include "missing.h"

#include <algorithm>

#include "output.h"

namespace kelab {
namespace {

std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string ClosestNames(const std::string& name, const std::vector<std::string>& candidates) {
  if (candidates.empty()) return "; there are none";
  std::vector<std::size_t> distances;
  for (const std::string& candidate : candidates)
    distances.push_back(EditDistance(name, candidate));
  const std::size_t closest = *std::min_element(distances.begin(), distances.end());
  std::vector<std::size_t> ranked;  // indexes of the closest, in the given order
  for (std::size_t i = 0; i < candidates.size() && ranked.size() < 3; ++i) {
    if (distances[i] == closest) ranked.push_back(i);
  }
  std::string text = "; did you mean ";
  for (std::size_t i = 0; i < ranked.size(); ++i) {
    if (i > 0) text += i + 1 == ranked.size() ? " or " : ", ";
    text += "'" + Printable(candidates[ranked[i]]) + "'";
  }
  return text + "?";
}

}  // namespace kelab
