#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "app/command_line.h"

namespace orvenda {

// The batch HTML import:
//   orvenda --import-html PAGE.htm --output NEW.RSK [--project BASE.RSK] [--select INDEX]
// Opens BASE (an empty project without it), selects the item with Index INDEX (nothing
// without it), imports the page as "Import HTML" does and saves the project as NEW.RSK
// (".RSK" appended unless the name ends in it). An existing NEW.RSK is not overwritten,
// since there is nobody to ask, and nothing is written when the import fails. Errors go to
// `context.err` as UTF-8 text; the result is 0 on success, 1 on failure.
struct ImportHtmlOptions {
  std::filesystem::path page;
  std::filesystem::path output;
  std::optional<std::filesystem::path> project;
  std::optional<int32_t> select;

  bool operator==(const ImportHtmlOptions&) const = default;
};

void DeclareImportHtmlOptions(CLI::App& group, ImportHtmlOptions& options);
int RunImportHtmlCommand(const ImportHtmlOptions& options, const BatchContext& context);
BatchCommand ImportHtmlCommand();

}  // namespace orvenda
