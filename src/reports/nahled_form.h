#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/control.h"
#include "base/dialogs.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/run_lock.h"
#include "base/settings_store.h"
#include "model/table.h"
#include "reports/branch_walk.h"
#include "reports/print_setup.h"
#include "reports/report_layout.h"

namespace orvenda {

class VzhledRepForm;

// The report side of the preview window: builds the report table from the working project
// table and writes the report page. The Qt window binds its check boxes to the control state
// below and shows the page that OnPageWritten names.
//
// The report's files ("_Sestava.dbf" with its memo and index, "_sestava.htm") live in a
// directory of this form's own inside the temporary directory, so that two running instances
// of the program never write over each other's report.
class NahledForm {
 public:
  NahledForm(Table& project, const Messages& messages, Progress& progress,
             std::filesystem::path tempDir);
  ~NahledForm();  // discards the report files
  NahledForm(const NahledForm&) = delete;
  NahledForm& operator=(const NahledForm&) = delete;

  // --- Controls --------------------------------------------------------------------------------
  Control OnlySelectCheckBox;                           // "Pouze vybraná větev"
  Control SortedCheckBox;                               // "Podle míry rizika"
  Control BitBtn2;                                      // "Tisk"
  Control BitBtn1;                                      // "Zavřít"
  Control Soubor1, Export1, Vzhledstrnky1, ExportPdf1;  // "Soubor" menu
  Control Vzhledsestavy1, Upravit1;                     // "Vzhled sestavy" menu
  std::string Caption;
  struct FileDialog {
    std::string Filter;  // "description|pattern|...", windows-1250
  };
  FileDialog SaveDialog1, SavePdfDialog;

  // Every Control above by its component name, for the window's binding.
  const std::vector<std::pair<std::string_view, Control*>>& Controls() const { return controls_; }

  // --- Window events -----------------------------------------------------------------------------
  // Shown with the main tree's selection (the item's Index, or nullopt): the layout starts
  // again from its defaults and the report is built. The window is modal, so the selection
  // stays what it was until it closes.
  void FormShow(std::optional<int32_t> selectedIndex);
  void FormClose();
  void OnlySelectCheckBoxClick();  // rebuild for the other root
  void SortedCheckBoxClick();      // rewrite the page in the other order, rows unchanged

  // --- The window's commands (they need the seams below) -------------------------------------
  // Shows the window modally for the main tree's selection; the window's showing runs
  // FormShow with it and its closing FormClose.
  void Execute(std::optional<int32_t> selectedIndex);
  std::function<void()> ShowModal;
  std::optional<int32_t> PendingSelection() const { return pending_; }

  void BitBtn2Click();        // "Tisk"
  void Vzhledstrnky1Click();  // "Vzhled stránky..."
  void Export1Click();        // "Uložit jako..."
  void ExportPdf1Click();     // "Uložit jako PDF..."
  void Upravit1Click();       // the layout dialog; OK rebuilds the report

  // The designed print options hold from the first print or page setup of the program run on;
  // the form is made once per run, so this flag is set once per run.
  bool FirstPrint = true;
  // The designed options put where the page settings live; clears FirstPrint.
  void ApplyPrintOptions();
  // What the next print uses: the stored page settings with this run's paper and orientation.
  PrintSetup CurrentPrintSetup() const;

  // A name without an extension gets ".htm" (or `extension`).
  static std::filesystem::path CompletedSaveName(const std::filesystem::path& chosen,
                                                 const std::string& extension = ".htm");

  Dialogs* dialogs = nullptr;
  ReportBrowser* browser = nullptr;
  // Where the page settings live (the browser's page-setup key); nullptr keeps them here.
  SettingsStore* pageSettings = nullptr;
  VzhledRepForm* vzhledRepForm = nullptr;
  // Writes the shown page as PDF to the given file (the window's printing code).
  std::function<void(const std::filesystem::path&)> WritePdf;

  // --- Report ------------------------------------------------------------------------------------
  ReportLayout& Layout() { return layout_; }
  const ReportLayout& Layout() const { return layout_; }
  void ResetLayout() { layout_ = ReportLayout(); }

  // Full build: root, report table, rows, page. With FirstRows set and the report in its
  // tree order, a page of only the first FirstRows rows is written when there are more; the
  // whole page follows from CompletePage.
  void BuildReport(std::optional<int32_t> selectedIndex);
  void BuildReport() { BuildReport(selected_); }
  // Rows of the report written first as a page of their own (the preview's first screen
  // needs no more); 0 builds the whole page at once.
  int FirstRows = 0;
  // False while the page written holds only the first rows.
  bool PageComplete() const { return pageComplete_; }
  // Builds and writes the whole page when only its first rows are written; print, PDF and
  // saving the page call it first.
  void CompletePage();
  // A fresh, empty report table in record order.
  void CreateReportTable();
  // Appends the rows of the branch below `parent` (0: the whole project) in post-order, at
  // most `limit` of them when it is above 0. False when rows were left out.
  bool CollectBranch(int32_t parent, int limit = 0);
  // Appends one row built from the current record of the project table.
  void AddReportRow(int kind, const std::string& pathText);
  // Writes the page from the report table in the chosen order, then reports it.
  void WriteReportFile();
  // Closes the report table and removes the report's files and directory.
  void DiscardReportFiles();

  // The report table (the window's TempTable).
  Table TempTable;

  // Where the report's files are; the directory is made at the first build.
  const std::filesystem::path& ReportDirectory() const { return runDir_; }
  std::filesystem::path ReportPagePath() const;

  // Called after every page write with the page's path (the window navigates to it).
  std::function<void(const std::filesystem::path&)> OnPageWritten;

 private:
  void EnsureReportDirectory();
  // Builds the page from the chosen root with at most `limit` rows (0: all of them).
  void BuildPage(int limit);
  // Writes the page from the report table; `whole`: the table holds every row.
  void WritePage(bool whole);
  // Asks before replacing `target` when the dialog could not have asked for it.
  bool MayReplace(const std::filesystem::path& chosen, const std::filesystem::path& target);

  Table& project_;
  const Messages& messages_;
  Progress& progress_;
  std::filesystem::path tempDir_;
  std::filesystem::path runDir_;
  RunLock runLock_;  // held while runDir_ exists
  ReportLayout layout_;
  std::optional<int32_t> selected_;
  std::optional<int32_t> pending_;
  bool pageComplete_ = true;
  PrintSetup runSetup_;  // paper and orientation, and the rest when no store is given
  std::vector<std::pair<std::string_view, Control*>> controls_;
};

}  // namespace orvenda
