#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/undo_stack.h"
#include "app/web_export_menu.h"
#include "base/control.h"
#include "base/cp1250.h"
#include "base/dialogs.h"
#include "base/file_lock.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/settings.h"
#include "base/settings_store.h"
#include "documents/recent_files.h"
#include "documents/working_directory.h"
#include "library/libraries.h"
#include "library/register_import.h"
#include "model/branch_copy.h"
#include "model/node_sums.h"
#include "model/table.h"
#include "model/tree_builder.h"
#include "model/tree_control.h"

namespace orvenda {

// The page control's pages; their tabs are never shown.
enum class Page { NoneTabSheet, UzelTabSheet, RizikoTabSheet, TabSheet1 };

// Directories the main window works in.
struct MainFormDirs {
  std::filesystem::path programDir;  // the executable's directory
  std::filesystem::path tempDir;     // the user's temporary directory
  std::filesystem::path userDir;     // the per-user application-data directory
};

// The main window's behaviour without a toolkit: the project tree TreeNT1 and its pages,
// editing, branch moves and the clipboard. Handlers carry the names of the window's events.
class MainForm {
 public:
  MainForm(TreeControl& tree, Dialogs& dialogs, Progress& progress, SettingsStore& settings,
           MainFormDirs dirs);
  ~MainForm();
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  // --- Seams and shared state ----------------------------------------------------------------
  TreeControl& TreeNT1;
  Dialogs& dialogs;
  Progress& progress;
  SettingsStore& settings;

  std::filesystem::path ProgramDir;
  std::filesystem::path TempDir;
  std::filesystem::path UserDir;

  // A batch run's form starts with the run's list; the window's is then read from the file.
  Messages MessagesBox = Messages::Current();
  // Texts raised away from the window (the table engine's, the archive's) read this list too.
  Messages::InForce MessagesInForce{MessagesBox};
  // The working project table (RiskData.dbf); its AfterPost calls DataTableAfterPost.
  Table DataTable;
  // The risk sums below every node of DataTable, kept through every write to it.
  NodeSums DataTableSums{DataTable};
  // Sees every row change of DataTable before DataTableSums does, for the history.
  RowRecorder DataTableRecorder{DataTable, DataTableSums};
  // Undo and redo of the project edits of this run.
  UndoStack History;
  // Clipboar.dbf in ClipboardDir; open only while in use.
  Table ClipboardTable;
  std::filesystem::path ClipboardDir;
  // TreeNT1's lookup from a node's Index to its item, filled by BuildTree.
  tMyNodeIndexes NodeIndexes;

  // Called after every handler (once, at the outermost) so that the window can push the state
  // into its widgets; FocusControl then names the control to focus ("" for none) and is
  // cleared afterwards.
  std::function<void()> OnStateChanged;
  std::string FocusControl;

  // Settings (read from the store by the start-up code).
  bool AskDelete = true;
  bool AskExit = true;
  bool CountAverage = true;

  // Flags.
  bool TreeUpdating = true;  // selection changes do not refresh the page
  bool PageReady = false;    // control changes start the edit state
  bool EditState = false;    // the page holds changes not yet stored
  bool Modified = false;     // the working table holds changes no project file has
  // Deleted records wait in the working table's file until the next save packs it: packing a
  // big table at every delete would make each delete take a noticeable time.
  bool PackPending = false;

  // --- Controls --------------------------------------------------------------------------------
  Page ActivePage = Page::NoneTabSheet;

  // Node page.
  Control TextEdit, TextCommentMemo;
  Control CelkPanel, PrumerEdit, TextPrumEdit;
  // Risk page; the three rating spin edits keep their number in `value`.
  Control RiskSourceEdit, DescrEdit, RiskMemo, OpatreniMemo, CommentMemo;
  Control ExistenceSpinEdit, NasledkySpinEdit, NazorSpinEdit;
  Control StoreBitBtn, CancelBitBtn;

  // The tree with its buttons.
  Control ObjectPanel;
  Control AddNodeSpeedButton, AddRiskSpeedButton, AddFromLibSpeedButton, DeleteSpeedButton;

  // Main-menu entries touched by the edit state.
  Control Soubor1, Knihovny1, Sestavy1, Napoveda1, Administrator1;

  // The "Úpravy" menu.
  Control Upravy1, Zpet1, Znovu1, Vyjmout1, Kopirovat1, Vlozit1, Najit1;

  // PopupMenu1 of the tree.
  Control Expand1, ExpandAll1, Collapse1, CollapseAll1, Sort1, SortAll1;
  Control InsertNode1, InsertRiziko1, InsertFromLibrary1, Delete1, Copy1, Insert1;

