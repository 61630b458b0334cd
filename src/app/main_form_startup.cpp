// The main window's start and end: creation, first showing, the close question and the
// clean-up, with the settings, administrator mode and the kept page setup.
#include <exception>
#include <system_error>

#include "app/main_form.h"
#include "app/setup_form.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "documents/earlier_runs.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "model/project_table.h"

namespace orvenda {
namespace fs = std::filesystem;

void MainForm::SetUpDocumentControls() {
  if (DocumentControlsReady) return;
  DocumentControlsReady = true;
  OpenDialog1.Filter =
      W("Projekt rizik (*.RSK)|*.RSK|Projekt rizik verze 1.xx (*.RZK)|*.RZK|"
        "Záloha rizik verze 1.xx (*.ZLB)|*.ZLB");
  SaveDialog1.Filter = W("Projekt rizik (*.RSK)|*.RSK");
  ProgNameLabel.text = "Orvenda";
  AppTitleLabel.text = W("Hodnocení rizik");
  AdminLabel.text = "Administrator Mode";
  AdminLabel.visible = false;
  New1.text = W("Nový");
  Open1.text = W("Otevři...");
  Save1.text = W("Ulož");
  SaveAs1.text = W("Ulož jako...");
  SetUp1.text = W("Možnosti...");
  Konec1.text = "Konec";
  for (const auto& [name, control] : std::initializer_list<std::pair<std::string_view, Control*>>{
           {"ProgNameLabel", &ProgNameLabel},
           {"AppTitleLabel", &AppTitleLabel},
           {"AdminLabel", &AdminLabel},
           {"New1", &New1},
           {"Open1", &Open1},
           {"Save1", &Save1},
           {"SaveAs1", &SaveAs1},
           {"SetUp1", &SetUp1},
           {"Konec1", &Konec1}}) {
    if (!FindControl(name)) controls_.emplace_back(name, control);
  }
  SetUpWebExportControls();
}

void MainForm::FormCreate() {
  StateScope scope(*this);
  SetUpDocumentControls();
  // The recent-file menu starts empty; the list itself is read at the first show.
  MRUManager1.Clear();
  MRUSaved = false;
  if (!UserDir.empty()) {
    std::error_code ignored;  // a per-user directory that cannot be made does no harm
    fs::create_directories(UserDir, ignored);
  }
  if (TranslateMainForm) TranslateMainForm();
  SavePageSetup();
  ActivePage = Page::NoneTabSheet;
  TreeUpdating = true;
  FirstShow = true;
}

void MainForm::FormShow() {
  StateScope scope(*this);
  UpdateAdministratorMode();
  if (!FirstShow) return;

  // Read before the rest, so that a file named on the command line ends up on top.
  MRUManager1.Load(settings);
  LoadSettings();
  AppTitleLabel.text.clear();

  // Without its libraries the program still edits projects; the failure is shown.
  Libs.HoldLocks = Batch;
  try {
    OpenLibraries();
  } catch (const std::exception& e) {
    dialogs.ShowError(e.what());
  }

  PrepareClipboard();

  ProjectDir = MakeWorkingDirectory();
  ProjectDirMark = WorkingDirectoryMark::Mark(ProjectDir);
  ClearFilter(DataTable);
  DataTable.Close();
  DataTable.SetPath(ProjectDir / kWorkingTableName);
  CreateProjectTable(DataTable);
  if (!Batch) ProjectDirMark.SetProjectFile(fs::path());

  ProjectFileName.clear();
  TreeNT1.Clear();
  ShowFileName(fs::path());

  // Work that a crashed run left comes first; the command line's project opens only when none
  // of it is taken back. A failure here must not stop the start either.
  bool recovered = false;
  try {
    if (Batch) {
      RemoveDeadRunLeftovers(TempDir);
    } else {
      recovered = RecoverEarlierWork();
    }
  } catch (const std::exception& e) {
    dialogs.ShowError(e.what());
  }

  std::error_code ec;
  if (!recovered && !CommandLineFile.empty() && fs::is_regular_file(CommandLineFile, ec)) {
    // A file that fails to open must not stop the start: the empty project stays and the
    // window still comes up usable.
    try {
      OpenProject(CommandLineFile);
    } catch (const std::exception& e) {
      dialogs.ShowError(e.what());
    }
  }

  if (!recovered && !ProjectFileName.empty()) {
    // What interrupted saves of the project left beside it; the recovery did this for its own.
    const fs::path beside = ProjectFileName.parent_path();
    RemoveStaleArchiveTemporaries(beside.empty() ? fs::path(".") : beside);
  }

  BuildTree();
  if (!recovered) {
    Modified = false;
    StatusBar1.Panels[0].clear();
  }
  OpenDialog1.InitialDir = ProgramDir;
  SaveDialog1.InitialDir = ProgramDir;

  TreeUpdating = false;
  ShowSelected();
  FirstShow = false;
}

bool MainForm::FormCloseQuery() {
  StateScope scope(*this);
  // Quitting is confirmed first, so that a "No" to it neither saves nor discards anything.
  if (AskExit && !dialogs.AskYesNo(MessagesBox.Get(9), MessagesBox.Get(10))) return false;
  if (Modified) {
    AskSaveChanges();
    if (Modified) return false;
  }
  RestorePageSetup();
  MRUManager1.Save(settings);
  MRUSaved = true;
  return true;
}

void MainForm::FormClose() {
  StateScope scope(*this);
  std::exception_ptr failure;
  try {
    CloseLibraries();
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    ClearFilter(DataTable);
    DataTable.Close();
  } catch (...) {
    // The working files go all the same; the failure is still shown.
    if (!failure) failure = std::current_exception();
  }
  if (!ProjectDir.empty()) {
    RemoveWorkingDirectory(ProjectDir);
    ProjectDir.clear();
  }
  ProjectDirMark.Release();
  if (failure) std::rethrow_exception(failure);
}

void MainForm::FormDestroy() {
  if (!MRUSaved && !FirstShow) {
    MRUManager1.Save(settings);
    MRUSaved = true;
  }
  if (!ProjectDir.empty()) {
    try {
      DataTable.Close();
    } catch (const std::exception&) {
      // Going away regardless; the files are removed below.
    }
    RemoveWorkingDirectory(ProjectDir);
    ProjectDir.clear();
  }
  ProjectDirMark.Release();
  try {
    CloseLibraries();
  } catch (const std::exception&) {
    // Going away regardless; a library that could not be packed keeps its working copy.
  }
}

void MainForm::LoadSettings() {
  const Settings read = orvenda::LoadSettings(settings);
  AskDelete = read.AskDelete;
  AskExit = read.AskExit;
  CountAverage = read.CountAverage;
}

void MainForm::SetUp1Click() {
  StateScope scope(*this);
  if (!setupForm) throw Error("The Options window is not available.");
  const auto chosen = setupForm->Execute(Settings{AskDelete, AskExit, CountAverage});
  if (!chosen) return;
  AskDelete = chosen->AskDelete;
  AskExit = chosen->AskExit;
  CountAverage = chosen->CountAverage;
  SaveSettings(settings, *chosen);
}

void MainForm::UpdateAdministratorMode() {
  const bool on = IsAdministratorMode(AdminMarker);
  AdminLabel.visible = on;
  Administrator1.visible = on;
}

void MainForm::SavePageSetup() { SavedPageSetup = orvenda::SavePageSetup(settings); }

void MainForm::RestorePageSetup() { orvenda::RestorePageSetup(settings, SavedPageSetup); }

}  // namespace orvenda
