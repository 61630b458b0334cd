// The main window's project documents: New, Open, Save, Save as, the recent files, the
// unsaved-changes question and the window caption.
#include <chrono>
#include <system_error>

#include "app/main_form.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "documents/project_file.h"
#include "documents/recent_files.h"
#include "documents/working_directory.h"
#include "model/project_table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

constexpr const char* kChangeMark = " *";

void SetModified(MainForm& form, bool modified) {
  form.Modified = modified;
  form.StatusBar1.Panels[0] = modified ? kChangeMark : "";
}

// Packs the working table into `file`. The table is closed meanwhile, so that its index file
// is complete on disk, and open again afterwards whether or not the save worked.
void SaveWorkingTable(MainForm& form, const fs::path& file) {
  ClearFilter(form.DataTable);
  try {
    // Deleted records go for good as the table is closed; the packed files it leaves are
    // what the archive compresses, with no pack of their own before.
    if (form.PackPending) {
      form.DataTable.PackAndClose();
      form.PackPending = false;
    } else {
      form.DataTable.Close();
    }
    SaveProjectFile(form.ProjectDir, file, form.progress, form.MessagesBox);
  } catch (...) {
    if (!form.DataTable.IsOpen()) OpenWorkingTable(form.DataTable, form.ProjectDir);
    throw;
  }
  OpenWorkingTable(form.DataTable, form.ProjectDir);
}

// The name only matters after a crash, and a stale one still marks the work as a project's:
// failing to write it is no reason to fail the command.
void NameInMark(const MainForm& form, const fs::path& file) {
  if (form.Batch) return;
  try {
    form.ProjectDirMark.SetProjectFile(file);
  } catch (const Error&) {
  }
}

// The commands that replace the project ask first; false when the changes are still unsaved
// (the user's Save as was cancelled), which ends the command.
bool ChangesSettled(MainForm& form) {
  if (form.Modified) form.AskSaveChanges();
  return !form.Modified;
}

}  // namespace

fs::path MainForm::MakeWorkingDirectory() { return orvenda::MakeWorkingDirectory(TempDir); }

void MainForm::ShowFileName(const fs::path& fileName) {
  std::string caption;
  if (!fileName.empty()) caption = PathToText(fileName.stem()) + " - ";
  caption += ProgNameLabel.text;
  if (!AppTitleLabel.text.empty()) caption += " - " + AppTitleLabel.text;
  Caption = caption;
  ApplicationTitle = caption;
}

void MainForm::OpenProject(const fs::path& fileName) {
  std::error_code ec;
  if (!fs::is_regular_file(fileName, ec)) {
    dialogs.Warning(PathToText(fileName) + ": " + MessagesBox.Get(8));
    return;
  }
  CheckProjectFile(fileName, MessagesBox);
  // Two runs writing one project lose one's work: the second may only read it. A batch command
  // only reads the project it opens; it locks what it writes.
  LockHolder holder;
  FileLock lock =
      Batch ? FileLock() : FileLock::Take(fileName, std::chrono::milliseconds(0), &holder);
  const bool readOnly = !Batch && !lock.Held();
  if (readOnly && !dialogs.AskYesNo(Msg(148, {PathToText(fileName), LockHolderText(holder)}),
                                    MessagesBox.Get(13))) {
    return;
  }
  // The new project is unpacked beside the current one, which stays open and intact until the
  // new table has opened.
  const fs::path newDir = MakeWorkingDirectory();
  WorkingDirectoryMark newMark;
  bool oldForm = false;
  try {
    newMark = WorkingDirectoryMark::Mark(newDir);
    oldForm = LoadProjectFile(fileName, newDir, progress, MessagesBox);
    // Named only once the table is complete: until then a crash leaves nothing to offer back.
    // A batch command's table is never offered back.
    if (!Batch) newMark.SetProjectFile(fileName);
  } catch (...) {
    RemoveWorkingDirectory(newDir);
    throw;
  }
  try {
    ClearFilter(DataTable);
    DataTable.Close();
    OpenWorkingTable(DataTable, newDir, fileName);
  } catch (...) {
    OpenWorkingTable(DataTable, ProjectDir);
    RemoveWorkingDirectory(newDir);
    throw;
  }
  RemoveWorkingDirectory(ProjectDir);
  ProjectDir = newDir;
  ProjectDirMark = std::move(newMark);

  SetModified(*this, oldForm);
  StartHistory();
  ProjectLock = std::move(lock);
  ReadOnlyProject = readOnly;
  ProjectFileName = fileName;
  ShowFileName(fileName);
  MRUManager1.Add(fileName);
}

