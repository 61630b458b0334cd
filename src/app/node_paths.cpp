#include "app/node_paths.h"

#include <utility>

#include "model/project_table.h"

namespace orvenda {

std::string StoredCaption(const std::string& part) {
  std::string caption = part.substr(0, kTextSize);
  while (!caption.empty() && (caption.back() == ' ' || caption.back() == '\0')) {
    caption.pop_back();
  }
  return caption;
}

TreeControl::Item NodesByCaption::Find(TreeControl::Item parent, const std::string& caption) {
  auto& children = ChildrenOf(parent);
  const auto found = children.find(caption);
  return found == children.end() ? nullptr : found->second;
}

void NodesByCaption::Added(TreeControl::Item parent, TreeControl::Item node) {
  ChildrenOf(parent).emplace(tree_.Caption(node), node);
}

std::unordered_map<std::string, TreeControl::Item>& NodesByCaption::ChildrenOf(
    TreeControl::Item parent) {
  const auto [at, isNew] = children_.try_emplace(parent);
  if (isNew) {
    for (TreeControl::Item child : tree_.Children(parent)) {
      // Risks are no path nodes, even when their caption matches.
      if (tree_.Image(child) != TreeControl::kRisk) at->second.emplace(tree_.Caption(child), child);
    }
  }
  return at->second;
}

void SelectQuietly(MainForm& form, TreeControl::Item item) {
  const bool wasUpdating = std::exchange(form.TreeUpdating, true);
  struct Restore {
    bool& flag;
    bool value;
    ~Restore() { flag = value; }
  } restore{form.TreeUpdating, wasUpdating};
  form.TreeNT1.Select(item);
}

TreeControl::Item FindOrAddNodePath(MainForm& form, NodesByCaption& nodes, TreeControl::Item base,
                                    const std::vector<std::string>& parts) {
  TreeControl::Item parent = base;
  for (const std::string& part : parts) {
    TreeControl::Item node = nodes.Find(parent, StoredCaption(part));
    if (node == nullptr) {
      SelectQuietly(form, parent);  // nullptr: the node goes to the top level
      form.AddNodeSpeedButtonClick();
      form.TextEdit.text = part;
      form.StoreBitBtnClick();
      node = form.TreeNT1.Selected();
      nodes.Added(parent, node);
    }
    parent = node;
  }
  return parent;
}

}  // namespace orvenda
