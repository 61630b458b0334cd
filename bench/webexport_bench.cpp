// Figures of the web exports on generated projects of 10 000 and 100 000 records: the framed
// site beside the same number of files with the same sizes written with plain stdio calls,
// and the flat page.
#include <sys/resource.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench.h"
#include "model/project_table.h"
#include "project_generator.h"
#include "reports/flat_web_export.h"
#include "reports/web_export.h"

namespace orvenda::bench {
namespace {

namespace fs = std::filesystem;

// Processor time of the process in ms, user and system: the disk is shared with other work,
// so wall times vary more than the work done.
struct Cpu {
  double user = 0, system = 0;
  static Cpu Now() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return {ms(usage.ru_utime), ms(usage.ru_stime)};
  }
};

struct Timing {
  double wall = 1e300, user = 1e300, system = 1e300;
  void Take(const std::function<void()>& work) {
    const Cpu before = Cpu::Now();
    wall = std::min(wall, TimeMs(work));
    const Cpu after = Cpu::Now();
    user = std::min(user, after.user - before.user);
    system = std::min(system, after.system - before.system);
  }
  double Processor() const { return user + system; }
};

struct Written {
  std::vector<fs::path> files;  // relative to the site's folder
  std::vector<uintmax_t> sizes;
  uintmax_t bytes = 0;
};

Written Survey(const fs::path& site) {
  Written written;
  for (const auto& entry : fs::recursive_directory_iterator(site)) {
    if (!entry.is_regular_file()) continue;
    written.files.push_back(fs::relative(entry.path(), site));
  }
  // In the order of the names (the export's order of the Index values), not the directory's
  // hash order, which would make the yardstick's directory inserts cheaper.
  std::sort(written.files.begin(), written.files.end());
  for (const fs::path& file : written.files) {
    written.sizes.push_back(fs::file_size(site / file));
    written.bytes += written.sizes.back();
  }
  return written;
}

// The yardstick: each file created, written in one call and closed, nothing else.
void PlainWrites(const fs::path& folder, const Written& like) {
  fs::create_directories(folder / "data");
  uintmax_t largest = 0;
  for (const uintmax_t size : like.sizes) largest = std::max(largest, size);
  const std::string bytes(largest, 'x');
  for (size_t i = 0; i < like.files.size(); ++i) {
    std::FILE* out = std::fopen((folder / like.files[i]).c_str(), "wb");
    if (out == nullptr) throw std::runtime_error("cannot create " + like.files[i].string());
    const bool ok = std::fwrite(bytes.data(), 1, like.sizes[i], out) == like.sizes[i];
    if (std::fclose(out) != 0 || !ok) throw std::runtime_error("cannot write");
  }
}

void RunSize(const fs::path& scratch, int records, int rounds) {
  const int nodes = records / 10;
  const int risks = records - nodes;
  std::printf(" %d records (%d nodes, %d risks)\n", records, nodes, risks);
  const fs::path dir = scratch / std::to_string(records);
  fs::create_directories(dir);
  Table table;
  table.SetPath(dir / "RiskData.dbf");
  CreateProjectTable(table);
  GenerateProject(table, nodes, risks, 42);
  const Messages messages;

  // Each into a fresh folder, the two kinds taking turns so that neither has the disk's cache
  // to itself; the best run of each counts. The system time is the kernel making files and
  // varies with what else the disk does; the user time is the export's own work.
  Written written;
  Timing exported, plainly;
  for (int round = 0; round < rounds; ++round) {
    const fs::path site = dir / ("site" + std::to_string(round));
    fs::create_directories(site);
    exported.Take([&] { ExportWebSite(table, messages, site); });
    if (round == 0) written = Survey(site);
    const fs::path plain = dir / ("plain" + std::to_string(round));
    plainly.Take([&] { PlainWrites(plain, written); });
  }

  std::printf("  %-58s %10zu\n", "files written", written.files.size());
  std::printf("  %-58s %10.1f MB\n", "bytes written", written.bytes / 1e6);
  auto report = [](const char* what, const Timing& t) {
    Report(std::string(what) + ", wall", t.wall);
    std::printf("  %-58s %10.2f ms\n", "    processor, user", t.user);
    std::printf("  %-58s %10.2f ms\n", "    processor, system", t.system);
  };
  report("web export into an empty folder", exported);
  report("plain writes of the same files and sizes", plainly);
  std::printf("  %-58s %10.2f x\n", "  export / plain writes, wall", exported.wall / plainly.wall);
  std::printf("  %-58s %10.2f x\n", "  export / plain writes, processor",
              exported.Processor() / plainly.Processor());
  std::printf("  %-58s %10.2f us\n", "  processor per record",
              exported.Processor() * 1000.0 / records);
  if (rounds > 1) {
    // Into an existing site again, as a consultant re-exports: every file is replaced.
    Timing again;
    again.Take([&] { ExportWebSite(table, messages, dir / "site0"); });
    report("web export over the previous one", again);
  }

  const fs::path flat = dir / "flat.htm";
  Report("flat web page", TimeMs([&] { WriteFlatWebPage(table, messages, flat); }));
  std::printf("  %-58s %10.1f MB\n", "  page size", fs::file_size(flat) / 1e6);
  table.Close();
  fs::remove_all(dir);
}

const RegisterSection kSection("webexport", [](const fs::path& scratch) {
  RunSize(scratch, 10000, 3);
  RunSize(scratch, 100000, 1);  // 173 MB in 100 003 files a run: once is enough
});

}  // namespace
}  // namespace orvenda::bench
