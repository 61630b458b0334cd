#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace orvenda {

// orvenda --build-library builtin|user FROM.tsv [--program-dir DIR]: reads and checks the whole
// source file (the form --list-library prints) first and refuses a bad one with a message
// naming its line, touching no file; then opens the libraries as the start does, replaces the
// chosen library with the records of the file (Ident and Opatreni enciphered) and rewrites its
// archive by atomic replacement. The other library is left as it was. `args` are the arguments
// after "--build-library" (a leading "--build-library" is skipped too); `programDir` and
// `userDir` as for RunListLibraryCommand. Errors go to `err` and give a non-zero result.
int RunBuildLibraryCommand(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err, const std::filesystem::path& programDir,
                           const std::filesystem::path& userDir);

}  // namespace orvenda
