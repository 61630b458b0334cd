#include "archive/zlb_names.h"

#include <algorithm>

#include "base/cp1250.h"

namespace orvenda {
namespace {

constexpr std::size_t kMaxField = 255;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A part that may become one host file name.
bool IsPlainName(std::string_view part) {
  if (part.empty() || part == "." || part == "..") return false;
  return std::none_of(part.begin(), part.end(),
                      [](char c) { return c == '\0' || c == ':' || IsSeparator(c); });
}

}  // namespace

ZlbMemberName ZlbMemberNameOf(const std::filesystem::path& file, bool withDirectory) {
  std::string text = PathToText(file);
  std::replace(text.begin(), text.end(), '/', '\\');
  const std::size_t slash = text.rfind('\\');
  ZlbMemberName result;
  result.FileName = slash == std::string::npos ? text : text.substr(slash + 1);
  if (withDirectory && slash != std::string::npos) {
    result.Directory = text.substr(0, slash + 1);
    const std::size_t colon = result.Directory.find(':');
    if (colon != std::string::npos) result.Directory.erase(0, colon + 1);
  }
  if (result.FileName.size() > kMaxField) result.FileName.resize(kMaxField);
  if (result.Directory.size() > kMaxField) result.Directory.resize(kMaxField);
  return result;
}

std::optional<std::filesystem::path> ZlbMemberDestination(const std::filesystem::path& destination,
                                                          std::string_view directory,
                                                          std::string_view fileName,
                                                          bool withDirectory) {
  if (!IsPlainName(fileName)) return std::nullopt;
  std::filesystem::path result = destination;
  if (withDirectory) {
    std::size_t start = 0;
    while (start <= directory.size()) {
      std::size_t end = start;
      while (end < directory.size() && !IsSeparator(directory[end])) ++end;
      const std::string_view part = directory.substr(start, end - start);
      if (!part.empty() && part != ".") {
        if (!IsPlainName(part)) return std::nullopt;
        result /= TextToPath(part);
      }
      start = end + 1;
    }
  }
  result /= TextToPath(fileName);
  return result;
}

}  // namespace orvenda
