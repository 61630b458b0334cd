#pragma once

// The one place where archive names (windows-1250, Windows path forms) meet host paths.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvenda {

// The directory and file name fields recorded for a file being added. Either separator may
// appear in `file`. The directory is empty unless `withDirectory`; then it ends with a
// backslash, uses backslashes, and has everything up to and including the first ":" removed.
// Both are cut to 255 bytes, as the entry holds them.
struct ZlbMemberName {
  std::string Directory;
  std::string FileName;
};
ZlbMemberName ZlbMemberNameOf(const std::filesystem::path& file, bool withDirectory);

// Where a member is written under `destination`. The name must be one plain name; the
// directory (used only `withDirectory`) is read as relative to `destination` whatever its
// leading separators, and empty and "." parts are dropped. Anything that could lead elsewhere
// (a "..", a ":", a separator inside the name, a NUL byte, an empty name) gives nullopt.
std::optional<std::filesystem::path> ZlbMemberDestination(const std::filesystem::path& destination,
                                                          std::string_view directory,
                                                          std::string_view fileName,
                                                          bool withDirectory);

}  // namespace orvenda
