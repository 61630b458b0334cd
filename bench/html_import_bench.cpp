// Figures of the HTML import: the report page of a generated project (note column hidden)
// read into an empty project, the row search alone and the whole import, at two sizes to show
// that the time grows with the page.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "app/main_form.h"
#include "bench.h"
#include "library/html_import.h"
#include "model/project_table.h"
#include "project_generator.h"
#include "reports/nahled_form.h"
#include "reports/report_layout.h"
#include "support/fake_tree_control.h"
#include "support/fakes.h"

namespace orvenda::bench {
namespace {

namespace fs = std::filesystem;

void RunSize(const fs::path& scratch, int records) {
  const fs::path dir = scratch / std::to_string(records);
  fs::create_directories(dir / "source");
  fs::create_directories(dir / "work");
  fs::create_directories(dir / "tmp");
  Table source;
  source.SetPath(dir / "source" / "RiskData.dbf");
  CreateProjectTable(source);
  const GeneratedProject project =
      GenerateProject(source, records / 10, records - records / 10, 42);
  std::printf(" %d records (%d nodes, %d risks)\n", records, project.nodes, project.risks);

  Messages messages;
  NullProgress progress;
  NahledForm preview(source, messages, progress, dir / "tmp");
  preview.Layout().ColumnPercent[kCommentColumn] = 0;
  preview.BuildReport(std::nullopt);
  const std::string page = ReadHtmlPage(preview.ReportPagePath());
  std::printf("  %-58s %10.1f MB\n", "page size", page.size() / 1e6);

  std::size_t rows = 0;
  Report("find and clean the rows (HtmlRowScanner)",
         TimeMs([&] { rows = ScanHtmlRows(page).size(); }));

  test::FakeTreeControl tree;
  test::ScriptedDialogs dialogs;
  test::MemorySettingsStore store;
  MainForm form(tree, dialogs, progress, store, MainFormDirs{dir, dir / "tmp", dir});
  form.DataTable.SetPath(dir / "work" / "RiskData.dbf");
  CreateProjectTable(form.DataTable);
  form.BuildTree();
  const double ms = TimeMs([&] { form.ImportHtmlText(page); });
  Report("import into an empty project (ImportHtmlText)", ms);
  std::printf("  %-58s %10.2f us\n", "  per row", ms * 1000.0 / static_cast<double>(rows));
  const int32_t made = MaxIndex(form.DataTable);
  std::printf("  %-58s %10zu\n", "  rows found", rows);
  std::printf("  %-58s %10d\n", "  records made", made);
  preview.DiscardReportFiles();
}

const RegisterSection kSection("htmlimport", [](const fs::path& scratch) {
  RunSize(scratch, 10000);
  RunSize(scratch, 100000);
});

}  // namespace
}  // namespace orvenda::bench
