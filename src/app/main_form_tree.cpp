// The main form's construction, the tree and the pages.
#include <algorithm>
#include <charconv>
#include <limits>

#include "app/main_form.h"
#include "base/cp1250.h"
#include "model/project_table.h"
#include "model/risk.h"

namespace orvenda {

MainForm::MainForm(TreeControl& tree, Dialogs& dialogs, Progress& progress, SettingsStore& settings,
                   MainFormDirs dirs)
    : TreeNT1(tree),
      dialogs(dialogs),
      progress(progress),
      settings(settings),
      ProgramDir(std::move(dirs.programDir)),
      TempDir(std::move(dirs.tempDir)),
      UserDir(std::move(dirs.userDir)) {
  RegisterControls();

  DataTable.AfterPost = [this] { DataTableAfterPost(); };
  TreeNT1.OnChange = [this] { TreeNT1Change(); };
  TreeNT1.OnExpanded = [this](TreeControl::Item item) { TreeNT1Expanded(item); };
  TreeNT1.OnCollapsed = [this](TreeControl::Item item) { TreeNT1Collapsed(item); };

  TextEdit.maxLength = kTextSize;
  DescrEdit.maxLength = kTextSize;
  RiskSourceEdit.maxLength = kSourceSize;
  for (Control* rating : {&ExistenceSpinEdit, &NasledkySpinEdit, &NazorSpinEdit}) {
    rating->value = 1;
  }
  UpdateRatingHints();
  PrumerEdit.readOnly = true;
  TextPrumEdit.readOnly = true;

  StoreBitBtn.text = W("Uložit");
  CancelBitBtn.text = W("Zrušit");
  StoreBitBtn.enabled = false;
  CancelBitBtn.enabled = false;
  AddNodeSpeedButton.hint = W("Přidat uzel");
  AddRiskSpeedButton.hint = W("Přidat riziko");
  AddFromLibSpeedButton.hint = W("Přidat z knihovny");
  DeleteSpeedButton.hint = W("Vymazat");
  Soubor1.text = W("Soubor");
  Knihovny1.text = W("Knihovny");
  Sestavy1.text = W("Sestavy");
  Napoveda1.text = W("Nápověda");
  Administrator1.text = "Administrator";
  Administrator1.visible = false;
  Expand1.text = W("Rozviň");
  ExpandAll1.text = W("Rozviň vše");
  Collapse1.text = W("Zabal");
  CollapseAll1.text = W("Zabal Vše");
  Sort1.text = W("Seřaď");
  SortAll1.text = W("Seřaď vše");
  InsertNode1.text = W("Vlož uzel");
  InsertRiziko1.text = W("Vlož riziko");
  InsertFromLibrary1.text = W("Vlož z knihovny");
  Delete1.text = W("Vymaž");
  Copy1.text = W("Kopírovat");
  Insert1.text = W("Vložit");
  SetUpEditMenu();
}

MainForm::~MainForm() {
  // The control may outlive the form.
  TreeNT1.OnChange = nullptr;
  TreeNT1.OnExpanded = nullptr;
  TreeNT1.OnCollapsed = nullptr;
  DataTable.AfterPost = nullptr;
}

MainForm::StateScope::~StateScope() {
  if (--form_.handlerDepth_ != 0) return;
  try {
    form_.UpdateEditMenu();
    if (form_.OnStateChanged) form_.OnStateChanged();
  } catch (...) {
    // Refreshing widgets must not turn a finished command, or a failure on its way to the
    // error handler, into a crash.
  }
  form_.FocusControl.clear();
}

void MainForm::RegisterControls() {
  controls_ = {
      {"TextEdit", &TextEdit},
      {"TextCommentMemo", &TextCommentMemo},
      {"CelkPanel", &CelkPanel},
      {"PrumerEdit", &PrumerEdit},
      {"TextPrumEdit", &TextPrumEdit},
      {"RiskSourceEdit", &RiskSourceEdit},
      {"DescrEdit", &DescrEdit},
      {"RiskMemo", &RiskMemo},
      {"OpatreniMemo", &OpatreniMemo},
      {"CommentMemo", &CommentMemo},
      {"ExistenceSpinEdit", &ExistenceSpinEdit},
      {"NasledkySpinEdit", &NasledkySpinEdit},
      {"NazorSpinEdit", &NazorSpinEdit},
      {"StoreBitBtn", &StoreBitBtn},
      {"CancelBitBtn", &CancelBitBtn},
      {"ObjectPanel", &ObjectPanel},
      {"AddNodeSpeedButton", &AddNodeSpeedButton},
      {"AddRiskSpeedButton", &AddRiskSpeedButton},
      {"AddFromLibSpeedButton", &AddFromLibSpeedButton},
      {"DeleteSpeedButton", &DeleteSpeedButton},
      {"Soubor1", &Soubor1},
      {"Knihovny1", &Knihovny1},
      {"Sestavy1", &Sestavy1},
      {"Napoveda1", &Napoveda1},
      {"Administrator1", &Administrator1},
      {"Expand1", &Expand1},
      {"ExpandAll1", &ExpandAll1},
      {"Collapse1", &Collapse1},
      {"CollapseAll1", &CollapseAll1},
      {"Sort1", &Sort1},
      {"SortAll1", &SortAll1},
      {"InsertNode1", &InsertNode1},
      {"InsertRiziko1", &InsertRiziko1},
      {"InsertFromLibrary1", &InsertFromLibrary1},
      {"Delete1", &Delete1},
      {"Copy1", &Copy1},
      {"Insert1", &Insert1},
      {"Upravy1", &Upravy1},
      {"Zpet1", &Zpet1},
      {"Znovu1", &Znovu1},
      {"Vyjmout1", &Vyjmout1},
      {"Kopirovat1", &Kopirovat1},
      {"Vlozit1", &Vlozit1},
      {"Najit1", &Najit1},
  };
}

Control* MainForm::FindControl(std::string_view name) const {
  for (const auto& [controlName, control] : controls_) {
    if (controlName == name) return control;
  }
  return nullptr;
}

void MainForm::UpdateRatingHints() {
  const auto scale = [this](int first) {
    std::string hint;
    for (int value = 1; value <= 5; ++value) {
      if (value > 1) hint += "\r\n";
      hint += std::to_string(value) + ". " + MessagesBox.Get(first + value - 1);
    }
    return hint;
  };
  ExistenceSpinEdit.hint = scale(55);
  NasledkySpinEdit.hint = scale(60);
  NazorSpinEdit.hint.clear();
}

// --- Tree ---------------------------------------------------------------------------------------

void MainForm::BuildTree() {
  StateScope scope(*this);
  const bool wasUpdating = TreeUpdating;
  TreeUpdating = true;
  try {
    orvenda::BuildTree(TreeNT1, DataTable, NodeIndexes, progress, MessagesBox);
    if (AfterBuildTree) AfterBuildTree();
  } catch (...) {
    TreeUpdating = wasUpdating;
    throw;
  }
  TreeUpdating = false;
}

void MainForm::TreeNT1Change() {
  StateScope scope(*this);
  if (!TreeUpdating) ShowSelected();
}

void MainForm::TreeNT1Expanded(TreeControl::Item item) {
  StateScope scope(*this);
  if (item == nullptr || TreeNT1.Image(item) == TreeControl::kRisk) return;
  TreeNT1.SetImage(item, TreeControl::kExpandedNode);
  TreeNT1.Repaint();
}

void MainForm::TreeNT1Collapsed(TreeControl::Item item) {
  StateScope scope(*this);
  if (item == nullptr || TreeNT1.Image(item) == TreeControl::kRisk) return;
  TreeNT1.SetImage(item, TreeControl::kCollapsedNode);
  TreeNT1.Repaint();
}

void MainForm::Expand1Click() {
  StateScope scope(*this);
  if (TreeControl::Item selected = TreeNT1.Selected()) TreeNT1.Expand(selected, true);
}

void MainForm::ExpandAll1Click() {
  StateScope scope(*this);
  for (TreeControl::Item item : TreeNT1.Children(nullptr)) TreeNT1.Expand(item, true);
}

void MainForm::Collapse1Click() {
  StateScope scope(*this);
  if (TreeControl::Item selected = TreeNT1.Selected()) TreeNT1.Collapse(selected, true);
}

void MainForm::CollapseAll1Click() {
  StateScope scope(*this);
  for (TreeControl::Item item : TreeNT1.Children(nullptr)) TreeNT1.Collapse(item, true);
}

void MainForm::Sort1Click() {
  StateScope scope(*this);
  if (TreeControl::Item selected = TreeNT1.Selected()) TreeNT1.SortChildren(selected, false);
}

void MainForm::SortAll1Click() {
  StateScope scope(*this);
  TreeNT1.SortChildren(nullptr, true);
}

// --- Pages --------------------------------------------------------------------------------------

int MainForm::ClampRating(int value) { return std::clamp(value, 1, 5); }

int MainForm::ParseRating(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || end != text.data() + text.size()) return 1;
  if (error == std::errc::result_out_of_range) return text.front() == '-' ? 1 : 5;
  if (error != std::errc()) return 1;
  return static_cast<int>(std::clamp<long long>(value, 1, 5));
}

