#include <memory>
#include <string>

#include "base/text_compare.h"
#include "commands.h"
#include "kelcore/string/conversions.h"
#include "output.h"
#include "state_edit.h"
#include "store/experiment_store.h"
#include "store/variation_text.h"
#include "text_validator.h"

namespace kelab {
namespace {

using kelcore::string::FromStd;

struct SetOptions {
  StateEditRequest request;
  std::string experiment;
  std::string variation;
  std::string challengerType;
  std::string variationId;
  std::string campaignId;
  CLI::Option* challengerTypeOption = nullptr;
  CLI::Option* variationIdOption = nullptr;
  CLI::Option* campaignIdOption = nullptr;
};

// The texts the library writes, and "control", in any letter case.
const CLI::Validator kVariation(
    [](std::string& text) -> std::string {
      const kelcore::UTF8String given = FromStd(text);
      const auto kind = kelabexperiment::VariationKindFromText(given);
      if (kelabexperiment::EqualsIgnoreCase(given, kelabexperiment::VariationKindToText(kind)) ||
          kelabexperiment::EqualsIgnoreCase(given, FromStd("control"))) {
        return "";
      }
      return "'" + Printable(text) +
             "' is none of intended_control, control, challenger, disqualified, forced_control";
    },
    "VARIATION");

// As an update writes a campaign: a 32-bit number in decimal, or empty.
const CLI::Validator kCampaign(
    [](std::string& text) -> std::string {
      if (text.empty()) return "";
      if (text.size() <= 10 && text.find_first_not_of("0123456789") == std::string::npos &&
          std::to_string(std::stoull(text) & 0xFFFFFFFFull) == text) {
        return "";
      }
      return "'" + Printable(text) + "' is not a 32-bit number in decimal (or empty)";
    },
    "DIGITS");

void Set(SetOptions& o) {
  using kelabexperiment::RecordMap;
  using kelabexperiment::VariationRecord;
  const kelcore::UTF8String id = FromStd(o.experiment);
  const auto given = [](const CLI::Option* option, const std::string& text) {
    return option->count() > 0 ? boost::optional<kelcore::UTF8String>(FromStd(text)) : boost::none;
  };
  const auto challengerType = given(o.challengerTypeOption, o.challengerType);
  const auto variationId = given(o.variationIdOption, o.variationId);
  const auto campaignId = given(o.campaignIdOption, o.campaignId);
  const auto kind = kelabexperiment::VariationKindFromText(FromStd(o.variation));
  const bool create = o.request.create;
  const std::string experiment = o.experiment;
  const std::string path = o.request.location.StateFile();
  o.request.change = [=](RecordMap& records) {
    const auto it = records.find(id);
    if (it == records.end() && !create) throw NoRecord(experiment, records, path);
    // A new record's texts are those of an update whose payload names none.
    VariationRecord record;
    if (it != records.end()) {
      record = it->second;
    } else {
      record.challengerType = FromStd("none");
      record.variationId = kelcore::UTF8String();
      record.campaignId = kelcore::UTF8String();
    }
    record.variation = kind;
    if (challengerType) record.challengerType = challengerType;
    if (variationId) record.variationId = variationId;
    if (campaignId) record.campaignId = campaignId;
    if (it != records.end() && kelabexperiment::SameRecord(it->second, record)) return false;
    records[id] = record;
    return true;
  };
  o.request.doneText = "Set " + Printable(o.experiment);
  o.request.unchangedText = Printable(o.experiment) + " already holds that assignment";
  RunStateEdit(o.request);
}

}  // namespace

void AddSetCommand(CLI::App& app) {
  auto* command =
      app.add_subcommand("set",
                         "Set an experiment's variation and texts in a user's state file, for QA "
                         "(a backup keeps the old)");
  command->footer(
      "Texts not given keep the record's; a new record gets challengerType \"none\" and\n"
      "empty variationId and campaignId, as an update that names none. Without --create\n"
      "a new experiment, user or documents folder is an error (exit 3) naming the closest\n"
      "stored ones; with it they are created. A malformed file is refused (exit 1).\n"
      "Examples:\n"
      "  kelab set --docs /tmp/docs --user alice --experiment checkout --variation challenger \\\n"
      "            --create \\\n"
      "            --challenger-type copy --variation-id checkout-b --campaign-id 4711\n"
      "  kelab set --docs /tmp/docs --user alice --experiment checkout --variation "
      "forced_control\n");
  auto o = std::make_shared<SetOptions>();
  o->request.command = "set";
  o->request.missingHint = " (--create makes it)";
  o->request.location.AddOptions(*command);
  command->add_option("--experiment", o->experiment, "Experiment identifier")
      ->required()
      ->check(kUtf8Text)
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            return text.empty() ? "an empty experiment identifier names no experiment" : "";
          },
          ""));
  command
      ->add_option("--variation", o->variation,
                   "intended_control, challenger, disqualified or forced_control")
      ->required()
      ->check(kVariation);
  o->challengerTypeOption =
      command->add_option("--challenger-type", o->challengerType, "challengerType text")
          ->check(kUtf8Text);
  o->variationIdOption =
      command->add_option("--variation-id", o->variationId, "variationId text")->check(kUtf8Text);
  o->campaignIdOption =
      command->add_option("--campaign-id", o->campaignId, "campaignId: decimal digits, or empty")
          ->check(kCampaign);
  command->add_flag("--create", o->request.create,
                    "Allow a new record, user folder or documents folder (a typo otherwise "
                    "fails with exit 3)");
  AddJsonFlag(*command, o->request.json);
  command->callback([o] { Set(*o); });
}

}  // namespace kelab
