// The main form's risk register as a table: the export of the project or a branch as XLSX or
// CSV, and the import of a CSV register, making the records the add and store commands make.
#include <optional>
#include <string>
#include <unordered_map>

#include "app/main_form.h"
#include "app/node_paths.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/flag_scope.h"
#include "base/messages.h"
#include "model/project_table.h"
#include "reports/register_export.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

// Lets the pending paint events run this often, so that the window does not look hung.
constexpr int kRowsBetweenEvents = 1000;

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

// Adds the rows' records and tree items as the add and store commands would, without their
// page and history work per record.
void AddRegisterRows(MainForm& form, const std::vector<RegisterImportRow>& rows) {
  TreeControl& tree = form.TreeNT1;
  Table& table = form.DataTable;
  // The tree is drawn once at the end, not at every added item.
  struct TreeUpdate {
    TreeControl& tree;
    explicit TreeUpdate(TreeControl& t) : tree(t) { tree.BeginUpdate(); }
    ~TreeUpdate() { tree.EndUpdate(); }
  } treeUpdate(tree);
  FlagScope updating(form.TreeUpdating, true);

  // The records are those the add and store commands make, gathered into large writes: a big
  // register would otherwise write each record twice, one by one.
  ClearFilter(table);
  const BulkScope bulk(table);

  // Where a record added at a tree item goes, as the add commands place it: under a node,
  // beside a risk, at the top level for an item without a record (a "$$" item). Looked up
  // once per item.
  struct Place {
    int32_t upLink = 0;
    TreeControl::Item parent = nullptr;
  };
  std::unordered_map<TreeControl::Item, Place> places;
  auto placeAt = [&](TreeControl::Item item) -> const Place& {
    const auto [at, isNew] = places.try_emplace(item);
    if (isNew && item != nullptr && table.Locate(fld::kIndex, tree.Data(item))) {
      at->second.upLink = table.GetInt(fld::kType) != kNodeType ? table.GetInt(fld::kUpLink)
                                                                : table.GetInt(fld::kIndex);
      if (at->second.upLink != 0) at->second.parent = tree.FindByData(at->second.upLink);
    }
    return at->second;
  };

  int32_t index = MaxIndex(table);
  // Starts the record of a new item at `item`; the caller sets its texts and posts it.
  auto newRecord = [&](TreeControl::Item item, int32_t type) -> TreeControl::Item {
    const Place& place = placeAt(item);
    table.Insert();
    table.SetInt(fld::kIndex, ++index);
    table.SetInt(fld::kType, type);
    table.SetInt(fld::kUpLink, place.upLink);
    return place.parent;
  };

  NodesByCaption nodes(tree);
  const TreeControl::Item target = TargetNode(tree);
  TreeControl::Item last = nullptr;
  int done = 0;
  for (const RegisterImportRow& row : rows) {
    TreeControl::Item node = target;
    for (const std::string& part : row.path) {
      if (TreeControl::Item found = nodes.Find(node, StoredCaption(part))) {
        node = found;
        continue;
      }
      const TreeControl::Item parent = newRecord(node, kNodeType);
      table.SetText(fld::kText, part);
      table.Post();
      const TreeControl::Item added =
          tree.Add(parent, table.GetText(fld::kText), TreeControl::kCollapsedNode, index);
      nodes.Added(node, added);
      node = added;
    }

    const TreeControl::Item parent = newRecord(node, kRiskType);
    table.SetText(fld::kText, row.text);
    table.SetText(fld::kComment, row.comment);
    table.SetText(fld::kSource, row.source);
    table.SetText(fld::kIdent, row.ident);
    table.SetText(fld::kOpatreni, row.opatreni);
    // An empty rating stays empty: the risk is not rated.
    if (row.p != 0) table.SetInt(fld::kPravdep, MainForm::ClampRating(row.p));
    if (row.n != 0) table.SetInt(fld::kNasledky, MainForm::ClampRating(row.n));
    if (row.h != 0) table.SetInt(fld::kHodnocen, MainForm::ClampRating(row.h));
    table.Post();
    last = tree.Add(parent, table.GetText(fld::kText), TreeControl::kRisk, index);
    if (++done % kRowsBetweenEvents == 0) form.progress.ProcessEvents();
  }
  table.EndBulk();
  tree.Select(last);
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
  if (rows.empty()) return;
  // The whole register is one step of the history, as it is one command.
  EditAction action(*this, Msg(285));  // "Import z tabulky"
  BusyCursor busy(progress);
  AddRegisterRows(*this, rows);
  FocusControl.clear();
  // The page shows the last risk, as after storing it by hand.
  ShowSelected();
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