void MainForm::RatingEditExit(Control& spinEdit) {
  StateScope scope(*this);
  spinEdit.value = ClampRating(spinEdit.value);
}

void MainForm::ShowSelected() {
  StateScope scope(*this);
  PageReady = false;
  struct PageReadyAtEnd {
    bool& flag;
    ~PageReadyAtEnd() { flag = true; }
  } pageReadyAtEnd{PageReady};

  // The command that called us may stand on a record of its own; give it back.
  bool remembered = false;
  int32_t rememberedIndex = 0;
  if (DataTable.IsOpen() && !DataTable.IsEmpty() && !DataTable.Eof()) {
    rememberedIndex = DataTable.GetInt(fld::kIndex);
    remembered = true;
  }

  const TreeControl::Item selected = TreeNT1.Selected();
  if (selected == nullptr) {
    ActivePage = Page::NoneTabSheet;
  } else if (DataTable.IsOpen()) {
    ClearFilter(DataTable);
    const int32_t index = TreeNT1.Data(selected);
    if (DataTable.Locate(fld::kIndex, index)) {
      if (DataTable.GetInt(fld::kType) != kNodeType) {
        FillRiskPage();
      } else {
        FillNodePage();
        FillNodeAverage(index);
      }
    }
  }

  if (remembered) {
    ClearFilter(DataTable);
    DataTable.Locate(fld::kIndex, rememberedIndex);
  }
}

