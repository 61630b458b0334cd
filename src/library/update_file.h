#pragma once

#include <cstdint>
#include <filesystem>

#include "base/messages.h"
#include "base/progress.h"
#include "model/table.h"
#include "model/tree_control.h"

namespace orvenda {

// An update or exchange file ("*.akt") is an archive of one table of tree records stored as
// "Data.imp" with its memo "Data.imt" and index "Data.imx". It holds one branch: the root has
// Index 1 and UpLink 0, the others follow in copy order with Index 2, 3, ... and keep the
// library's stored (enciphered) texts.
inline constexpr const char* kUpdateTableFile = "Data.imp";
inline constexpr const char* kUpdateMemoFile = "Data.imt";
inline constexpr const char* kUpdateIndexFile = "Data.imx";

// Extracts `file` into the empty directory `dir`, opens its table in `table` and checks the
// whole branch before anyone uses it: the tree record fields, one root with Index 1 and
// UpLink 0, unique Index values, types 0 and 1 only, every other record under a node of the
// file and reachable from the root, stored texts in Base64. Anything else fails with a Czech
// message naming the file; `table` is then closed.
void ReadUpdateFile(const std::filesystem::path& file, const std::filesystem::path& dir,
                    Table& table, Progress& progress, const Messages& messages);

// The node updates go under: the first top-level node in table order, or 0 (the top level)
// for a library without one.
int32_t MergeParent(Table& library);

// Appends the checked branch of `update` to `library` as the last child of MergeParent; with a
// tree, matching items are added. Records already there are never touched. Returns the Index
// the branch root got.
int32_t MergeUpdate(Table& update, Table& library, TreeControl* tree, Progress& progress);

// Writes the branch of `library` below and including `index` as the update file `target`
// (its directory is made when missing; an existing file is replaced only by a complete one).
// The branch is numbered from 1 in copy order, ratings 0 become 1, stored texts stay as they
// are. `tempDir` takes a working directory for the exchange table meanwhile.
void WriteUpdateFile(Table& library, int32_t index, const std::filesystem::path& target,
                     const std::filesystem::path& tempDir, Progress& progress,
                     const Messages& messages);

}  // namespace orvenda
