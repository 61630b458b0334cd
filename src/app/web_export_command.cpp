#include "app/web_export_command.h"
#include "app/batch_project.h"
#include "base/messages.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <functional>
#include <system_error>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/progress.h"
#include "base/safe_output.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "model/table.h"
#include "reports/flat_web_export.h"
#include "reports/web_export.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

void DeclareExportOptions(CLI::App& group, ExportOptions& options, const std::string& command,
                          const std::string& outputValue, const std::string& outputHelp) {
  AddPathOption(group, command, options.project, "PROJECT",
                "the project (.RSK, or the older .RZK or a .ZLB backup)");
  AddPathOption(group, "--output", options.output, outputValue, outputHelp)->required();
}

// Opens the project into a working directory of its own and hands its table to `write`.
int RunExport(const ExportOptions& options, const BatchContext& context,
              const std::function<void(Table&, const fs::path&)>& write) {
  return RunInTempDir(context, [&](const fs::path& tempDir) {
    NullProgress progress;
    RefuseOutputOverInputs(options.output, {options.project});
    BatchProject project(options.project, tempDir, context.messages, progress);
    write(project.Data(), options.output);
  });
}

}  // namespace

int RunWebExportCommand(const ExportOptions& options, const BatchContext& context) {
  return RunExport(options, context, [&](Table& data, const fs::path& folder) {
    // The site replaces its three pages and its "data" folder whole: the project must be
    // none of them and not inside it.
    for (const char* page : {"index.htm", "tree.htm", "content.htm", "data"}) {
      RefuseOutputOverInputs(folder / page, {options.project});
    }
    std::error_code ignored;
    const fs::path dataDir = fs::weakly_canonical(folder / "data", ignored);
    const fs::path project = fs::weakly_canonical(options.project, ignored);
    if (!dataDir.empty() && project.string().starts_with(dataDir.string() + "/")) {
      throw Error(Msg(149, {PathToText(options.project), PathToText(folder / "data")}));
    }
    fs::create_directories(folder, ignored);  // a folder that cannot be made fails below
    ExportWebSite(data, context.messages, folder);
  });
}

int RunFlatExportCommand(const ExportOptions& options, const BatchContext& context) {
  return RunExport(options, context, [&context](Table& data, const fs::path& file) {
    WriteFlatWebPage(data, context.messages, file);
  });
}

BatchCommand WebExportCommand() {
  return MakeBatchCommand<ExportOptions>(
      "--web-export", "writes the framed web site of \"Export HTM...\"",
      [](CLI::App& group, ExportOptions& options) {
        DeclareExportOptions(group, options, "--web-export", "DIR",
                             "the folder of the site (made if missing)");
      },
      RunWebExportCommand);
}

BatchCommand FlatExportCommand() {
  return MakeBatchCommand<ExportOptions>(
      "--flat-export", "writes the page of \"Export na WEB\"",
      [](CLI::App& group, ExportOptions& options) {
        DeclareExportOptions(group, options, "--flat-export", "FILE.htm", "the page written");
      },
      RunFlatExportCommand);
}

}  // namespace orvenda
