#include "app/library_commands.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>

#include "app/batch_seams.h"
#include "app/headless_tree_control.h"
#include "app/list_library_command.h"
#include "app/main_form.h"
#include "app/select_tree_form.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "library/update_file.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: orvenda --update-library FILE.akt [--program-dir DIR]\n"
    "       orvenda --export-branch builtin|user INDEX --output FILE.akt [--program-dir DIR]\n"
    "       orvenda --import-text FILE --library builtin|user [--select INDEX]\n"
    "               [--program-dir DIR]\n"
    "       orvenda --take-from-library builtin|user --tick INDEX[,INDEX...] --output NEW.RSK\n"
    "               [--project BASE.RSK] [--select INDEX] [--program-dir DIR]\n";

struct UsageError {
  std::string text;
};

fs::path ArgumentPath(const std::string& arg) {
  return fs::path(std::u8string_view(reinterpret_cast<const char8_t*>(arg.data()), arg.size()));
}

int32_t ParseIndex(const std::string& text) {
  int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value <= 0) {
    throw UsageError{"not an item number: \"" + text + "\""};
  }
  return value;
}

int ParseLibrary(const std::string& text) {
  if (text == "builtin") return kBuiltInLibrary;
  if (text == "user") return kUserLibrary;
  throw UsageError{"a library is builtin or user, not \"" + text + "\""};
}

fs::path ExecutableDir() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && !exe.empty()) return exe.parent_path();
  return fs::current_path(ec);
}

struct Options {
  std::vector<std::string> positional;
  std::map<std::string, std::string> named;
};

// The command's positional values and its named options; `known` lists the named ones.
Options ParseOptions(const std::vector<std::string>& args, std::size_t positionals,
                     const std::vector<std::string>& known) {
  Options options;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) == 0) {
      if (std::find(known.begin(), known.end(), arg) == known.end()) {
        throw UsageError{"unknown option " + arg};
      }
      if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
      if (!options.named.emplace(arg, args[++i]).second) throw UsageError{arg + " given twice"};
    } else {
      options.positional.push_back(arg);
    }
  }
  if (options.positional.size() != positionals) {
    throw UsageError{args[0] + " needs " + std::to_string(positionals) + " value(s)"};
  }
  return options;
}

// The main form as the window would start it, on the libraries of the program directory.
class BatchSession {
 public:
  explicit BatchSession(const Options& options)
      : form_(tree_, dialogs_, progress_, settings_, Dirs(options)) {
    form_.AdminMarker = fs::path();
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
  static MainFormDirs Dirs(const Options& options) {
    const auto dir = options.named.find("--program-dir");
    std::error_code ec;
    return MainFormDirs{
        dir != options.named.end() ? fs::absolute(ArgumentPath(dir->second), ec) : ExecutableDir(),
        fs::temp_directory_path(), DefaultUserDataDir()};
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
      throw Error(W("Položka ") + std::to_string(index) + W(" v knihovně není."));
    }
    return item;
  }

 private:
  HeadlessTreeControl buildIn_, user_;
  SelectTreeForm window_;
};

void UpdateLibraryCommand(const std::vector<std::string>& args) {
  const Options options = ParseOptions(args, 1, {"--program-dir"});
  BatchSession session(options);
  session.form().UpdateLibrary(ArgumentPath(options.positional[0]));
  session.Finish();
}

void ExportBranchCommand(const std::vector<std::string>& args) {
  const Options options = ParseOptions(args, 2, {"--output", "--program-dir"});
  const int which = ParseLibrary(options.positional[0]);
  const int32_t index = ParseIndex(options.positional[1]);
  const auto output = options.named.find("--output");
  if (output == options.named.end()) throw UsageError{"--export-branch needs --output FILE.akt"};
  BatchSession session(options);
  MainForm& main = session.form();
  BatchLibraryWindow library(main);
  library.window().Execute(LibraryMode::Edit);
  library.Activate(which);
  library.window().ActiveTree().Select(library.Item(index));
  const TreeControl::Item selected = library.window().ActiveTree().Selected();
  WriteUpdateFile(library.window().ActiveTable(), library.window().ActiveTree().Data(selected),
                  ArgumentPath(output->second), main.TempDir, main.progress, main.MessagesBox);
  session.Finish();
}

