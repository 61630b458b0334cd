#pragma once

#include <QTreeWidget>
#include <functional>
#include <unordered_map>
#include <vector>

#include "model/tree_control.h"

namespace orvenda {

// The tree view of the windows: a QTreeWidget whose drags carry the selected item and whose
// drops are decided by the form (OnDragOver / OnDragDrop), never by Qt's own item moving.
class OrvendaTreeWidget : public QTreeWidget {
  Q_OBJECT
 public:
  explicit OrvendaTreeWidget(QWidget* parent = nullptr);

  // Whether the item under the mouse (nullptr: none) takes the dragged item.
  std::function<bool(QTreeWidgetItem* target)> OnDragOver;
  std::function<void(QTreeWidgetItem* target)> OnDragDrop;

 protected:
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  void MarkTarget(QTreeWidgetItem* item);

  QTreeWidgetItem* marked_ = nullptr;
};

// TreeControl on an OrvendaTreeWidget. Items are QTreeWidgetItem pointers; a hash from data to
// items, kept in step with every add and delete, finds an item by its data in constant time.
class QtTreeControl : public TreeControl {
 public:
  static constexpr int kDataRole = Qt::UserRole;
  static constexpr int kImageRole = Qt::UserRole + 1;
  static constexpr const char* kDragFormat = "application/x-orvenda-tree-item";

  explicit QtTreeControl(OrvendaTreeWidget* widget);
  ~QtTreeControl() override;

  OrvendaTreeWidget* Widget() const { return widget_; }
  static QTreeWidgetItem* ToQt(Item item) { return static_cast<QTreeWidgetItem*>(item); }

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
  size_t IndexedItems() const { return by_data_.size(); }

 private:
  void Unindex(QTreeWidgetItem* item);
  // Top-level items added between BeginUpdate and EndUpdate wait here and join the widget
  // all at once: a big tree is then built without a model signal per item.
  void FlushPending() const;
  bool TakePending(QTreeWidgetItem* item);
  void Fire(const std::function<void()>& callback);

  OrvendaTreeWidget* widget_;
  std::unordered_multimap<int32_t, QTreeWidgetItem*> by_data_;
  bool check_boxes_ = false;
  int update_depth_ = 0;
  bool auto_scroll_ = true;
  mutable std::vector<QTreeWidgetItem*> pending_top_;
  QMetaObject::Connection connections_[3];
};

}  // namespace orvenda
