#include "model/clipboard.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "model/project_table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

bool IsClipboardDirName(const std::string& name) {
  const std::string upper = Cp1250Upper(name);
  const std::string prefix = kClipboardPrefix;
  const std::string suffix = ".TMP";
  return upper.size() >= prefix.size() + suffix.size() && upper.starts_with(prefix) &&
         upper.ends_with(suffix);
}

}  // namespace

fs::path FindOrMakeClipboardDir(const fs::path& tempDir) {
  std::error_code ec;
  std::vector<fs::path> found;
  for (fs::directory_iterator it(tempDir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_directory(typeError) && IsClipboardDirName(it->path().filename().string())) {
      found.push_back(it->path());
    }
  }
  if (!found.empty()) return *std::min_element(found.begin(), found.end());

  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%08X.TMP", kClipboardPrefix,
                  static_cast<unsigned>(random()));
    const fs::path dir = tempDir / name;
    std::error_code makeError;
    if (fs::create_directory(dir, makeError)) return dir;
    if (makeError && !fs::exists(dir)) break;
  }
  throw Error(Msg(219, {PathToText(tempDir)}));
}

void PrepareClipboardTable(Table& table, const fs::path& dir) {
  ClearFilter(table);
  table.Close();
  table.SetPath(dir / kClipboardTableName);
  table.SetIndexName(fld::kIndex);
  bool usable = false;
  if (fs::exists(table.Path())) {
    // A clipboard left damaged by an earlier run is only scratch: start it afresh rather than
    // failing every time the tree's menu opens.
    try {
      table.Open();
      usable = true;
    } catch (const Error&) {
    }
  }
  if (!usable) CreateProjectTable(table);
  table.Close();
}

}  // namespace orvenda
