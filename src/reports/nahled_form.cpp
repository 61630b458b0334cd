#include "reports/nahled_form.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/run_lock.h"
#include "model/project_table.h"
#include "model/risk.h"
#include "reports/branch_walk.h"
#include "reports/report_page.h"
#include "reports/vzhled_rep_form.h"

namespace orvenda {
namespace {

constexpr const char* kTyp = "Typ";
constexpr const char* kMira = "Mira";
constexpr const char* kRowText = "Text";
constexpr const char* kReportTableName = "_Sestava.dbf";
constexpr const char* kReportPageName = "_sestava.htm";

}  // namespace

NahledForm::NahledForm(Table& project, const Messages& messages, Progress& progress,
                       std::filesystem::path tempDir)
    : project_(project), messages_(messages), progress_(progress), tempDir_(std::move(tempDir)) {
  Caption = W("Náhled sestavy");
  OnlySelectCheckBox.text = W("Pouze vybraná větev");
  SortedCheckBox.text = W("Podle míry rizika");
  BitBtn2.text = "Tisk";
  BitBtn1.text = W("Zavřít");
  Soubor1.text = "Soubor";
  Export1.text = W("Uložit jako...");
  Vzhledstrnky1.text = W("Vzhled stránky...");
  ExportPdf1.text = W("Uložit jako PDF...");
  Vzhledsestavy1.text = "Vzhled sestavy";
  Upravit1.text = "Upravit...";
  SaveDialog1.Filter = messages.Get(296);    // "Soubory HTML|*.HTM; *.HTML"
  SavePdfDialog.Filter = messages.Get(297);  // "Soubory PDF|*.PDF"
  controls_ = {{"OnlySelectCheckBox", &OnlySelectCheckBox},
               {"SortedCheckBox", &SortedCheckBox},
               {"BitBtn2", &BitBtn2},
               {"BitBtn1", &BitBtn1},
               {"Soubor1", &Soubor1},
               {"Export1", &Export1},
               {"Vzhledstrnky1", &Vzhledstrnky1},
               {"ExportPdf1", &ExportPdf1},
               {"Vzhledsestavy1", &Vzhledsestavy1},
               {"Upravit1", &Upravit1}};
}

NahledForm::~NahledForm() {
  try {
    DiscardReportFiles();
  } catch (...) {
    // Leftovers in the temporary directory are not worth a failure at exit.
  }
}

std::filesystem::path NahledForm::ReportPagePath() const {
  return runDir_.empty() ? std::filesystem::path() : runDir_ / kReportPageName;
}

void NahledForm::EnsureReportDirectory() {
  if (!runDir_.empty() && std::filesystem::is_directory(runDir_)) return;
  runDir_.clear();
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[16];
    std::snprintf(name, sizeof name, "RPT%06X", static_cast<unsigned>(random() & 0xFFFFFF));
    const std::filesystem::path candidate = tempDir_ / name;
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      runDir_ = candidate;
      // Marked as a live run's, so that the next start after a crash knows it may go.
      runLock_ = RunLock::Create(candidate / kRunLockName);
      return;
    }
    if (ec) {
      throw Error(Msg(247, {Utf8ToCp1250(candidate.string()), ec.message()}));
    }
  }
  throw Error(Msg(248, {Utf8ToCp1250(tempDir_.string())}));
}

void NahledForm::FormShow(std::optional<int32_t> selectedIndex) {
  ResetLayout();
  BuildReport(selectedIndex);
}

void NahledForm::FormClose() { DiscardReportFiles(); }

void NahledForm::OnlySelectCheckBoxClick() { BuildReport(selected_); }

void NahledForm::SortedCheckBoxClick() {
  // The other order needs every row; a page of the first rows is built whole in it.
  if (pageComplete_) {
    WriteReportFile();
  } else {
    CompletePage();
  }
}

