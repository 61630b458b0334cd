#include "app/headless_tree_control.h"

#include <algorithm>
#include <stdexcept>

#include "base/cp1250.h"

namespace orvenda {

HeadlessTreeControl::HeadlessTreeControl() = default;
HeadlessTreeControl::~HeadlessTreeControl() = default;

void HeadlessTreeControl::Clear() {
  Restructured();
  const bool hadSelection = selected_ != nullptr;
  top_.clear();
  nodes_.clear();
  byData_.clear();
  selected_ = nullptr;
  if (hadSelection && OnChange) OnChange();
}

TreeControl::Item HeadlessTreeControl::Add(Item parent, const std::string& caption, int image,
                                           int32_t data) {
  Restructured();
  auto owned = std::make_unique<Node>();
  Node* node = owned.get();
  node->caption = caption;
  node->image = image;
  node->data = data;
  node->parent = N(parent);
  (parent != nullptr ? N(parent)->children : top_).push_back(node);
  nodes_.emplace(node, std::move(owned));
  byData_[data].push_back(node);
  return node;
}

std::vector<HeadlessTreeControl::Node*>& HeadlessTreeControl::Siblings(Node* node) {
  return node->parent != nullptr ? node->parent->children : top_;
}

void HeadlessTreeControl::Detach(Node* node) {
  auto& siblings = Siblings(node);
  siblings.erase(std::find(siblings.begin(), siblings.end(), node));
}

void HeadlessTreeControl::Move(Item item, Item parent) {
  Restructured();
  for (Node* at = N(parent); at != nullptr; at = at->parent) {
    if (at == N(item)) throw std::logic_error("tree item moved into its own subtree");
  }
  Detach(N(item));
  N(item)->parent = N(parent);
  (parent != nullptr ? N(parent)->children : top_).push_back(N(item));
}

void HeadlessTreeControl::Forget(Node* node) {
  for (Node* child : node->children) Forget(child);
  auto& same = byData_[node->data];
  same.erase(std::find(same.begin(), same.end(), node));
  if (same.empty()) byData_.erase(node->data);
  nodes_.erase(node);
}

void HeadlessTreeControl::Delete(Item item) {
  Restructured();
  Node* node = N(item);
  bool selectionInside = false;
  for (Node* at = selected_; at != nullptr; at = at->parent) selectionInside |= at == node;
  Node* successor = nullptr;
  if (selectionInside) {
    const auto& siblings = Siblings(node);
    const auto at = std::find(siblings.begin(), siblings.end(), node);
    successor = at + 1 != siblings.end() ? *(at + 1)
                : at != siblings.begin() ? *(at - 1)
                                         : node->parent;
  }
  Detach(node);
  Forget(node);
  if (selectionInside) {
    selected_ = successor;
    if (OnChange) OnChange();
  }
}

std::vector<std::size_t> HeadlessTreeControl::Position(const Node* node) const {
  std::vector<std::size_t> position;
  for (; node != nullptr; node = node->parent) {
    const auto& siblings = node->parent != nullptr ? node->parent->children : top_;
    position.push_back(static_cast<std::size_t>(std::find(siblings.begin(), siblings.end(), node) -
                                                siblings.begin()));
  }
  std::reverse(position.begin(), position.end());
  return position;
}

TreeControl::Item HeadlessTreeControl::FindByData(int32_t data) const {
  const auto found = byData_.find(data);
  if (found == byData_.end()) return nullptr;
  const auto& same = found->second;
  if (same.size() == 1) return same.front();
  return *std::min_element(same.begin(), same.end(), [this](const Node* a, const Node* b) {
    return Position(a) < Position(b);
  });
}

TreeControl::Item HeadlessTreeControl::Parent(Item item) const { return N(item)->parent; }

std::vector<TreeControl::Item> HeadlessTreeControl::Children(Item parent) const {
  const auto& children = parent != nullptr ? N(parent)->children : top_;
  return {children.begin(), children.end()};
}

std::string HeadlessTreeControl::Caption(Item item) const { return N(item)->caption; }
void HeadlessTreeControl::SetCaption(Item item, const std::string& caption) {
  N(item)->caption = caption;
}
int HeadlessTreeControl::Image(Item item) const { return N(item)->image; }
void HeadlessTreeControl::SetImage(Item item, int image) { N(item)->image = image; }
int32_t HeadlessTreeControl::Data(Item item) const { return N(item)->data; }

void HeadlessTreeControl::Select(Item item) {
  if (item != nullptr) {
    for (Node* at = N(item)->parent; at != nullptr; at = at->parent) {
      if (!at->expanded) SetExpanded(at, true, false);
    }
  }
  if (selected_ == N(item)) return;
  selected_ = N(item);
  if (OnChange) OnChange();
}

void HeadlessTreeControl::SetExpanded(Node* node, bool expanded, bool recurse) {
  if (!node->children.empty() && node->expanded != expanded) {
    node->expanded = expanded;
    if (expanded && OnExpanded) OnExpanded(node);
    if (!expanded && OnCollapsed) OnCollapsed(node);
  }
  if (recurse) {
    for (Node* child : node->children) SetExpanded(child, expanded, true);
  }
}

void HeadlessTreeControl::Expand(Item item, bool recurse) { SetExpanded(N(item), true, recurse); }
void HeadlessTreeControl::Collapse(Item item, bool recurse) {
  SetExpanded(N(item), false, recurse);
}
bool HeadlessTreeControl::IsExpanded(Item item) const { return N(item)->expanded; }

void HeadlessTreeControl::SortChildren(Item parent, bool recurse) {
  Restructured();
  auto& children = parent != nullptr ? N(parent)->children : top_;
  std::stable_sort(children.begin(), children.end(), [](const Node* a, const Node* b) {
    return Cp1250Upper(a->caption) < Cp1250Upper(b->caption);
  });
  if (recurse) {
    for (Node* child : children) SortChildren(child, true);
  }
}

bool HeadlessTreeControl::Checked(Item item) const { return N(item)->checked; }
void HeadlessTreeControl::SetChecked(Item item, bool checked) { N(item)->checked = checked; }

}  // namespace orvenda
