#include "app/batch_import.h"

#include <chrono>
#include <string>
#include <system_error>

#include "app/batch_seams.h"
#include "app/headless_tree_control.h"
#include "app/main_form.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/file_lock.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/safe_output.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "model/project_table.h"

namespace orvenda {
namespace fs = std::filesystem;

void RunBatchImport(const BatchImport& batch, const fs::path& tempDir,
                    const std::function<void(MainForm&)>& read,
                    const std::function<void(MainForm&)>& import) {
  const fs::path target = WithProjectExtension(batch.output);
  HeadlessTreeControl tree;
  BatchDialogs dialogs;
  NullProgress progress;
  EmptySettingsStore settings;
  MainForm form(tree, dialogs, progress, settings, MainFormDirs{{}, tempDir, {}});

  if (!batch.project.empty()) CheckProjectFile(batch.project, form.MessagesBox);
  RefuseOutputOverInputs(target, batch.inputs);
  const FileLock outputLock = FileLock::TakeOrFail(target, std::chrono::seconds(10));
  std::error_code ec;
  if (fs::exists(target, ec)) throw Error(Msg(113, {PathToText(target)}));
  read(form);

  form.ProjectDir = form.MakeWorkingDirectory();
  // Locked as this run's, so that a later start removes it when this run is killed.
  form.ProjectDirMark = WorkingDirectoryMark::Mark(form.ProjectDir);
  struct RemoveOnExit {
    MainForm& form;
    ~RemoveOnExit() {
      if (form.DataTable.IsOpen()) form.DataTable.Close();
      RemoveWorkingDirectory(form.ProjectDir);
    }
  } removeWorkDir{form};
  if (!batch.project.empty()) {
    LoadProjectFile(batch.project, form.ProjectDir, progress, form.MessagesBox);
    OpenWorkingTable(form.DataTable, form.ProjectDir);
  } else {
    form.DataTable.SetPath(form.ProjectDir / kWorkingTableName);
    CreateProjectTable(form.DataTable);
  }
  form.BuildTree();
  form.ShowSelected();
  if (batch.select) {
    const TreeControl::Item item = tree.FindByData(*batch.select);
    if (item == nullptr) throw Error(Msg(114, {std::to_string(*batch.select)}));
    tree.Select(item);
  }

  import(form);

  ClearFilter(form.DataTable);
  form.DataTable.Close();
  SaveProjectFile(form.ProjectDir, target, progress, form.MessagesBox);
}

}  // namespace orvenda
