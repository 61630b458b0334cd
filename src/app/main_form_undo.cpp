// The main form's history: every project edit as one step that can be undone and redone, and
// the "Úpravy" menu.
#include <utility>
#include <vector>

#include "app/main_form.h"
#include "base/error.h"
#include "base/flag_scope.h"
#include "model/project_table.h"

namespace orvenda {

MainForm::EditAction::EditAction(MainForm& form, std::string name)
    : form_(form), outermost_(form.actionDepth_++ == 0) {
  if (!outermost_) return;
  // A change that no step holds would make the steps put back the wrong rows.
  if (form_.DataTableRecorder.TakeUnrecorded()) form_.History.Clear(!form_.Modified);
  form_.actionName_ = std::move(name);
  form_.actionSelected_ = form_.SelectedIndex();
  form_.DataTableRecorder.Start();
}

MainForm::EditAction::~EditAction() {
  --form_.actionDepth_;
  if (!outermost_) return;
  // Also a failed action keeps its step: what it changed before the failure stays in the
  // project and can be undone.
  try {
    RowChanges rows = form_.DataTableRecorder.Stop();
    if (rows.Empty()) return;
    UndoStep step;
    step.name = std::move(form_.actionName_);
    step.rows = std::move(rows);
    step.selectedBefore = form_.actionSelected_;
    step.selectedAfter = form_.SelectedIndex();
    form_.History.Push(std::move(step));
  } catch (...) {
    form_.History.Clear(false);
  }
}

int32_t MainForm::SelectedIndex() const {
  const TreeControl::Item selected = TreeNT1.Selected();
  return selected != nullptr ? TreeNT1.Data(selected) : 0;
}

void MainForm::StartHistory() {
  DataTableRecorder.TakeUnrecorded();
  History.Clear(!Modified);
}

void MainForm::Zpet1Click() {
  StateScope scope(*this);
  if (EditState || actionDepth_ != 0 || !History.CanUndo()) return;
  const UndoStep& step = History.NextUndo();
  ApplyHistoryStep(step.rows.after, step.rows.before, step.selectedBefore);
  History.Undone();
  Modified = !History.AtSaved();
  StatusBar1.Panels[0] = Modified ? " *" : "";
}

void MainForm::Znovu1Click() {
  StateScope scope(*this);
  if (EditState || actionDepth_ != 0 || !History.CanRedo()) return;
  const UndoStep& step = History.NextRedo();
  ApplyHistoryStep(step.rows.before, step.rows.after, step.selectedAfter);
  History.Redone();
  Modified = !History.AtSaved();
  StatusBar1.Panels[0] = Modified ? " *" : "";
}

void MainForm::ApplyHistoryStep(const std::vector<RowImage>& take, const std::vector<RowImage>& put,
                                int32_t select) {
  if (DataTableRecorder.TakeUnrecorded()) {
    History.Clear(false);
    throw Error(undo_text::ChangedMeanwhile());
  }
  BusyCursor busy(progress);
  DataTableRecorder.SetApplying(true);
  bool deleted = false;
  try {
    deleted = ApplyRowChanges(DataTable, take, put);
  } catch (...) {
    // The table may be half way: no step can be trusted any more, and the tree shows the table.
    DataTableRecorder.SetApplying(false);
    History.Clear(!Modified);
    try {
      RebuildTreeKeepingView(select);
    } catch (...) {
    }
    throw;
  }
  DataTableRecorder.SetApplying(false);
  if (deleted) PackPending = true;
  RebuildTreeKeepingView(select);
}

void MainForm::RebuildTreeKeepingView(int32_t select) {
  StateScope scope(*this);
  // The expanded nodes that can be seen, parents before children.
  std::vector<int32_t> expanded;
  std::vector<TreeControl::Item> pending = TreeNT1.Children(nullptr);
  for (std::size_t at = 0; at < pending.size(); ++at) {
    const TreeControl::Item item = pending[at];
    if (TreeNT1.Image(item) == TreeControl::kRisk || !TreeNT1.IsExpanded(item)) continue;
    expanded.push_back(TreeNT1.Data(item));
    for (TreeControl::Item child : TreeNT1.Children(item)) pending.push_back(child);
  }
  {
    TreeUpdateScope update(TreeNT1);
    BuildTree();
    FlagScope updating(TreeUpdating, true);
    for (const int32_t index : expanded) {
      if (const TreeControl::Item item = NodeIndexes.Get(index)) TreeNT1.Expand(item, false);
    }
    TreeNT1.Select(select != 0 ? TreeNT1.FindByData(select) : nullptr);
  }
  ShowSelected();
}

void MainForm::Vyjmout1Click() {
  StateScope scope(*this);
  const TreeControl::Item selected = TreeNT1.Selected();
  if (selected == nullptr || EditState) return;
  EditAction action(*this, undo_text::Cut() + " '" + TreeNT1.Caption(selected) + "'");
  Copy1Click();
  DeleteSelected(false);
}

void MainForm::EditSelectedClick() {
  StateScope scope(*this);
  if (ActivePage == Page::UzelTabSheet) FocusControl = "TextEdit";
  if (ActivePage == Page::RizikoTabSheet) FocusControl = "RiskSourceEdit";
}

void MainForm::SetUpEditMenu() {
  Upravy1.text = undo_text::Edits();
  Zpet1.text = undo_text::Undo();
  Znovu1.text = undo_text::Redo();
  Vyjmout1.text = undo_text::Cut();
  Kopirovat1.text = undo_text::Copy();
  Vlozit1.text = undo_text::Paste();
  Najit1.text = undo_text::Find();
  UpdateEditMenu();
}

namespace {

// The command's own caption, as the language file may have given it, without the step's name.
std::string CommandCaption(const std::string& text, const std::string& otherwise) {
  const std::string command = text.substr(0, text.find(": "));
  return command.empty() ? otherwise : command;
}

}  // namespace

void MainForm::UpdateEditMenu() {
  const bool browsing = !EditState;
  Zpet1.enabled = browsing && History.CanUndo();
  Zpet1.text = undo_text::MenuText(CommandCaption(Zpet1.text, undo_text::Undo()),
                                   History.CanUndo() ? History.NextUndo().name : "");
  Znovu1.enabled = browsing && History.CanRedo();
  Znovu1.text = undo_text::MenuText(CommandCaption(Znovu1.text, undo_text::Redo()),
                                    History.CanRedo() ? History.NextRedo().name : "");
  const bool selected = TreeNT1.Selected() != nullptr;
  Vyjmout1.enabled = browsing && selected;
  Kopirovat1.enabled = browsing && selected;
  Vlozit1.enabled = browsing;
}

}  // namespace orvenda
