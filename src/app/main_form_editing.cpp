// The main form's editing: adding, storing, discarding and deleting records.
#include <unordered_set>
#include <vector>

#include "app/main_form.h"
#include "base/error.h"
#include "base/flag_scope.h"
#include "model/project_table.h"

namespace orvenda {
namespace {}  // namespace

int32_t MainForm::AddRecord(int32_t type) {
  StateScope scope(*this);
  const int32_t index = MaxIndex(DataTable) + 1;

  int32_t parent = 0;
  if (const TreeControl::Item selected = TreeNT1.Selected()) {
    ClearFilter(DataTable);
    if (DataTable.Locate(fld::kIndex, TreeNT1.Data(selected))) {
      // Only nodes have children: beside a risk means under its parent.
      parent = DataTable.GetInt(fld::kType) != kNodeType ? DataTable.GetInt(fld::kUpLink)
                                                         : DataTable.GetInt(fld::kIndex);
    }
  }

  DataTable.Append();
  DataTable.Edit();
  DataTable.SetInt(fld::kIndex, index);
  DataTable.SetInt(fld::kType, type);
  DataTable.SetInt(fld::kUpLink, parent);
  DataTable.Post();
  return index;
}

void MainForm::AddItemForNewRecord(int32_t index, int32_t type) {
  {
    FlagScope updating(TreeUpdating, true);
    // The posted record is still the current one.
    const int32_t upLink = DataTable.GetInt(fld::kUpLink);
    const TreeControl::Item parent = upLink != 0 ? TreeNT1.FindByData(upLink) : nullptr;
    const TreeControl::Item item =
        TreeNT1.Add(parent, std::string(),
                    type == kNodeType ? TreeControl::kCollapsedNode : TreeControl::kRisk, index);
    TreeNT1.Select(item);
  }
  ShowSelected();
  FocusControl = type == kNodeType ? "TextEdit" : "RiskSourceEdit";
}

void MainForm::AddNodeSpeedButtonClick() {
  StateScope scope(*this);
  EditAction action(*this, undo_text::AddNode());
  int32_t index = 0;
  {
    FlagScope updating(TreeUpdating, true);
    index = AddRecord(kNodeType);
  }
  AddItemForNewRecord(index, kNodeType);
}

void MainForm::AddRiskSpeedButtonClick() {
  StateScope scope(*this);
  EditAction action(*this, undo_text::AddRisk());
  int32_t index = 0;
  {
    FlagScope updating(TreeUpdating, true);
    index = AddRecord(kRiskType);
  }
  AddItemForNewRecord(index, kRiskType);
}

void MainForm::SetEditState(bool on) {
  StateScope scope(*this);
  EditState = on;
  StoreBitBtn.enabled = on;
  CancelBitBtn.enabled = on;
  for (Control* control :
       {&Soubor1, &Knihovny1, &Sestavy1, &Napoveda1, &ObjectPanel, &AddNodeSpeedButton,
        &AddRiskSpeedButton, &AddFromLibSpeedButton, &DeleteSpeedButton}) {
    control->enabled = !on;
  }
}

void MainForm::RiskSourceEditChange() {
  StateScope scope(*this);
  if (PageReady) SetEditState(true);
  // The level follows the ratings as they are typed.
  if (ActivePage == Page::RizikoTabSheet) ShowPageRiskLevel();
}

void MainForm::StoreBitBtnClick() {
  StateScope scope(*this);
  EditAction action(
      *this, undo_text::Store() + " '" +
                 (ActivePage == Page::RizikoTabSheet ? DescrEdit.text : TextEdit.text) + "'");
  if (const TreeControl::Item selected = TreeNT1.Selected()) {
    ClearFilter(DataTable);
    if (DataTable.Locate(fld::kIndex, TreeNT1.Data(selected))) {
      DataTable.Edit();
      if (DataTable.GetInt(fld::kType) != kNodeType) {
        DataTable.SetText(fld::kText, DescrEdit.text);
        DataTable.SetText(fld::kComment, CommentMemo.text);
        DataTable.SetText(fld::kSource, RiskSourceEdit.text);
        DataTable.SetText(fld::kIdent, RiskMemo.text);
        DataTable.SetText(fld::kOpatreni, OpatreniMemo.text);
        DataTable.SetInt(fld::kPravdep, ClampRating(ExistenceSpinEdit.value));
        DataTable.SetInt(fld::kNasledky, ClampRating(NasledkySpinEdit.value));
        DataTable.SetInt(fld::kHodnocen, ClampRating(NazorSpinEdit.value));
      } else {
        DataTable.SetText(fld::kText, TextEdit.text);
        DataTable.SetText(fld::kComment, TextCommentMemo.text);
      }
      DataTable.Post();
      // The caption shows what the record holds, which is the field's size at most.
      TreeNT1.SetCaption(selected, DataTable.GetText(fld::kText));
    }
  }
  SetEditState(false);
  ShowSelected();
}

void MainForm::CancelBitBtnClick() {
  StateScope scope(*this);
  SetEditState(false);
  ShowSelected();
}

void MainForm::DataTableAfterPost() {
  StateScope scope(*this);
  if (Modified) return;
  StatusBar1.Panels[0] += " *";
  Modified = true;
}

void MainForm::DeleteSpeedButtonClick() {
  StateScope scope(*this);
  DeleteSelected(true);
}

void MainForm::DeleteSelected(bool ask) {
  StateScope scope(*this);
  const TreeControl::Item selected = TreeNT1.Selected();
  if (selected == nullptr) return;
  if (ask && AskDelete && !dialogs.AskYesNo(MessagesBox.Get(15), MessagesBox.Get(16))) return;
  EditAction action(*this, undo_text::Delete() + " '" + TreeNT1.Caption(selected) + "'");

  {
    BusyCursor busy(progress);
    Modified = true;
    StatusBar1.Panels[0] = " *";

    const int32_t index = TreeNT1.Data(selected);
    ClearFilter(DataTable);
    if (DataTable.Locate(fld::kIndex, index)) {
      if (DataTable.GetInt(fld::kType) != kNodeType) {
        DataTable.Delete();
      } else {
        DeleteBranch(index);
      }
    }
    PackPending = true;

    // The selected item itself goes: searching by data could meet a "$$" placeholder that
    // carries the same number.
    FlagScope updating(TreeUpdating, true);
    TreeNT1.Delete(selected);
  }
  ShowSelected();
}

void MainForm::DeleteBranch(int32_t index) {
  StateScope scope(*this);
  // Gather the node and every node below it first (each once, even in a table where a node
  // is its own ancestor), then delete; no recursion, so depth costs no stack.
  std::vector<int32_t> nodes{index};
  std::unordered_set<int32_t> seen{index};
  for (std::size_t at = 0; at < nodes.size(); ++at) {
    progress.ProcessEvents();
    DataTable.SetFilter(ChildNodesFilter(nodes[at]));
    DataTable.SetFiltered(true);
    for (DataTable.First(); !DataTable.Eof(); DataTable.Next()) {
      const int32_t child = DataTable.GetInt(fld::kIndex);
      if (seen.insert(child).second) nodes.push_back(child);
    }
  }
  for (const int32_t node : nodes) {
    // Everything under the node that is not a node: its risks, and records of a foreign type
    // that the tree shows as risks and that would otherwise be left without a parent.
    DataTable.SetFilter("Uplink=" + std::to_string(node));
    DataTable.SetFiltered(true);
    DataTable.First();
    while (!DataTable.Eof() && !DataTable.IsEmpty()) {
      if (DataTable.GetInt(fld::kType) == kNodeType) {
        DataTable.Next();
      } else {
        DataTable.Delete();
      }
    }
  }
  ClearFilter(DataTable);
  for (const int32_t node : nodes) {
    if (DataTable.Locate(fld::kIndex, node)) DataTable.Delete();
  }
}

void MainForm::PackDataTable() {
  ClearFilter(DataTable);
  DataTable.Close();
  try {
    DataTable.Open(true);
    DataTable.Pack();
    DataTable.Close();
  } catch (...) {
    // The window stays usable: the table is opened again before the error is shown.
    if (DataTable.IsOpen()) DataTable.Close();
    DataTable.Open();
    throw;
  }
  DataTable.Open();
}

}  // namespace orvenda
