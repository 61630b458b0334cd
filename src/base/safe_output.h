#pragma once

#include <filesystem>
#include <vector>

namespace orvenda {

// Refuses, with orvenda::Error naming both, an output that is one of the files a command reads
// (a project, a page, a library archive) under whatever spelling: "./a/../P.RSK", a symlink or
// a hard link. Checked before anything is written, so a slip of the hand destroys nothing.
void RefuseOutputOverInputs(const std::filesystem::path& output,
                            const std::vector<std::filesystem::path>& inputs);

}  // namespace orvenda
