// The library window's commands that reach out of the library: taking ticked items into the
// project, exporting a branch as an update file, importing a text file.
#include <fstream>
#include <iterator>
#include <vector>

#include "app/select_tree_form.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/flag_scope.h"
#include "base/messages.h"
#include "library/text_import.h"
#include "library/update_file.h"
#include "model/project_table.h"

namespace orvenda {
namespace {

// The Index values of one filter's records in table order.
std::vector<int32_t> ChildIndexes(Table& table, const std::string& filter) {
  std::vector<int32_t> indexes;
  table.SetFilter(filter);
  table.SetFiltered(true);
  const int indexField = table.FieldNumber(fld::kIndex);
  for (table.First(); !table.IsEmpty() && !table.Eof(); table.Next()) {
    indexes.push_back(table.GetInt(indexField));
  }
  ClearFilter(table);
  return indexes;
}

}  // namespace

void SelectTreeForm::OKBitBtnClick() {
  StateScope scope(*this);
  TreeControl& tree = ActiveTree();
  Table& table = ActiveTable();
  const TreeControl::Item selected = main.TreeNT1.Selected();
  const int32_t target = selected != nullptr ? main.TreeNT1.Data(selected) : 0;
  // A library that could not be opened at start has nothing to give.
  if (!table.IsOpen()) {
    modalResult = ModalResult::Ok;
    return;
  }
  ClearFilter(table);
  main.progress.ShowProgress(main.MessagesBox.Get(39), table.RecordCount());
  {
    // Also after a failure the progress window goes and both trees draw again.
    struct HideAtEnd {
      Progress& progress;
      ~HideAtEnd() { progress.HideProgress(); }
    } hide{main.progress};
    TreeUpdateScope libraryUpdate(tree);
    TreeUpdateScope projectUpdate(main.TreeNT1);
    CopyCheckedItems(target, 0);
  }
  modalResult = ModalResult::Ok;
}

void SelectTreeForm::CopyCheckedItems(int32_t target, int32_t libraryParent) {
  TreeControl& tree = ActiveTree();
  Table& table = ActiveTable();
  TreeControl& projectTree = main.TreeNT1;
  // Selecting the target must not load its page: a node's average would cost a walk of its
  // whole subtree for every copied item.
  const auto selectTarget = [&] {
    FlagScope updating(main.TreeUpdating, true);
    projectTree.Select(target != 0 ? projectTree.FindByData(target) : nullptr);
  };

  // Each filter is read once into a list: the recursion below uses the same table.
  for (const int32_t index : ChildIndexes(table, ChildNodesFilter(libraryParent))) {
    selectTarget();
    const TreeControl::Item item = tree.FindByData(index);
    // A record without an item is not shown to the user: it goes with its whole subtree.
    if (item == nullptr) continue;
    main.progress.StepProgress();
    int32_t childTarget = target;
    if (tree.Checked(item)) {
      ClearFilter(table);
      if (!table.Locate(fld::kIndex, index)) continue;
      const std::string text = table.GetText(fld::kText);
      main.AddNodeSpeedButtonClick();
      main.TextEdit.text = text;
      main.TextCommentMemo.text.clear();
      main.StoreBitBtnClick();
      const TreeControl::Item added = projectTree.Selected();
      childTarget = added != nullptr ? projectTree.Data(added) : target;
      tree.SetChecked(item, false);
    }
    CopyCheckedItems(childTarget, index);
  }

  selectTarget();
  for (const int32_t index : ChildIndexes(table, ChildRisksFilter(libraryParent))) {
    const TreeControl::Item item = tree.FindByData(index);
    if (item == nullptr) continue;
    main.progress.StepProgress();
    if (!tree.Checked(item)) continue;
    ClearFilter(table);
    if (!table.Locate(fld::kIndex, index)) continue;
    // Deciphered before the add: a damaged value must not leave an empty risk behind.
    std::string ident = Decipher(table.GetText(fld::kIdent));
    std::string opatreni = Decipher(table.GetText(fld::kOpatreni));
    const std::string text = table.GetText(fld::kText);
    const std::string source = table.GetText(fld::kSource);
    const int pravdep = table.GetInt(fld::kPravdep);
    const int nasledky = table.GetInt(fld::kNasledky);
    main.AddRiskSpeedButtonClick();
    main.DescrEdit.text = text;
    main.CommentMemo.text.clear();
    main.RiskSourceEdit.text = source;
    main.RiskMemo.text = std::move(ident);
    main.OpatreniMemo.text = std::move(opatreni);
    main.ExistenceSpinEdit.value = MainForm::ClampRating(pravdep);
    main.NasledkySpinEdit.value = MainForm::ClampRating(nasledky);
    main.NazorSpinEdit.value = 1;
    main.StoreBitBtnClick();
    tree.SetChecked(item, false);
  }
}

void SelectTreeForm::Export1Click() {
  StateScope scope(*this);
  const TreeControl::Item selected = ActiveTree().Selected();
  if (selected == nullptr) return;
  WriteUpdateFile(ActiveTable(), ActiveTree().Data(selected),
                  main.ProgramDir / "Zaloha" / "Data.akt", main.TempDir, main.progress,
                  main.MessagesBox);
}

void SelectTreeForm::ImportFileButtonClick() {
  StateScope scope(*this);
  if (!Editable) return;
  const auto file = main.dialogs.OpenFile(std::string(), main.ProgramDir);
  if (!file) return;
  ImportTextFile(*file);
}

void SelectTreeForm::ImportTextFile(const std::filesystem::path& file) {
  StateScope scope(*this);
  if (!Editable) return;
  std::ifstream in(file, std::ios::binary);
  if (!in) throw Error("Unable to open file (" + PathToText(file) + ")");
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  if (!HasTextImportSection(content)) {
    throw Error(Msg(150, {PathToText(file)}));
  }

  TreeControl& tree = ActiveTree();
  Table& table = ActiveTable();
  {
    BusyCursor busy(main.progress);
    FlagScope running(ImportRunning, true);
    FlagScope loading(Loading, true);
    ImportedRisk page{RiskSourceEdit.text, RiskMemo.text, OpatreniMemo.text,
                      ExistenceSpinEdit.value, NasledkySpinEdit.value};
    TreeControl::Item unfinished = nullptr;
    try {
      ParseTextImport(
          content, page,
          [&] {
            ActivePage = LibraryPage::RizikoTabSheet;
            DescrEdit.text.clear();
            AddLibraryRecord(kRiskType);
            unfinished = tree.Selected();
            main.progress.ProcessEvents();
          },
          [&](const ImportedRisk& risk) {
            RiskSourceEdit.text = risk.Source;
            RiskMemo.text = risk.Ident;
            OpatreniMemo.text = risk.Opatreni;
            ExistenceSpinEdit.value = risk.Pravdep;
            NasledkySpinEdit.value = risk.Nasledky;
            StoreBitBtnClick();
            unfinished = nullptr;
          });
    } catch (...) {
      // The record begun for the failing line holds nothing yet: it goes, the stored ones stay.
      if (unfinished != nullptr) {
        ClearFilter(table);
        if (table.Locate(fld::kIndex, tree.Data(unfinished))) table.Delete();
        FlagScope suppressed(TreeChangesSuppressed, true);
        tree.Delete(unfinished);
      }
      throw;
    }
  }
  ShowLibraryRecord();
}

}  // namespace orvenda
