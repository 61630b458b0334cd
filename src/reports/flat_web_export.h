#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "base/messages.h"
#include "model/table.h"

namespace orvenda {

// The nested list of the nodes below a parent: HTML lines (each ending in CR LF) and the
// number of risks in the whole branch.
struct WebBranch {
  std::string text;
  int count = 0;
};

// Nodes with child nodes are blue with their children in a nested list, the others black
// bold; each carries its branch's risk count in brackets. Entries are indented by `indent`
// blanks, each deeper level by four more. Leaves the filter off.
WebBranch ExportDataWeb(Table& project, int32_t parent, int indent);

// The flat page of the whole project, replacing `file` only when complete. A failed write
// throws orvenda::Error naming the file.
void WriteFlatWebPage(Table& project, const Messages& messages, const std::filesystem::path& file);

}  // namespace orvenda
