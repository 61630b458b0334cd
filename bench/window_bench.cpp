// Every figure of a big project (100 000 records) in the window, each beside its yardstick
// taken in the same run: the start with the project until the tree is painted, the Open, a
// click on the top node with the average, the report table, the save and the save after a
// delete. Needs the Qt windows (offscreen); without them the section is left out.
#ifdef ORVENDA_BENCH_WINDOW

#include <QApplication>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/progress.h"
#include "bench.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "main_form_window.h"
#include "model/project_table.h"
#include "model/risk.h"
#include "model/tree_builder.h"
#include "project_generator.h"
#include "qt_settings_store.h"
#include "reports/nahled_form.h"
#include "support/fake_tree_control.h"
#include "support/fakes.h"
#include "zlib_reference.h"

namespace orvenda::bench {
namespace {

namespace fs = std::filesystem;

// One line of the table: the figure, its yardstick, and the ratio against the target.
void Row(const char* step, double value, const char* yardstickName, double yardstick,
         double target) {
  const double ratio = value / yardstick;
  std::printf("  %-42s %9.1f ms  %-30s %9.1f ms  %6.2f x (target <= %.2f) %s\n", step, value,
              yardstickName, yardstick, ratio, target, ratio <= target ? "met" : "NOT MET");
  std::fflush(stdout);
}

// Both clocks: the machine may be shared, and then the processor time is the steadier figure
// of work done by one thread.
void Rows(const char* step, const Timing& value, const char* yardstickName, const Timing& yardstick,
          double target) {
  Row(step, value.wall, yardstickName, yardstick.wall, target);
  char cpuStep[80];
  std::snprintf(cpuStep, sizeof cpuStep, "  processor time");
  Row(cpuStep, value.cpu, "", yardstick.cpu, target);
}

constexpr int kRounds = 5;

// The spread of a median row: min/median/max of the figure and of what it is set against.
void Spread(const Samples& value, const char* againstName, const Samples& against) {
  std::printf("  %-42s %.1f/%.1f/%.1f ms  %s %.1f/%.1f/%.1f ms\n", "  min/median/max",
              value.MinWall(), value.MedianWall(), value.MaxWall(), againstName, against.MinWall(),
              against.MedianWall(), against.MaxWall());
}

class Window {
 public:
  Window(const fs::path& root, const fs::path& project) {
    fs::create_directories(root / "prog");
    fs::create_directories(root / "tmp");
    settings_ =
        std::make_unique<QtSettingsStore>(QString::fromStdString((root / "user.ini").string()));
    MainFormDirs dirs;
    dirs.programDir = root / "prog";
    dirs.tempDir = root / "tmp";
    dirs.userDir = root / "user";
    dialogs_.defaultAnswer = true;
    window_ = std::make_unique<MainFormWindow>(dirs, *settings_, &dialogs_);
    window_->Form().AdminMarker = root / "Admin.set";
    window_->Form().CommandLineFile = project;
    window_->Form().AskDelete = false;
    window_->CreateOtherWindows();
    window_->show();  // the first showing opens the project and builds the tree
    QCoreApplication::processEvents();
    window_->Tree().Widget()->viewport()->repaint();
  }
  ~Window() {
    window_->Form().Modified = false;
    window_->close();
    window_.reset();
  }
  MainFormWindow& W() { return *window_; }

