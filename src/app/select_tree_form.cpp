#include "app/select_tree_form.h"

#include <algorithm>
#include <thread>
#include <unordered_set>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/flag_scope.h"
#include "base/settings.h"
#include "library/library_cipher.h"
#include "model/branch_copy.h"
#include "model/clipboard.h"
#include "model/project_table.h"

namespace orvenda {
namespace {

// Beyond this many bytes of deciphered text the cache starts afresh.
constexpr std::size_t kPlainCacheLimit = 64u << 20;

}  // namespace

struct SelectTreeForm::Warmup {
  std::vector<std::string> stored;  // a snapshot: the workers never touch a table
  // One map per worker, each for its share of the snapshot.
  std::vector<std::unordered_map<std::string, PlainText>> plain;
  std::vector<std::jthread> workers;
};

void SelectTreeForm::StartWarmup() {
  FinishWarmup();
  auto warmup = std::make_unique<Warmup>();
  for (Table* table : {&main.Libs.BuildInRisksTable, &main.Libs.UserRisksTable}) {
    if (!table->IsOpen()) continue;
    ClearFilter(*table);
    for (table->First(); !table->Eof(); table->Next()) {
      for (const char* field : {fld::kIdent, fld::kOpatreni}) {
        std::string value = table->GetText(field);
        if (!value.empty() && !plainTexts_.count(value)) warmup->stored.push_back(std::move(value));
      }
    }
  }
  if (warmup->stored.empty()) return;
  const std::size_t count = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
  warmup->plain.resize(count);
  Warmup* w = warmup.get();
  for (std::size_t part = 0; part < count; ++part) {
    w->workers.emplace_back([w, part, count](std::stop_token stop) {
      for (std::size_t i = part; i < w->stored.size(); i += count) {
        if (stop.stop_requested()) return;
        try {
          std::string plain = DecryptLibraryText(w->stored[i]);
          std::string upper = Cp1250Upper(plain);
          w->plain[part].emplace(w->stored[i], PlainText{std::move(plain), std::move(upper)});
        } catch (const Error&) {
          // A damaged value fails where it is read, with its message.
        }
      }
    });
  }
  warmup_ = std::move(warmup);
}

void SelectTreeForm::FinishWarmup() {
  if (!warmup_) return;
  for (std::jthread& worker : warmup_->workers) worker.join();
  for (auto& part : warmup_->plain) {
    for (auto& [stored, plain] : part) {
      plainBytes_ += stored.size() + 2 * plain.plain.size();
      plainTexts_.insert_or_assign(stored, std::move(plain));
    }
  }
  warmup_.reset();
}

SelectTreeForm::SelectTreeForm(MainForm& main, TreeControl& buildInTree, TreeControl& userTree)
    : main(main), BuildInTreeNT(buildInTree), UserTreeNT(userTree) {
  Caption = W("Knihovna rizik");
  BuildInTabSheet.text = W("Základní knihovna");
  UserTabSheet.text = W("Uživatelská knihovna");
  StoreBitBtn.text = W("Uložit");
  CancelBitBtn.text = W("Zrušit");
  ImportFileButton.text = "Imp File";
  FindSpeedButton.hint = W("Najít");
  SortSpeedButton.hint = W("Seřaď abecedně");
  AddNodeSpeedButton.hint = W("Přidat uzel");
  AddRiskSpeedButton.hint = W("Přidat riziko");
  DeleteSpeedButton.hint = W("Vymazat");
  OKBitBtn.text = "OK";
  CloseBitBtn.text = W("Zavřít");
  InsertNode1.text = W("Vlož uzel");
  InsertRiziko1.text = W("Vlož riziko");
  Delete1.text = W("Vymaž");
  Copy1.text = W("Kopírovat");
  Insert1.text = W("Vložit");
  Expand1.text = W("Rozviň");
  ExpandAll1.text = W("Rozviň vše");
  Collapse1.text = W("Zabal");
  CollapseAll1.text = W("Zabal Vše");
  Sort1.text = W("Seřaď");
  SortAll1.text = W("Seřaď vše");
  Export1.text = "Export";
  TextEdit.maxLength = kTextSize;
  DescrEdit.maxLength = kTextSize;
  RiskSourceEdit.maxLength = kSourceSize;
  // The rating scales as hints, one text per line.
  const auto scale = [this](int first) {
    std::string hint;
    for (int value = 1; value <= 5; ++value) {
      if (value > 1) hint += "\r\n";
      hint += std::to_string(value) + ". " + this->main.MessagesBox.Get(first + value - 1);
    }
    return hint;
  };
  ExistenceSpinEdit.hint = scale(55);
  NasledkySpinEdit.hint = scale(60);
  StoreBitBtn.enabled = false;
  CancelBitBtn.enabled = false;

  controls_ = {
      {"PageControl1", &PageControl1},
      {"BuildInTabSheet", &BuildInTabSheet},
      {"UserTabSheet", &UserTabSheet},
      {"TextEdit", &TextEdit},
      {"TextCommentMemo", &TextCommentMemo},
      {"RiskSourceEdit", &RiskSourceEdit},
      {"DescrEdit", &DescrEdit},
      {"RiskMemo", &RiskMemo},
      {"OpatreniMemo", &OpatreniMemo},
      {"ExistenceSpinEdit", &ExistenceSpinEdit},
      {"NasledkySpinEdit", &NasledkySpinEdit},
      {"EditButtonPanel", &EditButtonPanel},
      {"StoreBitBtn", &StoreBitBtn},
      {"CancelBitBtn", &CancelBitBtn},
      {"ImportFileButton", &ImportFileButton},
      {"FindSpeedButton", &FindSpeedButton},
      {"SortSpeedButton", &SortSpeedButton},
      {"AddNodeSpeedButton", &AddNodeSpeedButton},
      {"AddRiskSpeedButton", &AddRiskSpeedButton},
      {"DeleteSpeedButton", &DeleteSpeedButton},
      {"SaveLibSpeedButton", &SaveLibSpeedButton},
      {"OKPanel", &OKPanel},
      {"OKBitBtn", &OKBitBtn},
      {"CloseBitBtn", &CloseBitBtn},
      {"InsertNode1", &InsertNode1},
      {"InsertRiziko1", &InsertRiziko1},
      {"Delete1", &Delete1},
      {"Copy1", &Copy1},
      {"Insert1", &Insert1},
      {"Expand1", &Expand1},
      {"ExpandAll1", &ExpandAll1},
      {"Collapse1", &Collapse1},
      {"CollapseAll1", &CollapseAll1},
      {"Sort1", &Sort1},
      {"SortAll1", &SortAll1},
      {"Export1", &Export1},
  };

  for (const int which : {kBuiltInLibrary, kUserLibrary}) {
    main.Libs.TableOf(which).SetRowObserver(&changes_[which == kBuiltInLibrary ? 0 : 1]);
  }
  bar_ = std::make_unique<FindBar>(FindScope{
      .tree = [this]() -> TreeControl& { return ActiveTree(); },
      .table =
          [this] {
            // The texts of the background deciphering are taken over first.
            FinishWarmup();
            return &ActiveTable();
          },
      .changes = [this] { return changes_[ActiveLibrary == kBuiltInLibrary ? 0 : 1].Changes(); },
      .waits = [this] { return EditState; },
      .read = [this](Table& table, RecordTexts::Field field, int number,
                     std::string& scratch) -> std::string_view {
        if (field != RecordTexts::kIdentField && field != RecordTexts::kOpatreniField) {
          return table.TextView(number);
        }
        try {
          scratch = Deciphered(std::string(table.TextView(number))).plain;
        } catch (const Error&) {
          // A damaged value holds nothing to find; showing the record reports it.
          scratch.clear();
        }
        return scratch;
      },
  });

  for (TreeControl* tree : {&BuildInTreeNT, &UserTreeNT}) {
    tree->OnChange = [this] { BuildInTreeNTChange(); };
    tree->OnExpanded = [this, tree](TreeControl::Item item) { BuildInTreeNTExpanded(*tree, item); };
    tree->OnCollapsed = [this, tree](TreeControl::Item item) {
      BuildInTreeNTCollapsed(*tree, item);
    };
  }
}

SelectTreeForm::~SelectTreeForm() {
  if (warmup_) {
    for (std::jthread& worker : warmup_->workers) worker.request_stop();
  }
  warmup_.reset();
  for (const int which : {kBuiltInLibrary, kUserLibrary})
    main.Libs.TableOf(which).SetRowObserver(nullptr);
  for (TreeControl* tree : {&BuildInTreeNT, &UserTreeNT}) {
    tree->OnChange = nullptr;
    tree->OnExpanded = nullptr;
    tree->OnCollapsed = nullptr;
  }
}

SelectTreeForm::StateScope::~StateScope() {
  if (--form_.handlerDepth_ != 0) return;
  try {
    if (form_.OnStateChanged) form_.OnStateChanged();
  } catch (...) {
    // Refreshing widgets must not turn a finished command into a crash.
  }
  form_.FocusControl.clear();
}

Control* SelectTreeForm::FindControl(std::string_view name) const {
  for (const auto& [controlName, control] : controls_) {
    if (controlName == name) return control;
  }
  return nullptr;
}

bool SelectTreeForm::IsAdministrator() const { return IsAdministratorMode(main.AdminMarker); }

SelectTreeForm::ModalResult SelectTreeForm::Execute(LibraryMode mode) {
  RequestedMode = mode;
  modalResult = ModalResult::None;
  if (ShowModal) {
    ShowModal();
  } else {
    FormShow();
  }
  if (modalResult == ModalResult::None) modalResult = ModalResult::Cancel;
  return modalResult;
}

// --- Showing and pages ------------------------------------------------------------------------

void SelectTreeForm::FormShow() {
  StateScope scope(*this);
  const bool admin = IsAdministrator();
  ImportFileButton.visible = admin;
  Export1.visible = admin;
  SaveLibSpeedButton.visible = admin;

  const bool selection = RequestedMode == LibraryMode::Selection;
  OKPanel.visible = selection;
  CheckBoxes = selection;
  for (Control* command : {&InsertRiziko1, &InsertNode1, &Insert1, &Delete1, &AddNodeSpeedButton,
                           &AddRiskSpeedButton, &DeleteSpeedButton}) {
    command->visible = !selection;
  }
  Copy1.visible = true;
  for (TreeControl* tree : {&BuildInTreeNT, &UserTreeNT}) {
    tree->SetCheckBoxes(selection);
    if (!selection) {
      for (TreeControl::Item item : tree->Children(nullptr)) tree->SetChecked(item, false);
    }
  }

  if (RequestedMode != LoadedMode) {
    BusyCursor busy(main.progress);
    main.progress.ShowProgress(
        main.MessagesBox.Get(selection ? 36 : 35),
        main.Libs.BuildInRisksTable.RecordCount() + main.Libs.UserRisksTable.RecordCount());
    struct HideAtEnd {
      Progress& progress;
      ~HideAtEnd() { progress.HideProgress(); }
    } hide{main.progress};
    FlagScope suppressed(TreeChangesSuppressed, true);
    LoadLibraryTree(kBuiltInLibrary);
    LoadLibraryTree(kUserLibrary);
    LoadedMode = RequestedMode;
    StartWarmup();
    // A rebuilt tree's check boxes follow the mode.
    for (TreeControl* tree : {&BuildInTreeNT, &UserTreeNT}) tree->SetCheckBoxes(selection);
  }
  BuildInTreeNT.Repaint();
  PageControl1Change();
}

void SelectTreeForm::LoadLibraryTree(int which) {
  StateScope scope(*this);
  FlagScope suppressed(TreeChangesSuppressed, true);
  orvenda::LoadLibraryTree(TreeOf(which), main.Libs.TableOf(which), NodeIndexesOf(which),
                           main.progress, main.MessagesBox);
  TreeOf(1 - which).Repaint();
  main.progress.ProcessEvents();
}

void SelectTreeForm::PageControl1Change() {
  StateScope scope(*this);
  Editable =
      RequestedMode == LibraryMode::Edit && (ActiveLibrary == kUserLibrary || IsAdministrator());
  EditButtonPanel.visible = Editable;
  SetRecordControlsReadOnly(!Editable);
  DragEnabled = Editable;
  for (Control* command : {&InsertRiziko1, &InsertNode1, &Delete1, &Insert1, &AddNodeSpeedButton,
                           &AddRiskSpeedButton, &DeleteSpeedButton}) {
    command->visible = Editable;
  }
  Copy1.visible = true;
  if (!Editable) Export1.visible = false;
  if (Editable) Export1.visible = IsAdministrator();
  if (!TreeChangesSuppressed) ShowLibraryRecord();
}

void SelectTreeForm::SetRecordControlsReadOnly(bool readOnly) {
  for (Control* control : {&TextEdit, &TextCommentMemo, &RiskSourceEdit, &DescrEdit, &RiskMemo,
                           &OpatreniMemo, &ExistenceSpinEdit, &NasledkySpinEdit}) {
    control->readOnly = readOnly;
  }
}

void SelectTreeForm::BuildInTreeNTChange() {
  StateScope scope(*this);
  if (!TreeChangesSuppressed) ShowLibraryRecord();
}

void SelectTreeForm::BuildInTreeNTExpanded(TreeControl& tree, TreeControl::Item item) {
  StateScope scope(*this);
  if (item == nullptr || tree.Image(item) == TreeControl::kRisk) return;
  tree.SetImage(item, TreeControl::kExpandedNode);
}

void SelectTreeForm::BuildInTreeNTCollapsed(TreeControl& tree, TreeControl::Item item) {
  StateScope scope(*this);
  if (item == nullptr || tree.Image(item) == TreeControl::kRisk) return;
  tree.SetImage(item, TreeControl::kCollapsedNode);
}

const SelectTreeForm::PlainText& SelectTreeForm::Deciphered(const std::string& stored) {
  static const PlainText kEmpty;
  if (stored.empty()) return kEmpty;
  if (const auto found = plainTexts_.find(stored); found != plainTexts_.end()) {
    return found->second;
  }
  std::string plain = DecryptLibraryText(stored);
  if (plainBytes_ > kPlainCacheLimit) {
    plainTexts_.clear();
    plainBytes_ = 0;
  }
  plainBytes_ += stored.size() + 2 * plain.size();
  std::string upper = Cp1250Upper(plain);
  return plainTexts_.emplace(stored, PlainText{std::move(plain), std::move(upper)}).first->second;
}

void SelectTreeForm::ShowLibraryRecord() {
  StateScope scope(*this);
  if (ImportRunning) return;
  FlagScope loading(Loading, true);
  TreeControl& tree = ActiveTree();
  Table& table = ActiveTable();
  const TreeControl::Item selected = tree.Selected();
  if (selected == nullptr) {
    ActivePage = LibraryPage::NoneTabSheet;
    return;
  }
  ClearFilter(table);
  if (!table.IsOpen() || !table.Locate(fld::kIndex, tree.Data(selected))) return;
  if (table.GetInt(fld::kType) != kNodeType) {
    // Deciphered first: a damaged value must not leave half a page behind.
    std::string ident = Decipher(table.GetText(fld::kIdent));
    std::string opatreni = Decipher(table.GetText(fld::kOpatreni));
    ActivePage = LibraryPage::RizikoTabSheet;
    DescrEdit.text = table.GetText(fld::kText);
    RiskSourceEdit.text = table.GetText(fld::kSource);
    RiskMemo.text = std::move(ident);
    OpatreniMemo.text = std::move(opatreni);
    ExistenceSpinEdit.value = std::clamp(table.GetInt(fld::kPravdep), 0, 5);
    NasledkySpinEdit.value = std::clamp(table.GetInt(fld::kNasledky), 0, 5);
  } else {
    ActivePage = LibraryPage::UzelTabSheet;
    TextEdit.text = table.GetText(fld::kText);
    TextCommentMemo.text = table.GetText(fld::kComment);
  }
  EditButtonPanelPage = ActivePage;
}

void SelectTreeForm::SetLibraryEditState(bool on) {
  StateScope scope(*this);
  EditState = on;
  StoreBitBtn.enabled = on;
  CancelBitBtn.enabled = on;
  for (Control* control : {&PageControl1, &CloseBitBtn, &FindSpeedButton, &AddNodeSpeedButton,
                           &AddRiskSpeedButton, &DeleteSpeedButton, &SortSpeedButton}) {
    control->enabled = !on;
  }
}

void SelectTreeForm::RiskSourceEditChange() {
  StateScope scope(*this);
  if (!Loading && Editable && !EditState) SetLibraryEditState(true);
}

void SelectTreeForm::StoreBitBtnClick() {
  StateScope scope(*this);
  TreeControl& tree = ActiveTree();
  Table& table = ActiveTable();
  const TreeControl::Item selected = tree.Selected();
  if (selected != nullptr) {
    ClearFilter(table);
    if (table.Locate(fld::kIndex, tree.Data(selected))) {
      if (table.GetInt(fld::kType) != kNodeType) {
        const std::string ident = EncryptLibraryText(RiskMemo.text);
        const std::string opatreni = EncryptLibraryText(OpatreniMemo.text);
        table.Edit();
        table.SetText(fld::kText, DescrEdit.text);
        table.SetText(fld::kSource, RiskSourceEdit.text);
        table.SetText(fld::kIdent, ident);
        table.SetText(fld::kOpatreni, opatreni);
        table.SetInt(fld::kPravdep, std::clamp(ExistenceSpinEdit.value, 0, 5));
        table.SetInt(fld::kNasledky, std::clamp(NasledkySpinEdit.value, 0, 5));
      } else {
        table.Edit();
        table.SetText(fld::kText, TextEdit.text);
        table.SetText(fld::kComment, TextCommentMemo.text);
      }
      table.Post();
      tree.SetCaption(selected, table.GetText(fld::kText));
    }
  }
  SetLibraryEditState(false);
  ShowLibraryRecord();
}

void SelectTreeForm::CancelBitBtnClick() {
  StateScope scope(*this);
  SetLibraryEditState(false);
  ShowLibraryRecord();
}

// --- Adding and deleting ----------------------------------------------------------------------

void SelectTreeForm::AddLibraryRecord(int32_t type) {
  StateScope scope(*this);
  if (!Editable) return;
  TreeControl& tree = ActiveTree();
  Table& table = ActiveTable();
  {
    FlagScope suppressed(TreeChangesSuppressed, true);
    const int32_t index = MaxIndex(table) + 1;
    int32_t parent = 0;
    if (const TreeControl::Item selected = tree.Selected()) {
      ClearFilter(table);
      if (table.Locate(fld::kIndex, tree.Data(selected))) {
        parent = table.GetInt(fld::kType) != kNodeType ? table.GetInt(fld::kUpLink)
                                                       : table.GetInt(fld::kIndex);
      }
    }
    table.Append();
    table.Edit();
    table.SetInt(fld::kIndex, index);
    table.SetInt(fld::kType, type);
    table.SetInt(fld::kUpLink, parent);
    table.Post();

    const TreeControl::Item parentItem = parent != 0 ? tree.FindByData(parent) : nullptr;
    const std::vector<TreeControl::Item> siblings = tree.Children(parentItem);
    const TreeControl::Item item =
        tree.Add(parentItem, std::string(),
                 type == kNodeType ? TreeControl::kCollapsedNode : TreeControl::kRisk, index);
    // The user's new nodes come first among their siblings: moving the others behind it keeps
    // their order.
    if (type == kNodeType && ActiveLibrary == kUserLibrary) {
      for (TreeControl::Item sibling : siblings) tree.Move(sibling, parentItem);
    }
    tree.Select(item);
  }
  ShowLibraryRecord();
  FocusControl = type == kNodeType ? "TextEdit" : "RiskSourceEdit";
}

void SelectTreeForm::Delete1Click() {
  StateScope scope(*this);
  if (!Editable) return;
  TreeControl& tree = ActiveTree();
  Table& table = ActiveTable();
  const TreeControl::Item selected = tree.Selected();
  if (selected == nullptr) return;
  if (main.AskDelete &&
      !main.dialogs.AskYesNo(main.MessagesBox.Get(15), main.MessagesBox.Get(16))) {
    return;
  }
  BusyCursor busy(main.progress);
  const int32_t index = tree.Data(selected);
  ClearFilter(table);
  if (!table.Locate(fld::kIndex, index)) return;
  if (table.GetInt(fld::kType) == kNodeType) {
    DeleteLibraryBranch(index);
    ClearFilter(table);
    if (table.Locate(fld::kIndex, index)) table.Delete();
  } else {
    table.Delete();
  }
  {
    FlagScope suppressed(TreeChangesSuppressed, true);
    tree.Delete(selected);
  }
  main.Libs.PackTable(ActiveLibrary);
  ShowLibraryRecord();
}

void SelectTreeForm::DeleteLibraryBranch(int32_t index) {
  StateScope scope(*this);
  Table& table = ActiveTable();
  // Every node below first (each once, even where a damaged table makes a node its own
  // ancestor), then their records: no recursion, so depth costs no stack.
  std::vector<int32_t> nodes{index};
  std::unordered_set<int32_t> seen{index};
  for (std::size_t at = 0; at < nodes.size(); ++at) {
    main.progress.ProcessEvents();
    table.SetFilter(ChildNodesFilter(nodes[at]));
    table.SetFiltered(true);
    for (table.First(); !table.Eof(); table.Next()) {
      const int32_t child = table.GetInt(fld::kIndex);
      if (seen.insert(child).second) nodes.push_back(child);
    }
  }
  for (const int32_t node : nodes) {
    // Records of any type other than node hang below like risks; none may stay orphaned.
    table.SetFilter("Uplink=" + std::to_string(node));
    table.SetFiltered(true);
    table.First();
    while (!table.Eof() && !table.IsEmpty()) {
      if (table.GetInt(fld::kType) == kNodeType) {
        table.Next();
      } else {
        table.Delete();
      }
    }
  }
  ClearFilter(table);
  for (std::size_t i = 1; i < nodes.size(); ++i) {
    if (table.Locate(fld::kIndex, nodes[i])) table.Delete();
  }
}

// --- Clipboard
// ------------------------------------------------------------------------------------

void SelectTreeForm::Copy1Click() {
  StateScope scope(*this);
  const TreeControl::Item selected = ActiveTree().Selected();
  if (selected == nullptr) return;
  if (main.ClipboardDir.empty()) main.PrepareClipboard();
  CreateProjectTable(main.ClipboardTable);
  struct CloseAtEnd {
    Table& table;
    ~CloseAtEnd() { table.Close(); }
  } closeAtEnd{main.ClipboardTable};
  CopyBranch(ActiveTable(), ActiveTree().Data(selected), ConversionKind::Decipher, nullptr, 0,
             main.ClipboardTable, main.progress, LibraryTextConversion());
}

void SelectTreeForm::Insert1Click() {
  StateScope scope(*this);
  if (!Editable) return;
  if (main.ClipboardDir.empty()) main.PrepareClipboard();
  TreeControl& tree = ActiveTree();
  Table& table = ActiveTable();
  ClipboardUse use(main.ClipboardTable);
  FlagScope suppressed(TreeChangesSuppressed, true);
  TreeUpdateScope update(tree);
  int32_t parent = 0;
  if (const TreeControl::Item selected = tree.Selected()) {
    ClearFilter(table);
    if (table.Locate(fld::kIndex, tree.Data(selected))) {
      parent = table.GetInt(fld::kType) != kNodeType ? table.GetInt(fld::kUpLink)
                                                     : table.GetInt(fld::kIndex);
    }
  }
  CopyBranch(main.ClipboardTable, 1, ConversionKind::Encipher, &tree, parent, table, main.progress,
             LibraryTextConversion());
}

// --- View
// -----------------------------------------------------------------------------------------

void SelectTreeForm::Expand1Click() {
  StateScope scope(*this);
  if (TreeControl::Item selected = ActiveTree().Selected()) ActiveTree().Expand(selected, true);
}

void SelectTreeForm::Collapse1Click() {
  StateScope scope(*this);
  if (TreeControl::Item selected = ActiveTree().Selected()) ActiveTree().Collapse(selected, true);
}

void SelectTreeForm::ExpandAll1Click() {
  StateScope scope(*this);
  for (TreeControl::Item item : ActiveTree().Children(nullptr)) ActiveTree().Expand(item, true);
}

void SelectTreeForm::CollapseAll1Click() {
  StateScope scope(*this);
  for (TreeControl::Item item : ActiveTree().Children(nullptr)) ActiveTree().Collapse(item, true);
  ShowLibraryRecord();
}

void SelectTreeForm::Sort1Click() {
  StateScope scope(*this);
  if (TreeControl::Item selected = ActiveTree().Selected()) {
    ActiveTree().SortChildren(selected, false);
  }
}

void SelectTreeForm::SortAll1Click() {
  StateScope scope(*this);
  ActiveTree().SortChildren(nullptr, true);
}

void SelectTreeForm::PopupMenu1Popup(TreeControl& tree, TreeControl::Item underMouse) {
  StateScope scope(*this);
  tree.Select(underMouse);
  const bool selected = tree.Selected() != nullptr;
  Delete1.enabled = selected;
  Copy1.enabled = selected;
  if (main.ClipboardDir.empty()) main.PrepareClipboard();
  ClipboardUse use(main.ClipboardTable);
  Insert1.enabled = main.ClipboardTable.RecordCount() > 0;
}

// --- Drag and drop
// --------------------------------------------------------------------------------

bool SelectTreeForm::BuildInTreeNTDragOver(TreeControl::Item target) {
  StateScope scope(*this);
  if (!DragEnabled) return false;
  TreeControl& tree = ActiveTree();
  const TreeControl::Item dragged = tree.Selected();
  if (target == nullptr || dragged == nullptr || target == dragged) return false;
  // A risk at the top level has no node to take the dropped item.
  if (tree.Image(target) == TreeControl::kRisk && tree.Parent(target) == nullptr) return false;

  Table& table = ActiveTable();
  const int32_t draggedIndex = tree.Data(dragged);
  ClearFilter(table);
  if (!table.Locate(fld::kIndex, tree.Data(target))) return true;
  std::unordered_set<int32_t> seen;
  for (int32_t up = table.GetInt(fld::kUpLink); up != 0; up = table.GetInt(fld::kUpLink)) {
    if (up == draggedIndex) return false;
    if (!seen.insert(up).second) break;         // a damaged table's cycle
    if (!table.Locate(fld::kIndex, up)) break;  // an orphaned chain ends the walk
  }
  return true;
}

void SelectTreeForm::BuildInTreeNTDragDrop(TreeControl::Item target) {
  StateScope scope(*this);
  // A drop the drag-over refused would tear the branch off the tree or make it its own
  // ancestor in the table.
  if (!BuildInTreeNTDragOver(target)) return;
  TreeControl& tree = ActiveTree();
  Table& table = ActiveTable();
  const TreeControl::Item dragged = tree.Selected();
  const TreeControl::Item node =
      tree.Image(target) == TreeControl::kRisk ? tree.Parent(target) : target;
  if (node == nullptr || IsWithin(tree, node, dragged)) return;
  FlagScope suppressed(TreeChangesSuppressed, true);
  ClearFilter(table);
  if (!table.Locate(fld::kIndex, tree.Data(dragged))) return;
  table.Edit();
  table.SetInt(fld::kUpLink, tree.Data(node));
  table.Post();
  tree.Move(dragged, node);
}

// --- Find
// -----------------------------------------------------------------------------------------

void SelectTreeForm::FindSpeedButtonClick() {
  StateScope scope(*this);
  FindDialogOpen = !FindDialogOpen;
}

void SelectTreeForm::FindDialog1Close() {
  StateScope scope(*this);
  FindDialogOpen = false;
}

bool SelectTreeForm::IsFindSeparator(unsigned char c) {
  return (c >= 0x20 && c <= 0x40) || (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7F);
}

bool SelectTreeForm::MatchesRecordText(const std::string& text, const std::string& needle,
                                       bool wholeWord) {
  const std::size_t at = text.find(needle);
  if (at == std::string::npos) return false;
  if (!wholeWord) return true;
  const bool before = at == 0 || IsFindSeparator(static_cast<unsigned char>(text[at - 1]));
  const std::size_t end = at + needle.size();
  const bool after = end >= text.size() || IsFindSeparator(static_cast<unsigned char>(text[end]));
  return before && after;
}

std::string SelectTreeForm::RecordText(Table& table, bool upper) {
  const auto piece = [upper](std::string text) { return upper ? Cp1250Upper(text) : text; };
  // Each deciphered text is used before the next lookup, which may empty the cache.
  const auto deciphered = [&](const char* field) -> const std::string& {
    const PlainText& found = Deciphered(table.GetText(field));
    return upper ? found.upper : found.plain;
  };
  std::string text = " ";
  text += piece(table.GetText(fld::kSource));
  text += ' ';
  text += piece(table.GetText(fld::kText));
  text += ' ';
  text += deciphered(fld::kIdent);
  text += ' ';
  text += deciphered(fld::kOpatreni);
  text += ' ';
  text += std::to_string(table.GetInt(fld::kPravdep));
  text += ' ';
  text += std::to_string(table.GetInt(fld::kNasledky));
  text += ' ';
  return text;
}

void SelectTreeForm::FindDialog1Find() {
  StateScope scope(*this);
  if (FindDialog1.FindText.empty()) return;
  FinishWarmup();
  TreeControl& tree = ActiveTree();
  Table& table = ActiveTable();
  const bool down = FindDialog1.Down;
  const bool matchCase = FindDialog1.MatchCase;
  bool found = false;
  int32_t foundIndex = 0;
  {
    BusyCursor busy(main.progress);
    ClearFilter(table);
    // The search starts at the selected item's record; with nothing selected, at the end the
    // direction starts from.
    const TreeControl::Item selected = tree.Selected();
    bool atRecord = selected != nullptr && table.Locate(fld::kIndex, tree.Data(selected));
    if (!atRecord) {
      if (down) {
        table.First();
      } else {
        table.Last();
      }
    } else if (LastSearchFound) {
      if (down) {
        table.Next();
      } else {
        table.Prior();
      }
    }
    const std::string needle = matchCase ? FindDialog1.FindText : Cp1250Upper(FindDialog1.FindText);
    LastSearchFound = false;
    while (!table.IsEmpty() && !(down ? table.Eof() : table.Bof())) {
      const std::string text = RecordText(table, !matchCase);
      if (MatchesRecordText(text, needle, FindDialog1.WholeWord)) {
        found = true;
        foundIndex = table.GetInt(fld::kIndex);
        break;
      }
      if (down) {
        table.Next();
      } else {
        table.Prior();
      }
    }
  }
  if (found) {
    if (const TreeControl::Item item = tree.FindByData(foundIndex)) {
      LastSearchFound = true;
      tree.Select(item);
      // Selecting the item already selected loads nothing; the table stays on the record.
      ShowLibraryRecord();
      return;
    }
  }
  main.dialogs.Information(main.MessagesBox.Get(37), main.MessagesBox.Get(38));
}

// --- Closing and saving
// ---------------------------------------------------------------------------

void SelectTreeForm::SaveLibSpeedButtonClick() {
  StateScope scope(*this);
  main.Libs.SaveLibrary(kBuiltInLibrary, main.progress, main.MessagesBox.Get(19));
}

void SelectTreeForm::CloseBitBtnClick() {
  StateScope scope(*this);
  modalResult = ModalResult::Cancel;
}

}  // namespace orvenda
