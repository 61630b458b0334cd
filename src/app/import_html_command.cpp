#include "app/import_html_command.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <system_error>

#include "app/batch_seams.h"
#include "app/headless_tree_control.h"
#include "app/main_form.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/progress.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "library/html_import.h"
#include "model/project_table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: orvenda --import-html PAGE.htm --output NEW.RSK [--project BASE.RSK]\n"
    "               [--select INDEX]\n"
    "  --project BASE.RSK  the project the rows are added to (an empty one without it)\n"
    "  --select INDEX      the item selected before the import, by its Index\n";

struct ImportOptions {
  fs::path page;
  fs::path output;
  fs::path project;
  std::optional<int32_t> select;
};

struct UsageError {
  std::string text;
};

// Command-line arguments are the host's text (UTF-8 here).
fs::path ArgumentPath(const std::string& arg) {
  return fs::path(std::u8string_view(reinterpret_cast<const char8_t*>(arg.data()), arg.size()));
}

ImportOptions ParseOptions(const std::vector<std::string>& args) {
  ImportOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError{arg + " needs a value"};
      return args[++i];
    };
    if (arg == "--import-html") {
      options.page = ArgumentPath(value());
    } else if (arg == "--output") {
      options.output = ArgumentPath(value());
    } else if (arg == "--project") {
      options.project = ArgumentPath(value());
    } else if (arg == "--select") {
      const std::string& text = value();
      int32_t index = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), index);
      if (ec != std::errc() || end != text.data() + text.size()) {
        throw UsageError{"--select needs a whole number, not \"" + text + "\""};
      }
      options.select = index;
    } else {
      throw UsageError{"unknown argument \"" + arg + "\""};
    }
  }
  if (options.page.empty()) throw UsageError{"no page given (--import-html)"};
  if (options.output.empty()) throw UsageError{"no project given (--output)"};
  return options;
}

void RunImport(const ImportOptions& options, const fs::path& tempDir) {
  const fs::path target = WithProjectExtension(options.output);
  HeadlessTreeControl tree;
  BatchDialogs dialogs;
  NullProgress progress;
  EmptySettingsStore settings;
  MainForm form(tree, dialogs, progress, settings, MainFormDirs{{}, tempDir, {}});

  // Everything that can be checked is checked before anything is made on disk.
  if (!options.project.empty()) CheckProjectFile(options.project, form.MessagesBox);
  std::error_code ec;
  if (fs::exists(target, ec)) {
    throw Error(W("Soubor ") + PathToText(target) + W(" už existuje."));
  }
  std::string page = ReadHtmlPage(options.page);

  form.ProjectDir = form.MakeWorkingDirectory();
  struct RemoveOnExit {
    MainForm& form;
    ~RemoveOnExit() {
      if (form.DataTable.IsOpen()) form.DataTable.Close();
      RemoveWorkingDirectory(form.ProjectDir);
    }
  } removeWorkDir{form};
  if (!options.project.empty()) {
    LoadProjectFile(options.project, form.ProjectDir, progress, form.MessagesBox);
    OpenWorkingTable(form.DataTable, form.ProjectDir);
  } else {
    form.DataTable.SetPath(form.ProjectDir / kWorkingTableName);
    CreateProjectTable(form.DataTable);
  }
  form.BuildTree();
  form.ShowSelected();
  if (options.select) {
    const TreeControl::Item item = tree.FindByData(*options.select);
    if (item == nullptr) {
      throw Error(W("V projektu není položka s indexem ") + std::to_string(*options.select) + ".");
    }
    tree.Select(item);
  }

  form.ImportHtmlText(std::move(page));

  ClearFilter(form.DataTable);
  form.DataTable.Close();
  SaveProjectFile(form.ProjectDir, target, progress, form.MessagesBox);
}

}  // namespace

int RunImportHtmlCommand(const std::vector<std::string>& args, std::ostream& err,
                         const fs::path& tempDir) {
  ImportOptions options;
  try {
    options = ParseOptions(args);
  } catch (const UsageError& usage) {
    err << "orvenda: " << usage.text << "\n" << kUsage;
    return 2;
  }
  try {
    RunImport(options, tempDir);
  } catch (const Error& error) {
    err << "orvenda: " << Cp1250ToUtf8(error.what()) << "\n";
    return 1;
  } catch (const std::exception& error) {
    err << "orvenda: " << error.what() << "\n";
    return 1;
  }
  return 0;
}

int RunImportHtmlCommand(const std::vector<std::string>& args, std::ostream& err) {
  std::error_code ec;
  const fs::path tempDir = fs::temp_directory_path(ec);
  if (ec) {
    err << "orvenda: no temporary directory: " << ec.message() << "\n";
    return 1;
  }
  return RunImportHtmlCommand(args, err, tempDir);
}

}  // namespace orvenda
