#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/file_lock.h"
#include "base/messages.h"
#include "base/progress.h"
#include "documents/working_directory.h"
#include "model/table.h"
#include "model/tree_builder.h"
#include "model/tree_control.h"

namespace orvenda {

// Which library: the built-in one the maker ships, or the one the user fills.
enum LibraryId : int { kBuiltInLibrary = 0, kUserLibrary = 1 };

// File names of a library; matched without regard to letter case wherever they are looked up.
struct LibraryNames {
  const char* base;     // "RiskLib"
  const char* archive;  // "RiskLib.LIB"
  const char* table;    // "RiskLib.dbf" (working copy and archive member)
  const char* memo;     // "RiskLib.dbt"
  const char* index;    // "RiskLib.mdx"
};
const LibraryNames& NamesOf(int which);

// The two library tables and their files. A library lives as an archive "RiskLib.LIB" /
// "UserLib.LIB"; for a run it is unpacked into a working directory ("RZK" prefix) and the
// table opened there in record order. The per-user directory is read first and takes the
// archives when the program directory cannot be written.
class Libraries {
 public:
  Libraries();
  ~Libraries();
  Libraries(const Libraries&) = delete;
  Libraries& operator=(const Libraries&) = delete;

  Table BuildInRisksTable;  // RiskLib.dbf in WorkDir
  Table UserRisksTable;     // UserLib.dbf in WorkDir
  Table& TableOf(int which) {
    return which == kBuiltInLibrary ? BuildInRisksTable : UserRisksTable;
  }

  std::filesystem::path ProgramDir;
  std::filesystem::path UserDir;  // empty: no per-user directory
  std::filesystem::path WorkDir;  // made by OpenLibraries; empty before and after the run
  // Marks WorkDir as this run's, so that a later start removes it once this run is gone.
  WorkingDirectoryMark WorkDirMark;
  // Tells whether the program directory takes new files; tests stand in for a read-only
  // installation with it.
  std::function<bool(const std::filesystem::path&)> CanWrite;
  // A run that reads, changes and writes the libraries at once (the batch commands) holds the
  // lock of each archive from OpenLibraries to the close, so that such runs apply one after
  // another. The window holds none: it writes back only what it changed, and only over an
  // archive nobody changed since it was read.
  bool HoldLocks = false;

  // Makes the working directory in `tempDir` and opens both libraries: from the archive (the
  // per-user copy first), else from loose tables in the program directory, else empty; in the
  // last two cases the archive is written at once. A library that cannot be read opens empty
  // and its file is never overwritten. Returns one warning per such problem, for the caller to
  // show once; other failures throw.
  std::vector<std::string> OpenLibraries(const std::filesystem::path& tempDir, Progress& progress,
                                         const Messages& messages);
  // Packs the user library into its archive, when this run changed it, and removes the working
  // copies. When the archive cannot be written, the old one stays, the working directory is
  // kept and the error says where. When another run wrote the archive after this one read it,
  // this run's library goes into a file beside it and the error names that file: neither run's
  // work is lost. Does nothing when the libraries are not open.
  void CloseLibraries(Progress& progress, const Messages& messages);
  // Closes both tables and removes the working copies without writing any archive (a run that
  // only read the libraries).
  void DiscardLibraries();
  // Rewrites the archive of one library from its working copy at once (the table is closed
  // meanwhile and open again afterwards, also on failure), beside it when another run changed
  // the archive meanwhile, as CloseLibraries does. The progress window shows `text`.
  void SaveLibrary(int which, Progress& progress, const std::string& text);

  // Removes the deleted records of a library table for good: closed, opened for exclusive use,
  // packed, and open for shared use again (also when packing fails).
  void PackTable(int which);

  bool IsOpen() const { return opened_; }
  // Where the archive of a library is written; after a damaged start, a file beside the
  // damaged one whose name says it is the new library.
  const std::filesystem::path& ArchiveTarget(int which) const { return state_[which].target; }
  // The file that could not be read at start; empty when the library was read.
  const std::filesystem::path& DamagedFile(int which) const { return state_[which].damaged; }

 private:
  // What a file was when this run last read or wrote it: another run's write replaces it.
  struct FileStamp {
    bool exists = false;
    unsigned long long device = 0, inode = 0, size = 0;
    long long modified = 0;
    bool operator==(const FileStamp&) const = default;
  };
  struct State {
    std::filesystem::path target;
    std::filesystem::path damaged;
    FileStamp archive;          // the target as read or last written by this run
    unsigned long working = 0;  // checksum of the working table's files then
    FileLock lock;              // with HoldLocks
  };
  static FileStamp StampOf(const std::filesystem::path& file);
  unsigned long WorkingChecksum(int which) const;
  void Remember(int which);
  // Writes the closed working copy back as described at CloseLibraries; returns the text that
  // names the file beside when it went there, else "".
  std::string WriteBack(int which, bool onlyWhenChanged);
  void OpenOne(int which, Progress& progress, const Messages& messages,
               std::vector<std::string>& warnings);
  void WriteArchive(int which, const std::filesystem::path& archive);
  void OpenTable(int which);

  State state_[2];
  bool opened_ = false;
  bool programDirWritable_ = true;
};

// Builds one library's tree from its table in record order, filling its lookup; every node is
// collapsed and nothing selected. The tree is repainted afterwards.
void LoadLibraryTree(TreeControl& tree, Table& table, tMyNodeIndexes& lookup, Progress& progress,
                     const Messages& messages);

// Whether a file can be made in `dir` (probed with a temporary file).
bool IsDirectoryWritable(const std::filesystem::path& dir);

}  // namespace orvenda
