#pragma once

#include <filesystem>
#include <string>

namespace orvenda {

// Makes a new, empty directory with a unique name "<prefix>XXXXXXXX.TMP" in `tempDir` and
// returns its name without a trailing separator. Fails with orvenda::Error when no directory
// can be made there.
std::filesystem::path MakeWorkingDirectory(const std::filesystem::path& tempDir,
                                           const std::string& prefix = "RZK");

// Removes a working directory with everything in it; errors are ignored, since this runs on
// the way out and on error paths.
void RemoveWorkingDirectory(const std::filesystem::path& dir);

}  // namespace orvenda
