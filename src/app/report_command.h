#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace orvenda {

// The batch report:
//   orvenda --report PROJECT --output PAGE.htm [--sorted] [--branch INDEX] [--object-row]
//           [--hide-column N]... [--tree] [--tree-risks]
// The project is opened as Open opens it (.RSK, .RZK, .ZLB) into a working directory of its
// own, the report is built as the preview window builds it, and the page replaces PAGE.htm only
// when it is complete. Without layout options the layout is the preview's starting layout; with
// any of them it is what the layout dialog stores on OK after those choices.
struct ReportOptions {
  std::filesystem::path project;
  std::filesystem::path output;
  bool sorted = false;
  std::optional<int32_t> branch;
  bool objectRow = false;
  std::vector<int32_t> hiddenColumns;
  bool tree = false;
  bool treeRisks = false;

  bool ChangesLayout() const { return objectRow || !hiddenColumns.empty() || tree || treeRisks; }
  bool operator==(const ReportOptions&) const = default;
};

// Declares the report's options under the command's option `command` (e.g. "--report-pdf" for
// another output of the same page); `output` names the value of --output and says what it is.
void DeclareReportOptions(CLI::App& group, ReportOptions& options, const std::string& command,
                          const std::string& outputValue, const std::string& outputHelp);

// Writes the report and copies the page to the output. Errors go to `context.err` as UTF-8
// text; the result is 0 on success, 1 on failure.
int RunReportCommand(const ReportOptions& options, const BatchContext& context);

// The same report with the finished page handed to `writeOutput(page, output)` instead of
// being copied; the page is removed afterwards.
using ReportOutputWriter =
    std::function<void(const std::filesystem::path& page, const std::filesystem::path& output)>;
int RunReportCommand(const ReportOptions& options, const BatchContext& context,
                     const ReportOutputWriter& writeOutput);

BatchCommand ReportCommand();

}  // namespace orvenda
