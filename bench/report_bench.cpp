// Figures of the report on generated projects of 10 000 and 100 000 records: the report table
// build, the page write, the sorted rewrite and the build with the outline.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "bench.h"
#include "model/project_table.h"
#include "project_generator.h"
#include "reports/nahled_form.h"

namespace orvenda::bench {
namespace {

void PerRecord(double us) { std::printf("  %-58s %10.2f us\n", "  per record", us); }

void RunSize(const std::filesystem::path& scratch, int records) {
  const int nodes = records / 10;
  const int risks = records - nodes;
  std::printf(" %d records (%d nodes, %d risks)\n", records, nodes, risks);
  const std::filesystem::path dir = scratch / std::to_string(records);
  std::filesystem::create_directories(dir);
  Table table;
  table.SetPath(dir / "RiskData.dbf");
  CreateProjectTable(table);
  GenerateProject(table, nodes, risks, 42);

  Messages messages;
  NullProgress progress;
  NahledForm form(table, messages, progress, dir);
  const double perRecord = 1000.0 / records;  // µs per record from ms

  double build = TimeMs([&] {
    form.CreateReportTable();
    form.CollectBranch(0);
  });
  Report("build report table, default layout", build);
  PerRecord(build * perRecord);
  const double write = TimeMs([&] { form.WriteReportFile(); });
  Report("write page, default layout", write);
  std::printf("  %-58s %10.1f MB\n", "  page size",
              std::filesystem::file_size(form.ReportPagePath()) / 1e6);

  form.SortedCheckBox.checked = true;
  Report("rewrite page sorted (Mira index)", TimeMs([&] { form.SortedCheckBoxClick(); }));
  form.SortedCheckBox.checked = false;

  form.Layout().TreeSection = true;
  form.Layout().TreeWithRisks = true;
  const double outline = TimeMs([&] { form.BuildReport(std::nullopt); });
  Report("build and write with the outline (with risks)", outline);
  PerRecord(outline * perRecord);
  std::printf("  %-58s %10.1f MB\n", "  page size",
              std::filesystem::file_size(form.ReportPagePath()) / 1e6);
  form.DiscardReportFiles();
}

const RegisterSection kSection("report", [](const std::filesystem::path& scratch) {
  RunSize(scratch, 10000);
  RunSize(scratch, 100000);
});

}  // namespace
}  // namespace orvenda::bench
