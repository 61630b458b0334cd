#include "app/build_library_command.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <fstream>
#include <sstream>
#include <system_error>

#include "app/list_library_command.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/progress.h"
#include "library/libraries.h"
#include "library/library_source.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

std::string ReadWholeFile(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) throw Error(W("Soubor nenalezen."));
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  if (!in && !in.eof()) throw Error(Msg(116));
  return content.str();
}

}  // namespace

void DeclareBuildLibraryOptions(CLI::App& group, BuildLibraryOptions& options) {
  AddValuesOption(group, "--build-library", 2, "builtin|user LIBRARY.tsv",
                  "the library replaced and the text file of its records",
                  [&options](const std::vector<std::string>& values) {
                    options.library = LibraryValue("--build-library", values[0]);
                    options.source = PathValue("--build-library", values[1]);
                  });
  AddProgramDirOption(group, options.programDir);
}

int RunBuildLibraryCommand(const BuildLibraryOptions& options, const BatchContext& context) {
  std::ostream& out = context.out;
  std::ostream& err = context.err;
  const int which = options.library;
  const fs::path& from = options.source;
  const fs::path dir = options.programDir.value_or(context.programDir);

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
    err << Cp1250ToUtf8(Msg(117, {PathToText(dir)})) << "\n";
    return 1;
  }

  Libraries libs;
  try {
    const Messages& messages = context.messages;
    NullProgress progress;
    libs.ProgramDir = dir;
    libs.UserDir = context.userDir;
    const fs::path tempDir = BatchTempDir(context, ec);
    if (ec) throw fs::filesystem_error("temp_directory_path", ec);
    for (const std::string& warning : libs.OpenLibraries(tempDir, progress, messages)) {
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

BatchCommand BuildLibraryCommand() {
  return MakeBatchCommand<BuildLibraryOptions>("--build-library",
                                               "replaces a library with the records of a text file",
                                               DeclareBuildLibraryOptions, RunBuildLibraryCommand);
}

}  // namespace orvenda
