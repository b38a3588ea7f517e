#pragma once

// The least work a load or a save of the state file can do: one streaming
// pass of Boost.JSON's SAX parser over the bytes, or one pass of writing
// them, with nothing built in between. The store's load and save are
// measured against these.

#include <string>
#include <vector>

#include "workload.h"

namespace kelab_bench {

// Reads the file at `path` and parses it with boost::json::basic_parser: each
// member's string value is parsed as a record as soon as it is complete,
// straight into the four texts of a Record (member names matched exactly).
// Throws std::runtime_error when the file cannot be read, is not JSON, or a
// value is not a record text.
std::vector<Record> StreamLoad(const std::string& path);

// The state-file text of `records`, written in one pass (each record's text,
// escaped again as the member's string value).
std::string StreamSerialize(const std::vector<Record>& records);

// StreamSerialize, then written as the store writes (ReplaceFile).
void StreamSave(const std::vector<Record>& records, const std::string& path);

}  // namespace kelab_bench
