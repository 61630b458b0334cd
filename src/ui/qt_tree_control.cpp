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

void DeleteTree(TreeNode* node) {
  for (TreeNode* child : node->children) DeleteTree(child);
  delete node;
}

void CollectSubtree(TreeNode* node, std::vector<TreeNode*>& out) {
  out.push_back(node);
  for (TreeNode* child : node->children) CollectSubtree(child, out);
}

void Renumber(TreeNode* parent, size_t from) {
  for (size_t i = from; i < parent->children.size(); ++i)
    parent->children[i]->row = static_cast<int>(i);
}

// Position of a node in tree order, as the child numbers from the top.
std::vector<int> TreePosition(const TreeNode* node) {
  std::vector<int> path;
  for (; node->parent != nullptr; node = node->parent) path.push_back(node->row);
  std::reverse(path.begin(), path.end());
  return path;
}

void SortTree(TreeNode* parent, bool recurse) {
  if (parent->children.size() > 1) {
    std::vector<std::pair<QString, TreeNode*>> keyed;
    keyed.reserve(parent->children.size());
    for (TreeNode* child : parent->children) keyed.emplace_back(FromCp1250(child->caption), child);
    const QCollator& collator = CzechCollator();
    std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
      return collator.compare(a.first, b.first) < 0;
    });
    for (size_t i = 0; i < keyed.size(); ++i) parent->children[i] = keyed[i].second;
    Renumber(parent, 0);
  }
  if (!recurse) return;
  for (TreeNode* child : parent->children) {
    if (!child->children.empty()) SortTree(child, true);
  }
}

}  // namespace

// --- TreeModel --------------------------------------------------------------------------------

TreeModel::TreeModel(QObject* parent) : QAbstractItemModel(parent) {}

TreeModel::~TreeModel() {
  for (TreeNode* child : root_.children) DeleteTree(child);
}

QModelIndex TreeModel::IndexOf(const TreeNode* node) const {
  if (node == nullptr || node == &root_) return {};
  return createIndex(node->row, 0, const_cast<TreeNode*>(node));
}

bool TreeModel::Announced(const TreeNode* node) const {
  for (; node != &root_; node = node->parent) {
    if (node->parent == nullptr || node->row >= node->parent->shown) return false;
  }
  return true;
}

void TreeModel::Clear() {
  beginResetModel();
  for (TreeNode* child : root_.children) DeleteTree(child);
  root_.children.clear();
  root_.shown = 0;
  root_.pending = false;
  pending_.clear();
  marked_ = nullptr;
  endResetModel();
}

void TreeModel::Attach(TreeNode* node, TreeNode* parent) {
  node->parent = parent;
  node->row = static_cast<int>(parent->children.size());
  if (!Announced(parent)) {
    // Comes with its parent when the view learns of that.
    parent->children.push_back(node);
    parent->shown = static_cast<int>(parent->children.size());
    return;
  }
  if (batch_ > 0) {
    parent->children.push_back(node);
    if (!parent->pending) {
      parent->pending = true;
      pending_.push_back(parent);
    }
    return;
  }
  if (parent->shown < node->row) Flush();
  beginInsertRows(IndexOf(parent), node->row, node->row);
  parent->children.push_back(node);
  parent->shown = static_cast<int>(parent->children.size());
  endInsertRows();
}

void TreeModel::Detach(TreeNode* node) {
  TreeNode* parent = node->parent;
  const int row = node->row;
  const bool known = Announced(node);
  if (known) beginRemoveRows(IndexOf(parent), row, row);
  parent->children.erase(parent->children.begin() + row);
  Renumber(parent, row);
  if (known || !Announced(parent)) --parent->shown;
  if (known) endRemoveRows();
  node->parent = nullptr;
}

TreeNode* TreeModel::Add(TreeNode* parent, std::string caption, int image, int32_t data) {
  auto* node = new TreeNode;
  node->caption = std::move(caption);
  node->data = data;
  node->image = static_cast<int8_t>(image);
  Attach(node, parent);
  return node;
}

void TreeModel::Take(TreeNode* node) {
  // A parent waiting to be announced may lie below it.
  if (Announced(node)) Flush();
  marked_ = nullptr;
  Detach(node);
}

