#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace orvenda {

// orvenda --list-library builtin|user [--program-dir DIR]: opens the libraries as the start
// does (creating missing archives) and writes the chosen one to `out` in table order as UTF-8,
// deciphered: a header line, then one tab-separated line per record. Inside texts "\" is
// written "\\", tab "\t", CR "\r", LF "\n"; an empty number is empty. `args` are the arguments
// after "--list-library" (a leading "--list-library" is skipped too). The program directory
// defaults to `programDir`; `userDir` is the per-user directory read first. Errors go to `err`
// and give a non-zero result, with nothing written to `out`.
int RunListLibraryCommand(const std::vector<std::string>& args, std::ostream& out,
                          std::ostream& err, const std::filesystem::path& programDir,
                          const std::filesystem::path& userDir);

// The per-user directory the window uses: $XDG_DATA_HOME (or ~/.local/share) + "Tumbek/Orvenda".
std::filesystem::path DefaultUserDataDir();

}  // namespace orvenda
