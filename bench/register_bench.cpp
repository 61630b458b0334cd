// Figures of the risk register as a table: the big project (10 000 nodes, 90 000 risks)
// exported as a workbook and as CSV, and the CSV read into an empty project through the main
// form. (The section "table" is the table engine's.)
#include <cstdio>
#include <filesystem>
#include <optional>

#include "app/main_form.h"
#include "bench.h"
#include "documents/project_file.h"
#include "library/register_import.h"
#include "model/project_table.h"
#include "project_generator.h"
#include "reports/register_export.h"
#include "support/fake_tree_control.h"
#include "support/fakes.h"

namespace orvenda::bench {
namespace {

namespace fs = std::filesystem;

// Processor time of the workbook, the CSV and the import of a project of `risks` risks under
// `nodes` nodes: the same work at another size, to see that the cost grows with the records.
struct SmallFigures {
  double xlsx = 0, csv = 0, import = 0;
};

struct Imported {
  Timing time;
  int records = 0;  // the largest Index made
};

// The CSV imported through the main form into an empty project made in `dir`.
Imported ImportIntoEmptyProject(const fs::path& dir, const fs::path& csv) {
  fs::create_directories(dir / "work");
  fs::create_directories(dir / "tmp");
  test::FakeTreeControl tree;
  test::ScriptedDialogs dialogs;
  test::MemorySettingsStore store;
  NullProgress progress;
  MainForm form(tree, dialogs, progress, store, MainFormDirs{dir, dir / "tmp", dir});
  form.DataTable.SetPath(dir / "work" / "RiskData.dbf");
  CreateProjectTable(form.DataTable);
  form.BuildTree();
  Imported imported;
  Measure(imported.time, [&] { form.ImportTableFile(csv); });
  imported.records = MaxIndex(form.DataTable);
  return imported;
}

SmallFigures MeasureSmall(const fs::path& scratch, int nodes, int risks) {
  const fs::path work = scratch / "small";
  fs::create_directories(work);
  Table project;
  project.SetPath(work / kWorkingTableName);
  CreateProjectTable(project);
  GenerateProject(project, nodes, risks, 7);
  project.Close();
  OpenWorkingTable(project, work);
  const Messages messages;
  Timing xlsx, csv;
  for (int round = 0; round < 2; ++round) {
    Measure(xlsx, [&] { WriteRegister(project, work / "r.xlsx", std::nullopt, messages, {}); });
    Measure(csv, [&] { WriteRegister(project, work / "r.csv", std::nullopt, messages, {}); });
  }
  project.Close();
  const Imported imported = ImportIntoEmptyProject(work / "import", work / "r.csv");
  return {xlsx.cpu, csv.cpu, imported.time.cpu};
}

void Run(const fs::path& scratch) {
  const fs::path work = scratch / "work";
  fs::create_directories(work);
  WriteBigProject(work);
  Table project;
  OpenWorkingTable(project, work);
  std::printf(" %d records\n", project.RecordCount());
  const Messages messages;

  // Best of two rounds each: the machine may be shared.
  Timing xlsx, csv;
  for (int round = 0; round < 2; ++round) {
    Measure(xlsx,
            [&] { WriteRegister(project, scratch / "rizika.xlsx", std::nullopt, messages, {}); });
    Measure(csv,
            [&] { WriteRegister(project, scratch / "rizika.csv", std::nullopt, messages, {}); });
  }
  // The wall clock, and beside it the processor time, which a shared machine disturbs less.
  Report("export as XLSX (WriteRegister, target 3000 ms)", xlsx.wall);
  Report("  processor time", xlsx.cpu);
  std::printf("  %-58s %10.1f MB\n", "  workbook size",
              fs::file_size(scratch / "rizika.xlsx") / 1e6);
  Report("export as CSV (WriteRegister, target 500 ms)", csv.wall);
  Report("  processor time", csv.cpu);
  std::printf("  %-58s %10.1f MB\n", "  CSV size", fs::file_size(scratch / "rizika.csv") / 1e6);
  project.Close();

  size_t rows = 0;
  Timing read;
  Measure(read, [&] { rows = ReadRegisterCsv(scratch / "rizika.csv", messages).size(); });
  Report("read and check the CSV (ReadRegisterCsv)", read.wall);
  Report("  processor time", read.cpu);
  std::printf("  %-58s %10zu\n", "  rows", rows);

  const Imported imported = ImportIntoEmptyProject(scratch / "import", scratch / "rizika.csv");
  const Timing& import = imported.time;
  Report("import into an empty project (ImportTableFile, target 2000 ms)", import.wall);
  Report("  processor time", import.cpu);
  std::printf("  %-58s %10d\n", "  records made", imported.records);

  // The same at a tenth of the records: a linear cost makes each ratio about 10.
  const SmallFigures small = MeasureSmall(scratch, 1000, 9000);
  std::printf("  %-58s %10.1f\n", "processor time at 100 000 / at 10 000 records: XLSX",
              xlsx.cpu / small.xlsx);
  std::printf("  %-58s %10.1f\n", "  CSV", csv.cpu / small.csv);
  std::printf("  %-58s %10.1f\n", "  import", import.cpu / small.import);
}

const RegisterSection kSection("register", Run);

}  // namespace
}  // namespace orvenda::bench