 private:
  test::ScriptedDialogs dialogs_;
  std::unique_ptr<QtSettingsStore> settings_;
  std::unique_ptr<MainFormWindow> window_;
};

void Run(const fs::path& scratch, bool startOnly) {
  const Messages messages;
  NullProgress progress;

  const fs::path work = scratch / "work";
  fs::create_directories(work);
  WriteBigProject(work);
  std::vector<std::string> contents;
  for (const char* name : kWorkingTableFiles) contents.push_back(ReadAll(work / name));
  const fs::path file = scratch / "Projekt.RSK";

  // The members as one thread of zlib level 9 makes them: the yardstick of the save, and the
  // streams that the inflate yardstick reads.
  Timing deflate;
  std::vector<std::string> streams;
  Measure(deflate, [&] {
    for (const auto& bytes : contents) streams.push_back(ZlibDeflate9(bytes));
  });
  SaveProjectFile(work, file, progress, messages);

  // Open against zlib inflate of the members alone, in turns, five rounds each.
  std::vector<std::string> inflated;
  for (const auto& bytes : contents) inflated.emplace_back(bytes.size(), '\0');
  Samples inflate, open;
  for (int round = 0; round < kRounds; ++round) {
    Measure(inflate, [&] {
      for (std::size_t i = 0; i < streams.size(); ++i) ZlibInflate(streams[i], inflated[i]);
    });
    const fs::path dir = MakeWorkingDirectory(scratch);
    Table working;
    Measure(open, [&] {
      LoadProjectFile(file, dir, progress, messages);
      OpenWorkingTable(working, dir);
    });
    working.Close();
    RemoveWorkingDirectory(dir);
  }
  if (inflated != contents) throw std::runtime_error("zlib round trip");
  std::printf(
      "  100 000 records (10 000 nodes, 90 000 risks); the first two rows: median of %d "
      "rounds, min/median/max beside; the rest: best of the rounds\n",
      kRounds);
  // The open runs on every core: the wall clock is the figure, the processor time the sum
  // over the threads.
  Row("the window's Open (unpack, open table)", open.MedianWall(), "zlib inflate of the members",
      inflate.MedianWall(), 1.5);
  Spread(open, "inflate", inflate);
  std::printf("  %-42s %9.1f ms  against zlib's %.1f ms\n", "  processor time, all threads",
              open.MedianCpu(), inflate.MedianCpu());

  // The program's start without a project and with it, until the tree is painted.
  Samples bare, started;
  for (int round = 0; round < kRounds; ++round) {
    std::unique_ptr<Window> kept;
    Measure(bare, [&] { kept = std::make_unique<Window>(scratch / "bare", fs::path()); });
    kept.reset();
    Measure(started, [&] { kept = std::make_unique<Window>(scratch / "started", file); });
    kept.reset();
  }
  Row("start with the project, tree painted", started.MedianWall(), "1.5 x inflate + bare start",
      1.5 * inflate.MedianWall() + bare.MedianWall(), 1.0);
  Spread(started, "bare start", bare);
  std::printf("  %-42s %9.1f ms  against %.1f ms\n", "  processor time, all threads",
              started.MedianCpu(), 1.5 * inflate.MedianCpu() + bare.MedianCpu());
  if (startOnly) return;

  Window window(scratch / "started", file);
  MainForm& form = window.W().Form();
  TreeControl& tree = window.W().Tree();
  if (form.DataTable.RecordCount() != 100000) throw std::runtime_error("records lost");

  // The tree alone: built into the window's Qt tree, and into the tests' in-memory tree.
  Timing treeQt, treeMemory;
  for (int round = 0; round < 2; ++round) {
    Measure(treeQt, [&] {
      form.BuildTree();
      window.W().Tree().Widget()->viewport()->repaint();
    });
    test::FakeTreeControl memory;
    tMyNodeIndexes lookup;
    Measure(treeMemory, [&] { BuildTree(memory, form.DataTable, lookup, progress, messages); });
  }
  Rows("  of it the tree built into Qt", treeQt, "the same into an in-memory tree", treeMemory,
       10.0);

  // A click on the top node with CountAverage on, against the walk it replaces.
  const std::vector<TreeControl::Item> top = tree.Children(nullptr);
  if (top.size() != 1) throw std::runtime_error("one top node expected");
  form.CountAverage = true;
  Timing click, walk;
  for (int round = 0; round < 5; ++round) {
    tree.Select(nullptr);
    Measure(click, [&] { tree.Select(top[0]); });
    Measure(walk, [&] { NodeAverage(form.DataTable, tree.Data(top[0])); });
  }
  if (form.PrumerEdit.text != std::to_string(NodeAverage(form.DataTable, tree.Data(top[0]))))
    throw std::runtime_error("the average differs from the walk");
  Timing oneMs;
  oneMs.wall = oneMs.cpu = 1.0;
  Rows("select the top node, average on", click, "1 ms", oneMs, 1.0);
  std::printf("  %-42s %9.1f ms\n", "  the walk it replaces", walk.wall);

  // The report of the whole project, default layout and with the outline.
  NahledForm preview(form.DataTable, messages, progress, scratch / "started" / "tmp");
  Timing report, outline;
  for (int round = 0; round < 2; ++round) {
    preview.ResetLayout();
    Measure(report, [&] { preview.BuildReport(std::nullopt); });
    preview.Layout().TreeSection = true;
    preview.Layout().TreeWithRisks = true;
    Measure(outline, [&] { preview.BuildReport(std::nullopt); });
  }
  preview.DiscardReportFiles();
  Timing oneSecond;
  oneSecond.wall = oneSecond.cpu = 1000.0;
  Rows("report table and page, default layout", report, "1 s", oneSecond, 1.0);
  Rows("report table and page, with the outline", outline, "1 s", oneSecond, 1.0);

  // The save, in turns with its yardstick; it runs on every core, so its wall clock is the
  // figure and its processor time the sum over the threads.
  Timing save;
  for (int round = 0; round < 2; ++round) {
    Measure(save, [&] { SaveProjectFile(work, file, progress, messages); });
    if (round == 0) continue;
    Measure(deflate, [&] {
      std::vector<std::string> again;
      for (const auto& bytes : contents) again.push_back(ZlibDeflate9(bytes));
    });
  }
  Row("save (SaveProjectFile)", save.wall, "one-thread zlib level 9", deflate.wall, 0.6);
  std::printf("  %-42s %9.1f ms  against zlib's %.1f ms\n", "  processor time, all threads",
              save.cpu, deflate.cpu);

  // The window's Save, and the same after deleting a risk (the deleted record waits for the
  // save's pack).
  // Two rounds in turns: a save of a second or more swings with the machine.
  Timing windowSave, saveAfterDelete;
  const fs::path saved = scratch / "Ulozeny.RSK";
  fs::copy_file(file, saved);
  form.ProjectFileName = saved;
  for (int round = 0; round < 2; ++round) {
    Measure(windowSave, [&] { form.Save1Click(); });
    TreeControl::Item risk = tree.Children(tree.Children(top[0])[0]).back();
    tree.Select(risk);
    form.DeleteSpeedButtonClick();
    if (!form.PackPending) throw std::runtime_error("the delete packed at once");
    Measure(saveAfterDelete, [&] { form.Save1Click(); });
  }
  Row("the window's Save", windowSave.wall, "one-thread zlib level 9", deflate.wall, 0.6);
  Row("the window's Save after a delete", saveAfterDelete.wall, "the window's Save",
      windowSave.wall, 1.1);

  // The table's part of the save after a delete: the pack folded into the close, against
  // the separate pack (exclusive reopen, pack, reopen) and then the close.
  Timing folded, separate, plainClose;
  for (int round = 0; round < 3; ++round) {
    for (Timing* figure : {&separate, &folded, &plainClose}) {
      if (figure != &plainClose) {
        const auto children = tree.Children(tree.Children(top[0])[0]);
        if (children.empty()) throw std::runtime_error("no risk left to delete");
        tree.Select(children.back());
        form.DeleteSpeedButtonClick();
      }
      Measure(*figure, [&] {
        if (figure == &folded) {
          form.DataTable.PackAndClose();
        } else {
          if (figure == &separate) form.PackDataTable();
          form.DataTable.Close();
        }
      });
      form.PackPending = false;
      OpenWorkingTable(form.DataTable, form.ProjectDir);
    }
  }
  Row("  of it the table: pack folded into the close", folded.wall, "separate pack, then close",
      separate.wall, 1.0);
  std::printf("  %-42s %9.1f ms  (a close with nothing to pack)\n", "", plainClose.wall);
}

void RunWindow(const fs::path& scratch, bool startOnly) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "orvenda_bench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = QApplication::instance() == nullptr
                                 ? new QApplication(argc, argv)
                                 : static_cast<QApplication*>(QApplication::instance());
  (void)app;
  // The offscreen platform's complaints about window raising say nothing here.
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  try {
    Run(scratch, startOnly);
  } catch (...) {
    qInstallMessageHandler(previous);
    throw;
  }
  qInstallMessageHandler(previous);
}

// ORVENDA_BENCH_START_ONLY=1: the Open and the start alone, without the saves that take minutes.
const RegisterSection kSection("window", [](const fs::path& scratch) {
  RunWindow(scratch, qEnvironmentVariableIntValue("ORVENDA_BENCH_START_ONLY") != 0);
});

}  // namespace
}  // namespace orvenda::bench

#endif  // ORVENDA_BENCH_WINDOW