void ImportTextCommand(const std::vector<std::string>& args) {
  const Options options = ParseOptions(args, 1, {"--library", "--select", "--program-dir"});
  const auto library = options.named.find("--library");
  if (library == options.named.end()) throw UsageError{"--import-text needs --library"};
  const int which = ParseLibrary(library->second);
  const auto select = options.named.find("--select");
  // 0: nothing selected.
  const int32_t selectIndex = select != options.named.end() ? ParseIndex(select->second) : 0;

  BatchSession session(options);
  MainForm& main = session.form();
  BatchLibraryWindow window(main);
  SelectTreeForm& form = window.window();
  form.Execute(LibraryMode::Edit);
  window.Activate(which);
  // The batch command stands for the administrator, who may edit either library.
  form.Editable = true;
  if (selectIndex != 0) form.ActiveTree().Select(window.Item(selectIndex));
  // An empty risk page.
  form.RiskSourceEdit.text.clear();
  form.RiskMemo.text.clear();
  form.OpatreniMemo.text.clear();
  form.ExistenceSpinEdit.value = 0;
  form.NasledkySpinEdit.value = 0;
  form.ImportTextFile(ArgumentPath(options.positional[0]));
  if (which == kBuiltInLibrary) form.SaveLibSpeedButtonClick();
  session.Finish();
}

void TakeFromLibraryCommand(const std::vector<std::string>& args) {
  const Options options =
      ParseOptions(args, 1, {"--tick", "--output", "--project", "--select", "--program-dir"});
  const int which = ParseLibrary(options.positional[0]);
  const auto tick = options.named.find("--tick");
  const auto output = options.named.find("--output");
  if (tick == options.named.end() || output == options.named.end()) {
    throw UsageError{"--take-from-library needs --tick and --output"};
  }
  std::vector<int32_t> ticks;
  for (std::size_t at = 0; at <= tick->second.size();) {
    const std::size_t comma = std::min(tick->second.find(',', at), tick->second.size());
    ticks.push_back(ParseIndex(tick->second.substr(at, comma - at)));
    at = comma + 1;
  }
  const auto select = options.named.find("--select");
  // 0: nothing selected.
  const int32_t selectIndex = select != options.named.end() ? ParseIndex(select->second) : 0;

  BatchSession session(options);
  MainForm& main = session.form();
  if (const auto project = options.named.find("--project"); project != options.named.end()) {
    main.OpenProject(ArgumentPath(project->second));
    main.BuildTree();
  }
  if (selectIndex != 0) {
    const TreeControl::Item item = main.TreeNT1.FindByData(selectIndex);
    if (item == nullptr) {
      throw Error(W("Položka ") + std::to_string(selectIndex) + W(" v projektu není."));
    }
    main.TreeNT1.Select(item);
  }
  BatchLibraryWindow window(main);
  SelectTreeForm& form = window.window();
  std::exception_ptr failure;
  form.ShowModal = [&] {
    try {
      form.FormShow();
      window.Activate(which);
      for (const int32_t index : ticks) form.ActiveTree().SetChecked(window.Item(index), true);
      form.OKBitBtnClick();
    } catch (...) {
      failure = std::current_exception();
    }
  };
  main.AddFromLibSpeedButtonClick();
  if (failure) std::rethrow_exception(failure);
  main.ProjectFileName = WithProjectExtension(ArgumentPath(output->second));
  main.SaveProject();
  session.Finish();
}

}  // namespace

bool IsLibraryCommand(const std::string& option) {
  return option == "--update-library" || option == "--export-branch" || option == "--import-text" ||
         option == "--take-from-library";
}

int RunLibraryCommand(const std::vector<std::string>& args, std::ostream& err) {
  try {
    if (args.empty() || !IsLibraryCommand(args[0])) throw UsageError{"unknown command"};
    if (args[0] == "--update-library") UpdateLibraryCommand(args);
    if (args[0] == "--export-branch") ExportBranchCommand(args);
    if (args[0] == "--import-text") ImportTextCommand(args);
    if (args[0] == "--take-from-library") TakeFromLibraryCommand(args);
    return 0;
  } catch (const UsageError& e) {
    err << "orvenda: " << e.text << "\n" << kUsage;
    return 2;
  } catch (const std::exception& e) {
    err << Cp1250ToUtf8(e.what()) << "\n";
    return 1;
  }
}

}  // namespace orvenda
