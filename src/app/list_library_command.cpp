#include "app/list_library_command.h"

#include <CLI/CLI.hpp>
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

fs::path DefaultUserDataDir() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
    return fs::path(data) / "Tumbek" / "Orvenda";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return fs::path(home) / ".local" / "share" / "Tumbek" / "Orvenda";
  }
  return {};
}

CLI::Option* AddProgramDirOption(CLI::App& group, std::optional<fs::path>& target) {
  // A misspelt directory must not get libraries of its own.
  return AddPathOption(group, "--program-dir", target, "DIR",
                       "the program directory whose libraries are used (default: the "
                       "executable's)")
      ->check(CLI::ExistingDirectory);
}

void DeclareListLibraryOptions(CLI::App& group, ListLibraryOptions& options) {
  AddLibraryOption(group, "--list-library", options.library, "the library listed");
  AddProgramDirOption(group, options.programDir);
}

int RunListLibraryCommand(const ListLibraryOptions& options, const BatchContext& context) {
  std::ostream& out = context.out;
  std::ostream& err = context.err;
  const int which = options.library;
  const fs::path dir = options.programDir.value_or(context.programDir);
  Libraries libs;
  try {
    const Messages& messages = context.messages;
    NullProgress progress;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw Error(Msg(117, {PathToText(dir)}));
    libs.ProgramDir = dir;
    libs.UserDir = context.userDir;
    const fs::path tempDir = BatchTempDir(context, ec);
    if (ec) throw fs::filesystem_error("temp_directory_path", ec);
    for (const std::string& warning : libs.OpenLibraries(tempDir, progress, messages)) {
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

BatchCommand ListLibraryCommand() {
  return MakeBatchCommand<ListLibraryOptions>(
      "--list-library",
      "prints a library as tab-separated UTF-8 text, one line per record, the enciphered texts "
      "deciphered",
      DeclareListLibraryOptions, RunListLibraryCommand);
}

}  // namespace orvenda
