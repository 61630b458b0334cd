// The benchmark program: prints figures for each subsystem on generated data.
// Usage: orvenda_bench [SECTION...]   (no argument: every section)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "bench.h"

namespace orvenda::bench {
std::vector<Section>& Sections() {
  static std::vector<Section> sections;
  return sections;
}
}  // namespace orvenda::bench

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::set<std::string> wanted(argv + 1, argv + argc);
  std::string pattern = (fs::temp_directory_path() / "orvenda-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path scratch = pattern;
  int status = 0;
  for (const auto& section : orvenda::bench::Sections()) {
    if (!wanted.empty() && !wanted.count(section.name)) continue;
    std::printf("%s\n", section.name.c_str());
    const fs::path dir = scratch / section.name;
    fs::create_directories(dir);
    try {
      section.run(dir);
    } catch (const std::exception& e) {
      std::printf("  failed: %s\n", e.what());
      status = 1;
    }
  }
  std::error_code ec;
  fs::remove_all(scratch, ec);
  return status;
}
