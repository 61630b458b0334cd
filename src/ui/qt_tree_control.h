#pragma once

#include <QAbstractItemModel>
#include <QColor>
#include <QTreeView>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/tree_control.h"

namespace orvenda {

// One item of the tree: kept compact, since a big project holds one per record. The caption
// stays in windows-1250 and is decoded only when the view shows it.
struct TreeNode {
  TreeNode* parent = nullptr;
  std::vector<TreeNode*> children;  // owned
  std::string caption;
  int32_t data = 0;
  int row = 0;    // position among the parent's children
  int shown = 0;  // children the view has been told about (see TreeModel)
  int8_t image = 0;
  bool checked = false;
  bool pending = false;          // in the model's list of parents with children still to announce
  TreeNode* sameData = nullptr;  // the next item with the same data (see DataIndex)
};

// Items by their data in constant time without a heap node per item: a table for the small
// non-negative values that Index numbers are, a hash for the rest, and a chain through the
// items that share a value.
class DataIndex {
 public:
  void Clear();
  void Insert(TreeNode* node);
  void Erase(TreeNode* node);
  // The first of the items with `data`; the others follow through `sameData`.
  TreeNode* Find(int32_t data) const;
  size_t Size() const { return size_; }

 private:
  TreeNode*& Head(int32_t data);
  bool Dense(int32_t data) const { return data >= 0 && static_cast<size_t>(data) < dense_.size(); }

  std::vector<TreeNode*> dense_;
  std::unordered_map<int32_t, TreeNode*> sparse_;
  size_t size_ = 0;
};

// The model of a tree view over TreeNodes. Between BeginBatch and EndBatch, children added
// below a parent the view already knows are announced all at once, one insert per parent,
// at the next Flush; children of a parent the view does not know yet need no announcement.
class TreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  explicit TreeModel(QObject* parent = nullptr);
  ~TreeModel() override;

  TreeNode* Root() { return &root_; }
  static TreeNode* NodeOf(const QModelIndex& index) {
    return static_cast<TreeNode*>(index.internalPointer());
  }
  // The index of a node the view knows; an invalid index for the root.
  QModelIndex IndexOf(const TreeNode* node) const;
  // Whether the view has been told about the node.
  bool Announced(const TreeNode* node) const;

  void Clear();
  TreeNode* Add(TreeNode* parent, std::string caption, int image, int32_t data);
  // Detaches a node and everything below it from the tree (the caller deletes it).
  void Take(TreeNode* node);
  void Move(TreeNode* node, TreeNode* parent);
  void Changed(TreeNode* node, int role);
  void Sort(TreeNode* parent, bool recurse);
  void SetCheckBoxes(bool on);
  bool CheckBoxes() const { return check_boxes_; }
  void SetMarked(TreeNode* node, const QColor& color);
  // The risk category an item shows (RatedBand, -1 for none), asked at paint time; without
  // it the items show the plain images.
  std::function<int(const TreeNode& node)> BandOf;

  void BeginBatch() { ++batch_; }
  void EndBatch();
  void Flush();

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  const TreeNode* NodeOrRoot(const QModelIndex& index) const {
    return index.isValid() ? NodeOf(index) : &root_;
  }
  void Detach(TreeNode* node);
  void Attach(TreeNode* node, TreeNode* parent);

  TreeNode root_;
  std::vector<TreeNode*> pending_;
  int batch_ = 0;
  bool check_boxes_ = false;
  TreeNode* marked_ = nullptr;
  QColor marked_color_;
};

// The tree view of the windows: drags carry the selected item and drops are decided by the
// form (OnDragOver / OnDragDrop), never by Qt's own item moving. The view owns its model.
class OrvendaTreeWidget : public QTreeView {
  Q_OBJECT
 public:
  explicit OrvendaTreeWidget(QWidget* parent = nullptr);

  TreeModel* Model() const { return model_; }
  // Whether the item under the mouse (nullptr: none) takes the dragged item.
  std::function<bool(TreeControl::Item target)> OnDragOver;
  std::function<void(TreeControl::Item target)> OnDragDrop;

  // The next paint lays the whole view out once instead of item by item.
  void Relayout() { scheduleDelayedItemsLayout(); }

 protected:
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  TreeModel* model_;
};

// TreeControl on an OrvendaTreeWidget. Items are TreeNode pointers; a hash from data to
// nodes, kept in step with every add and delete, finds an item by its data in constant time.
class QtTreeControl : public TreeControl {
 public:
  static constexpr const char* kDragFormat = "application/x-orvenda-tree-item";

  explicit QtTreeControl(OrvendaTreeWidget* widget);
  ~QtTreeControl() override;

  OrvendaTreeWidget* Widget() const { return widget_; }
  static TreeNode* ToNode(Item item) { return static_cast<TreeNode*>(item); }
  // The view's index of an item (the waiting items are put in place first).
  QModelIndex IndexOf(Item item) const;
  static Item ItemOf(const QModelIndex& index) { return TreeModel::NodeOf(index); }

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
  Item Selected() const override;
  void Select(Item item) override;
  Item ItemAt(int x, int y) const override;
  void Expand(Item item, bool recurse) override;
  void Collapse(Item item, bool recurse) override;
  bool IsExpanded(Item item) const override;
  void SortChildren(Item parent, bool recurse) override;
  void SetCheckBoxes(bool on) override;
  bool Checked(Item item) const override;
  void SetChecked(Item item, bool checked) override;
  void BeginUpdate() override;
  void EndUpdate() override;
  void Repaint() override;

  // Items known to the data hash (tests check it stays in step).
  size_t IndexedItems() const { return by_data_.Size(); }

 private:
  void Unindex(TreeNode* node);
  void SetExpandedTree(TreeNode* node, bool expanded, bool recurse, bool self);
  void Fire(const std::function<void()>& callback);

  OrvendaTreeWidget* widget_;
  TreeModel* model_;
  DataIndex by_data_;
  int update_depth_ = 0;
  bool auto_scroll_ = true;
  bool moving_ = false;
  QMetaObject::Connection connections_[3];
};

}  // namespace orvenda
