#include "assignment_table.h"

#include <algorithm>
#include <array>
#include <string>

#include <vector>

#include <boost/json.hpp>

#include "store/variation_text.h"

namespace kelab {
namespace {

using kelabexperiment::RecordMap;
using kelabexperiment::VariationRecord;
using kelcore::string::ToStd;

std::string Shown(const boost::optional<kelcore::UTF8String>& text) {
  return text ? ToStd(*text) : std::string("(absent)");
}

std::string VariationText(const VariationRecord& record) {
  return ToStd(kelabexperiment::VariationKindToText(record.variation));
}

int VariationValue(const VariationRecord& record) { return static_cast<int>(record.variation); }

}  // namespace

void PrintAssignmentTable(std::ostream& out, const RecordMap& records) {
  if (records.empty()) {
    out << "  (none)\n";
    return;
  }
  using Row = std::array<std::string, 5>;
  std::vector<Row> rows{
      {"EXPERIMENT", "VARIATION", "CHALLENGER TYPE", "VARIATION ID", "CAMPAIGN ID"}};
  for (const auto& [experiment, record] : records) {
    rows.push_back({ToStd(experiment),
                    VariationText(record) + " (" + std::to_string(VariationValue(record)) + ")",
                    Shown(record.challengerType), Shown(record.variationId),
                    Shown(record.campaignId)});
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

void PrintAssignmentJson(std::ostream& out, const RecordMap& records) {
  boost::json::array array;
  const auto optional = [](const boost::optional<kelcore::UTF8String>& text) -> boost::json::value {
    if (text) return boost::json::string(kelcore::string::View(*text));
    return nullptr;
  };
  for (const auto& [experiment, record] : records) {
    array.push_back(boost::json::object{{"experiment", kelcore::string::View(experiment)},
                                        {"variation", VariationText(record)},
                                        {"variationValue", VariationValue(record)},
                                        {"challengerType", optional(record.challengerType)},
                                        {"variationId", optional(record.variationId)},
                                        {"campaignId", optional(record.campaignId)}});
  }
  out << boost::json::serialize(array) << "\n";
}

}  // namespace kelab
