#pragma once

#include <filesystem>
#include <string>

namespace orvenda::bench {

// What zlib alone does with the same bytes, the yardstick of the archive and project-file
// figures.

std::string ReadAll(const std::filesystem::path& file);
// One zlib stream at level 9, window 15, memory level 8: the archive's own settings.
std::string ZlibDeflate9(const std::string& bytes);
// Inflates into `out`, which already has the right size.
void ZlibInflate(const std::string& stream, std::string& out);

}  // namespace orvenda::bench