  // StatusBar1: panel 0 holds the change mark, panel 1 the risk text.
  struct StatusBar {
    std::array<std::string, 2> Panels;
  } StatusBar1;

  // Every Control above by its component name, for the window's binding.
  const std::vector<std::pair<std::string_view, Control*>>& Controls() const { return controls_; }
  Control* FindControl(std::string_view name) const;

  // --- Tree and pages --------------------------------------------------------------------------
  // Rebuilds TreeNT1 from DataTable (TreeUpdating set meanwhile).
  void BuildTree();
  // Runs at the end of every BuildTree, still with TreeUpdating set (the "Zobrazit" choice).
  std::function<void()> AfterBuildTree;
  // Shows the page of the selected item and fills it from its record.
  void ShowSelected();
  void TreeNT1Change();
  void TreeNT1Expanded(TreeControl::Item item);
  void TreeNT1Collapsed(TreeControl::Item item);
  void Expand1Click();
  void ExpandAll1Click();
  void Collapse1Click();
  void CollapseAll1Click();
  void Sort1Click();
  void SortAll1Click();
  // A rating spin edit lost focus: its value is brought into 1..5.
  void RatingEditExit(Control& spinEdit);
  // Text typed into a rating spin edit: a whole number, else 1; brought into 1..5.
  static int ParseRating(std::string_view text);
  static int ClampRating(int value);
  // Sets the P and N scale hints from the numbered messages (again after a language change).
  void UpdateRatingHints();

  // --- Editing ---------------------------------------------------------------------------------
  // Appends a node (0) or risk (1) record under the selection; returns its Index.
  int32_t AddRecord(int32_t type);
  void AddNodeSpeedButtonClick();
  void AddRiskSpeedButtonClick();
  void InsertNode1Click() { AddNodeSpeedButtonClick(); }
  void InsertRiziko1Click() { AddRiskSpeedButtonClick(); }
  void SetEditState(bool on);
  // Change handler of every page control.
  void RiskSourceEditChange();
  void StoreBitBtnClick();
  void CancelBitBtnClick();
  void DeleteSpeedButtonClick();
  void Delete1Click() { DeleteSpeedButtonClick(); }
  // Deletes the node `index` with its whole subtree.
  void DeleteBranch(int32_t index);
  // Packs the working table (close, exclusive open, pack, shared open again); on failure the
  // table is open again before the error goes on.
  void PackDataTable();
  void DataTableAfterPost();

  // --- Undo and redo (main_form_undo.cpp) ---------------------------------------------------
  // One user action: the project edits made while the outermost of these scopes is open are
  // one step of the history, named `name` (windows-1250) in the menu. Every handler that
  // changes the project opens one; inner ones (a store within an import) add to the outer.
  class EditAction {
   public:
    EditAction(MainForm& form, std::string name);
    ~EditAction();
    EditAction(const EditAction&) = delete;
    EditAction& operator=(const EditAction&) = delete;

   private:
    MainForm& form_;
    bool outermost_;
  };
  void Zpet1Click();
  void Znovu1Click();
  // Copy of the selected branch to the clipboard, then its deletion without the question:
  // one step.
  void Vyjmout1Click();
  void Kopirovat1Click() { Copy1Click(); }
  void Vlozit1Click() { Insert1Click(); }
  // The find bar comes later; the entry is there, disabled.
  void Najit1Click() {}
  // Insert and Ctrl+Insert: a risk, a node beside or under the selection.
  void InsertKeyClick() { AddRiskSpeedButtonClick(); }
  void CtrlInsertKeyClick() { AddNodeSpeedButtonClick(); }
  // F2: the focus into the first field of the page.
  void EditSelectedClick();
  // A fresh history (Open, New, Save as, a recovery); the current state counts as saved unless
  // Modified.
  void StartHistory();
  // Deletes the selected item with its branch, asking first when `ask` and the options say so.
  void DeleteSelected(bool ask);
  // Index of the selected item, 0 for none.
  int32_t SelectedIndex() const;

  // --- Branch move, copy and paste -------------------------------------------------------------
  // The dragged item is the selected one; the window maps the mouse point to `target`.
  bool TreeNT1DragOver(TreeControl::Item target);
  void TreeNT1DragDrop(TreeControl::Item target);
  // The context menu opens over `underMouse` (nullptr: no item there).
  void PopupMenu1Popup(TreeControl::Item underMouse);
  void Copy1Click();
  void Insert1Click();
  // Finds or makes the clipboard directory and the clipboard table; leaves it closed.
  void PrepareClipboard();

  // --- Project documents, settings, start-up (documents) ---
  // Members and handlers of the document life cycle go here. Give every data member a default
  // member initializer: the constructor lives with the tree code.

