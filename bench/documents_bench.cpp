// Opening and saving a project file of 100 000 records, each next to what zlib alone needs to
// inflate or deflate (level 9) the same table files in memory.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/progress.h"
#include "bench.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "model/project_table.h"
#include "project_generator.h"
#include "zlib_reference.h"

namespace orvenda::bench {
namespace {

namespace fs = std::filesystem;

void Show(const std::string& what, const Timing& t, const Timing* reference) {
  std::printf("  %-50s %9.0f ms %9.0f ms cpu", what.c_str(), t.wall, t.cpu);
  if (reference) std::printf("  %5.2f x %5.2f x", t.wall / reference->wall, t.cpu / reference->cpu);
  std::printf("\n");
  std::fflush(stdout);
}

void Run(const fs::path& scratch) {
  const Messages messages;
  NullProgress progress;

  // The working table of a big project, as the window holds it before a save.
  const fs::path work = scratch / "work";
  fs::create_directories(work);
  WriteBigProject(work);
  std::vector<std::string> contents;
  std::uintmax_t total = 0;
  for (const char* name : kWorkingTableFiles) {
    contents.push_back(ReadAll(work / name));
    total += contents.back().size();
  }
  std::printf("  100 000 records: table files %.1f MB (.dbf %.1f, .dbt %.1f, .mdx %.1f)\n",
              total / 1e6, contents[0].size() / 1e6, contents[1].size() / 1e6,
              contents[2].size() / 1e6);

  // Each figure and its zlib reference are taken in turns; the best round counts.
  const fs::path file = scratch / "Projekt.RSK";
  std::vector<std::string> streams;
  Timing save, deflate;
  for (int round = 0; round < 2; ++round) {
    Measure(save, [&] { SaveProjectFile(work, file, progress, messages); });
    Measure(deflate, [&] {
      streams.clear();
      for (const auto& bytes : contents) streams.push_back(ZlibDeflate9(bytes));
    });
  }
  std::printf("  project file %.1f MB\n", fs::file_size(file) / 1e6);
  // Save as the window does it: the working table is closed for the packing and reopened.
  Table working;
  OpenWorkingTable(working, work);
  Timing windowSave;
  Measure(windowSave, [&] {
    working.Close();
    SaveProjectFile(work, file, progress, messages);
    OpenWorkingTable(working, work);
  });
  working.Close();

  std::vector<std::string> inflated;
  for (const auto& bytes : contents) inflated.emplace_back(bytes.size(), '\0');
  Timing open, inflate;
  for (int round = 0; round < 3; ++round) {
    const fs::path dir = MakeWorkingDirectory(scratch);
    Measure(open, [&] { LoadProjectFile(file, dir, progress, messages); });
    RemoveWorkingDirectory(dir);
    Measure(inflate, [&] {
      for (std::size_t i = 0; i < streams.size(); ++i) ZlibInflate(streams[i], inflated[i]);
    });
  }
  if (inflated != contents) throw std::runtime_error("zlib round trip");

  // Open as the window does it: unpack into a new working directory and open the table there.
  fs::path dir;
  int32_t records = 0;
  Timing windowOpen;
  for (int round = 0; round < 3; ++round) {
    if (!dir.empty()) RemoveWorkingDirectory(dir);
    dir = MakeWorkingDirectory(scratch);
    Table opened;
    Measure(windowOpen, [&] {
      LoadProjectFile(file, dir, progress, messages);
      OpenWorkingTable(opened, dir);
      records = opened.RecordCount();
    });
  }
  for (std::size_t i = 0; i < contents.size(); ++i) {
    if (ReadAll(dir / kWorkingTableFiles[i]) != contents[i]) {
      throw std::runtime_error("the opened project differs from the saved one");
    }
  }
  if (records != 100000) throw std::runtime_error("the opened table lost records");
  RemoveWorkingDirectory(dir);

  std::printf("  %-50s %12s %15s  %s\n", "", "wall", "processor", "ratio: wall, cpu");
  Show("save: SaveProjectFile", save, &deflate);
  Show("  zlib deflate level 9 alone, in memory", deflate, nullptr);
  Show("  the window's Save (table closed, reopened)", windowSave, &deflate);
  Show("open: LoadProjectFile", open, &inflate);
  Show("  zlib inflate alone, in memory", inflate, nullptr);
  Show("  the window's Open (table opened too)", windowOpen, &inflate);
}

const RegisterSection kSection("documents", Run);

}  // namespace
}  // namespace orvenda::bench
