// Figures of the table engine on generated projects of 10 000 and 100 000 records.
#include <cstdio>
#include <random>
#include <string>

#include "bench.h"
#include "model/project_table.h"
#include "model/risk.h"
#include "project_generator.h"

namespace orvenda::bench {
namespace {

void RunSize(const std::filesystem::path& scratch, int records) {
  const int nodes = records / 10;
  const int risks = records - nodes;
  const std::string n = std::to_string(records);
  std::printf(" %d records (%d nodes, %d risks)\n", records, nodes, risks);
  const auto path = scratch / ("RiskData" + n + ".dbf");
  GeneratedProject project;
  {
    Table writer;
    writer.SetPath(path);
    Report("create and fill", TimeMs([&] {
             CreateProjectTable(writer);
             project = GenerateProject(writer, nodes, risks, 42);
           }));
    Report("close (writes the .mdx)", TimeMs([&] { writer.Close(); }));
  }
  const auto size = [&](const char* ext) {
    auto p = path;
    return static_cast<double>(std::filesystem::file_size(p.replace_extension(ext))) / 1e6;
  };
  std::printf("  %-58s %.1f / %.1f / %.1f MB\n", "files .dbf / .dbt / .mdx", size(".dbf"),
              size(".dbt"), size(".mdx"));

  Table table;
  table.SetPath(path);
  table.SetIndexName("Index");
  Report("open in a new table object (reads the files)", TimeMs([&] { table.Open(); }));
  Report("close and reopen, files unchanged", TimeMs([&] {
           table.Close();
           table.Open();
         }));

  long visited = 0;
  Report("walk every node's children through the filters", TimeMs([&] {
           for (int32_t node = 1; node <= nodes; ++node) {
             table.SetFilter(ChildNodesFilter(node));
             table.SetFiltered(true);
             for (table.First(); !table.Eof(); table.Next()) ++visited;
             table.SetFilter(ChildRisksFilter(node));
             for (table.First(); !table.Eof(); table.Next()) visited += table.GetInt("Pravdep") > 0;
           }
           ClearFilter(table);
         }));
  std::printf("  %-58s %ld\n", "  records visited", visited);

  int32_t average = 0;
  Report("NodeAverage of the top node",
         TimeMs([&] { average = NodeAverage(table, project.topNode); }));
  std::printf("  %-58s %d\n", "  average", average);

  std::mt19937 rng(7);
  int found = 0;
  Report("10 000 Locate on Index", TimeMs([&] {
           for (int i = 0; i < 10000; ++i)
             found += table.Locate("Index", static_cast<int32_t>(rng() % records) + 1);
         }));

  Report("MaxIndex + append of 1 000 records", TimeMs([&] {
           for (int i = 0; i < 1000; ++i) {
             const int32_t index = MaxIndex(table) + 1;
             table.Append();
             table.SetInt("Index", index);
             table.SetInt("Type", kRiskType);
             table.SetInt("UpLink", project.topNode);
             table.SetText("Text", "appended");
             table.SetText("Ident", "appended memo");
             table.Post();
           }
         }));
  // The main window's delete: delete, close, reopen exclusively, pack, close, reopen shared.
  const int deletes = 5;
  Report("delete one record and pack, as the main window does (mean of 5)",
         TimeMs([&] {
           for (int i = 0; i < deletes; ++i) {
             if (table.Locate("Index", records + 1 + i)) table.Delete();
             table.Close();
             table.Open(true);
             table.Pack();
             table.Close();
             table.Open();
           }
         }) / deletes);
  Report("delete 995 records", TimeMs([&] {
           for (int i = deletes; i < 1000; ++i) {
             if (table.Locate("Index", records + 1 + i)) table.Delete();
           }
         }));
  Report("close, exclusive open, pack", TimeMs([&] {
           table.Close();
           table.Open(true);
           table.Pack();
         }));
  table.Close();
}

const RegisterSection kSection("table", [](const std::filesystem::path& scratch) {
  RunSize(scratch, 10000);
  RunSize(scratch, 100000);
});

}  // namespace
}  // namespace orvenda::bench
