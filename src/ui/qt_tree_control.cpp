#include "qt_tree_control.h"

#include <QCollator>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMimeData>
#include <QToolTip>
#include <algorithm>

#include "command_guard.h"
#include "qt_text.h"
#include "tree_images.h"

namespace orvenda {
namespace {

const QCollator& CzechCollator() {
  static const QCollator collator(QLocale(QLocale::Czech, QLocale::CzechRepublic));
  return collator;
}

// An item that sorts by caption in Czech collation ("ch" after "h", "č" after "c"). It keeps
// its caption, data and image in members and derives the icon from the image: a big tree
// holds one of these per record, and the item's own role list costs an allocation a role.
class TreeItem : public QTreeWidgetItem {
 public:
  TreeItem(QString caption, int32_t data, int image)
      : QTreeWidgetItem(QTreeWidgetItem::UserType),
        caption_(std::move(caption)),
        data_(data),
        image_(image) {}

  bool operator<(const QTreeWidgetItem& other) const override {
    return CzechCollator().compare(text(0), other.text(0)) < 0;
  }

  QVariant data(int column, int role) const override {
    if (column == 0) {
      switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
          return caption_;
        case QtTreeControl::kDataRole:
          return data_;
        case QtTreeControl::kImageRole:
          return image_;
        case Qt::DecorationRole:
          return image_ >= 0 && image_ < 3 ? QVariant(TreeImages()[image_]) : QVariant();
        default:
          break;
      }
    }
    return QTreeWidgetItem::data(column, role);
  }

  void setData(int column, int role, const QVariant& value) override {
    if (column == 0) {
      switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
          caption_ = value.toString();
          emitDataChanged();
          return;
        case QtTreeControl::kDataRole:
          data_ = value.toInt();  // shown nowhere
          return;
        case QtTreeControl::kImageRole:
          image_ = value.toInt();
          emitDataChanged();
          return;
        case Qt::DecorationRole:
          return;  // follows the image
        default:
          break;
      }
    }
    QTreeWidgetItem::setData(column, role, value);
  }

 private:
  QString caption_;
  int32_t data_;
  int image_;
};

void CollectSubtree(QTreeWidgetItem* item, std::vector<QTreeWidgetItem*>& out) {
  out.push_back(item);
  for (int i = 0; i < item->childCount(); ++i) CollectSubtree(item->child(i), out);
}

// Position of an item in tree order, as the child numbers from the top.
std::vector<int> TreePosition(const QTreeWidgetItem* item) {
  std::vector<int> path;
  while (item != nullptr) {
    const QTreeWidgetItem* parent = item->parent();
    const int row =
        parent != nullptr
            ? parent->indexOfChild(const_cast<QTreeWidgetItem*>(item))
            : item->treeWidget()->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
    path.push_back(row);
    item = parent;
  }
  std::reverse(path.begin(), path.end());
  return path;
}

}  // namespace

// --- OrvendaTreeWidget ------------------------------------------------------------------------

OrvendaTreeWidget::OrvendaTreeWidget(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(1);
  header()->hide();
  setRootIsDecorated(true);
  setIndentation(19);
  setUniformRowHeights(true);
  setIconSize(QSize(16, 16));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setExpandsOnDoubleClick(true);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDropIndicatorShown(false);
  setContextMenuPolicy(Qt::CustomContextMenu);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
}

void OrvendaTreeWidget::startDrag(Qt::DropActions) {
  // The dragged item is the selected one; what moves is decided by the drop handler, so the
  // drag carries no data and Qt never removes anything itself.
  if (currentItem() == nullptr) return;
  auto* drag = new QDrag(this);
  auto* mime = new QMimeData;
  mime->setData(QtTreeControl::kDragFormat, QByteArray());
  drag->setMimeData(mime);
  drag->setPixmap(currentItem()->icon(0).pixmap(16, 16));
  drag->exec(Qt::MoveAction, Qt::MoveAction);
  MarkTarget(nullptr);
}

