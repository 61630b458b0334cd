#include "app/convert_command.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/progress.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "model/table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

class WorkingDirectory {
 public:
  WorkingDirectory() : dir_(MakeWorkingDirectory(fs::temp_directory_path())) {}
  ~WorkingDirectory() { RemoveWorkingDirectory(dir_); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;
  const fs::path& path() const { return dir_; }

 private:
  fs::path dir_;
};

// Command-line arguments are the host's text (UTF-8 here).
fs::path ArgumentPath(const std::string& arg) {
  return fs::path(std::u8string_view(reinterpret_cast<const char8_t*>(arg.data()), arg.size()));
}

}  // namespace

int RunConvertCommand(const std::vector<std::string>& args, std::ostream& err) {
  size_t first = !args.empty() && args[0] == "--convert" ? 1 : 0;
  if (args.size() - first != 2) {
    err << "usage: orvenda --convert SOURCE TARGET.RSK\n";
    return 2;
  }
  try {
    const Messages messages;
    NullProgress progress;
    const fs::path source = ArgumentPath(args[first]);
    const fs::path target = WithProjectExtension(ArgumentPath(args[first + 1]));
    CheckProjectFile(source, messages);
    std::error_code ec;
    if (fs::exists(target, ec)) {
      throw Error(W("Soubor ") + PathToText(target) + W(" už existuje."));
    }
    WorkingDirectory work;
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

}  // namespace orvenda
