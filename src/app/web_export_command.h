#pragma once

#include <filesystem>

#include "app/command_line.h"

namespace orvenda {

// The batch web exports:
//   orvenda --web-export PROJECT --output DIR       the framed site into DIR (made if missing)
//   orvenda --flat-export PROJECT --output FILE.htm the flat page
// The project is opened as Open opens it (.RSK, .RZK, .ZLB) into a working directory of its
// own and written by the code of the window's commands. Errors go to `context.err` as UTF-8
// text; the result is 0 on success, 1 on failure.
struct ExportOptions {
  std::filesystem::path project;
  std::filesystem::path output;

  bool operator==(const ExportOptions&) const = default;
};

int RunWebExportCommand(const ExportOptions& options, const BatchContext& context);
int RunFlatExportCommand(const ExportOptions& options, const BatchContext& context);

BatchCommand WebExportCommand();
BatchCommand FlatExportCommand();

}  // namespace orvenda
