#include "backups.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "kelcore/string/conversions.h"
#include "missing.h"
#include "output.h"
#include "platform/env.h"
#include "platform/folders.h"
#include "store/state_file.h"
#include "store/state_file_transaction.h"

namespace kelab {
namespace {

using kelcore::string::FromStd;
using kelcore::string::ToStd;

constexpr std::size_t kSequenceDigits = 6;
constexpr std::size_t kTimeChars = 16;  // YYYYMMDDTHHMMSSZ

std::string Prefix(const std::string& statePath) {
  const std::size_t cut = statePath.find_last_of("/\\");
  return (cut == std::string::npos ? statePath : statePath.substr(cut + 1)) + ".bak-";
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[kTimeChars + 1];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
  return text;
}

}  // namespace

std::vector<Backup> Backups(const std::string& statePath) {
  const std::string prefix = Prefix(statePath);
  const std::string folder = kelabexperiment::platform::FolderOf(statePath);
  // The state file's path up to its name: where each backup's name goes.
  const std::string start =
      statePath.substr(0, statePath.find_last_of(kelabexperiment::platform::kPathSeparators) + 1);
  std::vector<Backup> backups;
  for (const std::string& name : kelabexperiment::platform::CurrentEnv().List(folder)) {
    if (name.size() != prefix.size() + kSequenceDigits + 1 + kTimeChars ||
        name.compare(0, prefix.size(), prefix) != 0) {
      continue;
    }
    const std::string sequence = name.substr(prefix.size(), kSequenceDigits);
    const std::string time = name.substr(prefix.size() + kSequenceDigits + 1);
    if (!AllDigits(sequence) || name[prefix.size() + kSequenceDigits] != '-' ||
        !AllDigits(time.substr(0, 8)) || time[8] != 'T' || !AllDigits(time.substr(9, 6)) ||
        time.back() != 'Z') {
      continue;
    }
    backups.push_back({start + name, std::stoul(sequence), time});
  }
  std::sort(backups.begin(), backups.end(),
            [](const Backup& a, const Backup& b) { return a.sequence > b.sequence; });
  return backups;
}

Backup ChosenBackup(const std::string& statePath, std::size_t generation) {
  const std::vector<Backup> backups = Backups(statePath);
  if (generation == 0 || generation > backups.size()) {
    throw MissingError("no backup generation " + std::to_string(generation) + " of " +
                       Printable(statePath) + "; there " +
                       (backups.size() == 1 ? "is 1" : "are " + std::to_string(backups.size())));
  }
  return backups[generation - 1];
}

std::string NextBackupPath(const std::string& statePath) {
  const std::vector<Backup> backups = Backups(statePath);
  char sequence[kSequenceDigits + 1];
  std::snprintf(sequence, sizeof sequence, "%06lu",
                backups.empty() ? 0 : backups.front().sequence + 1);
  return statePath + ".bak-" + sequence + "-" + UtcNow();
}

void RotateBackups(const std::string& statePath) noexcept {
  try {
    const std::vector<Backup> backups = Backups(statePath);
    for (std::size_t i = kBackupGenerations; i < backups.size(); ++i) {
      kelabexperiment::platform::CurrentEnv().Remove(backups[i].path);
    }
  } catch (const std::exception&) {
    // The folder could not be listed: the older backups stay until the next change.
  }
}

SessionBackup::SessionBackup(const std::string& statePath) : statePath_(statePath) {
  if (kelabexperiment::platform::CurrentEnv().Stat(statePath) ==
      kelabexperiment::platform::EntryKind::kFile) {
    kelabexperiment::StateFileTransaction file(FromStd(statePath));
    backup_ = NextBackupPath(statePath);
    file.BackUp(FromStd(backup_));
  }
}

std::string SessionBackup::Keep() noexcept {
  std::string backup;
  backup.swap(backup_);
  if (backup.empty()) return "";
  try {
    if (kelabexperiment::ReadStateFile(FromStd(statePath_)) !=
        kelabexperiment::ReadStateFile(FromStd(backup))) {
      RotateBackups(statePath_);
      return backup;
    }
  } catch (const std::exception&) {
    return backup;  // cannot tell: keep it
  }
  kelabexperiment::platform::CurrentEnv().Remove(backup);
  return "";
}

}  // namespace kelab
