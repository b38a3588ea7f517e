#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kelab {

// How many backups of a state file kelab keeps: every change it makes adds
// one, and the oldest beyond this are removed once a change has succeeded.
inline constexpr std::size_t kBackupGenerations = 5;

// One backup: "<state file>.bak-<sequence, 6 digits>-<UTC time YYYYMMDDTHHMMSSZ>".
// The sequence orders them whatever the clock does; the time is for people.
struct Backup {
  std::string path;
  unsigned long sequence = 0;
  std::string time;  // as in the name
};

// The backups of the state file at `statePath`, newest first. Other files
// beside it (the library's ".unreadable-" files included) are none.
std::vector<Backup> Backups(const std::string& statePath);

// Backup `generation` of the state file (1: the newest). Throws MissingError
// when there is no such generation, saying how many there are.
Backup ChosenBackup(const std::string& statePath, std::size_t generation);

// The path of a new backup, one past the newest, stamped with the current
// UTC time. REQUIRES: the caller holds the state file's lock, so that two
// changes never name the same backup.
std::string NextBackupPath(const std::string& statePath);

// Removes all but the newest kBackupGenerations. A backup that cannot be
// removed stays; this never throws, as the change it follows succeeded.
void RotateBackups(const std::string& statePath) noexcept;

// Backup for a session whose saves the library makes itself (run): before
// it, a copy of the state file under the lock (none when there is no file);
// after it, Keep keeps that copy and rotates when the file changed, and
// removes it otherwise.
class SessionBackup {
 public:
  explicit SessionBackup(const std::string& statePath);
  // Keeps or removes the copy, when Keep has not (a session that failed).
  ~SessionBackup() { Keep(); }
  SessionBackup(const SessionBackup&) = delete;
  SessionBackup& operator=(const SessionBackup&) = delete;
  // The backup kept, or empty. Decides once; later calls return empty.
  std::string Keep() noexcept;

 private:
  std::string statePath_;
  std::string backup_;
};

}  // namespace kelab
