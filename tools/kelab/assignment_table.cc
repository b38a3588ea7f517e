#include "assignment_table.h"

#include <algorithm>
#include <array>
#include <string>

#include <boost/json.hpp>

namespace kelab {
namespace {

std::string Shown(const std::optional<std::string>& text) {
  return text ? *text : std::string("(absent)");
}

}  // namespace

void PrintAssignmentTable(std::ostream& out, const std::vector<StoredAssignment>& assignments) {
  if (assignments.empty()) {
    out << "  (none)\n";
    return;
  }
  using Row = std::array<std::string, 5>;
  std::vector<Row> rows{
      {"EXPERIMENT", "VARIATION", "CHALLENGER TYPE", "VARIATION ID", "CAMPAIGN ID"}};
  for (const StoredAssignment& a : assignments) {
    rows.push_back({a.experiment, a.variation + " (" + std::to_string(a.variationValue) + ")",
                    a.challengerType, Shown(a.variationId), Shown(a.campaignId)});
  }
  std::array<std::size_t, 5> widths{};
  for (const Row& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const Row& row : rows) {
    std::string line = " ";
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += " " + row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 1, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out << line << "\n";
  }
}

void PrintAssignmentJson(std::ostream& out, const std::vector<StoredAssignment>& assignments) {
  boost::json::array array;
  for (const StoredAssignment& a : assignments) {
    const auto optional = [](const std::optional<std::string>& text) -> boost::json::value {
      if (text) return boost::json::string(*text);
      return nullptr;
    };
    array.push_back(boost::json::object{{"experiment", a.experiment},
                                        {"variation", a.variation},
                                        {"variationValue", a.variationValue},
                                        {"challengerType", a.challengerType},
                                        {"variationId", optional(a.variationId)},
                                        {"campaignId", optional(a.campaignId)}});
  }
  out << boost::json::serialize(array) << "\n";
}

}  // namespace kelab
