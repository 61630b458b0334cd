#pragma once

#include <optional>

namespace orvenda {

// Batch commands run without a window: `orvenda --report ...` and `orvenda --convert ...`.
// Returns the exit status when argv names a batch command, nullopt when the application
// should start its window. Errors go to stderr.
std::optional<int> RunBatchCommand(int argc, char** argv);

}  // namespace orvenda