  // The file last opened or saved; empty for a new, unsaved project.
  std::filesystem::path ProjectFileName;
  // Held on ProjectFileName while this run may write it. A project another run holds opens
  // read-only when the user wishes: Save then asks for a new name.
  FileLock ProjectLock;
  bool ReadOnlyProject = false;
  // The project working directory, which holds the working table RiskData.dbf.
  std::filesystem::path ProjectDir;
  MRUManager MRUManager1;
  bool MRUSaved = false;

  struct FileDialog {
    std::string Filter;  // "description|pattern|...", windows-1250
    std::filesystem::path InitialDir;
  };
  FileDialog OpenDialog1, SaveDialog1;

  // The window's caption and the application's title, both set by ShowFileName.
  std::string Caption = "Orvenda";
  std::string ApplicationTitle = "Orvenda";
  // Labels of NoneTabSheet and the administrator's label.
  Control ProgNameLabel, AppTitleLabel, AdminLabel;
  // Items of the "Soubor" menu handled here.
  Control New1, Open1, Save1, SaveAs1, SetUp1, Konec1;

  // Administrator mode is on while this file exists; tests point it elsewhere.
  std::filesystem::path AdminMarker = DefaultAdminMarkerPath();
  // The browser's page-setup values as they were at start.
  orvenda::PageSetup SavedPageSetup;
  // The Options dialog; the application sets it once the window exists.
  class SetupForm* setupForm = nullptr;

  bool FirstShow = true;
  // A batch command's form: it holds the library locks for its whole run, its working table is
  // no project to offer back after a crash, and it asks nothing about dead runs' work (it only
  // clears what they left that nobody needs).
  bool Batch = false;
  // The first command-line argument; opened at the first show when it names an existing file.
  std::filesystem::path CommandLineFile;
  // Applies the language file to this window during FormCreate, when set.
  std::function<void()> TranslateMainForm;

  // Start-up and exit, in the order the window calls them.
  void FormCreate();
  void FormShow();
  // True lets the window close. A failed save asked for here throws: the window stays open.
  bool FormCloseQuery();
  void FormClose();
  // Saves the recent-file list when closing did not, and removes working files left behind.
  void FormDestroy();

  // "Soubor" menu.
  void New1Click();
  void Open1Click();
  void Save1Click();
  void SaveAs1Click();
  void MRUManager1Click(const std::filesystem::path& fileName);
  void SetUp1Click();

  // Loads a project file (".RSK", or the older ".RZK" and ".ZLB") into the working table. The
  // current project stays open and unchanged when the new one fails to load; a missing file is
  // a warning. The caller rebuilds the tree.
  void OpenProject(const std::filesystem::path& fileName);
  // Packs the working table into ProjectFileName; a failure leaves the old file and Modified.
  void SaveProject();
  // The unsaved-changes question; afterwards Modified tells whether changes are still unsaved.
  void AskSaveChanges();
  void ShowFileName(const std::filesystem::path& fileName);
  // A new working directory ("RZK" prefix) in TempDir.
  std::filesystem::path MakeWorkingDirectory();

  void LoadSettings();
  // Shows or hides AdminLabel and Administrator1 by the marker file.
  void UpdateAdministratorMode();
  void SavePageSetup();
  void RestorePageSetup();
  // Gives the controls above their texts and adds them to Controls(); FormCreate calls it
  // when nobody did.
  void SetUpDocumentControls();
  bool DocumentControlsReady = false;

  // --- End of project documents, settings, start-up ---

  // --- Work left by runs that ended without closing ---
  // This run's mark on ProjectDir: the live-run lock and the name of the table's project file,
  // kept up to date by Open, Save as and New.
  WorkingDirectoryMark ProjectDirMark;
  // At the first show, before a project is opened: offers the unsaved work of dead runs back,
  // the most recent first, and removes what they left that nobody needs. True when the work of
  // one became the current project (Modified, under its old file name).
  bool RecoverEarlierWork();
  // --- End of work left by runs ---
  // --- Risk libraries ---
  // Both library tables and their files; opened at the first show, packed at exit.
  Libraries Libs;
  // The library window; the application sets it once the window exists.
  class SelectTreeForm* selectTreeForm = nullptr;
  // Opens both libraries into a working directory of TempDir; a damaged library is reported
  // once and opens empty.
  void OpenLibraries();
  // Packs the user library and removes the working copies.
  void CloseLibraries();
  // "Knihovny" -> "Editace...": the library window in edit mode.
  void Knihovnyrizik1Click();
  // "Přidat z knihovny" and "Vlož z knihovny": the library window in selection mode; its OK
  // copies the ticked items.
  void AddFromLibSpeedButtonClick();
  void InsertFromLibrary1Click() { AddFromLibSpeedButtonClick(); }
  // "Knihovny" -> "Aktualizace": asks for an update file and merges it into the built-in
  // library, whose archive is then rewritten.
  FileDialog OpenDialog2{W("Aktualizační soubory|*.akt"), {}};
  std::string OpenDialog2Title = W("Aktualizovat");
  void Aktu1Click();
  // The update itself: the file is checked completely before the library is touched.
  void UpdateLibrary(const std::filesystem::path& file);
  // --- End of risk libraries ---
  // --- HTML import (main_form_import.cpp) ---
  struct HtmlImportWork {
    HtmlImportWork();
    // The open dialog of the import, with a title of its own.
    FileDialog JvOpenDialog1;
    std::string JvOpenDialog1Title;
    // TabSheet1's memo: the text of the page being imported. Memo1Loads counts its loads, so
    // that the window copies a big text into its widget only when it is new.
    Control Memo1;
    int Memo1Loads = 0;
  } HtmlImport;

