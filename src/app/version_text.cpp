#include "app/version_text.h"

namespace orvenda {

std::string ShortVersion(std::string_view fileVersion) {
  std::string text(fileVersion);
  for (int i = 0; i < 2; ++i) {
    const auto dot = text.rfind('.');
    if (dot == std::string::npos) break;
    text.erase(dot);
  }
  return text;
}

std::string ProgramVersion() {
#ifdef ORVENDA_VERSION
  return ShortVersion(ORVENDA_VERSION);
#else
  return {};
#endif
}

std::string VersionText() {
  const std::string version = ProgramVersion();
  return version.empty() ? kProductName : std::string(kProductName) + ' ' + version;
}

}  // namespace orvenda
