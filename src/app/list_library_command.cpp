#include "app/list_library_command.h"

#include <cstdlib>
#include <exception>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/progress.h"
#include "library/libraries.h"
#include "library/library_source.h"
#include "model/project_table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

fs::path ArgumentPath(const std::string& arg) {
  return fs::path(std::u8string_view(reinterpret_cast<const char8_t*>(arg.data()), arg.size()));
}

constexpr const char kUsage[] = "usage: orvenda --list-library builtin|user [--program-dir DIR]\n";

}  // namespace

fs::path DefaultUserDataDir() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
    return fs::path(data) / "Tumbek" / "Orvenda";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return fs::path(home) / ".local" / "share" / "Tumbek" / "Orvenda";
  }
  return {};
}

int RunListLibraryCommand(const std::vector<std::string>& args, std::ostream& out,
                          std::ostream& err, const fs::path& programDir, const fs::path& userDir) {
  size_t at = !args.empty() && args[0] == "--list-library" ? 1 : 0;
  int which = -1;
  fs::path dir = programDir;
  for (; at < args.size(); ++at) {
    if (args[at] == "builtin" && which < 0) {
      which = kBuiltInLibrary;
    } else if (args[at] == "user" && which < 0) {
      which = kUserLibrary;
    } else if (args[at] == "--program-dir" && at + 1 < args.size()) {
      dir = ArgumentPath(args[++at]);
    } else {
      err << kUsage;
      return 2;
    }
  }
  if (which < 0) {
    err << kUsage;
    return 2;
  }

  Libraries libs;
  try {
    const Messages messages;
    NullProgress progress;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw Error(W("Adresář neexistuje: ") + PathToText(dir));
    libs.ProgramDir = dir;
    libs.UserDir = userDir;
    for (const std::string& warning :
         libs.OpenLibraries(fs::temp_directory_path(), progress, messages)) {
      err << Cp1250ToUtf8(warning) << "\n";
    }
    // A library that could not be read is listed as nothing, which no check may take for its
    // contents.
    if (!libs.DamagedFile(which).empty()) {
      libs.DiscardLibraries();
      return 1;
    }
    const std::string listing = ListLibrarySource(libs.TableOf(which));
    libs.DiscardLibraries();
    out << listing;
    out.flush();
    return 0;
  } catch (const std::exception& e) {
    libs.DiscardLibraries();
    err << Cp1250ToUtf8(e.what()) << "\n";
    return 1;
  }
}

}  // namespace orvenda
