#pragma once

#include <filesystem>

#include "model/project_table.h"
#include "model/table.h"

namespace orvenda {

// The clipboard holds one branch in the table "Clipboar.dbf" inside a directory "CLR*.TMP" of
// the temporary directory. The directory is found again at the next start, so a copied branch
// outlives the run and travels between the project and the libraries.
inline constexpr const char* kClipboardTableName = "Clipboar.dbf";
inline constexpr const char* kClipboardPrefix = "CLR";

// The first directory in `tempDir` whose name matches "CLR*.TMP" (letter case aside, in name
// order), or a new one made there under a fresh unique name. Fails with orvenda::Error when
// none can be made.
std::filesystem::path FindOrMakeClipboardDir(const std::filesystem::path& tempDir);

// Points `table` at the clipboard table in `dir` and creates it empty when it is missing or
// cannot be read. Leaves the table closed.
void PrepareClipboardTable(Table& table, const std::filesystem::path& dir);

// Opens the clipboard table for a command and closes it afterwards, unless it was open before.
class ClipboardUse {
 public:
  explicit ClipboardUse(Table& table) : table_(table), wasOpen_(table.IsOpen()) {
    if (!wasOpen_) table_.Open();
  }
  ~ClipboardUse() {
    ClearFilter(table_);
    if (!wasOpen_) table_.Close();
  }
  ClipboardUse(const ClipboardUse&) = delete;
  ClipboardUse& operator=(const ClipboardUse&) = delete;

 private:
  Table& table_;
  bool wasOpen_;
};

}  // namespace orvenda
