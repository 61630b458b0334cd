#include "app/find_command.h"

#include <CLI/CLI.hpp>
#include <vector>

#include "app/headless_tree_control.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/progress.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "model/node_sums.h"
#include "model/project_table.h"
#include "model/text_match.h"
#include "model/tree_builder.h"

namespace orvenda {
namespace {

// Whether a risk of `band` passes the category option.
bool InCategory(const std::optional<int>& category, int band) {
  if (!category) return true;
  if (*category == 0) return band == 0;
  return band >= *category;
}

void Find(const FindOptions& options, std::ostream& out) {
  NullProgress progress;
  Messages messages;
  const std::filesystem::path tempDir =
      options.tempDir.empty() ? std::filesystem::temp_directory_path() : options.tempDir;
  CheckProjectFile(options.project, messages);
  const std::filesystem::path workDir = MakeWorkingDirectory(tempDir);
  struct RemoveOnExit {
    std::filesystem::path dir;
    ~RemoveOnExit() { RemoveWorkingDirectory(dir); }
  } removeWorkDir{workDir};
  LoadProjectFile(options.project, workDir, progress, messages);

  Table data;
  NodeSums sums(data);
  OpenWorkingTable(data, workDir, options.project);
  HeadlessTreeControl tree;
  tMyNodeIndexes lookup;
  BuildTree(tree, data, lookup, progress, messages);
  RecordTexts texts;
  texts.Build(data);
  const TextMatcher matcher(Utf8ToCp1250(options.text),
                            {.wholeWords = options.wholeWords, .diacritics = options.diacritics});

  // Depth first in tree order; `path` holds the captions above the item on top of the stack.
  struct Pending {
    TreeControl::Item item;
    size_t depth;
  };
  std::vector<Pending> pending;
  std::vector<std::string> path;
  const auto pushChildren = [&](TreeControl::Item parent, size_t depth) {
    const std::vector<TreeControl::Item> children = tree.Children(parent);
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back({*it, depth});
  };
  pushChildren(nullptr, 0);
  while (!pending.empty()) {
    const Pending at = pending.back();
    pending.pop_back();
    path.resize(at.depth);
    const int32_t index = tree.Data(at.item);
    const bool risk = tree.Image(at.item) == TreeControl::kRisk;
    if ((!options.category || risk) && InCategory(options.category, sums.RiskBandOf(index)) &&
        texts.Matches(index, matcher)) {
      std::string line = std::to_string(index) + "\t";
      for (size_t i = 0; i < path.size(); ++i) line += (i == 0 ? "" : " / ") + path[i];
      out << line << "\t" << Cp1250ToUtf8(tree.Caption(at.item)) << "\n";
    }
    path.push_back(Cp1250ToUtf8(tree.Caption(at.item)));
    pushChildren(at.item, at.depth + 1);
  }
  data.Close();
}

}  // namespace

int RunFind(const FindOptions& options, std::ostream& out, std::ostream& err) {
  if (options.category && (*options.category < 0 || *options.category > 5)) {
    err << "orvenda: --category: 0..5\n";
    return 2;
  }
  return RunReportingErrors(err, [&] { Find(options, out); });
}

void DeclareFindOptions(CLI::App& group, FindOptions& options) {
  AddValuesOption(group, "--find", 2, "PROJECT TEXT",
                  "the project (.RSK, .RZK or .ZLB) and the text to find in every text field",
                  [&options](const std::vector<std::string>& values) {
                    options.project = PathValue("--find", values[0]);
                    options.text = values[1];
                  });
  AddNumberOption(group, "--category", options.category, "N",
                  "only risks of category N and above (1..5); 0: only the unrated ones", 0);
  group.add_flag("--whole-words", options.wholeWords, "whole words only");
  group.add_flag("--diacritics", options.diacritics, "accented letters differ from plain ones");
}

BatchCommand FindCommand() {
  return MakeBatchCommand<FindOptions>(
      "--find",
      "prints the records whose texts hold TEXT, as the find bar finds them, in tree order: "
      "Index, path and caption",
      DeclareFindOptions, [](const FindOptions& options, const BatchContext& context) {
        FindOptions run = options;
        if (run.tempDir.empty()) run.tempDir = context.tempDir;
        return RunFind(run, context.out, context.err);
      });
}

}  // namespace orvenda
