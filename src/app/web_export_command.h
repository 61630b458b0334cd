#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "base/messages.h"

namespace orvenda {

// The batch web exports:
//   orvenda --web-export PROJECT --output DIR       the framed site into DIR (made if missing)
//   orvenda --flat-export PROJECT --output FILE.htm the flat page
// `args` are the arguments after the program name. The project is opened as Open opens it
// (.RSK, .RZK, .ZLB) into a working directory of its own and written by the code of the
// window's commands. Errors go to `err` as UTF-8 text; the result is 0 on success, 1 on
// failure and 2 on a usage error.
int RunWebExportCommand(const std::vector<std::string>& args, std::ostream& err);
int RunFlatExportCommand(const std::vector<std::string>& args, std::ostream& err);

// The same with the message list and the temporary directory given.
int RunWebExportCommand(const std::vector<std::string>& args, std::ostream& err,
                        const Messages& messages, const std::filesystem::path& tempDir);
int RunFlatExportCommand(const std::vector<std::string>& args, std::ostream& err,
                         const Messages& messages, const std::filesystem::path& tempDir);

}  // namespace orvenda
