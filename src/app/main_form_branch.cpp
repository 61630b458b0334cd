// The main form's branch moves by drag and drop, and copy and paste through the clipboard.
#include <unordered_set>

#include "app/main_form.h"
#include "model/branch_copy.h"
#include "model/clipboard.h"
#include "model/project_table.h"

namespace orvenda {
namespace {

class UpdatingScope {
 public:
  UpdatingScope(TreeControl& tree, bool& updating) : tree_(tree), updating_(updating) {
    updating_ = true;
    tree_.BeginUpdate();
  }
  ~UpdatingScope() {
    tree_.EndUpdate();
    updating_ = false;
  }
  UpdatingScope(const UpdatingScope&) = delete;
  UpdatingScope& operator=(const UpdatingScope&) = delete;

 private:
  TreeControl& tree_;
  bool& updating_;
};

}  // namespace

bool MainForm::TreeNT1DragOver(TreeControl::Item target) {
  StateScope scope(*this);
  const TreeControl::Item dragged = TreeNT1.Selected();
  if (target == nullptr || dragged == nullptr || target == dragged) return false;

  // Walk up from the target through the records: meeting the dragged record means the target
  // lies inside the dragged branch.
  const int32_t draggedIndex = TreeNT1.Data(dragged);
  ClearFilter(DataTable);
  if (!DataTable.Locate(fld::kIndex, TreeNT1.Data(target))) return true;
  std::unordered_set<int32_t> seen;
  for (int32_t up = DataTable.GetInt(fld::kUpLink); up != 0; up = DataTable.GetInt(fld::kUpLink)) {
    if (up == draggedIndex) return false;
    if (!seen.insert(up).second) break;  // a damaged table's cycle
    if (!DataTable.Locate(fld::kIndex, up)) break;
  }
  return true;
}

void MainForm::TreeNT1DragDrop(TreeControl::Item target) {
  StateScope scope(*this);
  // A drop the drag-over refused would tear the branch off the tree or make it its own
  // ancestor in the table.
  if (!TreeNT1DragOver(target)) return;
  const TreeControl::Item dragged = TreeNT1.Selected();

  const TreeControl::Item parentItem =
      TreeNT1.Image(target) == TreeControl::kRisk ? TreeNT1.Parent(target) : target;
  if (parentItem != nullptr && IsWithin(TreeNT1, parentItem, dragged)) return;
  const int32_t newParent = parentItem != nullptr ? TreeNT1.Data(parentItem) : 0;
  EditAction action(*this, undo_text::Move() + " '" + TreeNT1.Caption(dragged) + "'");

  ClearFilter(DataTable);
  if (!DataTable.Locate(fld::kIndex, TreeNT1.Data(dragged))) return;
  DataTable.Edit();
  DataTable.SetInt(fld::kUpLink, newParent);
  DataTable.Post();

  const bool wasUpdating = TreeUpdating;
  TreeUpdating = true;
  TreeNT1.Move(dragged, parentItem);
  TreeUpdating = wasUpdating;
}

void MainForm::PopupMenu1Popup(TreeControl::Item underMouse) {
  StateScope scope(*this);
  TreeNT1.Select(underMouse);
  const bool selected = TreeNT1.Selected() != nullptr;
  Delete1.enabled = selected;
  Copy1.enabled = selected;

  bool clipboardFull = false;
  if (ClipboardDir.empty()) PrepareClipboard();
  {
    ClipboardUse use(ClipboardTable);
    clipboardFull = ClipboardTable.RecordCount() > 0;
  }
  Insert1.enabled = clipboardFull;
}

void MainForm::Copy1Click() {
  StateScope scope(*this);
  const TreeControl::Item selected = TreeNT1.Selected();
  if (selected == nullptr) return;
  if (ClipboardDir.empty()) PrepareClipboard();
  CreateProjectTable(ClipboardTable);
  struct CloseAtEnd {
    Table& table;
    ~CloseAtEnd() { table.Close(); }
  } closeAtEnd{ClipboardTable};
  CopyBranch(DataTable, TreeNT1.Data(selected), ConversionKind::None, nullptr, 0, ClipboardTable,
             progress);
}

void MainForm::Insert1Click() {
  StateScope scope(*this);
  EditAction action(*this, undo_text::Paste());
  if (ClipboardDir.empty()) PrepareClipboard();
  ClipboardUse use(ClipboardTable);
  UpdatingScope update(TreeNT1, TreeUpdating);

  int32_t parent = 0;
  if (const TreeControl::Item selected = TreeNT1.Selected()) {
    ClearFilter(DataTable);
    if (DataTable.Locate(fld::kIndex, TreeNT1.Data(selected))) {
      parent = DataTable.GetInt(fld::kType) != kNodeType ? DataTable.GetInt(fld::kUpLink)
                                                         : DataTable.GetInt(fld::kIndex);
    }
  }
  CopyBranch(ClipboardTable, 1, ConversionKind::None, &TreeNT1, parent, DataTable, progress);
}

void MainForm::PrepareClipboard() {
  StateScope scope(*this);
  ClipboardDir = FindOrMakeClipboardDir(TempDir);
  PrepareClipboardTable(ClipboardTable, ClipboardDir);
}

}  // namespace orvenda
