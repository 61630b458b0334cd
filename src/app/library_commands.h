#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "app/command_line.h"

namespace orvenda {

// Batch commands that run the library window's commands without a window, on the libraries of
// --program-dir (else of the context's program directory). Each returns the exit status and
// writes errors (UTF-8) to `context.err`.

//   --update-library FILE.akt [--program-dir DIR]
struct UpdateLibraryOptions {
  std::filesystem::path file;
  std::optional<std::filesystem::path> programDir;

  bool operator==(const UpdateLibraryOptions&) const = default;
};
int RunUpdateLibraryCommand(const UpdateLibraryOptions& options, const BatchContext& context);
BatchCommand UpdateLibraryCommand();

//   --export-branch builtin|user INDEX --output FILE.akt [--program-dir DIR]
struct ExportBranchOptions {
  int library = 0;
  int32_t index = 0;
  std::filesystem::path output;
  std::optional<std::filesystem::path> programDir;

  bool operator==(const ExportBranchOptions&) const = default;
};
int RunExportBranchCommand(const ExportBranchOptions& options, const BatchContext& context);
BatchCommand ExportBranchCommand();

//   --import-text FILE --library builtin|user [--select INDEX] [--program-dir DIR]
struct ImportTextOptions {
  std::filesystem::path file;
  int library = 0;
  std::optional<int32_t> select;
  std::optional<std::filesystem::path> programDir;

  bool operator==(const ImportTextOptions&) const = default;
};
int RunImportTextCommand(const ImportTextOptions& options, const BatchContext& context);
BatchCommand ImportTextCommand();

//   --take-from-library builtin|user --tick INDEX[,INDEX...] --output NEW.RSK
//       [--project BASE.RSK] [--select INDEX] [--program-dir DIR]
struct TakeFromLibraryOptions {
  int library = 0;
  std::vector<int32_t> ticks;
  std::filesystem::path output;
  std::optional<std::filesystem::path> project;
  std::optional<int32_t> select;
  std::optional<std::filesystem::path> programDir;

  bool operator==(const TakeFromLibraryOptions&) const = default;
};
int RunTakeFromLibraryCommand(const TakeFromLibraryOptions& options, const BatchContext& context);
BatchCommand TakeFromLibraryCommand();

}  // namespace orvenda
