// Figures of the find bar on a generated project of 100 000 records, with the in-memory tree
// control standing in for the window's tree.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
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

  // Medians over the rounds, as processor time (the machine may be shared) beside the wall clock.
  struct Samples {
    std::vector<double> cpu, wall;
    void Add(const std::function<void()>& work) {
      const double cpuStart = CpuMs();
      wall.push_back(TimeMs(work));
      cpu.push_back(CpuMs() - cpuStart);
    }
    static double Median(std::vector<double> v) {
      std::sort(v.begin(), v.end());
      return v.empty()      ? 0
             : v.size() % 2 ? v[v.size() / 2]
                            : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
  };
  const auto report = [](const std::string& what, const Samples& s) {
    Report(what + " (cpu, median)", Samples::Median(s.cpu));
    Report(what + " (wall, median)", Samples::Median(s.wall));
  };
  constexpr int kRounds = 7;

  FindBar bar(form);
  const auto type = [&](const char* utf8) {
    bar.FindEdit.text = W(utf8);
    bar.FindEditChange();
  };
  {
    // The first key with nothing prepared: texts, tree order and search in one.
    Samples cold, open, first;
    for (int round = 0; round < 3; ++round) {
      bar.CloseClick();
      bar.FindEdit.text.clear();
      bar.FindActionClick();
      cold.Add([&] { type("x"); });
      // The window prepares when the bar opens, before the first key.
      bar.CloseClick();
      bar.FindEdit.text.clear();
      bar.FindActionClick();
      open.Add([&] { bar.Prepare(); });
      tree.Select(nullptr);
      first.Add([&] { type("x"); });
    }
    report("first keystroke, nothing prepared", cold);
    report("opening the bar: lowering the texts, the tree order", open);
    report("first keystroke after the opening", first);
    std::printf("  texts %zu bytes, lookup beside them %zu bytes\n", bar.TextBytes(),
                bar.IndexBytes());
  }
  // The window shows the first match at once and counts from the event loop afterwards:
  // both figures apart.
  bar.CountLater = [] {};
  for (const char* query : {"p", "pá", "pád", "pád z", "svařo", "zzzz"}) {
    Samples first, count;
    for (int round = 0; round < kRounds; ++round) {
      tree.Select(nullptr);  // from the top each round
      type("#");             // another query between the rounds: nothing kept from the round before
      first.Add([&] { type(query); });
      count.Add([&] { bar.CountMatches(); });
    }
    report(std::string("keystroke to \"") + query + "\": first match", first);
    report("  count (" + std::to_string(bar.Matches().size()) + ")", count);
  }
  // Typed key by key, each key searches only what the key before found, when that was little.
  for (const char* query : {"pád z", "zzzz"}) {
    Samples last;
    const std::string whole = W(query);
    for (int round = 0; round < kRounds; ++round) {
      tree.Select(nullptr);
      type("#");
      for (size_t keys = 1; keys < whole.size(); ++keys) {
        bar.FindEdit.text = whole.substr(0, keys);
        bar.FindEditChange();
      }
      last.Add([&] {
        bar.FindEdit.text = whole;
        bar.FindEditChange();
      });
    }
    report(std::string("typing \"") + query + "\" key by key: the last key", last);
  }
  bar.DiacriticsCheckBox.checked = true;
  bar.WholeWordsCheckBox.checked = true;
  {
    Samples first, count;
    for (int round = 0; round < kRounds; ++round) {
      type("#");
      first.Add([&] { type("lis"); });
      count.Add([&] { bar.CountMatches(); });
    }
    report("\"lis\", whole words, diacritics: first match", first);
    report("  count (" + std::to_string(bar.Matches().size()) + ")", count);
  }
  bar.DiacriticsCheckBox.checked = false;
  bar.WholeWordsCheckBox.checked = false;
  type("pád");
  Samples next;
  for (int round = 0; round < kRounds; ++round) next.Add([&] { bar.FindNextClick(); });
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
    Samples t;
    t.Add([&] { filter.ShowComboBoxChange(); });
    report("switch the filter to choice " + std::to_string(choice) + " (" +
               std::to_string(itemsShown()) + " items shown)",
           t);
  }
  form.AfterBuildTree = nullptr;
}

RegisterSection section("find", Run);

}  // namespace
}  // namespace orvenda::bench
