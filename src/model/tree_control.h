#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvenda {

// The tree-view control the forms work through: the Qt window supplies a model and view adapter,
// tests an in-memory tree. Items are opaque handles owned by the control; nullptr stands for
// "no item" and, as a parent, for the top level. Captions are windows-1250 text.
class TreeControl {
 public:
  using Item = void*;

  // Images of the three kinds of item; the image and the selected image are always equal.
  static constexpr int kCollapsedNode = 0;
  static constexpr int kExpandedNode = 1;
  static constexpr int kRisk = 2;

  virtual ~TreeControl() = default;

  virtual void Clear() = 0;
  // Adds an item as the last child of `parent` (the last top-level item for nullptr).
  virtual Item Add(Item parent, const std::string& caption, int image, int32_t data) = 0;
  // Moves an item with its subtree to be the last child of `parent` (top level for nullptr).
  virtual void Move(Item item, Item parent) = 0;
  // Deletes an item with its subtree. When the selection was inside it, the next sibling is
  // selected, else the previous sibling, else the parent (nothing at the top level), and
  // OnChange fires.
  virtual void Delete(Item item) = 0;
  // The first item (in tree order) whose data equals `data`, or nullptr; constant time.
  virtual Item FindByData(int32_t data) const = 0;

  virtual Item Parent(Item item) const = 0;
  virtual std::vector<Item> Children(Item parent) const = 0;  // nullptr: top-level items

  virtual std::string Caption(Item item) const = 0;
  virtual void SetCaption(Item item, const std::string& caption) = 0;
  virtual int Image(Item item) const = 0;
  virtual void SetImage(Item item, int image) = 0;
  virtual int32_t Data(Item item) const = 0;

  // Selection. Select fires OnChange when the selection changes; selecting an item first
  // expands its collapsed ancestors (OnExpanded fires for each) so that it can be seen.
  // Select(nullptr) clears the selection. Moving the selected item keeps it selected.
  virtual Item Selected() const = 0;
  virtual void Select(Item item) = 0;
  // The item at a point of the control, or nullptr.
  virtual Item ItemAt(int x, int y) const = 0;

  // Expanding and collapsing fire OnExpanded / OnCollapsed for every item that changes.
  virtual void Expand(Item item, bool recurse) = 0;
  virtual void Collapse(Item item, bool recurse) = 0;
  virtual bool IsExpanded(Item item) const = 0;

  // Sorts the children of `parent` (nullptr: the top-level items) by caption with the
  // user's locale collation; with `recurse`, every level below too.
  virtual void SortChildren(Item parent, bool recurse) = 0;

  // Check boxes (the library window's selection mode).
  virtual void SetCheckBoxes(bool on) = 0;
  virtual bool Checked(Item item) const = 0;
  virtual void SetChecked(Item item, bool checked) = 0;

  // Redrawing is suspended between BeginUpdate and EndUpdate.
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void Repaint() = 0;

  std::function<void()> OnChange;
  std::function<void(Item)> OnExpanded;
  std::function<void(Item)> OnCollapsed;

  // Counts the changes of the items and their order (Clear, Add, Move, Delete, SortChildren),
  // so that a list of the items in tree order is known to be right while the count stays.
  uint64_t Revision() const { return revision_; }

 protected:
  void Restructured() { ++revision_; }

 private:
  uint64_t revision_ = 0;
};

// Whether `item` is `ancestor` or lies below it.
inline bool IsWithin(const TreeControl& tree, TreeControl::Item item, TreeControl::Item ancestor) {
  for (TreeControl::Item at = item; at != nullptr; at = tree.Parent(at)) {
    if (at == ancestor) return true;
  }
  return false;
}

// Suspends redrawing for a scope, also when the command fails.
class TreeUpdateScope {
 public:
  explicit TreeUpdateScope(TreeControl& tree) : tree_(tree) { tree_.BeginUpdate(); }
  ~TreeUpdateScope() { tree_.EndUpdate(); }
  TreeUpdateScope(const TreeUpdateScope&) = delete;
  TreeUpdateScope& operator=(const TreeUpdateScope&) = delete;

 private:
  TreeControl& tree_;
};

}  // namespace orvenda
