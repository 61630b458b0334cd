#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/messages.h"
#include "model/table.h"

namespace orvenda {

// The risk register as a spreadsheet or a CSV file: one row per risk of the project, or of
// the branch below one node, in report order (child branches before a node's own risks).

enum class RegisterFormat { Xlsx, Csv };

// The format by the file's extension (".xlsx", ".csv", any letter case); nullopt for others.
std::optional<RegisterFormat> RegisterFormatOf(const std::filesystem::path& file);

// Writes the register of `project` (the whole project, or the branch below the node
// `branch`) to `output`, in the format its extension names. `projectFile` is the project's
// file (empty for a new one): its name goes into the spreadsheet's properties, and an output
// that is that file, or the working table itself, is refused. The output is written to a
// temporary file beside it and renamed over it only when complete; on failure it is left as
// it was and orvenda::Error says why. Leaves the project's filter off.
void WriteRegister(Table& project, const std::filesystem::path& output,
                   std::optional<int32_t> branch, const Messages& messages,
                   const std::filesystem::path& projectFile);

// The refusals of WriteRegister that need no table: an output without the extension of a
// format, and an output that is the project file.
void CheckRegisterOutput(const std::filesystem::path& output,
                         const std::filesystem::path& projectFile);

// One CSV field as RFC 4180 quotes it: in double quotes, inner quotes doubled, when it holds
// the separator, a quote, CR or LF; as it is otherwise.
std::string CsvField(std::string_view text, char separator);

}  // namespace orvenda
