#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/find_bar.h"
#include "app/main_form.h"
#include "base/control.h"
#include "library/libraries.h"
#include "model/project_table.h"
#include "model/table.h"
#include "model/text_match.h"
#include "model/tree_builder.h"
#include "model/tree_control.h"

namespace orvenda {

// The modes the library window is shown in: a picker with check boxes (from "Přidat z
// knihovny") or the library editor (from "Knihovny" -> "Editace...").
enum class LibraryMode { None, Selection, Edit };

// PageControl2's pages on the right; their tabs are never shown.
enum class LibraryPage { NoneTabSheet, UzelTabSheet, RizikoTabSheet };

// The library window ("Knihovna rizik") without a toolkit: the two library pages with their
// trees on the left, the record pages on the right, the buttons, the popup menu and the find
// dialog. It works on the main form's library tables and clipboard.
class SelectTreeForm {
 public:
  enum class ModalResult { None, Ok, Cancel };

  SelectTreeForm(MainForm& main, TreeControl& buildInTree, TreeControl& userTree);
  ~SelectTreeForm();
  SelectTreeForm(const SelectTreeForm&) = delete;
  SelectTreeForm& operator=(const SelectTreeForm&) = delete;

  MainForm& main;
  TreeControl& BuildInTreeNT;
  TreeControl& UserTreeNT;
  tMyNodeIndexes BuildInNodeIndexes, UserNodeIndexes;

  std::string Caption;

  // --- State -----------------------------------------------------------------------------------
  LibraryMode RequestedMode = LibraryMode::Edit;  // set by the caller before each showing
  LibraryMode LoadedMode = LibraryMode::None;     // the mode the trees were last built for
  int ActiveLibrary = kBuiltInLibrary;            // PageControl1's active page
  LibraryPage ActivePage = LibraryPage::NoneTabSheet;
  // The page EditButtonPanel stands on (it moves with the shown record page).
  LibraryPage EditButtonPanelPage = LibraryPage::UzelTabSheet;
  bool Editable = false;               // the active library can be edited now
  bool DragEnabled = false;            // both trees start a drag on the selected item
  bool CheckBoxes = false;             // both trees show check boxes (selection mode)
  bool Loading = false;                // controls are being filled: their changes start no edit
  bool TreeChangesSuppressed = false;  // the window itself changes a tree
  bool ImportRunning = false;  // a text import runs: selection changes do not reload the pages
  bool EditState = false;      // the shown record holds changes not yet stored
  bool FindDialogOpen = false;
  bool LastSearchFound = false;
  ModalResult modalResult = ModalResult::None;

  // The find bar under the trees: it searches the active library, its enciphered texts read
  // plain.
  FindBar& Bar() { return *bar_; }

  // The find dialog's fields (a modeless dialog of the window's own).
  struct FindDialogState {
    std::string FindText;  // windows-1250
    bool WholeWord = false;
    bool MatchCase = false;
    bool Down = true;
  } FindDialog1;

  // --- Controls --------------------------------------------------------------------------------
  Control PageControl1, BuildInTabSheet, UserTabSheet;
  Control TextEdit, TextCommentMemo;
  Control RiskSourceEdit, DescrEdit, RiskMemo, OpatreniMemo, ExistenceSpinEdit, NasledkySpinEdit;
  Control EditButtonPanel, StoreBitBtn, CancelBitBtn, ImportFileButton;
  Control FindSpeedButton, SortSpeedButton, AddNodeSpeedButton, AddRiskSpeedButton,
      DeleteSpeedButton, SaveLibSpeedButton, OKPanel, OKBitBtn, CloseBitBtn;
  // PopupMenu1.
  Control InsertNode1, InsertRiziko1, Delete1, Copy1, Insert1, Expand1, ExpandAll1, Collapse1,
      CollapseAll1, Sort1, SortAll1, Export1;

  const std::vector<std::pair<std::string_view, Control*>>& Controls() const { return controls_; }
  Control* FindControl(std::string_view name) const;

  // Called after every handler (once, at the outermost) so that the window pushes the state
  // into its widgets; FocusControl then names the control to focus and is cleared afterwards.
  std::function<void()> OnStateChanged;
  std::string FocusControl;
  // Shows the window modally; returns when it has closed. The window calls FormShow when it
  // appears.
  std::function<void()> ShowModal;

  // Shows the window in `mode` and returns how it was closed.
  ModalResult Execute(LibraryMode mode);

  // --- The active library -----------------------------------------------------------------------
  TreeControl& ActiveTree() { return TreeOf(ActiveLibrary); }
  Table& ActiveTable() { return main.Libs.TableOf(ActiveLibrary); }
  TreeControl& TreeOf(int which) { return which == kBuiltInLibrary ? BuildInTreeNT : UserTreeNT; }
  tMyNodeIndexes& NodeIndexesOf(int which) {
    return which == kBuiltInLibrary ? BuildInNodeIndexes : UserNodeIndexes;
  }

