#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/dbf_file.h"
#include "model/table.h"

namespace orvenda::dbf {

// The files of one table on disk: names of the memo and index files, case-insensitive lookup,
// replacing a file safely and renaming a table's files together.

// The memo and production index file of a table: .dbf goes with .dbt and .mdx; any other
// extension keeps its first letters and ends in T or X (.RZK with .RZT and .RZX).
std::filesystem::path MemoPath(const std::filesystem::path& dbf);
std::filesystem::path IndexPath(const std::filesystem::path& dbf);

// The existing file whose name matches `file` without regard to letter case (the exact name
// first); `file` itself when there is none. Tables come from systems that ignore case.
std::filesystem::path FindOnDisk(const std::filesystem::path& file);

// A new version of `file` written to a temporary file in the same directory, flushed and
// renamed over `file` by Commit, so that a crash leaves either the old or the new file whole.
// Without Commit the temporary file is removed.
class ReplacementFile {
 public:
  explicit ReplacementFile(const std::filesystem::path& file);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  void Write(std::string_view bytes);
  void Commit();

 private:
  void Flush();
  [[noreturn]] void Fail(int err);
  std::filesystem::path file_, temp_;
  int fd_ = -1;
  std::string buffer_;
};

void ReplaceFile(const std::filesystem::path& file, const std::string& bytes);

// Removes a memo or index file left from an earlier table of the same name (any letter case).
void RemoveCompanion(const std::filesystem::path& file);

// Renames a table's files (those that exist) to the names that go with `to`.
void RenameTable(const std::filesystem::path& from, const std::filesystem::path& to);

struct IndexKey {
  int32_t number = 0;
  std::string text;
  uint32_t record = 0;  // 1-based
};

struct IndexTag {
  IndexDef def;
  const Field* field = nullptr;
  bool numeric = true;
  std::vector<IndexKey> keys;
};

// Writes the production index of a table with these tags (replacing the file safely).
void WriteIndex(const std::filesystem::path& indexFile, const std::filesystem::path& dbf,
                const std::vector<IndexTag>& tags);

}  // namespace orvenda::dbf
