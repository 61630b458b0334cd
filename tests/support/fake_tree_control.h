#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/tree_control.h"

namespace orvenda::test {

// An in-memory tree control for headless tests and benchmarks.
//
// - FindByData is a hash lookup; when several items carry the same data (a "$$" placeholder
//   beside a record of the same number), the first in tree order wins, as in the real control.
// - ItemAt answers from points the test set with SetItemAt.
// - Sorting uses a simple Czech-aware collation of windows-1250 text (CzechLess): letter case
//   and accents count only to break ties, "ch" sorts after "h", and č ř š ž after their base
//   letter, which is how the Czech locale orders them; punctuation before digits before
//   letters.
// - Select expands the collapsed ancestors of the item first (firing OnExpanded), so that the
//   selection is visible; deleting the selected item (or one above it) selects its next
//   sibling, else its previous sibling, else its parent. Both fire OnChange when the selection
//   changes, like the Qt adapter.
// - Expanding or collapsing changes only items with children, and fires for each change.
// - Moving an item into its own subtree throws std::logic_error (a real control would
//   corrupt itself), so a test notices.
class FakeTreeControl : public TreeControl {
 public:
  FakeTreeControl();
  ~FakeTreeControl() override;

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
  Item ItemAt(int x, int y) const override;

  void Expand(Item item, bool recurse) override;
  void Collapse(Item item, bool recurse) override;
  bool IsExpanded(Item item) const override;

  void SortChildren(Item parent, bool recurse) override;

  void SetCheckBoxes(bool on) override { checkBoxes_ = on; }
  bool Checked(Item item) const override;
  void SetChecked(Item item, bool checked) override;

  void BeginUpdate() override;
  void EndUpdate() override;
  void Repaint() override { ++repaints; }

  // --- For tests ---------------------------------------------------------------------------
  void SetItemAt(int x, int y, Item item) { points_[{x, y}] = item; }
  bool CheckBoxes() const { return checkBoxes_; }
  std::size_t Count() const { return alive_; }
  // Every item with this data, in no particular order.
  std::vector<Item> ItemsWithData(int32_t data) const;
  // The captions of the children of `parent` (nullptr: top level), in order.
  std::vector<std::string> ChildCaptions(Item parent) const;
  std::vector<int32_t> ChildData(Item parent) const;
  // The whole tree, one line per item: two blanks per level, then "caption [image] #data".
  std::string Dump() const;

  int updateDepth = 0;  // BeginUpdate minus EndUpdate calls
  int beginUpdates = 0;
  int repaints = 0;
  int changeEvents = 0;

  // The comparison SortChildren uses.
  static bool CzechLess(const std::string& a, const std::string& b);

 private:
  struct Node {
    static constexpr uint32_t kAlive = 0x7EEA11FE;
    uint32_t magic = kAlive;  // cleared when the item is deleted
    std::string caption;
    int image = 0;
    int32_t data = 0;
    Node* parent = nullptr;
    std::vector<Node*> children;
    bool expanded = false;
    bool checked = false;
    // The other items with the same data.
    Node* samePrev = nullptr;
    Node* sameNext = nullptr;
  };

  Node* N(Item item) const;
  std::vector<Node*>& Siblings(Node* node);
  void Detach(Node* node);
  bool TreeOrderLess(const Node* a, const Node* b) const;
  void SetSelected(Node* node);
  void SetExpanded(Node* node, bool expanded);

  std::vector<Node*> top_;
  // Items live here until Clear, so that a deleted item is recognised as such.
  std::deque<Node> pool_;
  std::size_t alive_ = 0;
  // The first item added with each data; the rest hang on its same-data chain.
  std::unordered_map<int32_t, Node*> byData_;
  std::map<std::pair<int, int>, Item> points_;
  Node* selected_ = nullptr;
  bool checkBoxes_ = false;
};

}  // namespace orvenda::test