  // "Administrator" -> "Import HTML": asks for a report page and imports it.
  void ImportHTML1Click();
  // Reads the page (converted when it is UTF-8) and imports it as ImportHtmlText does.
  void ImportHtmlFile(const std::filesystem::path& file);
  // Shows the work page with `text` and adds every risk row of it to the project, under the
  // nodes of its object path (found by caption or added), through the add and store
  // commands. A rating cell that is no whole number stops it with an error naming the row;
  // the rows before it stay.
  void ImportHtmlText(std::string text);
  // --- End of HTML import ---
  // --- Risk register as a table (main_form_table.cpp) ---
  struct TableFileDialogs {
    TableFileDialogs();
    FileDialog ImportDialog, ExportDialog;
    std::string ImportDialogTitle;
  } TableFiles;

  // Asks for a CSV register and imports it as ImportTableFile does.
  void ImportTable1Click();
  // Adds every risk of a CSV register under the selected item (beside a selected risk, at the
  // top level with nothing selected), under the nodes of its object path, found by caption or
  // added, through the add and store commands. The whole file is checked first: a refused file
  // adds nothing.
  void ImportTableFile(const std::filesystem::path& file);
  void ImportTableRows(const std::vector<RegisterImportRow>& rows);
  // Asks for an .xlsx or .csv file and writes the register of the whole project into it.
  void ExportTable1Click();
  // The same for the branch of the selection (the selected node, or the node of a selected
  // risk); the whole project with nothing selected.
  void ExportTableBranch1Click();
  // Writes the register of the branch below `branch` (0: the whole project) into `file`.
  void ExportTableFile(const std::filesystem::path& file, int32_t branch);
  // --- End of risk register as a table ---
  // --- Reports ---
  // The report preview; the application sets it once the window exists.
  class NahledForm* nahledForm = nullptr;
  // "Sestavy" -> "Vytvořit...": the preview, modal, for the tree's selection.
  void NahledClick();
  // --- End of reports ---
  // --- Web exports (main_form_web_export.cpp) ---
  WebExportMenu WebExport;
  // Adds the web export entries to Controls(); SetUpDocumentControls calls it.
  void SetUpWebExportControls();
  void Export1Click();
  void Switchexport1Click();
  void ExportnaWEB1Click();
  // Shows SaveDialog2; nullopt when cancelled. The folder is offered again the next time.
  std::optional<std::filesystem::path> AskWebExportFile();
  // --- End of web exports ---

 private:
  // Notifies the window once when the outermost handler ends, also when it fails.
  class StateScope {
   public:
    explicit StateScope(MainForm& form) : form_(form) { ++form_.handlerDepth_; }
    ~StateScope();
    StateScope(const StateScope&) = delete;
    StateScope& operator=(const StateScope&) = delete;

   private:
    MainForm& form_;
  };

  void RegisterControls();
  void AddItemForNewRecord(int32_t index, int32_t type);
  void FillNodePage();
  void FillRiskPage();
  void FillNodeAverage(int32_t index);
  // The risk level of the ratings the page's controls show, into the status bar.
  void ShowPageRiskLevel();
  // Puts one side of a step into the table and rebuilds the tree around `select`.
  void ApplyHistoryStep(const std::vector<RowImage>& take, const std::vector<RowImage>& put,
                        int32_t select);
  void RebuildTreeKeepingView(int32_t select);
  void UpdateEditMenu();
  void SetUpEditMenu();

  int handlerDepth_ = 0;
  int actionDepth_ = 0;
  std::string actionName_;
  int32_t actionSelected_ = 0;
  std::vector<std::pair<std::string_view, Control*>> controls_;
};

}  // namespace orvenda