void NahledForm::BuildReport(std::optional<int32_t> selectedIndex) {
  selected_ = selectedIndex;
  // The first rows by risk level are known only once every row is.
  BuildPage(SortedCheckBox.checked ? 0 : FirstRows);
}

void NahledForm::CompletePage() {
  if (!pageComplete_) BuildPage(0);
}

void NahledForm::BuildPage(int limit) {
  const int32_t root = OnlySelectCheckBox.checked && selected_ ? *selected_ : 0;
  // A row per record at most; the bar is a guide, not a count.
  struct ProgressScope {
    Progress& progress;
    ~ProgressScope() { progress.HideProgress(); }
  } shown{progress_};
  const int32_t records = project_.IsOpen() ? project_.RecordCount() : 0;
  progress_.ShowProgress(Msg(249), limit > 0 ? std::min(limit, records) : records);
  // Not complete until the whole page is written: a failed build is tried again by print.
  pageComplete_ = false;
  CreateReportTable();
  const bool whole = CollectBranch(root, limit);
  WritePage(whole);
}

void NahledForm::CreateReportTable() {
  EnsureReportDirectory();
  TempTable.Close();
  TempTable.SetFiltered(false);
  TempTable.SetFilter("");
  TempTable.SetPath(runDir_ / kReportTableName);
  TempTable.SetIndexName("");
  TempTable.Create({{kTyp, FieldType::Integer, 0},
                    {kMira, FieldType::Integer, 0},
                    {kRowText, FieldType::Memo, 0}},
                   {{kMira, kMira, /*descending=*/true}});
  TempTable.Open();
}

bool NahledForm::CollectBranch(int32_t parent, int limit) {
  BusyCursor busy(progress_);
  const BulkScope bulk(TempTable);
  struct Rows : BranchVisitor {
    NahledForm& form;
    int left;  // below 0: no limit
    Rows(NahledForm& f, int limit) : form(f), left(limit > 0 ? limit : -1) {}
    void Object(const std::string& pathText) override { Add(kObjectRow, pathText); }
    void Risk(const std::string& pathText) override { Add(kRiskRow, pathText); }
    bool Stop() const override { return left == 0; }
    void Add(int kind, const std::string& pathText) {
      form.AddReportRow(kind, pathText);
      if (left > 0) --left;
    }
  } rows(*this, limit);
  const bool whole = WalkBranch(project_, parent, rows);
  TempTable.EndBulk();
  return whole;
}

void NahledForm::AddReportRow(int kind, const std::string& pathText) {
  const std::string html = ReportRowHtml(kind, pathText, project_, layout_);
  const int32_t level = kind == kRiskRow ? RiskLevel(project_) : 0;
  TempTable.Insert();
  TempTable.SetInt(kTyp, kind);
  TempTable.SetInt(kMira, level);
  TempTable.SetText(kRowText, html);
  TempTable.Post();
  progress_.StepProgress();
}

void NahledForm::WriteReportFile() { WritePage(pageComplete_); }

void NahledForm::WritePage(bool whole) {
  BusyCursor busy(progress_);
  if (!TempTable.IsOpen()) CreateReportTable();
  const bool sorted = SortedCheckBox.checked;
  {
    PageFile page(runDir_ / kReportPageName);
    WritePageHead(page);
    page.WriteLine("<table border=\"1\" width=\"100%\" cellspacing=\"0\">");
    WriteHeaderRows(page, layout_, messages_);
    // Sorted: the descending "Mira" index, risks only; object rows would head nothing there.
    TempTable.SetIndexName(sorted ? kMira : "");
    for (TempTable.First(); !TempTable.Eof(); TempTable.Next()) {
      if (sorted && TempTable.GetInt(kTyp) != kRiskRow) continue;
      page.WriteLine(TempTable.TextView(kRowText));
    }
    TempTable.SetIndexName("");
    // The outline walks the whole tree; a page of the first rows goes without it.
    if (layout_.TreeSection && whole) WriteTreeSection(page, project_, layout_);
    WriteLegend(page, messages_);
    page.Commit();
  }
  pageComplete_ = whole;
  if (OnPageWritten) OnPageWritten(ReportPagePath());
}

