#pragma once

// A load and a save done the obvious way with Boost.JSON's document model and
// POSIX calls on the same bytes, shown beside the streaming baselines
// (stream_baselines.h) for information.

#include <string>
#include <vector>

#include <boost/json.hpp>

#include "workload.h"

namespace kelab_bench {

// What a direct load keeps: the parsed file and every parsed record.
struct ParsedState {
  boost::json::value document;
  std::vector<boost::json::value> records;
};

// Reads the whole file at `path`, parses it, and parses every member's string
// as a record. Throws std::runtime_error when the file cannot be read or a
// text does not parse.
ParsedState BaselineLoad(const std::string& path);

// The records as Boost.JSON values: identifier -> record object, in the order
// given.
boost::json::object RecordDocument(const std::vector<Record>& records);

// Serialises every record object of `document` to text, then the object of
// those texts, and writes it the way the store does (ReplaceFile). Throws
// std::runtime_error on a failed system call.
void BaselineSave(const boost::json::object& document, const std::string& path);

}  // namespace kelab_bench
