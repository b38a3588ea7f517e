#include "assignment_table.h"

#include <string>
#include <vector>

#include "output.h"
#include "store/variation_text.h"

namespace kelab {
namespace {

using kelabexperiment::VariationRecord;
using kelcore::string::ToStd;

std::string Shown(const boost::optional<kelcore::UTF8String>& text) {
  return text ? Printable(*text) : std::string("(absent)");
}

std::string VariationText(const VariationRecord& record) {
  return ToStd(kelabexperiment::VariationKindToText(record.variation));
}

int VariationValue(const VariationRecord& record) { return static_cast<int>(record.variation); }

}  // namespace

void PrintAssignmentTable(std::ostream& out, const kelabexperiment::RecordMap& records) {
  if (records.empty()) {
    out << "  (none)\n";
    return;
  }
  std::vector<std::vector<std::string>> rows{
      {"EXPERIMENT", "VARIATION", "CHALLENGER TYPE", "VARIATION ID", "CAMPAIGN ID"}};
  for (const auto& [experiment, record] : records) {
    rows.push_back({Printable(experiment),
                    VariationText(record) + " (" + std::to_string(VariationValue(record)) + ")",
                    Shown(record.challengerType), Shown(record.variationId),
                    Shown(record.campaignId)});
  }
  PrintTable(out, rows);
}

boost::json::object AssignmentJson(const kelcore::UTF8String& experiment,
                                   const VariationRecord& record) {
  return boost::json::object{{"experiment", JsonText(experiment)},
                             {"variation", VariationText(record)},
                             {"variationValue", VariationValue(record)},
                             {"challengerType", JsonText(record.challengerType)},
                             {"variationId", JsonText(record.variationId)},
                             {"campaignId", JsonText(record.campaignId)}};
}

boost::json::array AssignmentsJson(const kelabexperiment::RecordMap& records) {
  boost::json::array array;
  for (const auto& [experiment, record] : records) {
    array.push_back(AssignmentJson(experiment, record));
  }
  return array;
}

boost::json::object StateFileJson(const std::string& path, const std::string& user, bool exists,
                                  const kelabexperiment::RecordMap& records) {
  return boost::json::object{
      {"stateFile", path},
      {"user", user.empty() ? boost::json::value(nullptr) : boost::json::value(user)},
      {"exists", exists},
      {"assignments", AssignmentsJson(records)}};
}

}  // namespace kelab