  // --- Handlers ----------------------------------------------------------------------------------
  void FormShow();
  // The window sets ActiveLibrary first.
  void PageControl1Change();
  void BuildInTreeNTChange();
  void BuildInTreeNTExpanded(TreeControl& tree, TreeControl::Item item);
  void BuildInTreeNTCollapsed(TreeControl& tree, TreeControl::Item item);
  // Change handler of every right-hand control.
  void RiskSourceEditChange();
  void StoreBitBtnClick();
  void CancelBitBtnClick();
  void AddNodeSpeedButtonClick() { AddLibraryRecord(kNodeType); }
  void InsertNode1Click() { AddLibraryRecord(kNodeType); }
  void AddRiskSpeedButtonClick() { AddLibraryRecord(kRiskType); }
  void InsertRiziko1Click() { AddLibraryRecord(kRiskType); }
  void DeleteSpeedButtonClick() { Delete1Click(); }
  void Delete1Click();
  void Copy1Click();
  void Insert1Click();
  void Expand1Click();
  void Collapse1Click();
  void ExpandAll1Click();
  void CollapseAll1Click();
  void SortSpeedButtonClick() { Sort1Click(); }
  void Sort1Click();
  void SortAll1Click();
  void FindSpeedButtonClick();
  void FindDialog1Find();
  void FindDialog1Close();
  // The menu opens over `underMouse` (nullptr: no item) of `tree`.
  void PopupMenu1Popup(TreeControl& tree, TreeControl::Item underMouse);
  // The dragged item is the selected one of the active tree.
  bool BuildInTreeNTDragOver(TreeControl::Item target);
  void BuildInTreeNTDragDrop(TreeControl::Item target);
  void SaveLibSpeedButtonClick();
  void CloseBitBtnClick();

  // --- Operations ------------------------------------------------------------------------------
  void LoadLibraryTree(int which);
  void ShowLibraryRecord();
  void SetLibraryEditState(bool on);
  // Adds a node (0) or risk (1) record to the active library under the selection.
  void AddLibraryRecord(int32_t type);
  // Deletes every record below the node `index` of the active library (not the node itself).
  void DeleteLibraryBranch(int32_t index);

  // --- Taking items into the project, export, text import ---------------------------------------
  // "OK" in selection mode: copies the ticked items of the active page under the project's
  // selected item and closes the window with Ok.
  void OKBitBtnClick();
  // Copies the ticked items below the library record `libraryParent` (0: the top level) under
  // the project record `target` (0: the top level), through the main form's add and store.
  void CopyCheckedItems(int32_t target, int32_t libraryParent);
  // "Export": the selected item's branch as the update file "Zaloha/Data.akt" of the program
  // directory.
  void Export1Click();
  // "Imp File": asks for a text file and imports it into the active library.
  void ImportFileButtonClick();
  void ImportTextFile(const std::filesystem::path& file);

  // Separators of the whole-word search: space, punctuation and digits.
  static bool IsFindSeparator(unsigned char c);
  // Whether `needle` (already upper-cased unless matching case) stands in the record text:
  // only its first occurrence is tried.
  static bool MatchesRecordText(const std::string& text, const std::string& needle, bool wholeWord);

 private:
  class StateScope {
   public:
    explicit StateScope(SelectTreeForm& form) : form_(form) { ++form_.handlerDepth_; }
    ~StateScope();
    StateScope(const StateScope&) = delete;
    StateScope& operator=(const StateScope&) = delete;

   private:
    SelectTreeForm& form_;
  };

  // A stored value's text, and the same upper-cased for the Find.
  struct PlainText {
    std::string plain, upper;
  };
  bool IsAdministrator() const;
  const PlainText& Deciphered(const std::string& stored);
  std::string Decipher(const std::string& stored) { return Deciphered(stored).plain; }
  std::string RecordText(Table& table, bool upper);
  void SetRecordControlsReadOnly(bool readOnly);

  int handlerDepth_ = 0;
  // The row changes of the two library tables, for the find bar's texts.
  RowChangeCounter changes_[2];
  std::unique_ptr<FindBar> bar_;
  std::vector<std::pair<std::string_view, Control*>> controls_;
  // Deciphered texts by stored value: deciphering is the cost of a Find, and a stored value
  // always gives the same text.
  std::unordered_map<std::string, PlainText> plainTexts_;
  std::size_t plainBytes_ = 0;
  // Deciphers the stored texts of both libraries on a second thread after the trees are built,
  // so that the first Find need not; the Find takes over what it has done.
  struct Warmup;
  std::unique_ptr<Warmup> warmup_;
  void StartWarmup();
  void FinishWarmup();

 public:
  // Waits for the background deciphering (benchmarks and tests).
  void WaitForWarmup() { FinishWarmup(); }
};

}  // namespace orvenda
