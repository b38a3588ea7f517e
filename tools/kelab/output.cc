#include "output.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>

#include "kelcore/string/conversions.h"

namespace kelab {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, and
// its code point; 0 when it is not one.
std::size_t Decode(std::string_view text, char32_t& point) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    point = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, point = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, point = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, point = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    point = (point << 6) | (byte(i) & 0x3F);
  }
  if (point < minimum || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
  return length;
}

bool MustEscape(char32_t point) {
  return point < 0x20 || (point >= 0x7F && point <= 0x9F) || point == 0x061C || point == 0x200E ||
         point == 0x200F || (point >= 0x202A && point <= 0x202E) ||
         (point >= 0x2066 && point <= 0x2069);
}

std::string Hex(const char* format, unsigned value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

}  // namespace

std::string Printable(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  while (!utf8.empty()) {
    char32_t point = 0;
    const std::size_t length = Decode(utf8, point);
    if (length == 0) {
      out += Hex("\\x%02X", static_cast<unsigned char>(utf8[0]));
      utf8.remove_prefix(1);
      continue;
    }
    if (!MustEscape(point)) {
      out.append(utf8.substr(0, length));
    } else if (point < 0x80) {
      out += Hex("\\x%02X", static_cast<unsigned>(point));
    } else {
      out += Hex("\\u%04X", static_cast<unsigned>(point));
    }
    utf8.remove_prefix(length);
  }
  return out;
}

std::string Printable(const kelcore::UTF8String& utf8) {
  return Printable(kelcore::string::View(utf8));
}

std::string LibraryMessage(std::string_view escaped) {
  std::string bytes;
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    if (escaped.compare(i, 2, "\\x") == 0 && i + 4 <= escaped.size() &&
        std::isxdigit(static_cast<unsigned char>(escaped[i + 2])) &&
        std::isxdigit(static_cast<unsigned char>(escaped[i + 3]))) {
      bytes += static_cast<char>(std::stoi(std::string(escaped.substr(i + 2, 2)), nullptr, 16));
      i += 3;
    } else {
      bytes += escaped[i];
    }
  }
  return Printable(bytes);
}

std::size_t Columns(std::string_view text) {
  std::size_t columns = 0;
  while (!text.empty()) {
    char32_t point = 0;
    const std::size_t length = Decode(text, point);
    text.remove_prefix(length == 0 ? 1 : length);
    ++columns;
  }
  return columns;
}

void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows,
                const std::string& indent) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Columns(row[i]));
  }
  for (const auto& row : rows) {
    std::string line = indent;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - Columns(row[i]) + 2, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out << line << "\n";
  }
}

void PrintErrorLine(const std::string& line) {
  std::cout.flush();
  std::cerr << line << "\n";
  std::cerr.flush();
}

void ReportAfterWrite(bool written, const std::function<void()>& report) {
  try {
    report();
  } catch (const std::bad_alloc&) {
    if (!written) throw;
    std::cout.flush();
    std::fputs("kelab: the change was written, but its report ran out of memory\n", stderr);
  }
}

int FinishStandardOutput(int status) {
  errno = 0;
  std::cout.flush();
  const bool written = std::cout.good() && std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  if (written) return status;
  const int error = errno;
  std::cerr << "kelab: error: cannot write standard output"
            << (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) << "\n";
  std::cerr.flush();
  return status == 0 ? 1 : status;
}

namespace {

void PrintJson(const std::string& command, int exitCode, boost::json::value error,
               const boost::json::object& members) {
  boost::json::object result;
  result["schema"] = kJsonSchemaVersion;
  result["command"] = command.empty() ? boost::json::value(nullptr) : boost::json::value(command);
  result["exitCode"] = exitCode;
  result["error"] = std::move(error);
  for (const auto& member : members) result[member.key()] = member.value();
  std::cout << boost::json::serialize(result) << "\n";
  std::cout.flush();
}

}  // namespace

void PrintJsonResult(const std::string& command, const boost::json::object& members) {
  PrintJson(command, 0, nullptr, members);
}

void PrintJsonFailure(const std::string& command, int exitCode, boost::json::object error) {
  PrintJson(command, exitCode, std::move(error), {});
}

void PrintJsonReport(const std::string& command, int exitCode, boost::json::object error,
                     const boost::json::object& members) {
  PrintJson(command, exitCode, std::move(error), members);
}

boost::json::object ErrorJson(const char* kind, const std::string& message) {
  return {{"kind", kind},      {"message", message}, {"path", nullptr},
          {"member", nullptr}, {"offset", nullptr},  {"reason", nullptr}};
}

boost::json::value JsonText(const boost::optional<kelcore::UTF8String>& text) {
  if (!text) return nullptr;
  return JsonText(*text);
}

boost::json::value JsonText(const kelcore::UTF8String& text) {
  return boost::json::string(kelcore::string::View(text));
}

}  // namespace kelab
