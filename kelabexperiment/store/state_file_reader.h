#pragma once

#include <cstddef>
#include <string_view>

#include "host/kelcore.h"
#include "store/variation_record.h"

namespace kelabexperiment {

// The records of a state file's text (see ExperimentStore for the format),
// read in one pass: the members in byte order of identifier, of equal
// identifiers the last, each value read as ParseStoredRecord reads it.
// Throws StateFileError (a boost::bad_any_cast) naming `path`, the member,
// the reason and the byte for malformed content: the text as a whole where
// it is not a JSON object, else the first member in byte order of identifier
// whose value is not a readable record. Throws StateFileLimitError naming
// `path` and the limit for more than kMaxStateFileRecords members, duplicates
// counted.
RecordMap ParseStateText(std::string_view text, const UTF8String& path);
inline RecordMap ParseStateText(const UTF8String& text, const UTF8String& path) {
  return ParseStateText(kelcore::string::View(text), path);
}

// The records of the state file at `path`, as ParseStateText reads them; none
// when nothing is there or the file is empty. The file is read in pieces of
// kStateFilePieceBytes, each given back once read, so that the load's memory
// at its peak is about the file and the records' array, not the file and all
// the records. Throws what ReadStateFile and ParseStateText throw.
RecordMap LoadStateFile(const UTF8String& path);

// The pieces LoadStateFile reads, and the room before each for the end of a
// member the piece before cut: a longer end makes the load copy pieces.
inline constexpr std::size_t kStateFilePieceBytes = std::size_t{256} << 10;
inline constexpr std::size_t kStateFilePieceRoom = std::size_t{1} << 10;

}  // namespace kelabexperiment
