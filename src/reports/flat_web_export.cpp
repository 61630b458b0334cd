#include "reports/flat_web_export.h"

#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "model/project_table.h"
#include "reports/report_page.h"

namespace orvenda {
namespace {

// A node of the branch in the order of the page, with what its line needs.
struct FlatNode {
  std::string text;
  int depth;           // 0 for the nodes directly below the branch's parent
  int parent;          // position of the parent node in the list, -1 at the top
  int count;           // risks of the node alone, then of its whole branch
  bool hasChildNodes;  // gets the blue entry and a nested list
};

int RiskCount(Table& project, int32_t parent) {
  project.SetFilter(ChildRisksFilter(parent));
  project.SetFiltered(true);
  return project.RecordCount();
}

}  // namespace

WebBranch ExportDataWeb(Table& project, int32_t parent, int indent) {
  // The count of a branch stands in its first line, before the branch is written: the nodes
  // are collected first (one pass over the tree, no nested texts copied up level by level),
  // the counts summed from the leaves up, and the lines written in one go.
  struct Pending {
    int32_t index;
    std::string text;
  };
  struct Level {
    int owner;  // position of the node whose children these are, -1 for the branch's parent
    std::vector<Pending> nodes;
    size_t next = 0;
  };
  auto children = [&](int32_t of, int owner) {
    Level level{owner, {}};
    project.SetFilter(ChildNodesFilter(of));
    project.SetFiltered(true);
    for (project.First(); !project.Eof(); project.Next()) {
      level.nodes.push_back({project.GetInt(fld::kIndex), project.GetText(fld::kText)});
    }
    return level;
  };

  ClearFilter(project);
  std::vector<FlatNode> nodes;
  int topRisks = RiskCount(project, parent);
  std::unordered_set<int32_t> seen{parent};  // a damaged table may loop
  std::vector<Level> stack;
  stack.push_back(children(parent, -1));
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next == level.nodes.size()) {
      stack.pop_back();
      continue;
    }
    Pending node = std::move(level.nodes[level.next++]);
    if (!seen.insert(node.index).second) continue;
    const int owner = level.owner;
    const int position = static_cast<int>(nodes.size());
    if (owner >= 0) nodes[owner].hasChildNodes = true;
    nodes.push_back({std::move(node.text), static_cast<int>(stack.size()) - 1, owner,
                     RiskCount(project, node.index), false});
    stack.push_back(children(node.index, position));
  }
  ClearFilter(project);

  WebBranch branch;
  branch.count = topRisks;
  for (size_t i = nodes.size(); i-- > 0;) {
    if (nodes[i].parent >= 0) {
      nodes[nodes[i].parent].count += nodes[i].count;
    } else {
      branch.count += nodes[i].count;
    }
  }

  std::string& text = branch.text;
  auto line = [&text](int blanks, std::string_view body) {
    text.append(static_cast<size_t>(blanks > 0 ? blanks : 0), ' ');
    text += body;
    text += "\r\n";
  };
  std::vector<int> open;  // depths of the entries whose nested list is still open
  auto closeTo = [&](int depth) {
    while (!open.empty() && open.back() >= depth) {
      const int blanks = indent + 4 * open.back();
      line(blanks + 2, "</ul>");
      line(blanks, "</li>");
      open.pop_back();
    }
  };
  for (const FlatNode& node : nodes) {
    closeTo(node.depth);
    const int blanks = indent + 4 * node.depth;
    const std::string count = "</b><small> (" + std::to_string(node.count) + ") </small>";
    if (node.hasChildNodes) {
      line(blanks, "<li><b><font color=\"#0000FF\">" + node.text + "</font>" + count);
      line(blanks + 2, "<ul>");
      open.push_back(node.depth);
    } else {
      line(blanks, "<li><b>" + node.text + count + "</li>");
    }
  }
  closeTo(0);
  return branch;
}

void WriteFlatWebPage(Table& project, const Messages& messages, const std::filesystem::path& file) {
  PageFile page(file);
  page.WriteLine("<html>");
  page.WriteLine("<head>");
  page.WriteLine("<meta http-equiv=\"Content-Language\" content=\"cs\">");
  page.WriteLine("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1250\">");
  page.WriteLine("<meta name=\"GENERATOR\" content=\"Orvenda\">");
  page.WriteLine("<title>" + messages.Get(33) + "</title>");
  page.WriteLine("</head>");
  page.WriteLine("<body>");
  page.WriteLine("<ul>");
  ClearFilter(project);
  // The text ends in a line break of its own, so an empty line follows it.
  page.WriteLine(ExportDataWeb(project, 0, 2).text);
  page.WriteLine("</ul>");
  page.WriteLine("</body>");
  page.WriteLine("</html>");
  page.Commit();
}

}  // namespace orvenda
