// Figures of undo and redo on a project of 100 000 records: a deleted branch, a big paste and a
// library take, each beside the action itself, and the memory the history takes for many small
// edits. The in-memory tree control stands in for the window's tree.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/select_tree_form.h"
#include "bench.h"
#include "library/library_cipher.h"
#include "model/project_table.h"
#include "project_generator.h"
#include "support/fake_tree_control.h"
#include "support/fakes.h"

namespace orvenda::bench {
namespace {

namespace fs = std::filesystem;

// The node with the most records below it, up to `wanted`; its size in `size`.
int32_t BranchNear(Table& table, int wanted, int* size) {
  std::vector<std::pair<int32_t, int32_t>> rows;  // index, parent
  ClearFilter(table);
  int32_t top = 0;
  for (table.First(); !table.Eof(); table.Next()) {
    rows.emplace_back(table.GetInt(fld::kIndex), table.GetInt(fld::kUpLink));
    top = std::max(top, rows.back().first);
  }
  std::vector<int32_t> parent(top + 1, 0), count(top + 1, 0);
  std::vector<bool> node(top + 1, false);
  for (const auto& [index, up] : rows) parent[index] = up;
  ClearFilter(table);
  for (table.First(); !table.Eof(); table.Next())
    node[table.GetInt(fld::kIndex)] = table.GetInt(fld::kType) == kNodeType;
  for (const auto& [index, up] : rows)
    for (int32_t at = index; at > 0 && at <= top; at = parent[at]) ++count[at];
  int32_t best = 0;
  for (int32_t i = 1; i <= top; ++i) {
    if (!node[i] || count[i] > wanted) continue;
    if (best == 0 || count[i] > count[best]) best = i;
  }
  *size = best != 0 ? count[best] : 0;
  return best;
}

void UndoRedo(MainForm& form, const std::string& what) {
  Report("  undo " + what, TimeMs([&] { form.Zpet1Click(); }));
  Report("  redo " + what, TimeMs([&] { form.Znovu1Click(); }));
}

void Run(const fs::path& scratch) {
  constexpr int kRecords = 100000;
  for (const char* dir : {"prog", "tmp", "work"}) fs::create_directories(scratch / dir);
  test::FakeTreeControl tree, builtIn, user;
  test::ScriptedDialogs dialogs;
  NullProgress progress;
  test::MemorySettingsStore store;
  MainForm form(tree, dialogs, progress, store,
                MainFormDirs{scratch / "prog", scratch / "tmp", fs::path()});
  form.AdminMarker = scratch / "none";
  form.AskDelete = false;
  form.CountAverage = false;
  form.DataTable.SetPath(scratch / "work" / "RiskData.dbf");
  CreateProjectTable(form.DataTable);
  form.PrepareClipboard();
  form.OpenLibraries();
  const GeneratedProject project =
      GenerateProject(form.DataTable, kRecords / 10, kRecords - kRecords / 10, 42);
  form.BuildTree();
  form.StartHistory();
  std::printf(" %d records (%d nodes, %d risks)\n", kRecords, project.nodes, project.risks);
  Report("BuildTree (what each undo and redo rebuilds)", TimeMs([&] { form.BuildTree(); }));

  int size = 0;
  const int32_t branch = BranchNear(form.DataTable, 10000, &size);
  const std::string records = std::to_string(size) + "-record branch";

  tree.Select(tree.FindByData(branch));
  Report("delete a " + records, TimeMs([&] { form.DeleteSpeedButtonClick(); }));
  UndoRedo(form, "the delete");
  form.Zpet1Click();

  tree.Select(tree.FindByData(branch));
  form.Copy1Click();
  tree.Select(tree.FindByData(project.topNode));
  Report("paste the " + records, TimeMs([&] { form.Insert1Click(); }));
  UndoRedo(form, "the paste");

  // A library of 1 000 risks under one node, all ticked.
  Table& lib = form.Libs.BuildInRisksTable;
  GenerateProject(lib, 1, 1000, 7);
  // Library tables keep Ident and Opatreni enciphered.
  ClearFilter(lib);
  for (lib.First(); !lib.Eof(); lib.Next()) {
    if (lib.GetInt(fld::kType) != kRiskType) continue;
    lib.Edit();
    lib.SetText(fld::kIdent, EncryptLibraryText(lib.GetText(fld::kIdent)));
    lib.SetText(fld::kOpatreni, EncryptLibraryText(lib.GetText(fld::kOpatreni)));
    lib.Post();
  }
  SelectTreeForm window(form, builtIn, user);
  form.selectTreeForm = &window;
  window.ShowModal = [&] {
    window.FormShow();
    ClearFilter(lib);
    for (lib.First(); !lib.Eof(); lib.Next())
      builtIn.SetChecked(builtIn.FindByData(lib.GetInt(fld::kIndex)), true);
    window.OKBitBtnClick();
  };
  tree.Select(tree.FindByData(project.topNode));
  const int32_t before = MaxIndex(form.DataTable);
  Report("take 1 000 library risks", TimeMs([&] { form.AddFromLibSpeedButtonClick(); }));
  std::printf("  %-58s %d\n", "  project records added", MaxIndex(form.DataTable) - before);
  UndoRedo(form, "the take");
  form.selectTreeForm = nullptr;

  // History memory: 1 000 stores of single records.
  form.StartHistory();
  const std::size_t empty = form.History.Bytes();
  for (int i = 0; i < 1000; ++i) {
    tree.Select(tree.FindByData(project.nodes + 1 + i * 37));
    if (form.ActivePage == Page::RizikoTabSheet) {
      form.DescrEdit.text = "Zmena " + std::to_string(i);
    } else {
      form.TextEdit.text = "Zmena " + std::to_string(i);
    }
    form.SetEditState(true);
    form.StoreBitBtnClick();
  }
  std::printf("  %-58s %zu steps, %.1f KiB (%.0f bytes a step)\n",
              "history after 1 000 single-record stores", form.History.Size(),
              (form.History.Bytes() - empty) / 1024.0,
              static_cast<double>(form.History.Bytes() - empty) / 1000.0);
  Report("undo one single-record store", TimeMs([&] { form.Zpet1Click(); }));
  form.CloseLibraries();
}

RegisterSection section("undo", Run);

}  // namespace
}  // namespace orvenda::bench
