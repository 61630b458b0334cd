#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace orvenda {

// Batch commands that run the library window's commands without a window; `args` starts with
// the command's own option. Each returns the exit status and writes errors (UTF-8) to `err`.
//   --update-library FILE.akt [--program-dir DIR]
//   --export-branch builtin|user INDEX --output FILE.akt [--program-dir DIR]
//   --import-text FILE --library builtin|user [--select INDEX] [--program-dir DIR]
//   --take-from-library builtin|user --tick INDEX[,INDEX...] --output NEW.RSK
//       [--project BASE.RSK] [--select INDEX] [--program-dir DIR]
int RunLibraryCommand(const std::vector<std::string>& args, std::ostream& err);

bool IsLibraryCommand(const std::string& option);

}  // namespace orvenda
