#include "app/table_commands.h"

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "app/batch_import.h"
#include "app/batch_project.h"
#include "app/main_form.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/progress.h"
#include "documents/project_file.h"
#include "library/register_import.h"
#include "reports/branch_walk.h"
#include "reports/register_export.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void NoSuchItem(int32_t index) { throw Error(Msg(114, {std::to_string(index)})); }

void ExportTable(const ExportTableOptions& options, const fs::path& tempDir) {
  // The run's list: a batch run's speaks the language file's language.
  const Messages& messages = Messages::Current();
  NullProgress progress;
  CheckProjectFile(options.project, messages);  // before anything is made on disk
  CheckRegisterOutput(options.output, options.project);
  BatchProject project(options.project, tempDir, messages, progress);
  Table& data = project.Data();
  if (options.branch && !BranchExists(data, *options.branch)) NoSuchItem(*options.branch);
  WriteRegister(data, options.output, options.branch, messages, options.project);
}

void ImportTable(const ImportTableOptions& options, const fs::path& tempDir) {
  // The whole register is read and checked before anything is made on disk.
  std::vector<RegisterImportRow> rows;
  RunBatchImport(
      {options.output, options.project, options.select, {options.csv, options.project}}, tempDir,
      [&](MainForm& form) { rows = ReadRegisterCsv(options.csv, form.MessagesBox); },
      [&](MainForm& form) { form.ImportTableRows(rows); });
}

}  // namespace

int RunExportTable(const ExportTableOptions& options, std::ostream& err, const fs::path& tempDir) {
  return RunReportingErrors(err, [&] { ExportTable(options, tempDir); });
}

int RunImportTable(const ImportTableOptions& options, std::ostream& err, const fs::path& tempDir) {
  return RunReportingErrors(err, [&] { ImportTable(options, tempDir); });
}

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
        return RunInTempDir(context,
                            [&](const fs::path& tempDir) { ExportTable(options, tempDir); });
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
        return RunInTempDir(context,
                            [&](const fs::path& tempDir) { ImportTable(options, tempDir); });
      });
}

}  // namespace orvenda
