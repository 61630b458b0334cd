#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/run_lock.h"

namespace orvenda {

// What runs of the program that ended without cleaning up (a crash, a kill, a power cut) left
// in the temporary directory, recognised by their lock file, which no live run would let go.

// A marked working directory whose run is gone.
struct DeadWorkingDirectory {
  std::filesystem::path dir;
  // Held by this run while it deals with the directory, so that a second run starting at the
  // same time does not offer the same work again.
  RunLock lock;
  // The project file the working table belongs to (empty for a new project); nullopt when the
  // directory holds no project: a library working directory or an open that never finished.
  std::optional<std::filesystem::path> projectFile;
  // The last change of the working table (of the directory when there is none).
  std::filesystem::file_time_type lastChange;
};

// The dead working directories of this user in `tempDir` with the given name prefix, the most
// recently changed first. Directories of live runs and unmarked ones are not listed.
std::vector<DeadWorkingDirectory> FindDeadWorkingDirectories(const std::filesystem::path& tempDir,
                                                             const std::string& prefix = "RZK");

enum class EarlierWork {
  None,     // the project file holds the same table, or a new project was left empty
  Unsaved,  // the table holds changes that no project file has
  Damaged,  // the table cannot be opened
};

struct EarlierWorkCheck {
  EarlierWork work = EarlierWork::None;
  std::string problem;  // the table engine's text, for a damaged table
};

// Compares the working table of a dead project directory with its project file: the table and
// memo file against the members' sizes and checksums in the archive, so that a project that
// was opened and never changed does not count. A project file that is missing, damaged or of
// an older form (which counts as changed once opened) has none of the work.
EarlierWorkCheck CheckEarlierWork(const DeadWorkingDirectory& dead);

// Removes the report folders ("RPT" prefix) of dead runs from `tempDir`; returns how many.
int RemoveDeadReportFolders(const std::filesystem::path& tempDir);

// What a run without a window (a batch command) clears at its start: the working directories of
// dead runs that hold no project (library copies, batch work, an open that never finished) and
// the report folders of dead runs. Unsaved project work of a dead window run is left for the
// window to offer back. Returns how many directories went.
int RemoveDeadRunLeftovers(const std::filesystem::path& tempDir);

// Removes the archive's temporary files ("NAME.ZLB" and six letters) in `dir` that no save in
// progress holds: what interrupted saves left beside their target. Returns how many.
int RemoveStaleArchiveTemporaries(const std::filesystem::path& dir);

}  // namespace orvenda
