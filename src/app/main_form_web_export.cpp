// The main window's web exports: the framed site, the flat page and the switch that shows
// the site's menu entry.
#include "app/main_form.h"
#include "base/cp1250.h"
#include "reports/flat_web_export.h"
#include "reports/web_export.h"

namespace orvenda {
namespace fs = std::filesystem;

WebExportMenu::WebExportMenu() {
  Export1.text = "Export HTM...";
  Export1.visible = false;
  N6.visible = false;
  Switchexport1.text = "Switch export";
  ExportnaWEB1.text = "Export na WEB";
  SaveDialog2.Title = W("Vyberte složku pro export");
  SaveDialog2.FileName = "index.htm";
  SaveDialog2.Filter = "Hlavni dokument|index.htm";
}

void MainForm::SetUpWebExportControls() {
  for (const auto& [name, control] : std::initializer_list<std::pair<std::string_view, Control*>>{
           {"Export1", &WebExport.Export1},
           {"N6", &WebExport.N6},
           {"Switchexport1", &WebExport.Switchexport1},
           {"ExportnaWEB1", &WebExport.ExportnaWEB1}}) {
    if (!FindControl(name)) controls_.emplace_back(name, control);
  }
}

std::optional<fs::path> MainForm::AskWebExportFile() {
  WebExportMenu::SaveDialog& dialog = WebExport.SaveDialog2;
  fs::path dir = dialog.InitialDir;
  if (dir.empty() && !ProjectFileName.empty()) dir = ProjectFileName.parent_path();
  auto chosen = dialogs.SaveFileNamed(dialog.Title, dialog.FileName, dialog.Filter, dir);
  if (chosen) {
    if (chosen->parent_path().empty()) chosen = fs::path(".") / *chosen;
    dialog.InitialDir = chosen->parent_path();
  }
  return chosen;
}

void MainForm::Export1Click() {
  StateScope scope(*this);
  const auto chosen = AskWebExportFile();
  if (!chosen) return;
  BusyCursor busy(progress);
  // Only the folder counts: the site's file names are fixed.
  ExportWebSite(DataTable, MessagesBox, chosen->parent_path());
}

void MainForm::Switchexport1Click() {
  StateScope scope(*this);
  WebExport.Export1.visible = !WebExport.Export1.visible;
  WebExport.N6.visible = !WebExport.N6.visible;
}

void MainForm::ExportnaWEB1Click() {
  StateScope scope(*this);
  const auto chosen = AskWebExportFile();
  if (!chosen) return;
  BusyCursor busy(progress);
  WriteFlatWebPage(DataTable, MessagesBox, *chosen);
}

}  // namespace orvenda