void MainForm::SaveProject() {
  StateScope scope(*this);
  SaveWorkingTable(*this, ProjectFileName);
  SetModified(*this, false);
  // The steps stay: undoing past this point marks the project changed again.
  History.MarkSaved();
}

void MainForm::AskSaveChanges() {
  StateScope scope(*this);
  const std::string text = MessagesBox.Get(11) + "\n\r" + MessagesBox.Get(12);
  // Storno leaves the changes unsaved and marked, which stops the command that asked.
  switch (dialogs.AskYesNoCancel(text, MessagesBox.Get(13))) {
    case Dialogs::Answer::Yes:
      Save1Click();
      break;
    case Dialogs::Answer::No:
      SetModified(*this, false);
      break;
    case Dialogs::Answer::Cancel:
      break;
  }
}

void MainForm::New1Click() {
  StateScope scope(*this);
  if (!ChangesSettled(*this)) return;
  ClearFilter(DataTable);
  try {
    CreateProjectTable(DataTable);
  } catch (...) {
    // The table is replaced through temporary files, so the old one is still there.
    OpenWorkingTable(DataTable, ProjectDir);
    throw;
  }
  ProjectFileName.clear();
  ProjectLock.Release();
  ReadOnlyProject = false;
  ShowFileName(fs::path());
  SetModified(*this, false);
  StartHistory();
  NameInMark(*this, fs::path());
  BuildTree();  // of the empty table: no items
  ShowSelected();
}

void MainForm::Open1Click() {
  StateScope scope(*this);
  if (!ChangesSettled(*this)) return;
  if (const auto chosen = dialogs.OpenFile(OpenDialog1.Filter, OpenDialog1.InitialDir)) {
    OpenProject(*chosen);
  }
  BuildTree();
  ShowSelected();
}

void MainForm::MRUManager1Click(const fs::path& fileName) {
  StateScope scope(*this);
  if (!ChangesSettled(*this)) return;
  OpenProject(fileName);
  BuildTree();
  ShowSelected();
}

void MainForm::Save1Click() {
  StateScope scope(*this);
  if (!ProjectFileName.empty() && !ReadOnlyProject &&
      ProjectFileKindOf(ProjectFileName) == ProjectFileKind::Rsk) {
    SaveProject();
  } else {
    SaveAs1Click();
  }
}

void MainForm::SaveAs1Click() {
  StateScope scope(*this);
  const auto chosen = dialogs.SaveFile(SaveDialog1.Filter, SaveDialog1.InitialDir);
  if (!chosen) return;
  const fs::path fileName = WithProjectExtension(*chosen);
  // The file this run holds needs no new lock; any other must be free.
  std::error_code ec;
  const bool same = !ReadOnlyProject && ProjectLock.Held() && !ProjectFileName.empty() &&
                    fs::equivalent(fileName, ProjectFileName, ec);
  FileLock lock = same ? FileLock() : FileLock::TakeOrFail(fileName, std::chrono::milliseconds(0));
  // The project takes the new name only once it is saved under it. A crash meanwhile offers the
  // work back under the name that the user chose.
  NameInMark(*this, fileName);
  try {
    SaveWorkingTable(*this, fileName);
  } catch (...) {
    NameInMark(*this, ProjectFileName);
    throw;
  }
  if (!same) ProjectLock = std::move(lock);
  ReadOnlyProject = false;
  ProjectFileName = fileName;
  ShowFileName(fileName);
  MRUManager1.Add(fileName);
  SetModified(*this, false);
  StartHistory();
}

}  // namespace orvenda
