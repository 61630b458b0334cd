#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/tree_control.h"

namespace orvenda {

// The tree control of batch commands, which run the window commands without a window: items
// in memory, found by their data in constant time. Sorting compares bytes.
class HeadlessTreeControl : public TreeControl {
 public:
  void Clear() override;
  Item Add(Item parent, const std::string& caption, int image, int32_t data) override;
  void Move(Item item, Item parent) override;
  void Delete(Item item) override;
  Item FindByData(int32_t data) const override;
  Item Parent(Item item) const override;
  std::vector<Item> Children(Item parent) const override;
  std::string Caption(Item item) const override;
  void SetCaption(Item item, const std::string& caption) override;
  int Image(Item item) const override;
  void SetImage(Item item, int image) override;
  int32_t Data(Item item) const override;
  Item Selected() const override { return selected_; }
  void Select(Item item) override;
  Item ItemAt(int, int) const override { return nullptr; }
  void Expand(Item item, bool recurse) override;
  void Collapse(Item item, bool recurse) override;
  bool IsExpanded(Item item) const override;
  void SortChildren(Item parent, bool recurse) override;
  void SetCheckBoxes(bool) override {}
  bool Checked(Item item) const override;
  void SetChecked(Item item, bool checked) override;
  void BeginUpdate() override {}
  void EndUpdate() override {}
  void Repaint() override {}

 private:
  struct Node {
    std::string caption;
    int image = 0;
    int32_t data = 0;
    Node* parent = nullptr;
    std::vector<Node*> children;
    bool expanded = false;
    bool checked = false;
    bool alive = true;
  };
  static Node* N(Item item) { return static_cast<Node*>(item); }
  std::vector<Node*>& Siblings(Node* node) { return node->parent ? node->parent->children : top_; }
  void Detach(Node* node);
  void Forget(Node* node);
  bool Within(const Node* node, const Node* ancestor) const;

  std::deque<Node> pool_;
  std::vector<Node*> top_;
  // The items with each data, the first added first.
  std::unordered_map<int32_t, std::vector<Node*>> byData_;
  Node* selected_ = nullptr;
};

}  // namespace orvenda
