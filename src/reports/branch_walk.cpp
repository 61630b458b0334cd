#include "reports/branch_walk.h"

#include <unordered_set>
#include <utility>
#include <vector>

#include "model/project_table.h"

namespace orvenda {
namespace {

// The texts of a record and its ancestors, top level first. The walk stops at a missing
// record and at one it has already passed, so a damaged chain cannot make it loop.
std::vector<std::string> PathTexts(Table& project, int32_t index) {
  ClearFilter(project);
  std::vector<std::string> upward;
  std::unordered_set<int32_t> seen;
  while (index != 0 && seen.insert(index).second) {
    if (!project.Locate(fld::kIndex, index)) break;
    upward.push_back(project.GetText(fld::kText));
    index = project.GetInt(fld::kUpLink);
  }
  return {upward.rbegin(), upward.rend()};
}

// A path as the rows of a branch need it: `full` joins every text, `shown` leaves out the
// empty texts at the end (an unnamed node adds no " / " until a named one follows).
struct BranchPath {
  std::string full;
  std::string shown;
};

BranchPath JoinPath(const std::vector<std::string>& texts) {
  BranchPath path;
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) path.full += " / ";
    path.full += texts[i];
    if (!texts[i].empty()) path.shown = path.full;
  }
  return path;
}

struct ChildNode {
  int32_t index;
  std::string text;
};

std::vector<ChildNode> ChildNodesOf(Table& project, int32_t parent) {
  std::vector<ChildNode> nodes;
  project.SetFilter(ChildNodesFilter(parent));
  project.SetFiltered(true);
  for (project.First(); !project.Eof(); project.Next()) {
    nodes.push_back({project.GetInt(fld::kIndex), project.GetText(fld::kText)});
  }
  return nodes;
}

}  // namespace

std::string ReportPathText(Table& project, int32_t index) {
  return JoinPath(PathTexts(project, index)).shown;
}

bool WalkBranch(Table& project, int32_t parent, BranchVisitor& visitor) {
  ClearFilter(project);
  struct Level {
    int32_t index;
    BranchPath path;
    std::vector<ChildNode> children;
    size_t next = 0;
  };
  const bool wholeProject = parent == 0;
  std::unordered_set<int32_t> seen{0, parent};  // a damaged table may loop
  std::vector<Level> stack;
  // Below a missing record (a "$$" item of the tree) the paths start afresh, as they do at
  // the top level.
  const std::vector<std::string> rootTexts =
      wholeProject ? std::vector<std::string>() : PathTexts(project, parent);
  const bool freshPaths = wholeProject || rootTexts.empty();
  stack.push_back({parent, JoinPath(rootTexts), ChildNodesOf(project, parent)});
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next < level.children.size()) {
      ChildNode child = std::move(level.children[level.next++]);
      if (!seen.insert(child.index).second) continue;
      BranchPath path;
      path.full =
          (freshPaths && stack.size() == 1) ? child.text : level.path.full + " / " + child.text;
      path.shown = child.text.empty() ? level.path.shown : path.full;
      std::vector<ChildNode> grandchildren = ChildNodesOf(project, child.index);
      stack.push_back({child.index, std::move(path), std::move(grandchildren)});
      continue;
    }
    project.SetFilter(ChildRisksFilter(level.index));
    project.SetFiltered(true);
    project.First();
    if (!project.Eof()) {
      const std::string pathText = level.path.shown;
      if (visitor.Stop()) break;
      visitor.Object(pathText);
      for (; !project.Eof(); project.Next()) {
        if (visitor.Stop()) break;
        visitor.Risk(pathText);
      }
      if (!project.Eof()) break;
    }
    stack.pop_back();
  }
  ClearFilter(project);
  return stack.empty();
}

bool BranchExists(Table& project, int32_t index) {
  if (index == 0) return true;
  ClearFilter(project);
  bool shown = project.Locate(fld::kIndex, index);
  if (!shown) {
    project.SetFilter("Uplink=" + std::to_string(index));
    project.SetFiltered(true);
    shown = !project.IsEmpty();
    ClearFilter(project);
  }
  return shown;
}

}  // namespace orvenda
