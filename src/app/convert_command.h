#pragma once

#include <filesystem>

#include "app/command_line.h"

namespace orvenda {

// orvenda --convert SOURCE TARGET: opens SOURCE (".RSK", or the older ".RZK" and ".ZLB") as
// the Open command does and writes it as a project file, ".RSK" appended to TARGET unless it
// ends in it, as Save as does. An existing target is not overwritten, since there is nobody to
// ask. Errors go to `context.err` as UTF-8 text and give a non-zero result; nothing is written
// then.
struct ConvertOptions {
  std::filesystem::path source;
  std::filesystem::path target;

  bool operator==(const ConvertOptions&) const = default;
};

void DeclareConvertOptions(CLI::App& group, ConvertOptions& options);
int RunConvertCommand(const ConvertOptions& options, const BatchContext& context);
BatchCommand ConvertCommand();

}  // namespace orvenda