void MainForm::FillRiskPage() {
  ActivePage = Page::RizikoTabSheet;
  DescrEdit.text = DataTable.GetText(fld::kText);
  CommentMemo.text = DataTable.GetText(fld::kComment);
  RiskSourceEdit.text = DataTable.GetText(fld::kSource);
  RiskMemo.text = DataTable.GetText(fld::kIdent);
  OpatreniMemo.text = DataTable.GetText(fld::kOpatreni);
  ExistenceSpinEdit.value = ClampRating(DataTable.GetInt(fld::kPravdep));
  NasledkySpinEdit.value = ClampRating(DataTable.GetInt(fld::kNasledky));
  NazorSpinEdit.value = ClampRating(DataTable.GetInt(fld::kHodnocen));
  // The level of what the page shows: a new risk's empty ratings show as 1.
  ShowPageRiskLevel();
}

void MainForm::ShowPageRiskLevel() {
  StatusBar1.Panels[1] = RiskStatusText(MessagesBox, RiskLevel(ClampRating(ExistenceSpinEdit.value),
                                                               ClampRating(NasledkySpinEdit.value),
                                                               ClampRating(NazorSpinEdit.value)));
}

void MainForm::FillNodePage() {
  ActivePage = Page::UzelTabSheet;
  TextEdit.text = DataTable.GetText(fld::kText);
  TextCommentMemo.text = DataTable.GetText(fld::kComment);
}

void MainForm::FillNodeAverage(int32_t index) {
  int32_t average = 0;
  if (CountAverage) {
    BusyCursor busy(progress);
    average = DataTableSums.Average(index);
    CelkPanel.visible = true;
  } else {
    CelkPanel.visible = false;
  }
  PrumerEdit.text = std::to_string(average);
  if (const auto band = RiskBand(average)) TextPrumEdit.text = MessagesBox.Get(*band);
  StatusBar1.Panels[1].clear();
}

}  // namespace orvenda
