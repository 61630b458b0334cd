// Figures of the main form's commands on a generated project of 100 000 records, with the
// in-memory tree control standing in for the window's tree.
#include <cstdio>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/main_form.h"
#include "bench.h"
#include "model/project_table.h"
#include "project_generator.h"
#include "support/fake_tree_control.h"
#include "support/fakes.h"

namespace orvenda::bench {
namespace {

namespace fs = std::filesystem;

// The node whose subtree (itself included) is closest in size to `wanted` records.
int32_t BranchOfSize(Table& table, int wanted, int* size) {
  std::unordered_map<int32_t, int32_t> parent;
  std::vector<int32_t> order;
  std::unordered_map<int32_t, bool> isNode;
  ClearFilter(table);
  for (table.First(); !table.Eof(); table.Next()) {
    const int32_t index = table.GetInt(fld::kIndex);
    parent[index] = table.GetInt(fld::kUpLink);
    isNode[index] = table.GetInt(fld::kType) == kNodeType;
    order.push_back(index);
  }
  std::unordered_map<int32_t, int> subtree;
  for (const int32_t index : order) {
    // Add the record to every ancestor; depth is small in a generated project.
    for (int32_t at = index; at != 0; at = parent.count(at) ? parent[at] : 0) ++subtree[at];
  }
  int32_t best = 0;
  int bestDistance = -1;
  for (const auto& [index, count] : subtree) {
    if (!isNode[index]) continue;
    const int distance = std::abs(count - wanted);
    if (bestDistance < 0 || distance < bestDistance || (distance == bestDistance && index < best)) {
      best = index;
      bestDistance = distance;
    }
  }
  *size = subtree[best];
  return best;
}

// The engine builds its parent groups at the first filtered access after loading or packing
// a table; that one-off cost is shown on its own so that the commands count alone.
void WarmFilters(Table& table, const std::string& after) {
  Report("first filtered access after " + after, TimeMs([&] {
           table.SetFilter(ChildNodesFilter(0));
           table.SetFiltered(true);
           table.First();
           ClearFilter(table);
         }));
}

void BranchFigures(MainForm& form, test::FakeTreeControl& tree, int32_t top, int wanted) {
  WarmFilters(form.DataTable, "the pack");
  int size = 0;
  const int32_t branch = BranchOfSize(form.DataTable, wanted, &size);
  const std::string what = std::to_string(size) + "-record branch";
  tree.Select(tree.FindByData(branch));
  Report("copy a " + what + " to the clipboard", TimeMs([&] { form.Copy1Click(); }));

  tree.Select(tree.FindByData(top));
  const int32_t firstPaste = MaxIndex(form.DataTable) + 1;
  Report("paste it under the top node", TimeMs([&] { form.Insert1Click(); }));
  const int32_t secondPaste = MaxIndex(form.DataTable) + 1;
  if (secondPaste - firstPaste != size) {
    std::printf("  pasted %d records, expected %d\n", secondPaste - firstPaste, size);
  }
  form.Insert1Click();

  Report("DeleteBranch of the first copy (records only, no pack)",
         TimeMs([&] { form.DeleteBranch(firstPaste); }));
  tree.Delete(tree.FindByData(firstPaste));
  tree.Select(tree.FindByData(secondPaste));
  Report("delete the second copy (DeleteSpeedButtonClick)",
         TimeMs([&] { form.DeleteSpeedButtonClick(); }));
}

void Run(const fs::path& scratch) {
  constexpr int kRecords = 100000;
  test::FakeTreeControl tree;
  test::ScriptedDialogs dialogs;
  NullProgress progress;
  test::MemorySettingsStore store;
  fs::create_directories(scratch / "tmp");
  fs::create_directories(scratch / "work");
  MainForm form(tree, dialogs, progress, store, MainFormDirs{scratch, scratch / "tmp", scratch});
  form.AskDelete = false;
  form.DataTable.SetPath(scratch / "work" / "RiskData.dbf");
  CreateProjectTable(form.DataTable);
  const GeneratedProject project =
      GenerateProject(form.DataTable, kRecords / 10, kRecords - kRecords / 10, 42);
  form.PrepareClipboard();
  std::printf(" %d records (%d nodes, %d risks)\n", kRecords, project.nodes, project.risks);

  Report("BuildTree", TimeMs([&] { form.BuildTree(); }));
  Report("BuildTree again (clears the tree first)", TimeMs([&] { form.BuildTree(); }));
  WarmFilters(form.DataTable, "loading");
  Report("select the top node, average off", TimeMs([&] {
           form.CountAverage = false;
           tree.Select(tree.FindByData(project.topNode));
           form.CountAverage = true;
         }));
  tree.Select(nullptr);
  Report("select the top node, average on",
         TimeMs([&] { tree.Select(tree.FindByData(project.topNode)); }));
  std::printf("  %-58s %s\n", "  average shown", form.PrumerEdit.text.c_str());

  // Single-record commands around a node at the bottom level.
  const int32_t leafNode = project.nodes;
  Report("select a bottom node, average on",
         TimeMs([&] { tree.Select(tree.FindByData(leafNode)); }));
  const int32_t someRisk = project.nodes + 1;
  Report("select a risk", TimeMs([&] { tree.Select(tree.FindByData(someRisk)); }));
  tree.Select(tree.FindByData(leafNode));
  Report("add a risk (AddRiskSpeedButtonClick)", TimeMs([&] { form.AddRiskSpeedButtonClick(); }));
  Report("type and store (RiskSourceEditChange, StoreBitBtnClick)", TimeMs([&] {
           form.RiskSourceEdit.text = "Lis";
           form.RiskSourceEditChange();
           form.DescrEdit.text = "Hluk";
           form.ExistenceSpinEdit.value = 3;
           form.StoreBitBtnClick();
         }));
  Report("add a node", TimeMs([&] { form.AddNodeSpeedButtonClick(); }));
  Report("delete a leaf (DeleteSpeedButtonClick)", TimeMs([&] { form.DeleteSpeedButtonClick(); }));
  Report("  the pack that the next save does (PackDataTable)",
         TimeMs([&] { form.PackDataTable(); }));
  tree.Select(tree.FindByData(someRisk));
  Report("drag over the top node",
         TimeMs([&] { form.TreeNT1DragOver(tree.FindByData(project.topNode)); }));
  Report("drop a risk on another node",
         TimeMs([&] { form.TreeNT1DragDrop(tree.FindByData(leafNode - 1)); }));
  WarmFilters(form.DataTable, "the pack");
  Report("copy a single risk to the clipboard", TimeMs([&] { form.Copy1Click(); }));
  Report("  of which emptying the clipboard (CreateProjectTable, Close)", TimeMs([&] {
           CreateProjectTable(form.ClipboardTable);
           form.ClipboardTable.Close();
         }));
  Report("open the context menu over a risk",
         TimeMs([&] { form.PopupMenu1Popup(tree.FindByData(someRisk)); }));

  // Branch commands, with the average off so that they count alone.
  form.CountAverage = false;
  BranchFigures(form, tree, project.topNode, 1000);
  BranchFigures(form, tree, project.topNode, 10000);
}

RegisterSection section("mainform", Run);

}  // namespace
}  // namespace orvenda::bench
