#pragma once

#include <filesystem>
#include <optional>

#include "app/command_line.h"

namespace orvenda {

// orvenda --list-library builtin|user [--program-dir DIR]: opens the libraries as the start
// does (creating missing archives) and writes the chosen one to `context.out` in table order as
// UTF-8, deciphered: a header line, then one tab-separated line per record. Inside texts "\" is
// written "\\", tab "\t", CR "\r", LF "\n"; an empty number is empty. The program directory
// defaults to the context's, whose per-user directory is read first. Errors go to
// `context.err` and give a non-zero result, with nothing written to `context.out`.
struct ListLibraryOptions {
  int library = 0;
  std::optional<std::filesystem::path> programDir;

  bool operator==(const ListLibraryOptions&) const = default;
};

void DeclareListLibraryOptions(CLI::App& group, ListLibraryOptions& options);
int RunListLibraryCommand(const ListLibraryOptions& options, const BatchContext& context);
BatchCommand ListLibraryCommand();

// The --program-dir option of the library commands.
CLI::Option* AddProgramDirOption(CLI::App& group, std::optional<std::filesystem::path>& target);

// The per-user directory the window uses: $XDG_DATA_HOME (or ~/.local/share) + "Tumbek/Orvenda".
std::filesystem::path DefaultUserDataDir();

}  // namespace orvenda
