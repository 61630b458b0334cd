#include "app/convert_command.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <exception>
#include <filesystem>
#include <system_error>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/file_lock.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/safe_output.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "model/table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

class WorkingDirectory {
 public:
  explicit WorkingDirectory(const fs::path& tempDir)
      : dir_(MakeWorkingDirectory(tempDir)), mark_(WorkingDirectoryMark::Mark(dir_)) {}
  ~WorkingDirectory() { RemoveWorkingDirectory(dir_); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;
  const fs::path& path() const { return dir_; }

 private:
  fs::path dir_;
  WorkingDirectoryMark mark_;  // a killed run's copy is removed by a later start
};

}  // namespace

void DeclareConvertOptions(CLI::App& group, ConvertOptions& options) {
  AddValuesOption(group, "--convert", 2, "OLD NEW.RSK",
                  "the project (.RSK, .RZK with its .RZT and .RZX beside it, or a .ZLB backup) "
                  "and the new project (.RSK added unless given)",
                  [&options](const std::vector<std::string>& values) {
                    options.source = PathValue("--convert", values[0]);
                    options.target = PathValue("--convert", values[1]);
                  });
}

int RunConvertCommand(const ConvertOptions& options, const BatchContext& context) {
  std::ostream& err = context.err;
  try {
    const Messages& messages = context.messages;
    NullProgress progress;
    const fs::path& source = options.source;
    const fs::path target = WithProjectExtension(options.target);
    CheckProjectFile(source, messages);
    // Held to the end: a second run for the same target waits, then finds it there.
    const FileLock targetLock = FileLock::TakeOrFail(target, std::chrono::seconds(10));
    std::error_code ec;
    if (fs::exists(target, ec)) {
      throw Error(Msg(113, {PathToText(target)}));
    }
    std::error_code tempError;
    const fs::path tempDir = BatchTempDir(context, tempError);
    if (tempError) throw fs::filesystem_error("temp_directory_path", tempError);
    WorkingDirectory work(tempDir);
    LoadProjectFile(source, work.path(), progress, messages);
    {
      // The same check that the window makes before it takes a project over.
      Table table;
      OpenWorkingTable(table, work.path());
      table.Close();
    }
    SaveProjectFile(work.path(), target, progress, messages);
    return 0;
  } catch (const std::exception& e) {
    err << Cp1250ToUtf8(e.what()) << "\n";
    return 1;
  }
}

BatchCommand ConvertCommand() {
  return MakeBatchCommand<ConvertOptions>(
      "--convert",
      "opens a project in any form the window's Open reads and saves it as an .RSK project",
      DeclareConvertOptions, RunConvertCommand);
}

}  // namespace orvenda
