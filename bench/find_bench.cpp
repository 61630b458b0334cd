// Figures of the find bar on a generated project of 100 000 records, with the in-memory tree
// control standing in for the window's tree.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/find_bar.h"
#include "app/main_form.h"
#include "app/show_filter.h"
#include "base/cp1250.h"
#include "bench.h"
#include "model/project_table.h"
#include "project_generator.h"
#include "support/fake_tree_control.h"
#include "support/fakes.h"

namespace orvenda::bench {
namespace {

namespace fs = std::filesystem;

void Run(const fs::path& scratch) {
  constexpr int kRecords = 100000;
  test::FakeTreeControl tree;
  test::ScriptedDialogs dialogs;
  NullProgress progress;
  test::MemorySettingsStore store;
  fs::create_directories(scratch / "tmp");
  fs::create_directories(scratch / "work");
  MainForm form(tree, dialogs, progress, store, MainFormDirs{scratch, scratch / "tmp", scratch});
  form.DataTable.SetPath(scratch / "work" / "RiskData.dbf");
  CreateProjectTable(form.DataTable);
  GenerateProject(form.DataTable, kRecords / 10, kRecords - kRecords / 10, 42);
  form.BuildTree();
  std::printf(" %d records\n", kRecords);

  FindBar bar(form);
  bar.FindActionClick();
  const auto type = [&](const char* utf8) {
    bar.FindEdit.text = W(utf8);
    bar.FindEditChange();
  };
  Report("first keystroke, with lowering the texts of every record", TimeMs([&] { type("x"); }));
  // The window shows the first match at once and counts from the event loop afterwards:
  // both figures apart, as processor time (the machine may be shared) beside the wall clock.
  bar.CountLater = [] {};
  const auto report = [](const std::string& what, const Timing& t) {
    Report(what + " (cpu)", t.cpu);
    Report(what + " (wall)", t.wall);
  };
  for (const char* query : {"p", "pá", "pád", "pád z", "svařo", "zzzz"}) {
    Timing first, count;
    for (int round = 0; round < 3; ++round) {
      tree.Select(nullptr);  // from the top each round
      Measure(first, [&] { type(query); });
      Measure(count, [&] { bar.CountMatches(); });
    }
    report(std::string("keystroke to \"") + query + "\": first match", first);
    report("  count (" + std::to_string(bar.Matches().size()) + ")", count);
  }
  bar.DiacriticsCheckBox.checked = true;
  bar.WholeWordsCheckBox.checked = true;
  {
    Timing first, count;
    for (int round = 0; round < 3; ++round) {
      Measure(first, [&] { type("lis"); });
      Measure(count, [&] { bar.CountMatches(); });
    }
    report("\"lis\", whole words, diacritics: first match", first);
    report("  count (" + std::to_string(bar.Matches().size()) + ")", count);
  }
  bar.DiacriticsCheckBox.checked = false;
  bar.WholeWordsCheckBox.checked = false;
  type("pád");
  Timing next;
  for (int round = 0; round < 5; ++round) Measure(next, [&] { bar.FindNextClick(); });
  report("F3 (next match)", next);
  bar.CountLater = nullptr;

  // "Zobrazit": the tree built again and cut down to the choice.
  ShowFilter filter(form);
  form.AfterBuildTree = [&] { filter.Apply(); };
  const auto itemsShown = [&] {
    size_t count = 0;
    std::vector<TreeControl::Item> pending = tree.Children(nullptr);
    while (!pending.empty()) {
      TreeControl::Item item = pending.back();
      pending.pop_back();
      ++count;
      for (TreeControl::Item child : tree.Children(item)) pending.push_back(child);
    }
    return count;
  };
  for (const int choice : {3, 5, ShowFilter::kUnrated, ShowFilter::kAll}) {
    filter.ShowComboBox.value = choice;
    Timing t;
    Measure(t, [&] { filter.ShowComboBoxChange(); });
    report("switch the filter to choice " + std::to_string(choice) + " (" +
               std::to_string(itemsShown()) + " items shown)",
           t);
  }
  form.AfterBuildTree = nullptr;
}

RegisterSection section("find", Run);

}  // namespace
}  // namespace orvenda::bench
