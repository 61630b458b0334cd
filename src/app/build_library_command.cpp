#include "app/build_library_command.h"

#include <exception>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/progress.h"
#include "library/libraries.h"
#include "library/library_source.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

fs::path ArgumentPath(const std::string& arg) {
  return fs::path(std::u8string_view(reinterpret_cast<const char8_t*>(arg.data()), arg.size()));
}

std::string ReadWholeFile(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) throw Error(W("Soubor nenalezen."));
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  if (!in && !in.eof()) throw Error(W("Soubor nelze přečíst."));
  return content.str();
}

constexpr const char kUsage[] =
    "usage: orvenda --build-library builtin|user FROM.tsv [--program-dir DIR]\n";

}  // namespace

int RunBuildLibraryCommand(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err, const fs::path& programDir, const fs::path& userDir) {
  size_t at = !args.empty() && args[0] == "--build-library" ? 1 : 0;
  int which = -1;
  fs::path from;
  fs::path dir = programDir;
  for (; at < args.size(); ++at) {
    if (args[at] == "--program-dir" && at + 1 < args.size()) {
      dir = ArgumentPath(args[++at]);
    } else if (which < 0 && (args[at] == "builtin" || args[at] == "user")) {
      which = args[at] == "builtin" ? kBuiltInLibrary : kUserLibrary;
    } else if (which >= 0 && from.empty() && !args[at].starts_with("--")) {
      from = ArgumentPath(args[at]);
    } else {
      err << kUsage;
      return 2;
    }
  }
  if (which < 0 || from.empty()) {
    err << kUsage;
    return 2;
  }

  // The whole file is checked before any library file is opened, so a refusal changes nothing.
  std::vector<LibrarySourceRecord> records;
  try {
    records = ReadLibrarySource(ReadWholeFile(from));
  } catch (const std::exception& e) {
    err << from.string() << ": " << Cp1250ToUtf8(e.what()) << "\n";
    return 1;
  }
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    err << Cp1250ToUtf8(W("Adresář neexistuje: ")) << dir.string() << "\n";
    return 1;
  }

  Libraries libs;
  try {
    const Messages messages;
    NullProgress progress;
    libs.ProgramDir = dir;
    libs.UserDir = userDir;
    for (const std::string& warning :
         libs.OpenLibraries(fs::temp_directory_path(), progress, messages)) {
      err << Cp1250ToUtf8(warning) << "\n";
    }
    ReplaceLibraryRecords(libs.TableOf(which), records);
    libs.SaveLibrary(which, progress, messages.Get(19));
    const fs::path target = libs.ArchiveTarget(which);
    libs.DiscardLibraries();
    out << target.string() << ": " << records.size() << "\n";
    return 0;
  } catch (const std::exception& e) {
    libs.DiscardLibraries();
    err << Cp1250ToUtf8(e.what()) << "\n";
    return 1;
  }
}

}  // namespace orvenda
