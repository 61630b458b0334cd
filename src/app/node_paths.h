#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "app/main_form.h"
#include "model/tree_control.h"

namespace orvenda {

// Finding the nodes of an object path in the main form's tree by their captions, and adding
// the missing ones through the form's add-node and store commands, as a user would. Shared
// by the imports that place risks under object paths (report pages, CSV registers).

// The caption a node gets for a path part once stored: the table keeps kTextSize characters
// without trailing blanks. A long part then finds the node it made in an earlier row.
std::string StoredCaption(const std::string& part);

// Child nodes by caption, the first in tree order winning; each parent's children are read
// from the tree once, so a row costs the same however many siblings its nodes have.
class NodesByCaption {
 public:
  explicit NodesByCaption(TreeControl& tree) : tree_(tree) {}

  TreeControl::Item Find(TreeControl::Item parent, const std::string& caption);
  void Added(TreeControl::Item parent, TreeControl::Item node);

 private:
  std::unordered_map<std::string, TreeControl::Item>& ChildrenOf(TreeControl::Item parent);

  TreeControl& tree_;
  std::unordered_map<TreeControl::Item, std::unordered_map<std::string, TreeControl::Item>>
      children_;
};

// Selects without refreshing the page: the add that follows fills it, and a node's page would
// compute the average of its whole subtree at every row.
void SelectQuietly(MainForm& form, TreeControl::Item item);

// The node of `parts` below `base` (nullptr: the top level), each part found among the
// children of the one before by its caption or added under it; `base` itself for no parts.
// Leaves the selection on the last node added, if any.
TreeControl::Item FindOrAddNodePath(MainForm& form, NodesByCaption& nodes, TreeControl::Item base,
                                    const std::vector<std::string>& parts);

}  // namespace orvenda
