#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <boost/json.hpp>
#include <boost/optional.hpp>

#include "registry/feature_switches.h"
#include "state_location.h"
#include "store/variation_record.h"

namespace kelab {

struct RunOptions {
  StateLocation location;
  std::string deviceType = "desktop";
  std::string storeType = "retail";
  bool freeUser = false;
  bool dryRun = false;
  bool json = false;
  std::vector<std::string> experiments;
  std::vector<std::string> messaging;
  std::vector<std::string> debugEntries;
  std::vector<std::string> reads;
};

// A feature value: an integer or a text.
using FeatureValue = boost::json::value;

struct FeatureRead {
  std::string feature;
  FeatureValue value;
  bool fromOverride = false;
  bool updateQueued = false;          // the read queued a forced-control update
  boost::optional<FeatureValue> now;  // the override after the UI thread ran
};

struct SwitchReport {
  const char* key;
  kelabexperiment::FeatureSwitchState state;
};

// What one host session did, filled step by step.
struct RunReport {
  std::string documents;
  std::string stateFile;
  std::string sessionStateFile;  // where the session works: stateFile, or a dry run's copy
  std::vector<SwitchReport> switches;
  std::vector<std::string> registeredExperiments;
  bool initializeResult = false;
  std::vector<FeatureRead> reads;
  std::size_t updatesRun = 0;
  kelabexperiment::RecordMap before;    // the state file before the session
  kelabexperiment::RecordMap after;     // as the session left it (dry run: would leave it)
  kelabexperiment::RecordMap recorded;  // what the session added or changed
  std::string backup;                   // the copy kept of the file before the session, or empty
};

// The session's steps, in order. Each throws what the host or the library
// throws; the library's load error of a malformed file comes from Initialize.
// 1. debug entries, the documents folder the session works in, start-up,
//    registration
void PrepareHost(const RunOptions& o, const std::string& sessionDocuments, RunReport& report);
// 2. initialize through the script engine
void InitializeUser(const RunOptions& o, RunReport& report);
// 3. feature reads, then the UI thread's queue
void ReadFeatures(const RunOptions& o, RunReport& report);
// 4. the state file after the session, and what it recorded
void CollectRecords(RunReport& report);

}  // namespace kelab
