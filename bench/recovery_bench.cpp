// What a dead run of a 100 000-record project costs the next start: finding its working
// directory and comparing its table with the project file, unchanged and changed.
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "base/messages.h"
#include "base/progress.h"
#include "bench.h"
#include "documents/earlier_runs.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "model/project_table.h"
#include "project_generator.h"

namespace orvenda::bench {
namespace {

namespace fs = std::filesystem;

void Run(const fs::path& scratch) {
  const fs::path temp = scratch / "tmp";
  fs::create_directories(temp);
  const fs::path dir = MakeWorkingDirectory(temp);
  WriteBigProject(dir);
  const fs::path file = scratch / "Projekt.RSK";
  NullProgress progress;
  SaveProjectFile(dir, file, progress, Messages());
  WorkingDirectoryMark mark = WorkingDirectoryMark::Mark(dir);
  mark.SetProjectFile(file);
  mark.Release();  // the run is gone

  const auto check = [&](const char* what, EarlierWork expected) {
    double best = 1e300;
    for (int round = 0; round < 3; ++round) {
      EarlierWork found = EarlierWork::Damaged;
      const double ms = TimeMs([&] {
        auto dead = FindDeadWorkingDirectories(temp);
        if (dead.size() != 1) throw std::runtime_error("the dead run was not found");
        found = CheckEarlierWork(dead[0]).work;
      });
      if (found != expected) throw std::runtime_error("wrong verdict on the dead run");
      best = std::min(best, ms);
    }
    Report(what, best);
  };
  check("find and check a dead run, table unchanged", EarlierWork::None);
  {
    Table table;
    OpenWorkingTable(table, dir);
    table.Locate(fld::kIndex, 50000);
    table.Edit();
    table.SetText(fld::kText, "x");
    table.Post();
  }
  check("find and check a dead run, one record changed", EarlierWork::Unsaved);
  RemoveWorkingDirectory(dir);
}

const RegisterSection kSection("recovery", Run);

}  // namespace
}  // namespace orvenda::bench
