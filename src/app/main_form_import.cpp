// The main form's HTML import: report pages read back into the project through the same add
// and store commands a user clicks.
#include <algorithm>
#include <exception>
#include <string>
#include <unordered_map>
#include <utility>

#include "app/main_form.h"
#include "app/node_paths.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "library/html_import.h"
#include "model/project_table.h"

namespace orvenda {
namespace {

// Lets the pending paint events run this often, so that the window does not look hung.
constexpr int kRowsBetweenEvents = 200;

// "stránka neobsahuje žádný řádek rizika ve tvaru sestavy (sloupec Poznámka skrytý)."
constexpr int kNoRiskRows = 139;

bool HasHtmlRiskRow(const std::string& page) {
  HtmlRowScanner scanner(page);
  HtmlImportRow row;
  return scanner.Next(row);
}

std::string JoinedPath(const HtmlImportRow& row) {
  std::string path;
  for (std::size_t i = 0; i < row.path.size(); ++i) {
    if (i > 0) path += " / ";
    path += row.path[i];
  }
  return path;
}

[[noreturn]] void ThrowBadRating(const std::string& text, const HtmlImportRow& row, int rowNumber,
                                 const char* column, const std::string& value) {
  const auto line = 1 + std::count(text.begin(), text.begin() + row.offset, '\n');
  const std::string where = row.path.empty() ? std::string() : ", " + JoinedPath(row);
  throw Error(Msg(140, {std::to_string(rowNumber), std::to_string(line), where, value, column}));
}

}  // namespace

MainForm::HtmlImportWork::HtmlImportWork() {
  JvOpenDialog1.Filter = W("Soubory HTML|*.htm");
  JvOpenDialog1Title = W("Otevřít HTML pro import");
  Memo1.readOnly = true;
}

void MainForm::ImportHTML1Click() {
  StateScope scope(*this);
  if (EditState) {
    // Every row is stored through the page, which would throw the open edit away.
    dialogs.Warning(Msg(138));
    return;
  }
  const auto chosen = dialogs.OpenFileTitled(
      HtmlImport.JvOpenDialog1Title, HtmlImport.JvOpenDialog1.Filter,
      HtmlImport.JvOpenDialog1.InitialDir.empty() ? ProgramDir
                                                  : HtmlImport.JvOpenDialog1.InitialDir);
  if (!chosen) return;
  HtmlImport.JvOpenDialog1.InitialDir = chosen->parent_path();
  ImportHtmlFile(*chosen);
}

void MainForm::ImportHtmlFile(const std::filesystem::path& file) {
  StateScope scope(*this);
  std::string text = ReadHtmlPage(file);
  if (!HasHtmlRiskRow(text)) {
    throw Error(PathToText(file) + ": " + Msg(kNoRiskRows));
  }
  ImportHtmlText(std::move(text));
}

void MainForm::ImportHtmlText(std::string text) {
  StateScope scope(*this);
  // A page without a single risk row is not a report page (or not one of ours).
  if (!HasHtmlRiskRow(text)) throw Error(Msg(kNoRiskRows));
  EditAction action(*this, undo_text::ImportHtml());
  BusyCursor busy(progress);
  ActivePage = Page::TabSheet1;
  HtmlImport.Memo1.text = std::move(text);
  ++HtmlImport.Memo1Loads;
  // The window shows the work page with the text while the rows go in.
  if (OnStateChanged) OnStateChanged();
  progress.ProcessEvents();

  // The tree is drawn once at the end, not at every added item.
  struct TreeUpdate {
    TreeControl& tree;
    explicit TreeUpdate(TreeControl& t) : tree(t) { tree.BeginUpdate(); }
    ~TreeUpdate() { tree.EndUpdate(); }
  } treeUpdate(TreeNT1);

  // Also after a failing row, the page shows what the tree highlights: the item the next edit
  // goes to.
  struct ShowSelectedAtEnd {
    MainForm& form;
    ~ShowSelectedAtEnd() {
      if (std::uncaught_exceptions() == 0) return;
      try {
        form.ShowSelected();
      } catch (...) {
      }
    }
  } showSelectedAtEnd{*this};
  const std::string& page = HtmlImport.Memo1.text;
  HtmlRowScanner scanner(page);
  NodesByCaption nodes(TreeNT1);
  HtmlImportRow row;
  for (int rowNumber = 1; scanner.Next(row); ++rowNumber) {
    // The whole row is checked before anything of it is added, so a bad row adds nothing.
    const auto p = RatingCellValue(row.p);
    const auto n = RatingCellValue(row.n);
    const auto h = RatingCellValue(row.h);
    if (!p) ThrowBadRating(page, row, rowNumber, "P", row.p);
    if (!n) ThrowBadRating(page, row, rowNumber, "N", row.n);
    if (!h) ThrowBadRating(page, row, rowNumber, "H", row.h);

    // With no path the selection left by the previous row places the risk.
    if (!row.path.empty()) SelectQuietly(*this, FindOrAddNodePath(*this, nodes, nullptr, row.path));

    AddRiskSpeedButtonClick();
    RiskSourceEdit.text = row.source;
    DescrEdit.text = "?" + row.source;
    RiskMemo.text = row.ident;
    OpatreniMemo.text = row.opatreni;
    CommentMemo.text.clear();
    ExistenceSpinEdit.value = ClampRating(*p);
    NasledkySpinEdit.value = ClampRating(*n);
    NazorSpinEdit.value = ClampRating(*h);
    StoreBitBtnClick();
    if (rowNumber % kRowsBetweenEvents == 0) progress.ProcessEvents();
  }
  ShowSelected();
  FocusControl.clear();
}

}  // namespace orvenda