void NahledForm::DiscardReportFiles() {
  TempTable.Close();
  pageComplete_ = true;  // no page, nothing left to build
  if (runDir_.empty()) return;
  // The directory is this form's own; failures to delete are left without a message.
  std::error_code ec;
  std::filesystem::remove_all(runDir_, ec);
  runDir_.clear();
  runLock_.Release();
}

void NahledForm::Execute(std::optional<int32_t> selectedIndex) {
  if (!ShowModal) throw Error(Msg(147));
  pending_ = selectedIndex;
  ShowModal();
}

void NahledForm::ApplyPrintOptions() {
  const PrintSetup designed = DesignedPrintSetup();
  runSetup_ = designed;
  if (pageSettings != nullptr) WritePageSetup(*pageSettings, designed);
  FirstPrint = false;
}

PrintSetup NahledForm::CurrentPrintSetup() const {
  return pageSettings != nullptr ? ReadPageSetup(*pageSettings, runSetup_) : runSetup_;
}

void NahledForm::BitBtn2Click() {
  if (browser == nullptr) throw Error(Msg(250));
  CompletePage();
  if (FirstPrint) ApplyPrintOptions();
  browser->Print(CurrentPrintSetup());
}

void NahledForm::Vzhledstrnky1Click() {
  if (browser == nullptr) throw Error(Msg(251));
  if (FirstPrint) ApplyPrintOptions();
  const std::optional<PrintSetup> chosen = browser->ShowPageSetup(CurrentPrintSetup());
  if (!chosen) return;
  runSetup_ = *chosen;
  if (pageSettings != nullptr) WritePageSetup(*pageSettings, *chosen);
}

std::filesystem::path NahledForm::CompletedSaveName(const std::filesystem::path& chosen,
                                                    const std::string& extension) {
  if (chosen.has_extension()) return chosen;
  std::filesystem::path completed = chosen;
  completed += extension;
  return completed;
}

bool NahledForm::MayReplace(const std::filesystem::path& chosen,
                            const std::filesystem::path& target) {
  // The dialog asked for the name as entered; a completed name it never saw.
  if (target == chosen || !std::filesystem::exists(target)) return true;
  return dialogs->AskYesNo(Msg(252, {Utf8ToCp1250(target.filename().string())}), Export1.text);
}

void NahledForm::Export1Click() {
  if (dialogs == nullptr) throw Error(Msg(253));
  const std::optional<std::filesystem::path> chosen =
      dialogs->SaveFile(SaveDialog1.Filter, std::filesystem::path());
  if (!chosen) return;
  const std::filesystem::path target = CompletedSaveName(*chosen);
  if (!MayReplace(*chosen, target)) return;
  CompletePage();
  const std::filesystem::path page = ReportPagePath();
  if (page.empty() || !std::filesystem::exists(page)) {
    throw Error(Msg(254));
  }
  CopyPageFile(page, target);  // a failure names the file and reaches the error box
}

void NahledForm::ExportPdf1Click() {
  if (dialogs == nullptr || !WritePdf) throw Error(Msg(255));
  const std::optional<std::filesystem::path> chosen =
      dialogs->SaveFile(SavePdfDialog.Filter, std::filesystem::path());
  if (!chosen) return;
  const std::filesystem::path target = CompletedSaveName(*chosen, ".pdf");
  if (!MayReplace(*chosen, target)) return;
  CompletePage();
  if (FirstPrint) ApplyPrintOptions();
  WritePdf(target);
}

void NahledForm::Upravit1Click() {
  if (vzhledRepForm == nullptr) throw Error(Msg(256));
  if (vzhledRepForm->Execute()) BuildReport();
}

}  // namespace orvenda
