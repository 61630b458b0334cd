// Figures of taking ticked library items into a big project, applying an update file to a big
// built-in library and importing a text file, with the in-memory tree control standing in for
// the window's trees.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/select_tree_form.h"
#include "bench.h"
#include "library/library_cipher.h"
#include "library/update_file.h"
#include "model/project_table.h"
#include "project_generator.h"
#include "support/fake_tree_control.h"
#include "support/fakes.h"

namespace orvenda::bench {
namespace {

namespace fs = std::filesystem;

// Library tables keep Ident and Opatreni enciphered.
void Encipher(Table& table) {
  ClearFilter(table);
  for (table.First(); !table.Eof(); table.Next()) {
    if (table.GetInt(fld::kType) != kRiskType) continue;
    table.Edit();
    table.SetText(fld::kIdent, EncryptLibraryText(table.GetText(fld::kIdent)));
    table.SetText(fld::kOpatreni, EncryptLibraryText(table.GetText(fld::kOpatreni)));
    table.Post();
  }
}

std::string ImportText(int records) {
  std::string text = "Import\r\n";
  for (int i = 0; i < records; ++i) {
    text += "<$$$1\r\nZdroj " + std::to_string(i) + "\r\n<$$$2\r\nPopis nebezpeci " +
            std::to_string(i) + "\r\ndruhy radek popisu\r\n<$$$3\r\n" + std::to_string(i % 5 + 1) +
            "\r\n<$$$4\r\n" + std::to_string(i % 3 + 1) + "\r\n<$$$5\r\nOpatreni " +
            std::to_string(i) + "\r\n";
  }
  return text + "<*-*-*-*>\r\n";
}

void Run(const fs::path& scratch) {
  constexpr int kLibrary = 20000, kProject = 100000, kTicks = 5000, kUpdate = 5000, kImport = 2000;
  for (const char* dir : {"prog", "tmp", "work", "src"}) fs::create_directories(scratch / dir);
  test::FakeTreeControl tree, builtIn, user;
  test::ScriptedDialogs dialogs;
  NullProgress progress;
  test::MemorySettingsStore store;
  MainForm form(tree, dialogs, progress, store,
                MainFormDirs{scratch / "prog", scratch / "tmp", fs::path()});
  form.AdminMarker = scratch / "none";
  form.DataTable.SetPath(scratch / "work" / "RiskData.dbf");
  CreateProjectTable(form.DataTable);
  // A project of one node first, for the copy's cost without the project's size.
  form.PrepareClipboard();
  form.OpenLibraries();
  Table& lib = form.Libs.BuildInRisksTable;
  GenerateProject(lib, kLibrary / 10, kLibrary - kLibrary / 10, 7);
  Encipher(lib);
  form.AddNodeSpeedButtonClick();
  form.BuildTree();
  SelectTreeForm window(form, builtIn, user);
  form.selectTreeForm = &window;
  std::printf(" library %d records, project 1 then %d records\n", kLibrary, kProject);

  // Every `step`-th library record from `first` on ticked: nodes and risks on every level.
  const auto tickAndTake = [&](int step, int first, bool warm, const std::string& what) {
    window.ShowModal = [&] {
      window.FormShow();
      if (warm) window.WaitForWarmup();
      int ticked = 0;
      ClearFilter(lib);
      int row = 0;
      for (lib.First(); !lib.Eof(); lib.Next(), ++row) {
        if (row % step != first) continue;
        builtIn.SetChecked(builtIn.FindByData(lib.GetInt(fld::kIndex)), true);
        ++ticked;
      }
      const int32_t before = MaxIndex(form.DataTable);
      Report(what + " (" + std::to_string(ticked) + " ticked)",
             TimeMs([&] { window.OKBitBtnClick(); }));
      std::printf("  %-58s %d\n", "  project records added", MaxIndex(form.DataTable) - before);
    };
    tree.Select(tree.Children(nullptr).front());
    form.AddFromLibSpeedButtonClick();
  };
  Report("show the library window in selection mode (trees built)", TimeMs([&] {
           window.ShowModal = [&] { window.FormShow(); };
           form.AddFromLibSpeedButtonClick();
         }));
  tickAndTake(kLibrary / kTicks, 0, false, "OK, one-node project, texts not yet deciphered");
  tickAndTake(kLibrary / kTicks, 1, true, "OK, one-node project, texts deciphered");
  tree.Select(nullptr);
  GenerateProject(form.DataTable, kProject / 10, kProject - kProject / 10, 42);
  form.BuildTree();
  form.DataTable.SetFilter(ChildNodesFilter(0));
  form.DataTable.SetFiltered(true);
  form.DataTable.First();
  ClearFilter(form.DataTable);
  tickAndTake(kLibrary / kTicks, 2, true, "OK, 100 000-record project, texts deciphered");
  tickAndTake(kLibrary / (kTicks / 4), 3, true, "OK, 100 000-record project, a quarter");

  // The update: a separate 5 000-record library exported, then applied.
  Table source;
  source.SetPath(scratch / "src" / "Source.dbf");
  CreateProjectTable(source);
  const GeneratedProject branch = GenerateProject(source, kUpdate / 10, kUpdate - kUpdate / 10, 3);
  Encipher(source);
  const fs::path akt = scratch / "update.akt";
  Report("export a 5 000-record branch (WriteUpdateFile)", TimeMs([&] {
           WriteUpdateFile(source, branch.topNode, akt, scratch / "tmp", progress,
                           form.MessagesBox);
         }));
  source.Close();
  {
    Table update;
    const fs::path dir = scratch / "tmp" / "read";
    fs::create_directories(dir);
    Report("  of which reading and checking the file",
           TimeMs([&] { ReadUpdateFile(akt, dir, update, progress, form.MessagesBox); }));
    Report("  of which the merge into a copy of the library",
           TimeMs([&] { MergeUpdate(update, form.Libs.UserRisksTable, nullptr, progress); }));
    update.Close();
    Report("  of which rewriting the library archive",
           TimeMs([&] { form.Libs.SaveLibrary(kBuiltInLibrary, progress, ""); }));
  }
  const int before = lib.RecordCount();
  Report("apply it to the 20 000-record library, archive rewritten",
         TimeMs([&] { form.UpdateLibrary(akt); }));
  ClearFilter(lib);
  std::printf("  %-58s %d\n", "  library records added", lib.RecordCount() - before);

  // The text import into the user library.
  std::ofstream(scratch / "import.txt", std::ios::binary) << ImportText(kImport);
  window.ShowModal = nullptr;
  window.ActiveLibrary = kUserLibrary;
  window.Execute(LibraryMode::Edit);
  Report("import a 2 000-record text file (ImportTextFile)",
         TimeMs([&] { window.ImportTextFile(scratch / "import.txt"); }));
  ClearFilter(form.Libs.UserRisksTable);
  std::printf("  %-58s %d\n", "  user library records", form.Libs.UserRisksTable.RecordCount());
  form.selectTreeForm = nullptr;
  form.CloseLibraries();
}

const RegisterSection kSection("libcopy", Run);

}  // namespace
}  // namespace orvenda::bench
