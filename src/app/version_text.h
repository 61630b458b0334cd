#pragma once

#include <string>
#include <string_view>

namespace orvenda {

// The product name shown by the splash and About windows.
inline constexpr const char* kProductName = "Orvenda";

// The file version with its last two dot-separated parts removed: "2.9.0.0" gives "2.9".
std::string ShortVersion(std::string_view fileVersion);
// ShortVersion of the version this program was built as.
std::string ProgramVersion();
// The product name and ProgramVersion, as `orvenda --version` prints them: "Orvenda 2.9".
std::string VersionText();

}  // namespace orvenda
