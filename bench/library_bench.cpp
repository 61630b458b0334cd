// Figures of the risk libraries: a 20 000-record built-in library and a 2 000-record user
// library, opened, shown in the library window, searched, copied and pasted, and packed.
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

// Generates top-level branches of the given sizes into a library table (a tenth of each are
// nodes) and enciphers their texts as the library holds them. Returns each branch's top Index.
std::vector<int32_t> FillLibrary(Table& table, const std::vector<int>& branches, unsigned seed) {
  std::vector<int32_t> tops;
  for (const int records : branches) {
    tops.push_back(GenerateProject(table, records / 10, records - records / 10, seed++).topNode);
  }
  ClearFilter(table);
  for (table.First(); !table.Eof(); table.Next()) {
    table.Edit();
    table.SetText(fld::kIdent, EncryptLibraryText(table.GetText(fld::kIdent)));
    table.SetText(fld::kOpatreni, EncryptLibraryText(table.GetText(fld::kOpatreni)));
    table.Post();
  }
  return tops;
}

void CopyAndPaste(SelectTreeForm& window, test::FakeTreeControl& builtIn,
                  test::FakeTreeControl& user, int32_t branch, int size) {
  const std::string what = std::to_string(size) + "-record branch";
  window.ActiveLibrary = kBuiltInLibrary;
  window.PageControl1Change();
  builtIn.Select(builtIn.FindByData(branch));
  Report("copy a built-in " + what + " to the clipboard", TimeMs([&] { window.Copy1Click(); }));
  window.ActiveLibrary = kUserLibrary;
  window.PageControl1Change();
  user.Select(nullptr);
  const int before = window.main.Libs.UserRisksTable.RecordCount();
  Report("paste it into the user library", TimeMs([&] { window.Insert1Click(); }));
  const int pasted = window.main.Libs.UserRisksTable.RecordCount() - before;
  if (pasted != size) std::printf("  pasted %d records, expected %d\n", pasted, size);
}

void Run(const fs::path& scratch) {
  constexpr int kBuiltIn = 20000;
  constexpr int kUser = 2000;
  fs::create_directories(scratch / "prog");
  fs::create_directories(scratch / "tmp");
  test::FakeTreeControl tree, builtIn, user;
  test::ScriptedDialogs dialogs;
  dialogs.defaultAnswer = true;
  NullProgress progress;
  test::MemorySettingsStore store;
  const MainFormDirs dirs{scratch / "prog", scratch / "tmp", scratch / "user"};
  std::vector<int32_t> tops;

  {
    // The libraries as a long-used installation has them.
    MainForm form(tree, dialogs, progress, store, dirs);
    form.OpenLibraries();
    tops = FillLibrary(form.Libs.BuildInRisksTable, {500, 2000, kBuiltIn - 2500}, 7);
    FillLibrary(form.Libs.UserRisksTable, {kUser}, 17);
    form.Libs.SaveLibrary(kBuiltInLibrary, progress, "");
    form.CloseLibraries();
  }
  std::printf(" built-in library %d records, user library %d records\n", kBuiltIn, kUser);
  std::printf("  %-58s %10.1f MB\n", "RiskLib.LIB",
              static_cast<double>(fs::file_size(scratch / "prog" / "RiskLib.LIB")) / 1e6);

  MainForm form(tree, dialogs, progress, store, dirs);
  form.AskDelete = false;
  Report("OpenLibraries (unpack both archives, open both tables)",
         TimeMs([&] { form.OpenLibraries(); }));
  form.PrepareClipboard();
  {
    // The worst case: a Find at once after the first showing waits for the deciphering.
    test::FakeTreeControl coldBuiltIn, coldUser;
    SelectTreeForm cold(form, coldBuiltIn, coldUser);
    Report("first showing of the library window (both trees built)",
           TimeMs([&] { cold.Execute(LibraryMode::Edit); }));
    cold.FindDialog1.FindText = "xyzzy";
    Report("Find at once after the first showing (waits for deciphering)",
           TimeMs([&] { cold.FindDialog1Find(); }));
  }
  SelectTreeForm window(form, builtIn, user);
  window.Execute(LibraryMode::Edit);
  Report("second showing (trees kept)", TimeMs([&] { window.Execute(LibraryMode::Edit); }));
  Report("  deciphering both libraries on the second thread",
         TimeMs([&] { window.WaitForWarmup(); }));
  builtIn.Select(builtIn.Children(nullptr).front());
  window.FindDialog1.FindText = "xyzzy";
  Report("Find through the whole built-in library, no match",
         TimeMs([&] { window.FindDialog1Find(); }));
  window.FindDialog1.WholeWord = true;
  window.FindDialog1.MatchCase = true;
  Report("  again, whole words and matching case", TimeMs([&] { window.FindDialog1Find(); }));
  if (dialogs.informations.size() != 3) std::printf("  unexpected: a Find found something\n");

  CopyAndPaste(window, builtIn, user, tops[0], 500);
  CopyAndPaste(window, builtIn, user, tops[1], 2000);

  Report("CloseLibraries (packs the user library)", TimeMs([&] { form.CloseLibraries(); }));
}

RegisterSection section("library", Run);

}  // namespace
}  // namespace orvenda::bench
