#include "app/report_command.h"

#include <charconv>
#include <cstdint>
#include <optional>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/progress.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "model/project_table.h"
#include "model/table.h"
#include "reports/nahled_form.h"
#include "reports/report_page.h"
#include "reports/vzhled_rep_form.h"

namespace orvenda {
namespace {

constexpr const char* kUsage =
    "usage: orvenda --report PROJECT --output PAGE.htm [--sorted] [--branch INDEX]\n"
    "               [--object-row] [--hide-column N]... [--tree] [--tree-risks]\n"
    "  --branch INDEX   only the branch below the item with that Index\n"
    "  --object-row     the assessed object in a row of its own\n"
    "  --hide-column N  hide report column N (0 object, 1 subsystem, 2 hazard, 3-6 P N H R,\n"
    "                   7 measures, 8 note); may be repeated\n"
    "  --tree           add the outline of the project tree\n"
    "  --tree-risks     list the risks in the outline too (with --tree)\n";

struct ReportOptions {
  std::filesystem::path project;
  std::filesystem::path output;
  bool sorted = false;
  std::optional<int32_t> branch;
  bool objectRow = false;
  std::vector<int> hiddenColumns;
  bool tree = false;
  bool treeRisks = false;

  bool ChangesLayout() const { return objectRow || !hiddenColumns.empty() || tree || treeRisks; }
};

struct UsageError {
  std::string text;
};

std::optional<int32_t> ParseInt(const std::string& text) {
  int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  return value;
}

ReportOptions ParseOptions(const std::vector<std::string>& args, const std::string& command) {
  ReportOptions options;
  bool haveProject = false, haveOutput = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
      return args[++i];
    };
    if (arg == command) {
      options.project = value();
      haveProject = true;
    } else if (arg == "--output") {
      options.output = value();
      haveOutput = true;
    } else if (arg == "--sorted") {
      options.sorted = true;
    } else if (arg == "--branch") {
      const std::string& text = value();
      options.branch = ParseInt(text);
      if (!options.branch) throw UsageError{"--branch needs a whole number, not \"" + text + "\""};
    } else if (arg == "--object-row") {
      options.objectRow = true;
    } else if (arg == "--hide-column") {
      const std::string& text = value();
      const auto column = ParseInt(text);
      if (!column || *column < 0 || *column >= kReportColumns) {
        throw UsageError{"--hide-column needs a column number from 0 to 8, not \"" + text + "\""};
      }
      options.hiddenColumns.push_back(*column);
    } else if (arg == "--tree") {
      options.tree = true;
    } else if (arg == "--tree-risks") {
      options.treeRisks = true;
    } else {
      throw UsageError{"unknown argument \"" + arg + "\""};
    }
  }
  if (!haveProject || options.project.empty()) {
    throw UsageError{"no project given (" + command + ")"};
  }
  if (!haveOutput || options.output.empty()) throw UsageError{"no page given (--output)"};
  return options;
}

// The layout dialog driven as a user would: opened, the choices clicked, OK.
void ApplyLayoutChoices(const ReportOptions& options, const Messages& messages,
                        ReportLayout& layout) {
  VzhledRepForm dialog(messages, layout);
  dialog.FormShow();
  for (const int column : options.hiddenColumns) {
    dialog.CheckListBox1.Checked[column] = false;
    dialog.CheckListBox1ClickCheck();
  }
  if (options.objectRow) {
    dialog.RadioGroup1.value = 0;
    dialog.RadioGroup1Click();
  }
  // "Včetně rizik" can only be ticked while "Vytvořit strom" is; without --tree it ends up
  // ticked but switched off, as after unticking "Vytvořit strom" again, and adds nothing.
  dialog.CheckBox1.checked = options.tree || options.treeRisks;
  dialog.CheckBox1Click();
  if (options.treeRisks) dialog.CheckBox2.checked = true;
  dialog.CheckBox1.checked = options.tree;
  dialog.CheckBox1Click();
  dialog.BitBtn1Click();
}

void RunReport(const ReportOptions& options, const Messages& messages,
               const std::filesystem::path& tempDir, const ReportOutputWriter& writeOutput) {
  NullProgress progress;
  CheckProjectFile(options.project, messages);  // before anything is made on disk
  const std::filesystem::path workDir = MakeWorkingDirectory(tempDir);
  struct RemoveOnExit {
    std::filesystem::path dir;
    ~RemoveOnExit() { RemoveWorkingDirectory(dir); }
  } removeWorkDir{workDir};

  LoadProjectFile(options.project, workDir, progress, messages);
  Table data;
  OpenWorkingTable(data, workDir);
  if (options.branch) {
    ClearFilter(data);
    // The tree shows an item for every record and a "$$" item for every missing parent that
    // records name; the window can build the branch of either.
    bool shown = data.Locate(fld::kIndex, *options.branch);
    if (!shown && *options.branch != 0) {
      data.SetFilter("Uplink=" + std::to_string(*options.branch));
      data.SetFiltered(true);
      shown = !data.IsEmpty();
      ClearFilter(data);
    }
    if (!shown) {
      throw Error(W("V projektu není položka s indexem ") + std::to_string(*options.branch) + ".");
    }
  }

  NahledForm preview(data, messages, progress, tempDir);
  preview.ResetLayout();
  if (options.ChangesLayout()) ApplyLayoutChoices(options, messages, preview.Layout());
  preview.OnlySelectCheckBox.checked = options.branch.has_value();
  preview.SortedCheckBox.checked = options.sorted;
  preview.BuildReport(options.branch);
  writeOutput(preview.ReportPagePath(), options.output);
  preview.DiscardReportFiles();
  data.Close();
}

int RunReport(const std::vector<std::string>& args, std::ostream& err, const Messages& messages,
              const std::filesystem::path& tempDir, const ReportOutputWriter& writeOutput,
              const std::string& command, const std::string& usageText) {
  ReportOptions options;
  try {
    options = ParseOptions(args, command);
  } catch (const UsageError& usage) {
    err << "orvenda: " << usage.text << "\n" << usageText;
    return 2;
  }
  try {
    RunReport(options, messages, tempDir, writeOutput);
  } catch (const Error& error) {
    err << "orvenda: " << Cp1250ToUtf8(error.what()) << "\n";
    return 1;
  } catch (const std::exception& error) {
    err << "orvenda: " << error.what() << "\n";
    return 1;
  }
  return 0;
}

int RunReport(const std::vector<std::string>& args, std::ostream& err,
              const ReportOutputWriter& writeOutput, const std::string& command,
              const std::string& usageText) {
  const Messages messages;
  std::error_code ec;
  std::filesystem::path tempDir = std::filesystem::temp_directory_path(ec);
  if (ec) {
    err << "orvenda: no temporary directory: " << ec.message() << "\n";
    return 1;
  }
  return RunReport(args, err, messages, tempDir, writeOutput, command, usageText);
}

}  // namespace

int RunReportCommand(const std::vector<std::string>& args, std::ostream& err,
                     const Messages& messages, const std::filesystem::path& tempDir) {
  return RunReport(args, err, messages, tempDir, CopyPageFile, "--report", kUsage);
}

int RunReportCommand(const std::vector<std::string>& args, std::ostream& err) {
  return RunReport(args, err, CopyPageFile, "--report", kUsage);
}

int RunReportCommand(const std::vector<std::string>& args, std::ostream& err,
                     const std::string& command, const ReportOutputWriter& writeOutput,
                     const std::string& usage) {
  return RunReport(args, err, writeOutput, command, usage);
}

}  // namespace orvenda
