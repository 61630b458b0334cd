#include "app/import_html_command.h"

#include <CLI/CLI.hpp>
#include <string>

#include "app/batch_import.h"
#include "app/main_form.h"
#include "library/html_import.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

void RunImport(const ImportHtmlOptions& options, const fs::path& tempDir) {
  std::string page;
  RunBatchImport(
      {options.output, options.project.value_or(fs::path()), options.select, {}}, tempDir,
      [&](MainForm&) { page = ReadHtmlPage(options.page); },
      [&](MainForm& form) { form.ImportHtmlText(std::move(page)); });
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
  return RunInTempDir(context, [&](const fs::path& tempDir) { RunImport(options, tempDir); });
}

BatchCommand ImportHtmlCommand() {
  return MakeBatchCommand<ImportHtmlOptions>(
      "--import-html",
      "\"Import HTML\": reads the risk rows of a saved report page into a project and saves it",
      DeclareImportHtmlOptions, RunImportHtmlCommand);
}

}  // namespace orvenda