void OrvendaTreeWidget::dragEnterEvent(QDragEnterEvent* event) {
  if (event->source() == this && event->mimeData()->hasFormat(QtTreeControl::kDragFormat)) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void OrvendaTreeWidget::dragMoveEvent(QDragMoveEvent* event) {
  if (event->source() != this || !event->mimeData()->hasFormat(QtTreeControl::kDragFormat)) {
    event->ignore();
    return;
  }
  // The base class scrolls near the edges; the answer is ours.
  QTreeWidget::dragMoveEvent(event);
  QTreeWidgetItem* target = itemAt(event->position().toPoint());
  bool accept = false;
  if (OnDragOver) RunCommand([&] { accept = OnDragOver(target); });
  MarkTarget(accept ? target : nullptr);
  if (accept) {
    event->setDropAction(Qt::MoveAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void OrvendaTreeWidget::dragLeaveEvent(QDragLeaveEvent* event) {
  MarkTarget(nullptr);
  QTreeWidget::dragLeaveEvent(event);
}

void OrvendaTreeWidget::dropEvent(QDropEvent* event) {
  MarkTarget(nullptr);
  if (event->source() != this || !event->mimeData()->hasFormat(QtTreeControl::kDragFormat)) {
    event->ignore();
    return;
  }
  QTreeWidgetItem* target = itemAt(event->position().toPoint());
  bool accept = false;
  if (OnDragOver) RunCommand([&] { accept = OnDragOver(target); });
  if (accept && OnDragDrop) RunCommand([&] { OnDragDrop(target); });
  // Reported as a copy so that no one removes the "moved" rows a second time.
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void OrvendaTreeWidget::MarkTarget(QTreeWidgetItem* item) {
  if (item == marked_) return;
  if (marked_ != nullptr) marked_->setData(0, Qt::BackgroundRole, QVariant());
  marked_ = item;
  if (marked_ != nullptr) marked_->setBackground(0, palette().highlight().color().lighter(170));
}

bool OrvendaTreeWidget::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    // A caption cut off by the view's edge shows whole as a tooltip.
    auto* help = static_cast<QHelpEvent*>(event);
    QTreeWidgetItem* item = itemAt(help->pos());
    if (item != nullptr) {
      const QRect rect = visualItemRect(item);
      const int textRight =
          rect.left() + iconSize().width() + 8 + fontMetrics().horizontalAdvance(item->text(0));
      if (textRight > viewport()->width()) {
        QToolTip::showText(help->globalPos(), item->text(0), viewport(), rect);
        return true;
      }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  return QTreeWidget::viewportEvent(event);
}

void OrvendaTreeWidget::focusInEvent(QFocusEvent* event) {
  if (currentItem() != nullptr) {
    QTreeWidget::focusInEvent(event);
    return;
  }
  // A view without a current item makes its first item current when it gets the focus,
  // without selecting it; the page would then show a record that the tree does not show as
  // selected. Focus alone selects nothing here.
  {
    const QSignalBlocker blocker(this);
    QTreeWidget::focusInEvent(event);
    if (currentItem() != nullptr) selectionModel()->clearCurrentIndex();
  }
  viewport()->update();
}

// --- QtTreeControl ----------------------------------------------------------------------------

QtTreeControl::QtTreeControl(OrvendaTreeWidget* widget) : widget_(widget) {
  connections_[0] = QObject::connect(widget_, &QTreeWidget::currentItemChanged, [this] {
    if (OnChange) Fire(OnChange);
  });
  connections_[1] =
      QObject::connect(widget_, &QTreeWidget::itemExpanded, [this](QTreeWidgetItem* item) {
        // The view's own keys ("*") open childless items too; a node without children
        // stays closed, as it does when the program expands.
        if (item->childCount() == 0) {
          const QSignalBlocker blocker(widget_);
          item->setExpanded(false);
          return;
        }
        if (OnExpanded) Fire([&] { OnExpanded(item); });
      });
  connections_[2] =
      QObject::connect(widget_, &QTreeWidget::itemCollapsed, [this](QTreeWidgetItem* item) {
        if (OnCollapsed) Fire([&] { OnCollapsed(item); });
      });
}

QtTreeControl::~QtTreeControl() {
  qDeleteAll(pending_top_);
  for (auto& connection : connections_) QObject::disconnect(connection);
}

void QtTreeControl::Fire(const std::function<void()>& callback) { RunCommand(callback); }

void QtTreeControl::Clear() {
  by_data_.clear();
  qDeleteAll(pending_top_);
  pending_top_.clear();
  widget_->clear();
}

void QtTreeControl::FlushPending() const {
  if (pending_top_.empty()) return;
  QList<QTreeWidgetItem*> items(pending_top_.begin(), pending_top_.end());
  pending_top_.clear();
  widget_->addTopLevelItems(items);
}

bool QtTreeControl::TakePending(QTreeWidgetItem* item) {
  const auto it = std::find(pending_top_.begin(), pending_top_.end(), item);
  if (it == pending_top_.end()) return false;
  pending_top_.erase(it);
  return true;
}

TreeControl::Item QtTreeControl::Add(Item parent, const std::string& caption, int image,
                                     int32_t data) {
  auto* item = new TreeItem(FromCp1250(caption), data, image);
  if (check_boxes_) item->setCheckState(0, Qt::Unchecked);
  if (parent != nullptr) {
    ToQt(parent)->addChild(item);
  } else if (update_depth_ > 0) {
    pending_top_.push_back(item);
  } else {
    widget_->addTopLevelItem(item);
  }
  by_data_.emplace(data, item);
  return item;
}

void QtTreeControl::Move(Item item, Item parent) {
  QTreeWidgetItem* moving = ToQt(item);
  if (moving == nullptr || moving == parent) return;
  // Keep the selection on the moved item; Qt would move it away while the item is out.
  const bool wasCurrent = widget_->currentItem() == moving;
  const bool wasBlocked = widget_->blockSignals(true);
  QTreeWidgetItem* from = moving->parent();
  if (from != nullptr) {
    from->takeChild(from->indexOfChild(moving));
  } else if (!TakePending(moving)) {
    widget_->takeTopLevelItem(widget_->indexOfTopLevelItem(moving));
  }
  if (parent != nullptr) {
    ToQt(parent)->addChild(moving);
  } else if (update_depth_ > 0) {
    pending_top_.push_back(moving);
  } else {
    widget_->addTopLevelItem(moving);
  }
  if (wasCurrent) widget_->setCurrentItem(moving);
  widget_->blockSignals(wasBlocked);
}

void QtTreeControl::Unindex(QTreeWidgetItem* item) {
  auto [first, last] = by_data_.equal_range(item->data(0, kDataRole).toInt());
  for (auto it = first; it != last; ++it) {
    if (it->second == item) {
      by_data_.erase(it);
      return;
    }
  }
}

void QtTreeControl::Delete(Item item) {
  QTreeWidgetItem* doomed = ToQt(item);
  if (doomed == nullptr) return;
  std::vector<QTreeWidgetItem*> subtree;
  CollectSubtree(doomed, subtree);
  for (QTreeWidgetItem* each : subtree) Unindex(each);
  TakePending(doomed);
  delete doomed;  // takes its children with it and leaves the view
}

TreeControl::Item QtTreeControl::FindByData(int32_t data) const {
  auto [first, last] = by_data_.equal_range(data);
  if (first == last) return nullptr;
  QTreeWidgetItem* best = first->second;
  if (std::next(first) == last) return best;
  FlushPending();  // positions are asked of the widget
  // Several items carry the same data (a damaged table): the first in tree order wins.
  std::vector<int> bestPosition = TreePosition(best);
  for (auto it = std::next(first); it != last; ++it) {
    std::vector<int> position = TreePosition(it->second);
    if (position < bestPosition) {
      best = it->second;
      bestPosition = std::move(position);
    }
  }
  return best;
}

TreeControl::Item QtTreeControl::Parent(Item item) const {
  return item != nullptr ? ToQt(item)->parent() : nullptr;
}

std::vector<TreeControl::Item> QtTreeControl::Children(Item parent) const {
  QTreeWidgetItem* from = parent != nullptr ? ToQt(parent) : widget_->invisibleRootItem();
  std::vector<Item> children;
  children.reserve(from->childCount() + (parent == nullptr ? pending_top_.size() : 0));
  for (int i = 0; i < from->childCount(); ++i) children.push_back(from->child(i));
  if (parent == nullptr) children.insert(children.end(), pending_top_.begin(), pending_top_.end());
  return children;
}

std::string QtTreeControl::Caption(Item item) const { return ToCp1250(ToQt(item)->text(0)); }

void QtTreeControl::SetCaption(Item item, const std::string& caption) {
  ToQt(item)->setText(0, FromCp1250(caption));
}

int QtTreeControl::Image(Item item) const { return ToQt(item)->data(0, kImageRole).toInt(); }

void QtTreeControl::SetImage(Item item, int image) {
  QTreeWidgetItem* target = ToQt(item);
  if (target->data(0, kImageRole).toInt() == image) return;
  target->setData(0, kImageRole, image);
  target->setIcon(0, image >= 0 && image < 3 ? TreeImages()[image] : QIcon());
}

int32_t QtTreeControl::Data(Item item) const { return ToQt(item)->data(0, kDataRole).toInt(); }

TreeControl::Item QtTreeControl::Selected() const { return widget_->currentItem(); }

void QtTreeControl::Select(Item item) {
  FlushPending();
  if (item == nullptr) {
    widget_->clearSelection();
    widget_->setCurrentItem(nullptr);
    return;
  }
  widget_->setCurrentItem(ToQt(item));
  // Between BeginUpdate and EndUpdate the view is laid out once, at the end: scrolling to
  // every item of a long run of adds would lay out the whole tree each time.
  if (update_depth_ == 0) widget_->scrollToItem(ToQt(item));
}

TreeControl::Item QtTreeControl::ItemAt(int x, int y) const {
  FlushPending();
  return widget_->itemAt(QPoint(x, y));
}

namespace {

// Expanding fires itemExpanded for the items that change; items without children stay
// closed, as a tree view does with them.
void SetExpandedTree(QTreeWidgetItem* item, bool expanded, bool recurse, bool self) {
  if (self && item->childCount() > 0) item->setExpanded(expanded);
  if (!recurse) return;
  for (int i = 0; i < item->childCount(); ++i)
    SetExpandedTree(item->child(i), expanded, true, true);
}

}  // namespace

void QtTreeControl::Expand(Item item, bool recurse) {
  FlushPending();
  if (item == nullptr) {
    SetExpandedTree(widget_->invisibleRootItem(), true, true, false);
  } else {
    SetExpandedTree(ToQt(item), true, recurse, true);
  }
}

void QtTreeControl::Collapse(Item item, bool recurse) {
  FlushPending();
  if (item == nullptr) {
    SetExpandedTree(widget_->invisibleRootItem(), false, true, false);
  } else {
    SetExpandedTree(ToQt(item), false, recurse, true);
  }
}

bool QtTreeControl::IsExpanded(Item item) const {
  return item != nullptr && ToQt(item)->isExpanded();
}

namespace {

void SortTree(QTreeWidgetItem* parent, bool recurse) {
  parent->sortChildren(0, Qt::AscendingOrder);
  if (!recurse) return;
  for (int i = 0; i < parent->childCount(); ++i) {
    if (parent->child(i)->childCount() > 0) {
      SortTree(parent->child(i), true);
    }
  }
}

}  // namespace

void QtTreeControl::SortChildren(Item parent, bool recurse) {
  FlushPending();
  SortTree(parent != nullptr ? ToQt(parent) : widget_->invisibleRootItem(), recurse);
}

void QtTreeControl::SetCheckBoxes(bool on) {
  if (check_boxes_ == on) return;
  check_boxes_ = on;
  for (const auto& [data, item] : by_data_) {
    if (on) {
      item->setCheckState(0, Qt::Unchecked);
    } else {
      item->setData(0, Qt::CheckStateRole, QVariant());
    }
  }
}

bool QtTreeControl::Checked(Item item) const {
  return check_boxes_ && ToQt(item)->checkState(0) == Qt::Checked;
}

void QtTreeControl::SetChecked(Item item, bool checked) {
  if (!check_boxes_) return;
  ToQt(item)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

void QtTreeControl::BeginUpdate() {
  if (update_depth_++ != 0) return;
  widget_->setUpdatesEnabled(false);
  // A new current item scrolls the view to it otherwise.
  auto_scroll_ = widget_->hasAutoScroll();
  widget_->setAutoScroll(false);
}

void QtTreeControl::EndUpdate() {
  if (update_depth_ == 0) return;
  if (--update_depth_ != 0) return;
  FlushPending();
  widget_->setAutoScroll(auto_scroll_);
  widget_->setUpdatesEnabled(true);
  if (QTreeWidgetItem* current = widget_->currentItem()) widget_->scrollToItem(current);
}

void QtTreeControl::Repaint() { widget_->viewport()->update(); }

}  // namespace orvenda