void TreeModel::Move(TreeNode* node, TreeNode* parent) {
  for (const TreeNode* p = parent; p != nullptr; p = p->parent) {
    if (p == node) return;  // not below itself
  }
  if (node->parent == parent && node->row + 1 == static_cast<int>(parent->children.size()))
    return;  // already the last child
  if (!Announced(node)) {
    Detach(node);
    Attach(node, parent);
    return;
  }
  Flush();  // now every node is announced
  TreeNode* from = node->parent;
  const int row = node->row;
  if (!beginMoveRows(IndexOf(from), row, row, IndexOf(parent),
                     static_cast<int>(parent->children.size())))
    return;
  from->children.erase(from->children.begin() + row);
  Renumber(from, row);
  --from->shown;
  node->parent = parent;
  node->row = static_cast<int>(parent->children.size());
  parent->children.push_back(node);
  ++parent->shown;
  endMoveRows();
}

void TreeModel::Changed(TreeNode* node, int role) {
  if (node == nullptr || node == &root_ || !Announced(node)) return;
  const QModelIndex index = IndexOf(node);
  emit dataChanged(index, index, {role});
}

void TreeModel::Sort(TreeNode* parent, bool recurse) {
  Flush();
  emit layoutAboutToBeChanged();
  const QModelIndexList before = persistentIndexList();
  SortTree(parent, recurse);
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& index : before) {
    TreeNode* node = NodeOf(index);
    after.push_back(createIndex(node->row, index.column(), node));
  }
  changePersistentIndexList(before, after);
  emit layoutChanged();
}

void TreeModel::SetCheckBoxes(bool on) {
  check_boxes_ = on;
  // Boxes come unchecked.
  std::vector<TreeNode*> stack(root_.children.begin(), root_.children.end());
  while (!stack.empty()) {
    TreeNode* node = stack.back();
    stack.pop_back();
    node->checked = false;
    stack.insert(stack.end(), node->children.begin(), node->children.end());
  }
}

void TreeModel::SetMarked(TreeNode* node, const QColor& color) {
  if (node == marked_) return;
  TreeNode* old = marked_;
  marked_ = node;
  marked_color_ = color;
  Changed(old, Qt::BackgroundRole);
  Changed(node, Qt::BackgroundRole);
}

void TreeModel::EndBatch() {
  if (batch_ > 0 && --batch_ == 0) Flush();
}

void TreeModel::Flush() {
  if (pending_.empty()) return;
  std::vector<TreeNode*> parents;
  parents.swap(pending_);
  for (TreeNode* parent : parents) {
    parent->pending = false;
    const int count = static_cast<int>(parent->children.size());
    if (parent->shown >= count) continue;
    beginInsertRows(IndexOf(parent), parent->shown, count - 1);
    parent->shown = count;
    endInsertRows();
  }
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const {
  const TreeNode* node = NodeOrRoot(parent);
  if (column != 0 || row < 0 || row >= node->shown) return {};
  return createIndex(row, 0, node->children[row]);
}

QModelIndex TreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  return IndexOf(NodeOf(child)->parent);
}

int TreeModel::rowCount(const QModelIndex& parent) const {
  return parent.column() > 0 ? 0 : NodeOrRoot(parent)->shown;
}

int TreeModel::columnCount(const QModelIndex&) const { return 1; }

bool TreeModel::hasChildren(const QModelIndex& parent) const {
  return parent.column() <= 0 && NodeOrRoot(parent)->shown > 0;
}

QVariant TreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const TreeNode* node = NodeOf(index);
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return FromCp1250(node->caption);
    case Qt::DecorationRole: {
      if (node->image < 0 || node->image >= 3) return {};
      const int band = BandOf ? BandOf(*node) : -1;
      return band >= 0 ? QVariant(BandTreeImage(node->image, band))
                       : QVariant(TreeImages()[node->image]);
    }
    case Qt::CheckStateRole:
      return check_boxes_ ? QVariant(node->checked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::BackgroundRole:
      return node == marked_ ? QVariant(marked_color_) : QVariant();
    default:
      return {};
  }
}

bool TreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::CheckStateRole || !check_boxes_) return false;
  NodeOf(index)->checked = value.toInt() == Qt::Checked;
  emit dataChanged(index, index, {role});
  return true;
}

Qt::ItemFlags TreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  Qt::ItemFlags flags =
      Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
  if (check_boxes_) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

// --- OrvendaTreeWidget ------------------------------------------------------------------------

