#include "app/library_commands.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <system_error>

#include "app/batch_seams.h"
#include "app/headless_tree_control.h"
#include "app/list_library_command.h"
#include "app/main_form.h"
#include "app/select_tree_form.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/file_lock.h"
#include "base/messages.h"
#include "base/safe_output.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "library/update_file.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

// The main form as the window would start it, on the libraries of the program directory.
class BatchSession {
 public:
  BatchSession(const std::optional<fs::path>& programDir, const BatchContext& context)
      : form_(tree_, dialogs_, progress_, settings_, Dirs(programDir, context)) {
    form_.AdminMarker = fs::path();
    form_.Batch = true;
    try {
      form_.FormCreate();
      form_.FormShow();
    } catch (...) {
      Abandon();
      throw;
    }
  }
  ~BatchSession() {
    if (!finished_) Abandon();
  }
  void Abandon() {
    // A failed command writes nothing: the working copies go without being packed.
    try {
      form_.DataTable.Close();
    } catch (const std::exception&) {
    }
    form_.Libs.DiscardLibraries();
    if (!form_.ProjectDir.empty()) RemoveWorkingDirectory(form_.ProjectDir);
    form_.ProjectDir.clear();
  }
  MainForm& form() { return form_; }
  // Ends the run as closing the window does (the user library is written there).
  void Finish() {
    form_.FormClose();
    finished_ = true;
  }

 private:
  static MainFormDirs Dirs(const std::optional<fs::path>& programDir, const BatchContext& context) {
    std::error_code ec;
    const fs::path tempDir = BatchTempDir(context, ec);
    if (ec) throw fs::filesystem_error("temp_directory_path", ec);
    return MainFormDirs{programDir ? fs::absolute(*programDir, ec) : context.programDir, tempDir,
                        context.userDir};
  }

  HeadlessTreeControl tree_;
  BatchDialogs dialogs_;
  NullProgress progress_;
  EmptySettingsStore settings_;
  MainForm form_;
  bool finished_ = false;
};

// The library window on headless trees, shown in `mode` with library `which` active.
class BatchLibraryWindow {
 public:
  BatchLibraryWindow(MainForm& main) : window_(main, buildIn_, user_) {
    main.selectTreeForm = &window_;
  }
  SelectTreeForm& window() { return window_; }
  void Activate(int which) {
    window_.ActiveLibrary = which;
    window_.PageControl1Change();
  }
  TreeControl::Item Item(int32_t index) {
    const TreeControl::Item item = window_.ActiveTree().FindByData(index);
    if (item == nullptr) {
      throw Error(Msg(118, {std::to_string(index)}));
    }
    return item;
  }

 private:
  HeadlessTreeControl buildIn_, user_;
  SelectTreeForm window_;
};

void UpdateLibrary(const UpdateLibraryOptions& options, const BatchContext& context) {
  BatchSession session(options.programDir, context);
  session.form().UpdateLibrary(options.file);
  session.Finish();
}

void ExportBranch(const ExportBranchOptions& options, const BatchContext& context) {
  BatchSession session(options.programDir, context);
  MainForm& main = session.form();
  RefuseOutputOverInputs(options.output, {main.Libs.ArchiveTarget(kBuiltInLibrary),
                                          main.Libs.ArchiveTarget(kUserLibrary)});
  BatchLibraryWindow library(main);
  library.window().Execute(LibraryMode::Edit);
  library.Activate(options.library);
  library.window().ActiveTree().Select(library.Item(options.index));
  const TreeControl::Item selected = library.window().ActiveTree().Selected();
  WriteUpdateFile(library.window().ActiveTable(), library.window().ActiveTree().Data(selected),
                  options.output, main.TempDir, main.progress, main.MessagesBox);
  session.Finish();
}

void ImportText(const ImportTextOptions& options, const BatchContext& context) {
  BatchSession session(options.programDir, context);
  MainForm& main = session.form();
  BatchLibraryWindow window(main);
  SelectTreeForm& form = window.window();
  form.Execute(LibraryMode::Edit);
  window.Activate(options.library);
  // The batch command stands for the administrator, who may edit either library.
  form.Editable = true;
  if (options.select) form.ActiveTree().Select(window.Item(*options.select));
  // An empty risk page.
  form.RiskSourceEdit.text.clear();
  form.RiskMemo.text.clear();
  form.OpatreniMemo.text.clear();
  form.ExistenceSpinEdit.value = 0;
  form.NasledkySpinEdit.value = 0;
  form.ImportTextFile(options.file);
  if (options.library == kBuiltInLibrary) form.SaveLibSpeedButtonClick();
  session.Finish();
}

