#pragma once

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "base/messages.h"

namespace orvenda {

// The batch report:
//   orvenda --report PROJECT --output PAGE.htm [--sorted] [--branch INDEX] [--object-row]
//           [--hide-column N]... [--tree] [--tree-risks]
// `args` are the arguments after the program name, options in any order. The project is
// opened as Open opens it (.RSK, .RZK, .ZLB) into a working directory of its own, the report
// is built as the preview window builds it, and the page replaces PAGE.htm only when it is
// complete. Without layout options the layout is the preview's starting layout; with any of
// them it is what the layout dialog stores on OK after those choices. Errors go to `err` as
// UTF-8 text; the result is 0 on success, 1 on failure and 2 on a usage error.
int RunReportCommand(const std::vector<std::string>& args, std::ostream& err);

// The same with the message list (the language file's) and the temporary directory given.
int RunReportCommand(const std::vector<std::string>& args, std::ostream& err,
                     const Messages& messages, const std::filesystem::path& tempDir);

// The same report under another command name (e.g. "--report-pdf"), with the
// finished page handed to `writeOutput(page, output)` instead of being copied; the page is
// removed afterwards. `usage` is the command's usage text.
using ReportOutputWriter =
    std::function<void(const std::filesystem::path& page, const std::filesystem::path& output)>;
int RunReportCommand(const std::vector<std::string>& args, std::ostream& err,
                     const std::string& command, const ReportOutputWriter& writeOutput,
                     const std::string& usage);

}  // namespace orvenda
