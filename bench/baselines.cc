#include "baselines.h"

#include "posix_io.h"

namespace kelab_bench {

ParsedState BaselineLoad(const std::string& path) {
  ParsedState state;
  state.document = boost::json::parse(ReadAll(path));
  const boost::json::object& members = state.document.as_object();
  state.records.reserve(members.size());
  for (const auto& member : members) {
    state.records.push_back(boost::json::parse(member.value().as_string()));
  }
  return state;
}

boost::json::object RecordDocument(const std::vector<Record>& records) {
  boost::json::object document;
  document.reserve(records.size());
  for (const Record& r : records) {
    document.emplace(r.id, boost::json::object{{"campaignId", r.campaignId},
                                               {"challengerType", r.challengerType},
                                               {"variation", r.variation},
                                               {"variationId", r.variationId}});
  }
  return document;
}

void BaselineSave(const boost::json::object& document, const std::string& path) {
  boost::json::object texts;
  texts.reserve(document.size());
  for (const auto& member : document) {
    texts.emplace(member.key(), boost::json::serialize(member.value()));
  }
  ReplaceFile(path, boost::json::serialize(texts));
}

}  // namespace kelab_bench
