#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>

#include "app/command_line.h"

namespace orvenda {

// The batch commands of the risk register as a table. Each runs the same core code as the
// window's command, prints an error to `err` as UTF-8 text and returns 0 on success, 1 on
// failure, when nothing has been written.

// Writes the register of PROJECT (opened as Open opens it: .RSK, .RZK, .ZLB), or of the branch
// below the item `branch`, into `output` as XLSX or CSV by its extension; an existing output is
// replaced only by a complete file.
struct ExportTableOptions {
  std::filesystem::path project;
  std::filesystem::path output;
  std::optional<int32_t> branch;
  bool operator==(const ExportTableOptions&) const = default;
};
int RunExportTable(const ExportTableOptions& options, std::ostream& err,
                   const std::filesystem::path& tempDir);

// Opens `project` (an empty project without it), selects the item `select` (nothing without
// it), imports the CSV register as the window's import does and saves the project as
// `output` (".RSK" appended unless the name ends in it). An existing output is not
// overwritten, since there is nobody to ask.
struct ImportTableOptions {
  std::filesystem::path csv;
  std::filesystem::path output;
  std::filesystem::path project;
  std::optional<int32_t> select;
  bool operator==(const ImportTableOptions&) const = default;
};
int RunImportTable(const ImportTableOptions& options, std::ostream& err,
                   const std::filesystem::path& tempDir);

// `orvenda --export-table PROJECT.RSK --output FILE.xlsx|FILE.csv [--branch INDEX]` and
// `orvenda --import-table FILE.csv --output NEW.RSK [--project BASE.RSK] [--select INDEX]`.
BatchCommand ExportTableCommand();
BatchCommand ImportTableCommand();

}  // namespace orvenda
