#include "app/report_command.h"
#include "app/batch_project.h"
#include "base/messages.h"

#include <CLI/CLI.hpp>
#include <system_error>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/progress.h"
#include "base/safe_output.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "model/project_table.h"
#include "model/table.h"
#include "reports/nahled_form.h"
#include "reports/report_page.h"
#include "reports/vzhled_rep_form.h"

namespace orvenda {
namespace {

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
  RefuseOutputOverInputs(options.output, {options.project});
  BatchProject project(options.project, tempDir, messages, progress);
  Table& data = project.Data();
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
      throw Error(Msg(114, {std::to_string(*options.branch)}));
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
}

}  // namespace

void DeclareReportOptions(CLI::App& group, ReportOptions& options, const std::string& command,
                          const std::string& outputValue, const std::string& outputHelp) {
  AddPathOption(group, command, options.project, "PROJECT",
                "the project (.RSK, or the older .RZK or a .ZLB backup)");
  AddPathOption(group, "--output", options.output, outputValue, outputHelp)->required();
  group.add_flag("--sorted", options.sorted, "the risks sorted by their level, highest first");
  AddNumberOption(group, "--branch", options.branch, "INDEX",
                  "only the branch below the item with that Index");
  group.add_flag("--object-row", options.objectRow, "the assessed object in a row of its own");
  group
      .add_option_function<std::vector<std::string>>(
          "--hide-column",
          [&options](const std::vector<std::string>& texts) {
            options.hiddenColumns.clear();
            for (const std::string& text : texts) {
              const int32_t column = NumberValue("--hide-column", text, 0);
              if (column >= kReportColumns) {
                throw CLI::ValidationError("--hide-column", "needs a column number from 0 to " +
                                                                std::to_string(kReportColumns - 1) +
                                                                ", not \"" + text + "\"");
              }
              options.hiddenColumns.push_back(column);
            }
          },
          "hide report column N (0 object, 1 subsystem, 2 hazard, 3-6 P N H R, 7 measures, "
          "8 note); may be repeated")
      ->type_name("N")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  group.add_flag("--tree", options.tree, "add the outline of the project tree");
  group.add_flag("--tree-risks", options.treeRisks,
                 "list the risks in the outline too (with --tree)");
}

int RunReportCommand(const ReportOptions& options, const BatchContext& context,
                     const ReportOutputWriter& writeOutput) {
  return RunInTempDir(context, [&](const std::filesystem::path& tempDir) {
    RunReport(options, context.messages, tempDir, writeOutput);
  });
}

int RunReportCommand(const ReportOptions& options, const BatchContext& context) {
  return RunReportCommand(options, context, CopyPageFile);
}

BatchCommand ReportCommand() {
  return MakeBatchCommand<ReportOptions>(
      "--report", "writes the report page exactly as the preview would",
      [](CLI::App& group, ReportOptions& options) {
        DeclareReportOptions(group, options, "--report", "PAGE.htm", "the page written");
      },
      [](const ReportOptions& options, const BatchContext& context) {
        return RunReportCommand(options, context);
      });
}

}  // namespace orvenda