void TakeFromLibrary(const TakeFromLibraryOptions& options, const BatchContext& context) {
  const fs::path output = WithProjectExtension(options.output);
  if (options.project) RefuseOutputOverInputs(output, {*options.project});
  // Held to the end: a second run for the same output applies after this one.
  const FileLock outputLock = FileLock::TakeOrFail(output, std::chrono::seconds(10));
  BatchSession session(options.programDir, context);
  MainForm& main = session.form();
  if (options.project) {
    main.OpenProject(*options.project);
    main.BuildTree();
  }
  if (options.select) {
    const TreeControl::Item item = main.TreeNT1.FindByData(*options.select);
    if (item == nullptr) {
      throw Error(Msg(114, {std::to_string(*options.select)}));
    }
    main.TreeNT1.Select(item);
  }
  BatchLibraryWindow window(main);
  SelectTreeForm& form = window.window();
  std::exception_ptr failure;
  form.ShowModal = [&] {
    try {
      form.FormShow();
      window.Activate(options.library);
      for (const int32_t index : options.ticks) {
        form.ActiveTree().SetChecked(window.Item(index), true);
      }
      form.OKBitBtnClick();
    } catch (...) {
      failure = std::current_exception();
    }
  };
  main.AddFromLibSpeedButtonClick();
  if (failure) std::rethrow_exception(failure);
  RefuseOutputOverInputs(
      output, {main.Libs.ArchiveTarget(kBuiltInLibrary), main.Libs.ArchiveTarget(kUserLibrary)});
  main.ProjectFileName = output;
  main.SaveProject();
  session.Finish();
}

// Runs a command; its failure is told to `context.err`.
template <typename Options>
int Run(void (*command)(const Options&, const BatchContext&), const Options& options,
        const BatchContext& context) {
  try {
    command(options, context);
    return 0;
  } catch (const std::exception& e) {
    context.err << Cp1250ToUtf8(e.what()) << "\n";
    return 1;
  }
}

// Item numbers are Index values, which start at 1.
CLI::Option* AddItemOption(CLI::App& group, const std::string& name, std::optional<int32_t>& target,
                           const std::string& help) {
  return AddNumberOption(group, name, target, "INDEX", help, 1);
}

}  // namespace

int RunUpdateLibraryCommand(const UpdateLibraryOptions& options, const BatchContext& context) {
  return Run(UpdateLibrary, options, context);
}

int RunExportBranchCommand(const ExportBranchOptions& options, const BatchContext& context) {
  return Run(ExportBranch, options, context);
}

int RunImportTextCommand(const ImportTextOptions& options, const BatchContext& context) {
  return Run(ImportText, options, context);
}

int RunTakeFromLibraryCommand(const TakeFromLibraryOptions& options, const BatchContext& context) {
  return Run(TakeFromLibrary, options, context);
}

BatchCommand UpdateLibraryCommand() {
  return MakeBatchCommand<UpdateLibraryOptions>(
      "--update-library",
      "the library update of the window: checks an update file completely and appends it to the "
      "built-in library",
      [](CLI::App& group, UpdateLibraryOptions& options) {
        AddPathOption(group, "--update-library", options.file, "FILE.akt", "the update file");
        AddProgramDirOption(group, options.programDir);
      },
      RunUpdateLibraryCommand);
}

BatchCommand ExportBranchCommand() {
  return MakeBatchCommand<ExportBranchOptions>(
      "--export-branch", "the library window's \"Export\": writes a branch as an update file",
      [](CLI::App& group, ExportBranchOptions& options) {
        AddValuesOption(group, "--export-branch", 2, "builtin|user INDEX",
                        "the library and the Index of the branch's top item",
                        [&options](const std::vector<std::string>& values) {
                          options.library = LibraryValue("--export-branch", values[0]);
                          options.index = NumberValue("--export-branch", values[1], 1);
                        });
        AddPathOption(group, "--output", options.output, "FILE.akt", "the update file written")
            ->required();
        AddProgramDirOption(group, options.programDir);
      },
      RunExportBranchCommand);
}

BatchCommand ImportTextCommand() {
  return MakeBatchCommand<ImportTextOptions>(
      "--import-text",
      "\"Imp File\": reads risks from a windows-1250 text file into a library and writes its "
      "archive",
      [](CLI::App& group, ImportTextOptions& options) {
        AddPathOption(group, "--import-text", options.file, "FILE", "the text file");
        AddLibraryOption(group, "--library", options.library, "the library read into")->required();
        AddItemOption(group, "--select", options.select,
                      "the item the risks go under (the top level without it)");
        AddProgramDirOption(group, options.programDir);
      },
      RunImportTextCommand);
}

BatchCommand TakeFromLibraryCommand() {
  return MakeBatchCommand<TakeFromLibraryOptions>(
      "--take-from-library",
      "adding from a library as the window does: ticks library items, takes them into a project "
      "and saves it",
      [](CLI::App& group, TakeFromLibraryOptions& options) {
        AddLibraryOption(group, "--take-from-library", options.library, "the library");
        group
            .add_option_function<std::string>(
                "--tick",
                [&options](const std::string& text) {
                  options.ticks.clear();
                  for (std::size_t at = 0; at <= text.size();) {
                    const std::size_t comma = std::min(text.find(',', at), text.size());
                    options.ticks.push_back(NumberValue("--tick", text.substr(at, comma - at), 1));
                    at = comma + 1;
                  }
                },
                "the Index values of the library items ticked, separated by commas")
            ->type_name("INDEX[,INDEX...]")
            ->required();
        AddPathOption(group, "--output", options.output, "NEW.RSK", "the project saved")
            ->required();
        AddPathOption(group, "--project", options.project, "BASE.RSK",
                      "the project opened first (an empty one without it)");
        AddItemOption(group, "--select", options.select,
                      "the project item selected before taking, by its Index");
        AddProgramDirOption(group, options.programDir);
      },
      RunTakeFromLibraryCommand);
}

}  // namespace orvenda
