#include "app/web_export_command.h"

#include <exception>
#include <functional>
#include <system_error>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/progress.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "model/table.h"
#include "reports/flat_web_export.h"
#include "reports/web_export.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

struct ExportOptions {
  fs::path project;
  fs::path output;
};

// Command-line arguments are the host's text (UTF-8 here).
fs::path ArgumentPath(const std::string& arg) {
  return fs::path(std::u8string_view(reinterpret_cast<const char8_t*>(arg.data()), arg.size()));
}

// Parses "--<command> PROJECT --output TARGET" in any order; false on a usage error, told
// to `err`.
bool ParseOptions(const std::vector<std::string>& args, const std::string& command,
                  const char* target, ExportOptions& options, std::ostream& err) {
  const std::string usage = "usage: orvenda " + command + " PROJECT --output " + target + "\n";
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if ((arg == command || arg == "--output") && i + 1 < args.size()) {
      (arg == command ? options.project : options.output) = ArgumentPath(args[++i]);
    } else {
      err << "orvenda: "
          << (arg == command || arg == "--output" ? arg + " needs a value"
                                                  : "unknown argument \"" + arg + "\"")
          << "\n"
          << usage;
      return false;
    }
  }
  if (options.project.empty() || options.output.empty()) {
    err << "orvenda: " << (options.project.empty() ? "no project given" : "no output given") << "\n"
        << usage;
    return false;
  }
  return true;
}

// Opens the project into a working directory of its own and hands its table to `write`.
int RunExport(const std::vector<std::string>& args, std::ostream& err, const Messages& messages,
              const fs::path& tempDir, const std::string& command, const char* target,
              const std::function<void(Table&, const fs::path&)>& write) {
  ExportOptions options;
  if (!ParseOptions(args, command, target, options, err)) return 2;
  try {
    NullProgress progress;
    CheckProjectFile(options.project, messages);  // before anything is made on disk
    const fs::path workDir = MakeWorkingDirectory(tempDir);
    struct RemoveOnExit {
      fs::path dir;
      ~RemoveOnExit() { RemoveWorkingDirectory(dir); }
    } removeWorkDir{workDir};
    LoadProjectFile(options.project, workDir, progress, messages);
    Table data;
    OpenWorkingTable(data, workDir);
    write(data, options.output);
    data.Close();
  } catch (const Error& error) {
    err << "orvenda: " << Cp1250ToUtf8(error.what()) << "\n";
    return 1;
  } catch (const std::exception& error) {
    err << "orvenda: " << error.what() << "\n";
    return 1;
  }
  return 0;
}

int WithDefaults(const std::function<int(const Messages&, const fs::path&)>& run,
                 std::ostream& err) {
  const Messages messages;
  std::error_code ec;
  const fs::path tempDir = fs::temp_directory_path(ec);
  if (ec) {
    err << "orvenda: no temporary directory: " << ec.message() << "\n";
    return 1;
  }
  return run(messages, tempDir);
}

}  // namespace

int RunWebExportCommand(const std::vector<std::string>& args, std::ostream& err,
                        const Messages& messages, const fs::path& tempDir) {
  return RunExport(args, err, messages, tempDir, "--web-export", "DIR",
                   [&messages](Table& data, const fs::path& folder) {
                     std::error_code ignored;  // a folder that cannot be made fails below
                     fs::create_directories(folder, ignored);
                     ExportWebSite(data, messages, folder);
                   });
}

int RunFlatExportCommand(const std::vector<std::string>& args, std::ostream& err,
                         const Messages& messages, const fs::path& tempDir) {
  return RunExport(
      args, err, messages, tempDir, "--flat-export", "FILE.htm",
      [&messages](Table& data, const fs::path& file) { WriteFlatWebPage(data, messages, file); });
}

int RunWebExportCommand(const std::vector<std::string>& args, std::ostream& err) {
  return WithDefaults(
      [&](const Messages& messages, const fs::path& tempDir) {
        return RunWebExportCommand(args, err, messages, tempDir);
      },
      err);
}

int RunFlatExportCommand(const std::vector<std::string>& args, std::ostream& err) {
  return WithDefaults(
      [&](const Messages& messages, const fs::path& tempDir) {
        return RunFlatExportCommand(args, err, messages, tempDir);
      },
      err);
}

}  // namespace orvenda
