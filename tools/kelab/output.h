#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <boost/json.hpp>
#include <boost/optional.hpp>

#include "kelcore/string/string_types.h"

namespace kelab {

// `utf8` as it may reach a terminal: control characters (C0, DEL, C1), the
// bidirectional formatting characters and bytes that are not UTF-8 are
// escaped (\xNN for a byte below 0x80 or not UTF-8, \uNNNN for a code point);
// everything else, non-ASCII text included, is kept.
std::string Printable(std::string_view utf8);
std::string Printable(const kelcore::UTF8String& utf8);

// A message of the library's, which escapes every byte outside printable
// ASCII and the backslash as \xNN, as Printable would show it: valid
// non-ASCII text comes out as it is.
std::string LibraryMessage(std::string_view escaped);

// How many columns `text` takes: its code points (each byte of ill-formed
// UTF-8 counts as one).
std::size_t Columns(std::string_view text);

// Prints `rows` (the first is the heading) as columns aligned by Columns,
// each line started by `indent`. Cells must be Printable already.
void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows,
                const std::string& indent = "  ");

// Writes `line` and a newline to standard error after flushing standard
// output, so that an error never comes out before the output it follows.
void PrintErrorLine(const std::string& line);

// Flushes standard output and returns `status`, or 1 with an error line when
// standard output could not be written (full, closed): output that did not
// arrive never passes for success. A failure's own status stands.
int FinishStandardOutput(int status);

// Runs `report`, which prints a command's outcome. When the command has
// `written` its change and the report runs out of memory, says so on
// standard error and returns, so that the command exits 0: the change was
// made. Otherwise what `report` throws passes through.
void ReportAfterWrite(bool written, const std::function<void()>& report);

// The version of the --json output's schema (docs/kelab.md).
inline constexpr int kJsonSchemaVersion = 1;

// Prints a command's --json result, on one line: the common members
// ("schema", "command", "exitCode": 0, "error": null), then `members`.
void PrintJsonResult(const std::string& command, const boost::json::object& members);

// Prints the --json result of a command that failed: only the common
// members, with `command` null when unknown.
void PrintJsonFailure(const std::string& command, int exitCode, boost::json::object error);

// Prints the --json result of a command that failed but reports what it
// found (check --all): the common members with `error`, then `members`.
void PrintJsonReport(const std::string& command, int exitCode, boost::json::object error,
                     const boost::json::object& members);

// The --json Error object for `kind` and `message`, with the state-file
// members null.
boost::json::object ErrorJson(const char* kind, const std::string& message);

// A failure (exit status 1) whose output, --json included, the command has
// printed already; what() is the error line's reason.
class ReportedFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A JSON string for UTF-8 text; null for an absent text.
boost::json::value JsonText(const boost::optional<kelcore::UTF8String>& text);
boost::json::value JsonText(const kelcore::UTF8String& text);

}  // namespace kelab
