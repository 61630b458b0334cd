#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace orvenda {

// The batch HTML import:
//   orvenda --import-html PAGE.htm --output NEW.RSK [--project BASE.RSK] [--select INDEX]
// Opens BASE (an empty project without it), selects the item with Index INDEX (nothing
// without it), imports the page as "Import HTML" does and saves the project as NEW.RSK
// (".RSK" appended unless the name ends in it). An existing NEW.RSK is not overwritten,
// since there is nobody to ask, and nothing is written when the import fails. `args` are the
// arguments after the program name. Errors go to `err` as UTF-8 text; the result is 0 on
// success, 1 on failure and 2 on a usage error.
int RunImportHtmlCommand(const std::vector<std::string>& args, std::ostream& err);

// The same with the temporary directory given.
int RunImportHtmlCommand(const std::vector<std::string>& args, std::ostream& err,
                         const std::filesystem::path& tempDir);

}  // namespace orvenda
