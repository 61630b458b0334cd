#include "app/headless_tree_control.h"

#include <algorithm>

namespace orvenda {

void HeadlessTreeControl::Clear() {
  const bool hadSelection = selected_ != nullptr;
  top_.clear();
  byData_.clear();
  pool_.clear();
  selected_ = nullptr;
  if (hadSelection && OnChange) OnChange();
}

TreeControl::Item HeadlessTreeControl::Add(Item parent, const std::string& caption, int image,
                                           int32_t data) {
  Node& node = pool_.emplace_back();
  node.caption = caption;
  node.image = image;
  node.data = data;
  node.parent = N(parent);
  Siblings(&node).push_back(&node);
  byData_[data].push_back(&node);
  return &node;
}

void HeadlessTreeControl::Detach(Node* node) {
  auto& siblings = Siblings(node);
  siblings.erase(std::find(siblings.begin(), siblings.end(), node));
}

bool HeadlessTreeControl::Within(const Node* node, const Node* ancestor) const {
  for (const Node* at = node; at != nullptr; at = at->parent) {
    if (at == ancestor) return true;
  }
  return false;
}

void HeadlessTreeControl::Move(Item item, Item parent) {
  Node* node = N(item);
  if (node == nullptr || Within(N(parent), node)) return;
  Detach(node);
  node->parent = N(parent);
  Siblings(node).push_back(node);
}

void HeadlessTreeControl::Forget(Node* node) {
  for (Node* child : node->children) Forget(child);
  node->alive = false;
  auto& same = byData_[node->data];
  same.erase(std::find(same.begin(), same.end(), node));
  if (same.empty()) byData_.erase(node->data);
}

void HeadlessTreeControl::Delete(Item item) {
  Node* node = N(item);
  if (node == nullptr) return;
  Node* next = nullptr;
  const bool selectionInside = selected_ != nullptr && Within(selected_, node);
  if (selectionInside) {
    auto& siblings = Siblings(node);
    const auto at = std::find(siblings.begin(), siblings.end(), node);
    if (at + 1 != siblings.end()) {
      next = *(at + 1);
    } else if (at != siblings.begin()) {
      next = *(at - 1);
    } else {
      next = node->parent;
    }
  }
  Detach(node);
  Forget(node);
  if (selectionInside) {
    selected_ = next;
    if (OnChange) OnChange();
  }
}

TreeControl::Item HeadlessTreeControl::FindByData(int32_t data) const {
  const auto found = byData_.find(data);
  if (found == byData_.end()) return nullptr;
  // Several items with one data are rare; the first in tree order counts, as in the window.
  const std::vector<Node*>& same = found->second;
  if (same.size() == 1) return same.front();
  const auto path = [](const Node* node) {
    std::vector<const Node*> up;
    for (; node != nullptr; node = node->parent) up.push_back(node);
    std::reverse(up.begin(), up.end());
    return up;
  };
  const auto position = [this](const Node* node) {
    const auto& siblings = node->parent ? node->parent->children : top_;
    return std::find(siblings.begin(), siblings.end(), node) - siblings.begin();
  };
  const Node* best = same.front();
  for (const Node* other : same) {
    const auto a = path(other), b = path(best);
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    if (i == a.size()) {
      best = other;  // an ancestor comes first
    } else if (i < b.size() && position(a[i]) < position(b[i])) {
      best = other;
    }
  }
  return const_cast<Node*>(best);
}

TreeControl::Item HeadlessTreeControl::Parent(Item item) const {
  return item ? N(item)->parent : nullptr;
}

std::vector<TreeControl::Item> HeadlessTreeControl::Children(Item parent) const {
  const std::vector<Node*>& children = parent ? N(parent)->children : top_;
  return std::vector<Item>(children.begin(), children.end());
}

std::string HeadlessTreeControl::Caption(Item item) const { return N(item)->caption; }
void HeadlessTreeControl::SetCaption(Item item, const std::string& caption) {
  N(item)->caption = caption;
}
int HeadlessTreeControl::Image(Item item) const { return N(item)->image; }
void HeadlessTreeControl::SetImage(Item item, int image) { N(item)->image = image; }
int32_t HeadlessTreeControl::Data(Item item) const { return N(item)->data; }

void HeadlessTreeControl::Select(Item item) {
  Node* node = N(item);
  if (node == selected_) return;
  for (Node* up = node ? node->parent : nullptr; up != nullptr; up = up->parent) {
    if (!up->expanded) {
      up->expanded = true;
      if (OnExpanded) OnExpanded(up);
    }
  }
  selected_ = node;
  if (OnChange) OnChange();
}

void HeadlessTreeControl::Expand(Item item, bool recurse) {
  Node* node = N(item);
  if (node == nullptr) return;
  if (!node->children.empty() && !node->expanded) {
    node->expanded = true;
    if (OnExpanded) OnExpanded(node);
  }
  if (recurse) {
    for (Node* child : node->children) Expand(child, true);
  }
}

void HeadlessTreeControl::Collapse(Item item, bool recurse) {
  Node* node = N(item);
  if (node == nullptr) return;
  if (!node->children.empty() && node->expanded) {
    node->expanded = false;
    if (OnCollapsed) OnCollapsed(node);
  }
  if (recurse) {
    for (Node* child : node->children) Collapse(child, true);
  }
}

bool HeadlessTreeControl::IsExpanded(Item item) const { return item && N(item)->expanded; }

void HeadlessTreeControl::SortChildren(Item parent, bool recurse) {
  std::vector<Node*>& children = parent ? N(parent)->children : top_;
  std::stable_sort(children.begin(), children.end(),
                   [](const Node* a, const Node* b) { return a->caption < b->caption; });
  if (recurse) {
    for (Node* child : children) SortChildren(child, true);
  }
}

bool HeadlessTreeControl::Checked(Item item) const { return item && N(item)->checked; }
void HeadlessTreeControl::SetChecked(Item item, bool checked) {
  if (item) N(item)->checked = checked;
}

}  // namespace orvenda
