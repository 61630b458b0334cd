#pragma once

#include <filesystem>
#include <optional>

#include "app/command_line.h"

namespace orvenda {

// orvenda --build-library builtin|user FROM.tsv [--program-dir DIR]: reads and checks the whole
// source file (the form --list-library prints) first and refuses a bad one with a message
// naming its line, touching no file; then opens the libraries as the start does, replaces the
// chosen library with the records of the file (Ident and Opatreni enciphered) and rewrites its
// archive by atomic replacement. The other library is left as it was. The directories are as
// for --list-library. Errors go to `context.err` and give a non-zero result.
struct BuildLibraryOptions {
  int library = 0;
  std::filesystem::path source;
  std::optional<std::filesystem::path> programDir;

  bool operator==(const BuildLibraryOptions&) const = default;
};

void DeclareBuildLibraryOptions(CLI::App& group, BuildLibraryOptions& options);
int RunBuildLibraryCommand(const BuildLibraryOptions& options, const BatchContext& context);
BatchCommand BuildLibraryCommand();

}  // namespace orvenda
