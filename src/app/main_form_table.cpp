// The main form's risk register as a table: the export of the project or a branch as XLSX or
// CSV, and the import of a CSV register through the same add and store commands a user
// clicks.
#include <optional>
#include <string>

#include "base/messages.h"
#include "app/main_form.h"
#include "app/node_paths.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "reports/register_export.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

// Lets the pending paint events run this often, so that the window does not look hung.
constexpr int kRowsBetweenEvents = 200;

// The item new records go under: the selected node, the parent of a selected risk, nullptr
// (the top level) without a selection.
TreeControl::Item TargetNode(TreeControl& tree) {
  TreeControl::Item selected = tree.Selected();
  if (selected != nullptr && tree.Image(selected) == TreeControl::kRisk) {
    return tree.Parent(selected);
  }
  return selected;
}

fs::path DialogDir(const MainForm::FileDialog& dialog, const MainForm& form,
                   const fs::path& otherwise) {
  if (!dialog.InitialDir.empty()) return dialog.InitialDir;
  if (!form.ProjectFileName.empty()) return form.ProjectFileName.parent_path();
  return otherwise;
}

std::optional<fs::path> AskExportFile(MainForm& form) {
  MainForm::FileDialog& dialog = form.TableFiles.ExportDialog;
  auto chosen = form.dialogs.SaveFile(dialog.Filter, DialogDir(dialog, form, {}));
  if (!chosen) return std::nullopt;
  // A name typed without an extension becomes a workbook.
  if (!chosen->has_extension()) *chosen += ".xlsx";
  dialog.InitialDir = chosen->parent_path();
  return chosen;
}

}  // namespace

MainForm::TableFileDialogs::TableFileDialogs() {
  ImportDialog.Filter = W("Tabulky CSV|*.csv");
  ImportDialogTitle = W("Importovat tabulku rizik");
  ExportDialog.Filter = W("Sešity Excel|*.xlsx|Tabulky CSV|*.csv");
}

void MainForm::ImportTable1Click() {
  StateScope scope(*this);
  if (EditState) {
    // Every row is stored through the page, which would throw the open edit away.
    dialogs.Warning(Msg(138));
    return;
  }
  const auto chosen =
      dialogs.OpenFileTitled(TableFiles.ImportDialogTitle, TableFiles.ImportDialog.Filter,
                             DialogDir(TableFiles.ImportDialog, *this, ProgramDir));
  if (!chosen) return;
  TableFiles.ImportDialog.InitialDir = chosen->parent_path();
  ImportTableFile(*chosen);
}

void MainForm::ImportTableFile(const fs::path& file) {
  StateScope scope(*this);
  if (EditState) throw Error(Msg(138));
  std::vector<RegisterImportRow> rows;
  {
    BusyCursor busy(progress);
    rows = ReadRegisterCsv(file, MessagesBox);
  }
  ImportTableRows(rows);
}

void MainForm::ImportTableRows(const std::vector<RegisterImportRow>& rows) {
  StateScope scope(*this);
  BusyCursor busy(progress);
  // The tree is drawn once at the end, not at every added item.
  struct TreeUpdate {
    TreeControl& tree;
    explicit TreeUpdate(TreeControl& t) : tree(t) { tree.BeginUpdate(); }
    ~TreeUpdate() { tree.EndUpdate(); }
  } treeUpdate(TreeNT1);

  const TreeControl::Item target = TargetNode(TreeNT1);
  NodesByCaption nodes(TreeNT1);
  int done = 0;
  for (const RegisterImportRow& row : rows) {
    SelectQuietly(*this, FindOrAddNodePath(*this, nodes, target, row.path));
    AddRiskSpeedButtonClick();
    RiskSourceEdit.text = row.source;
    DescrEdit.text = row.text;
    RiskMemo.text = row.ident;
    OpatreniMemo.text = row.opatreni;
    CommentMemo.text = row.comment;
    ExistenceSpinEdit.value = row.p;
    NasledkySpinEdit.value = row.n;
    NazorSpinEdit.value = row.h;
    StoreBitBtnClick();
    if (++done % kRowsBetweenEvents == 0) progress.ProcessEvents();
  }
  FocusControl.clear();
}

void MainForm::ExportTable1Click() {
  StateScope scope(*this);
  if (const auto chosen = AskExportFile(*this)) ExportTableFile(*chosen, 0);
}

void MainForm::ExportTableBranch1Click() {
  StateScope scope(*this);
  const TreeControl::Item node = TargetNode(TreeNT1);
  const int32_t branch = node == nullptr ? 0 : TreeNT1.Data(node);
  if (const auto chosen = AskExportFile(*this)) ExportTableFile(*chosen, branch);
}

void MainForm::ExportTableFile(const fs::path& file, int32_t branch) {
  StateScope scope(*this);
  BusyCursor busy(progress);
  WriteRegister(DataTable, file, branch == 0 ? std::nullopt : std::optional<int32_t>(branch),
                MessagesBox, ProjectFileName);
}

}  // namespace orvenda
