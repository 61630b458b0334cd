#include "app/table_commands.h"
#include "app/batch_project.h"
#include "base/messages.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "app/batch_seams.h"
#include "app/headless_tree_control.h"
#include "app/main_form.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/file_lock.h"
#include "base/progress.h"
#include "base/safe_output.h"
#include "documents/project_file.h"
#include "documents/recent_files.h"
#include "documents/working_directory.h"
#include "library/register_import.h"
#include "model/project_table.h"
#include "reports/branch_walk.h"
#include "reports/register_export.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void NoSuchItem(int32_t index) { throw Error(Msg(114, {std::to_string(index)})); }

void ExportTable(const ExportTableOptions& options, const fs::path& tempDir) {
  const Messages messages;
  NullProgress progress;
  CheckProjectFile(options.project, messages);  // before anything is made on disk
  CheckRegisterOutput(options.output, options.project);
  BatchProject project(options.project, tempDir, messages, progress);
  Table& data = project.Data();
  if (options.branch && !BranchExists(data, *options.branch)) NoSuchItem(*options.branch);
  WriteRegister(data, options.output, options.branch, messages, options.project);
}

void ImportTable(const ImportTableOptions& options, const fs::path& tempDir) {
  const fs::path target = WithProjectExtension(options.output);
  HeadlessTreeControl tree;
  BatchDialogs dialogs;
  NullProgress progress;
  EmptySettingsStore settings;
  MainForm form(tree, dialogs, progress, settings, MainFormDirs{{}, tempDir, {}});

  // Everything that can be checked is checked before anything is made on disk, the whole
  // register included.
  if (!options.project.empty()) CheckProjectFile(options.project, form.MessagesBox);
  RefuseOutputOverInputs(target, {options.csv, options.project});
  // Held to the end: a second run for the same output waits, then finds it there.
  const FileLock outputLock = FileLock::TakeOrFail(target, std::chrono::seconds(10));
  std::error_code ec;
  if (fs::exists(target, ec)) {
    throw Error(Msg(113, {PathToText(target)}));
  }
  const std::vector<RegisterImportRow> rows = ReadRegisterCsv(options.csv, form.MessagesBox);

  form.ProjectDir = form.MakeWorkingDirectory();
  form.ProjectDirMark = WorkingDirectoryMark::Mark(form.ProjectDir);
  struct RemoveOnExit {
    MainForm& form;
    ~RemoveOnExit() {
      if (form.DataTable.IsOpen()) form.DataTable.Close();
      RemoveWorkingDirectory(form.ProjectDir);
    }
  } removeWorkDir{form};
  if (!options.project.empty()) {
    LoadProjectFile(options.project, form.ProjectDir, progress, form.MessagesBox);
    OpenWorkingTable(form.DataTable, form.ProjectDir);
  } else {
    form.DataTable.SetPath(form.ProjectDir / kWorkingTableName);
    CreateProjectTable(form.DataTable);
  }
  form.BuildTree();
  form.ShowSelected();
  if (options.select) {
    const TreeControl::Item item = tree.FindByData(*options.select);
    if (item == nullptr) NoSuchItem(*options.select);
    tree.Select(item);
  }

  form.ImportTableRows(rows);

  ClearFilter(form.DataTable);
  form.DataTable.Close();
  SaveProjectFile(form.ProjectDir, target, progress, form.MessagesBox);
}

template <typename Run>
int Guarded(std::ostream& err, Run run) {
  try {
    run();
  } catch (const Error& error) {
    err << "orvenda: " << Cp1250ToUtf8(error.what()) << "\n";
    return 1;
  } catch (const std::exception& error) {
    err << "orvenda: " << error.what() << "\n";
    return 1;
  }
  return 0;
}

// The system's temporary directory, or nullopt with the error told.
std::optional<fs::path> SystemTempDir(std::ostream& err) {
  std::error_code ec;
  fs::path dir = fs::temp_directory_path(ec);
  if (ec) {
    err << "orvenda: no temporary directory: " << ec.message() << "\n";
    return std::nullopt;
  }
  return dir;
}

}  // namespace

int RunExportTable(const ExportTableOptions& options, std::ostream& err, const fs::path& tempDir) {
  return Guarded(err, [&] { ExportTable(options, tempDir); });
}

int RunExportTable(const ExportTableOptions& options, std::ostream& err) {
  const auto tempDir = SystemTempDir(err);
  return tempDir ? RunExportTable(options, err, *tempDir) : 1;
}

int RunImportTable(const ImportTableOptions& options, std::ostream& err, const fs::path& tempDir) {
  return Guarded(err, [&] { ImportTable(options, tempDir); });
}

int RunImportTable(const ImportTableOptions& options, std::ostream& err) {
  const auto tempDir = SystemTempDir(err);
  return tempDir ? RunImportTable(options, err, *tempDir) : 1;
}

namespace {

// Runs `run` with the batch temporary directory, or fails when there is none.
int InTempDir(const BatchContext& context,
              const std::function<int(const std::filesystem::path&)>& run) {
  std::error_code ec;
  const std::filesystem::path tempDir = BatchTempDir(context, ec);
  if (ec) {
    context.err << "orvenda: no temporary directory: " << ec.message() << "\n";
    return 1;
  }
  return run(tempDir);
}

}  // namespace

BatchCommand ExportTableCommand() {
  return MakeBatchCommand<ExportTableOptions>(
      "--export-table",
      "\"Export do tabulky...\": writes the risk register of a project as XLSX or CSV",
      [](CLI::App& group, ExportTableOptions& options) {
        AddPathOption(group, "--export-table", options.project, "PROJECT.RSK", "the project");
        AddPathOption(group, "--output", options.output, "FILE.xlsx|FILE.csv",
                      "the spreadsheet written (replaced only by a complete one)")
            ->required();
        AddNumberOption(group, "--branch", options.branch, "INDEX",
                        "only the branch below the item with this Index");
      },
      [](const ExportTableOptions& options, const BatchContext& context) {
        return InTempDir(context, [&](const std::filesystem::path& tempDir) {
          return RunExportTable(options, context.err, tempDir);
        });
      });
}

BatchCommand ImportTableCommand() {
  return MakeBatchCommand<ImportTableOptions>(
      "--import-table",
      "\"Import z tabulky...\": reads a CSV risk register into a project and saves it",
      [](CLI::App& group, ImportTableOptions& options) {
        AddPathOption(group, "--import-table", options.csv, "FILE.csv", "the CSV register");
        AddPathOption(group, "--output", options.output, "NEW.RSK",
                      "the project saved (not replaced)")
            ->required();
        AddPathOption(group, "--project", options.project, "BASE.RSK",
                      "the project the risks are added to (an empty one without it)");
        AddNumberOption(group, "--select", options.select, "INDEX",
                        "the item selected before the import, by its Index");
      },
      [](const ImportTableOptions& options, const BatchContext& context) {
        return InTempDir(context, [&](const std::filesystem::path& tempDir) {
          return RunImportTable(options, context.err, tempDir);
        });
      });
}

}  // namespace orvenda
