#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "base/messages.h"
#include "base/progress.h"
#include "model/table.h"
#include "model/tree_control.h"

namespace orvenda {

// The builder's lookup from a node's Index to its tree item (nodes and "$$" placeholders,
// never risks). Dense for the usual identifiers; a damaged table's negative or huge values go
// to a side map instead of a huge array.
class tMyNodeIndexes {
 public:
  static constexpr std::size_t kStep = 1000;
  // Identifiers at or above this never lengthen the dense array.
  static constexpr int32_t kDenseLimit = 1 << 22;

  // Empties the lookup and gives it kStep empty entries.
  void Reset();
  // Lengthens the array so that `value` is an entry: by ((value - length) div 1000) * 1000
  // + 1000 entries, in one step.
  void Ensure(int32_t value);

  TreeControl::Item Get(int32_t index) const;
  void Set(int32_t index, TreeControl::Item item);

  // Entries of the dense array.
  std::size_t Size() const { return entries_.size(); }

 private:
  std::vector<TreeControl::Item> entries_;
  std::unordered_map<int32_t, TreeControl::Item> outside_;
};

// Caption of the top-level item that stands for a parent record not reached (yet).
inline constexpr const char* kPlaceholderCaption = "$$";

// Replaces every item of `tree` by the records of `table` in its current order, filling
// `lookup`. A child met before its parent waits under a "$$" placeholder that becomes the
// parent's item when its record comes; a placeholder whose record never comes stays at the
// top level. All nodes end collapsed and nothing is selected.
void BuildTree(TreeControl& tree, Table& table, tMyNodeIndexes& lookup, Progress& progress,
               const Messages& messages);

}  // namespace orvenda
