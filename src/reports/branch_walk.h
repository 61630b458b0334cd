#pragma once

#include <cstdint>
#include <string>

#include "model/table.h"

namespace orvenda {

// The risks of a branch in report order: for each node, the branches of its child nodes
// first, then its own risks, siblings in ascending Index. `parent` is a node's Index, or 0
// for the whole project.
class BranchVisitor {
 public:
  virtual ~BranchVisitor() = default;
  // A node with risks of its own, before them; `pathText` is its path text as the report
  // shows it (empty trailing captions add nothing, the top level has "").
  virtual void Object(const std::string& pathText) = 0;
  // One of those risks; the project table's cursor is on its record.
  virtual void Risk(const std::string& pathText) = 0;
  // Asked before each further row: true ends the walk there (a report's first rows).
  virtual bool Stop() const { return false; }
};

// Walks the branch with a stack of its own (deep trees must not exhaust the call stack),
// listing each node's children once, so the walk is linear in the size of the branch. A
// damaged table that loops visits each node once. Leaves the project's filter off. Returns
// false when the visitor stopped the walk before a further row, true when it went through.
bool WalkBranch(Table& project, int32_t parent, BranchVisitor& visitor);

// The path text of a record: the Text values from the top level down to the record, joined
// with " / ". Trailing empty texts add nothing; the walk stops at a record that is missing
// or already seen (a damaged chain), so it always ends.
std::string ReportPathText(Table& project, int32_t index);

// True when the window's tree shows an item for `index`: a record with that Index, or a
// missing parent that records name (a "$$" item). 0 is the whole project.
bool BranchExists(Table& project, int32_t index);

}  // namespace orvenda
