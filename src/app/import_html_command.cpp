#include "app/import_html_command.h"

#include <CLI/CLI.hpp>
#include <chrono>
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
#include "library/html_import.h"
#include "model/project_table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

void RunImport(const ImportHtmlOptions& options, const fs::path& tempDir) {
  const fs::path target = WithProjectExtension(options.output);
  HeadlessTreeControl tree;
  BatchDialogs dialogs;
  NullProgress progress;
  EmptySettingsStore settings;
  MainForm form(tree, dialogs, progress, settings, MainFormDirs{{}, tempDir, {}});

  // Everything that can be checked is checked before anything is made on disk.
  if (options.project) CheckProjectFile(*options.project, form.MessagesBox);
  // Held to the end: a second run for the same output waits, then finds it there.
  const FileLock outputLock = FileLock::TakeOrFail(target, std::chrono::seconds(10));
  std::error_code ec;
  if (fs::exists(target, ec)) {
    throw Error(Msg(113, {PathToText(target)}));
  }
  std::string page = ReadHtmlPage(options.page);

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
  if (options.project) {
    LoadProjectFile(*options.project, form.ProjectDir, progress, form.MessagesBox);
    OpenWorkingTable(form.DataTable, form.ProjectDir);
  } else {
    form.DataTable.SetPath(form.ProjectDir / kWorkingTableName);
    CreateProjectTable(form.DataTable);
  }
  form.BuildTree();
  form.ShowSelected();
  if (options.select) {
    const TreeControl::Item item = tree.FindByData(*options.select);
    if (item == nullptr) {
      throw Error(Msg(114, {std::to_string(*options.select)}));
    }
    tree.Select(item);
  }

  form.ImportHtmlText(std::move(page));

  ClearFilter(form.DataTable);
  form.DataTable.Close();
  SaveProjectFile(form.ProjectDir, target, progress, form.MessagesBox);
}

}  // namespace

void DeclareImportHtmlOptions(CLI::App& group, ImportHtmlOptions& options) {
  AddPathOption(group, "--import-html", options.page, "PAGE.htm",
                "a saved report page (note column hidden)");
  AddPathOption(group, "--output", options.output, "NEW.RSK", "the project saved (not replaced)")
      ->required();
  AddPathOption(group, "--project", options.project, "BASE.RSK",
                "the project the rows are added to (an empty one without it)");
  AddNumberOption(group, "--select", options.select, "INDEX",
                  "the item selected before the import, by its Index");
}

int RunImportHtmlCommand(const ImportHtmlOptions& options, const BatchContext& context) {
  std::error_code ec;
  const fs::path tempDir = BatchTempDir(context, ec);
  if (ec) {
    context.err << "orvenda: no temporary directory: " << ec.message() << "\n";
    return 1;
  }
  try {
    RunImport(options, tempDir);
  } catch (const Error& error) {
    context.err << "orvenda: " << Cp1250ToUtf8(error.what()) << "\n";
    return 1;
  } catch (const std::exception& error) {
    context.err << "orvenda: " << error.what() << "\n";
    return 1;
  }
  return 0;
}

BatchCommand ImportHtmlCommand() {
  return MakeBatchCommand<ImportHtmlOptions>(
      "--import-html",
      "\"Import HTML\": reads the risk rows of a saved report page into a project and saves it",
      DeclareImportHtmlOptions, RunImportHtmlCommand);
}

}  // namespace orvenda