OrvendaTreeWidget::OrvendaTreeWidget(QWidget* parent)
    : QTreeView(parent), model_(new TreeModel(this)) {
  setModel(model_);
  setHeaderHidden(true);
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
  const QModelIndex current = currentIndex();
  if (!current.isValid()) return;
  auto* drag = new QDrag(this);
  auto* mime = new QMimeData;
  mime->setData(QtTreeControl::kDragFormat, QByteArray());
  drag->setMimeData(mime);
  drag->setPixmap(qvariant_cast<QIcon>(current.data(Qt::DecorationRole)).pixmap(16, 16));
  drag->exec(Qt::MoveAction, Qt::MoveAction);
  model_->SetMarked(nullptr, QColor());
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
  QTreeView::dragMoveEvent(event);
  TreeNode* target = TreeModel::NodeOf(indexAt(event->position().toPoint()));
  bool accept = false;
  if (OnDragOver) RunCommand([&] { accept = OnDragOver(target); });
  model_->SetMarked(accept ? target : nullptr, palette().highlight().color().lighter(170));
  if (accept) {
    event->setDropAction(Qt::MoveAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void OrvendaTreeWidget::dragLeaveEvent(QDragLeaveEvent* event) {
  model_->SetMarked(nullptr, QColor());
  QTreeView::dragLeaveEvent(event);
}

void OrvendaTreeWidget::dropEvent(QDropEvent* event) {
  model_->SetMarked(nullptr, QColor());
  if (event->source() != this || !event->mimeData()->hasFormat(QtTreeControl::kDragFormat)) {
    event->ignore();
    return;
  }
  TreeNode* target = TreeModel::NodeOf(indexAt(event->position().toPoint()));
  bool accept = false;
  if (OnDragOver) RunCommand([&] { accept = OnDragOver(target); });
  if (accept && OnDragDrop) RunCommand([&] { OnDragDrop(target); });
  // Reported as a copy so that no one removes the "moved" rows a second time.
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

bool OrvendaTreeWidget::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    // A caption cut off by the view's edge shows whole as a tooltip.
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    if (index.isValid()) {
      const QRect rect = visualRect(index);
      const QString text = index.data().toString();
      const int textRight =
          rect.left() + iconSize().width() + 8 + fontMetrics().horizontalAdvance(text);
      if (textRight > viewport()->width()) {
        QToolTip::showText(help->globalPos(), text, viewport(), rect);
        return true;
      }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  return QTreeView::viewportEvent(event);
}

void OrvendaTreeWidget::focusInEvent(QFocusEvent* event) {
  if (currentIndex().isValid()) {
    QTreeView::focusInEvent(event);
    return;
  }
  // A view without a current item makes its first item current when it gets the focus,
  // without selecting it; the page would then show a record that the tree does not show as
  // selected. Focus alone selects nothing here.
  {
    const QSignalBlocker blocker(selectionModel());
    QTreeView::focusInEvent(event);
    if (currentIndex().isValid()) selectionModel()->clearCurrentIndex();
  }
  viewport()->update();
}

// --- QtTreeControl ----------------------------------------------------------------------------

QtTreeControl::QtTreeControl(OrvendaTreeWidget* widget) : widget_(widget), model_(widget->Model()) {
  connections_[0] =
      QObject::connect(widget_->selectionModel(), &QItemSelectionModel::currentChanged, [this] {
        if (!moving_ && OnChange) Fire(OnChange);
      });
  connections_[1] =
      QObject::connect(widget_, &QTreeView::expanded, [this](const QModelIndex& index) {
        // The view's own keys ("*") open childless items too; a node without children
        // stays closed, as it does when the program expands.
        if (model_->rowCount(index) == 0) {
          const QSignalBlocker blocker(widget_);
          widget_->collapse(index);
          return;
        }
        if (OnExpanded) Fire([&] { OnExpanded(ItemOf(index)); });
      });
  connections_[2] =
      QObject::connect(widget_, &QTreeView::collapsed, [this](const QModelIndex& index) {
        if (OnCollapsed) Fire([&] { OnCollapsed(ItemOf(index)); });
      });
}

QtTreeControl::~QtTreeControl() {
  for (auto& connection : connections_) QObject::disconnect(connection);
}

void QtTreeControl::Fire(const std::function<void()>& callback) { RunCommand(callback); }

QModelIndex QtTreeControl::IndexOf(Item item) const {
  model_->Flush();
  return model_->IndexOf(ToNode(item));
}

void QtTreeControl::Clear() {
  Restructured();
  by_data_.Clear();
  model_->Clear();
}

TreeControl::Item QtTreeControl::Add(Item parent, const std::string& caption, int image,
                                     int32_t data) {
  Restructured();
  TreeNode* node =
      model_->Add(parent != nullptr ? ToNode(parent) : model_->Root(), caption, image, data);
  by_data_.Insert(node);
  return node;
}

void QtTreeControl::Move(Item item, Item parent) {
  Restructured();
  TreeNode* moving = ToNode(item);
  if (moving == nullptr || moving == parent) return;
  // The selection stays on the moved item; the view only follows it.
  const bool wasCurrent = Selected() == moving;
  moving_ = true;
  model_->Move(moving, parent != nullptr ? ToNode(parent) : model_->Root());
  if (wasCurrent && Selected() != moving) widget_->setCurrentIndex(IndexOf(moving));
  moving_ = false;
}

void QtTreeControl::Unindex(TreeNode* node) { by_data_.Erase(node); }

void DataIndex::Clear() {
  std::fill(dense_.begin(), dense_.end(), nullptr);
  sparse_.clear();
  size_ = 0;
}

TreeNode*& DataIndex::Head(int32_t data) {
  if (!Dense(data) && data >= 0) {
    // The table grows for values up to a few times the items held, so one odd big Index
    // cannot claim a huge table; the values it then covers move over from the hash.
    const size_t limit = 4 * (size_ + 1024);
    if (static_cast<size_t>(data) < limit) {
      dense_.resize(
          std::min(limit, std::max<size_t>(static_cast<size_t>(data) + 1, 2 * dense_.size())),
          nullptr);
      for (auto it = sparse_.begin(); it != sparse_.end();) {
        if (Dense(it->first)) {
          dense_[static_cast<size_t>(it->first)] = it->second;
          it = sparse_.erase(it);
        } else {
          ++it;
        }
      }
    }
  }
  return Dense(data) ? dense_[static_cast<size_t>(data)] : sparse_[data];
}

void DataIndex::Insert(TreeNode* node) {
  TreeNode*& head = Head(node->data);
  node->sameData = head;
  head = node;
  ++size_;
}

void DataIndex::Erase(TreeNode* node) {
  TreeNode** link = nullptr;
  if (Dense(node->data)) {
    link = &dense_[static_cast<size_t>(node->data)];
  } else if (const auto it = sparse_.find(node->data); it != sparse_.end()) {
    link = &it->second;
  }
  if (link == nullptr) return;
  TreeNode** const head = link;
  while (*link != nullptr && *link != node) link = &(*link)->sameData;
  if (*link == nullptr) return;
  *link = node->sameData;
  node->sameData = nullptr;
  --size_;
  if (*head == nullptr && !Dense(node->data)) sparse_.erase(node->data);
}

TreeNode* DataIndex::Find(int32_t data) const {
  if (Dense(data)) return dense_[static_cast<size_t>(data)];
  const auto it = sparse_.find(data);
  return it == sparse_.end() ? nullptr : it->second;
}

void QtTreeControl::Delete(Item item) {
  Restructured();
  TreeNode* doomed = ToNode(item);
  if (doomed == nullptr) return;
  std::vector<TreeNode*> subtree;
  CollectSubtree(doomed, subtree);
  for (TreeNode* each : subtree) Unindex(each);
  model_->Take(doomed);  // the view moves the selection off it
  DeleteTree(doomed);
}

TreeControl::Item QtTreeControl::FindByData(int32_t data) const {
  TreeNode* best = by_data_.Find(data);
  if (best == nullptr || best->sameData == nullptr) return best;
  // Several items carry the same data (a damaged table): the first in tree order wins.
  std::vector<int> bestPosition = TreePosition(best);
  for (TreeNode* other = best->sameData; other != nullptr; other = other->sameData) {
    std::vector<int> position = TreePosition(other);
    if (position < bestPosition) {
      best = other;
      bestPosition = std::move(position);
    }
  }
  return best;
}

TreeControl::Item QtTreeControl::Parent(Item item) const {
  if (item == nullptr) return nullptr;
  TreeNode* parent = ToNode(item)->parent;
  return parent == model_->Root() ? nullptr : parent;
}

std::vector<TreeControl::Item> QtTreeControl::Children(Item parent) const {
  const TreeNode* from = parent != nullptr ? ToNode(parent) : model_->Root();
  return std::vector<Item>(from->children.begin(), from->children.end());
}

std::string QtTreeControl::Caption(Item item) const { return ToNode(item)->caption; }

void QtTreeControl::SetCaption(Item item, const std::string& caption) {
  ToNode(item)->caption = caption;
  model_->Changed(ToNode(item), Qt::DisplayRole);
}

int QtTreeControl::Image(Item item) const { return ToNode(item)->image; }

void QtTreeControl::SetImage(Item item, int image) {
  TreeNode* node = ToNode(item);
  if (node->image == image) return;
  node->image = static_cast<int8_t>(image);
  model_->Changed(node, Qt::DecorationRole);
}

int32_t QtTreeControl::Data(Item item) const { return ToNode(item)->data; }

TreeControl::Item QtTreeControl::Selected() const { return ItemOf(widget_->currentIndex()); }

void QtTreeControl::Select(Item item) {
  if (item == nullptr) {
    widget_->clearSelection();
    widget_->setCurrentIndex(QModelIndex());
    return;
  }
  const QModelIndex index = IndexOf(item);
  widget_->setCurrentIndex(index);
  // Between BeginUpdate and EndUpdate the view is laid out once, at the end: scrolling to
  // every item of a long run of adds would lay out the whole tree each time.
  if (update_depth_ == 0) widget_->scrollTo(index);
}

TreeControl::Item QtTreeControl::ItemAt(int x, int y) const {
  model_->Flush();
  return ItemOf(widget_->indexAt(QPoint(x, y)));
}

// Expanding fires expanded for the items that change; items without children stay closed,
// as a tree view does with them.
void QtTreeControl::SetExpandedTree(TreeNode* node, bool expanded, bool recurse, bool self) {
  if (self && !node->children.empty()) {
    const QModelIndex index = model_->IndexOf(node);
    if (expanded) {
      widget_->expand(index);
    } else {
      widget_->collapse(index);
    }
  }
  if (!recurse) return;
  for (TreeNode* child : node->children) SetExpandedTree(child, expanded, true, true);
}

void QtTreeControl::Expand(Item item, bool recurse) {
  model_->Flush();
  // Many items at once: lay the view out once afterwards, not after each of them.
  if (recurse || item == nullptr) widget_->Relayout();
  if (item == nullptr) {
    SetExpandedTree(model_->Root(), true, true, false);
  } else {
    SetExpandedTree(ToNode(item), true, recurse, true);
  }
}

void QtTreeControl::Collapse(Item item, bool recurse) {
  model_->Flush();
  if (recurse || item == nullptr) widget_->Relayout();
  if (item == nullptr) {
    SetExpandedTree(model_->Root(), false, true, false);
  } else {
    SetExpandedTree(ToNode(item), false, recurse, true);
  }
}

bool QtTreeControl::IsExpanded(Item item) const {
  return item != nullptr && model_->Announced(ToNode(item)) &&
         widget_->isExpanded(model_->IndexOf(ToNode(item)));
}

void QtTreeControl::SortChildren(Item parent, bool recurse) {
  Restructured();
  model_->Sort(parent != nullptr ? ToNode(parent) : model_->Root(), recurse);
}

void QtTreeControl::SetCheckBoxes(bool on) {
  if (model_->CheckBoxes() == on) return;
  model_->SetCheckBoxes(on);
  widget_->Relayout();
  widget_->viewport()->update();
}

bool QtTreeControl::Checked(Item item) const {
  return model_->CheckBoxes() && ToNode(item)->checked;
}

void QtTreeControl::SetChecked(Item item, bool checked) {
  if (!model_->CheckBoxes()) return;
  ToNode(item)->checked = checked;
  model_->Changed(ToNode(item), Qt::CheckStateRole);
}

void QtTreeControl::BeginUpdate() {
  if (update_depth_++ != 0) return;
  model_->BeginBatch();
  widget_->setUpdatesEnabled(false);
  // A new current item scrolls the view to it otherwise.
  auto_scroll_ = widget_->hasAutoScroll();
  widget_->setAutoScroll(false);
}

void QtTreeControl::EndUpdate() {
  if (update_depth_ == 0) return;
  if (--update_depth_ != 0) return;
  model_->EndBatch();
  widget_->setAutoScroll(auto_scroll_);
  widget_->setUpdatesEnabled(true);
  const QModelIndex current = widget_->currentIndex();
  if (current.isValid()) widget_->scrollTo(current);
}

void QtTreeControl::Repaint() { widget_->viewport()->update(); }

}  // namespace orvenda
