#include "kelcore/debug/debug_database.h"

#include <cstdlib>
#include <sstream>
#include <utility>
#include <vector>

#include "file_system.h"
#include "kelcore/config/kel_exception.h"
#include "kelcore/string/conversions.h"

namespace kelcore::debug {
namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// The whole settings file. Only a regular file is opened, never waiting on a
// FIFO or device (a FIFO would hang the first read of a switch forever, a
// device like /dev/zero would be read without end).
std::string ReadSettingsFile(const std::string& path) {
  const std::string named = "debug database: cannot read '" + path + "'";
  string::UnicodeErrorCode error = string::UnicodeErrorCode::kNone;
  const UTF16String wide = string::UTF8to16(string::FromStd(path), &error);
  if (error != string::UnicodeErrorCode::kNone) throw config::kel_exception(named + ": not UTF-8");
  try {
    const auto file = filesupport::PlatformFileSystem().OpenForRead(wide);
    const std::uint64_t size = file->Size();
    if (size > DebugDatabase::kMaxFileBytes) {
      throw config::kel_exception(named + ": it holds " + std::to_string(size) +
                                  " bytes, more than the " +
                                  std::to_string(DebugDatabase::kMaxFileBytes) + " allowed");
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    file->Read(text.data(), text.size());
    return text;
  } catch (const filesupport::FileError& e) {
    throw config::kel_exception(named + ": " + e.what());
  }
}

}  // namespace

DebugDatabase& DebugDatabase::Instance() {
  // Built on first use; a throwing settings file leaves it unbuilt.
  static DebugDatabase& instance = []() -> DebugDatabase& {
    auto* db = new DebugDatabase;  // lives as long as the process
    if (const char* path = std::getenv("KEL_DEBUG_DATABASE"); path != nullptr && *path != '\0') {
      try {
        db->LoadFromFile(path);
      } catch (...) {
        delete db;
        throw;
      }
    }
    return *db;
  }();
  return instance;
}

UTF8String DebugDatabase::GetEntry(const UTF8String& key, const UTF8String& fallback) const {
  threads::MutexLock lock(&mutex_);
  auto it = entries_.find(key);
  return it == entries_.end() ? fallback : it->second;
}

void DebugDatabase::SetEntry(const UTF8String& key, const UTF8String& value) {
  threads::MutexLock lock(&mutex_);
  entries_.insert_or_assign(key, value);
}

void DebugDatabase::RemoveEntry(const UTF8String& key) {
  threads::MutexLock lock(&mutex_);
  entries_.erase(key);
}

void DebugDatabase::Clear() {
  threads::MutexLock lock(&mutex_);
  entries_.clear();
}

void DebugDatabase::LoadFromFile(const std::string& path) {
  std::istringstream in(ReadSettingsFile(path));
  std::vector<std::pair<std::string, std::string>> parsed;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    const auto eq = line.find('=');
    const std::string key = eq == std::string::npos ? std::string() : Trim(line.substr(0, eq));
    if (key.empty()) {
      throw config::kel_exception("debug database: '" + path + "' line " + std::to_string(number) +
                                  ": expected key=value");
    }
    parsed.emplace_back(key, line.substr(eq + 1));
  }
  for (const auto& [key, value] : parsed) SetEntry(string::FromStd(key), string::FromStd(value));
}

}  // namespace kelcore::debug
