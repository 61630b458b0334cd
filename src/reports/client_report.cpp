#include "reports/client_report.h"

#include <algorithm>
#include <ctime>
#include <unordered_set>
#include <utility>

#include "base/error.h"
#include "base/messages.h"
#include "model/project_table.h"
#include "model/risk.h"
#include "reports/nahled_form.h"

namespace orvenda {
namespace {

struct ChildNode {
  int32_t index;
  std::string text;
};

// Reads the children of nodes through the parent-and-type filters, which cost no scan.
class BranchReader {
 public:
  explicit BranchReader(Table& project)
      : project_(project),
        index_(project.FieldNumber(fld::kIndex)),
        text_(project.FieldNumber(fld::kText)),
        source_(project.FieldNumber(fld::kSource)),
        ident_(project.FieldNumber(fld::kIdent)),
        opatreni_(project.FieldNumber(fld::kOpatreni)),
        comment_(project.FieldNumber(fld::kComment)),
        p_(project.FieldNumber(fld::kPravdep)),
        n_(project.FieldNumber(fld::kNasledky)),
        h_(project.FieldNumber(fld::kHodnocen)) {}

  std::vector<ChildNode> Nodes(int32_t parent) {
    std::vector<ChildNode> nodes;
    project_.SetFilter(ChildNodesFilter(parent));
    project_.SetFiltered(true);
    for (project_.First(); !project_.Eof(); project_.Next()) {
      nodes.push_back({project_.GetInt(index_), std::string(project_.TextView(text_))});
    }
    return nodes;
  }

  std::vector<ClientRisk> Risks(int32_t parent, const std::string& path) {
    std::vector<ClientRisk> risks;
    project_.SetFilter(ChildRisksFilter(parent));
    project_.SetFiltered(true);
    for (project_.First(); !project_.Eof(); project_.Next()) {
      ClientRisk risk;
      risk.index = project_.GetInt(index_);
      risk.path = path;
      risk.text = project_.TextView(text_);
      risk.source = project_.TextView(source_);
      risk.ident = project_.TextView(ident_);
      risk.opatreni = project_.TextView(opatreni_);
      risk.comment = project_.TextView(comment_);
      risk.p = project_.GetInt(p_);
      risk.n = project_.GetInt(n_);
      risk.h = project_.GetInt(h_);
      risk.level = RiskLevel(risk.p, risk.n, risk.h);
      risk.band = RatedBand(risk.level);
      risks.push_back(std::move(risk));
    }
    return risks;
  }

 private:
  Table& project_;
  int index_, text_, source_, ident_, opatreni_, comment_, p_, n_, h_;
};

// A child's path: an unnamed node adds no " / " of its own.
std::string ChildPath(const std::string& parentPath, const std::string& text) {
  if (text.empty()) return parentPath;
  return parentPath.empty() ? text : parentPath + " / " + text;
}

std::string Join(const std::vector<std::string>& parts, const std::string& separator) {
  std::string joined;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!joined.empty()) joined += separator;
    joined += part;
  }
  return joined;
}

void Count(ClientReport& report, ClientSummaryRow& row, const ClientRisk& risk) {
  ++row.counts[risk.band];
  ++report.total.counts[risk.band];
  ++report.riskCount;
  if (risk.p < 1 || risk.p > 5 || risk.n < 1 || risk.n > 5) {
    ++report.matrix.leftOut;
    return;
  }
  int& count = report.matrix.count[risk.p - 1][risk.n - 1];
  int& band = report.matrix.band[risk.p - 1][risk.n - 1];
  band = count == 0 ? risk.band : std::max(band, risk.band);
  ++count;
}

}  // namespace

int ClientSummaryRow::Total() const {
  int total = 0;
  for (const int count : counts) total += count;
  return total;
}

int ClientMatrix::Total() const {
  int total = 0;
  for (const auto& row : count) {
    for (const int cell : row) total += cell;
  }
  return total;
}

ClientReportTexts ClientReportTextsFrom(const Messages& messages) {
  ClientReportTexts texts;
  const Messages& m = messages;
  texts.title = m.Get(21);
  for (int band = 1; band <= 5; ++band) texts.category[band] = m.Get(band);
  texts.object = m.Get(33);
  texts.source = m.Get(42);
  for (int i = 0; i < 4; ++i) texts.letter[i] = m.Get(44 + i);
  texts.note = m.Get(49);
  texts.legend = m.Get(50);
  for (int i = 0; i < 4; ++i) texts.scaleTitle[i] = m.Get(51 + i);
  for (int scale = 0; scale < 3; ++scale) {
    for (int value = 0; value < 5; ++value) {
      texts.scaleValue[scale][value] = m.Get(55 + 5 * scale + value);
    }
  }
  texts.measures = m.Get(72);
  texts.hazard = m.Get(92);
  texts.description = m.Get(93);
  texts.categoryColumn = m.Get(94);
  texts.unrated = m.Get(97);
  texts.category[0] = texts.unrated;
  texts.total = m.Get(99);
  int n = 298;
  for (std::string* text :
       {&texts.clientLabel,    &texts.objectLabel,     &texts.assessorLabel, &texts.dateLabel,
        &texts.projectLabel,   &texts.riskCountLabel,  &texts.preparedBy,    &texts.receivedBy,
        &texts.summaryHeading, &texts.summaryCaption,  &texts.matrixHeading, &texts.matrixCaption,
        &texts.matrixLeftOut,  &texts.registerHeading, &texts.number,        &texts.noRisks,
        &texts.topLevelRisks,  &texts.unratedNote,     &texts.page,          &texts.writing,
        &texts.pageOf}) {
    *text = m.Get(n++);
  }
  texts.signedOn = texts.dateLabel;
  return texts;
}

ClientReport BuildClientReport(Table& project, const Messages& messages,
                               const ClientReportOptions& options, const std::string& projectName) {
  ClientReport report;
  report.texts = ClientReportTextsFrom(messages);
  report.options = options;
  report.projectName = projectName;
  report.byLevel = options.order == ClientReportOrder::ByLevel;
  const ClientReportTexts& texts = report.texts;

  // The scope: the whole project, a node's branch, or the branch below an Index that records
  // name as their parent although it has no record (the tree shows a "$$" item for it).
  ClearFilter(project);
  const int32_t root = options.branch.value_or(0);
  std::string rootPath;     // its path text
  std::string rootCaption;  // its own Text
  if (root != 0) {
    if (project.Locate(fld::kIndex, root)) {
      if (project.GetInt(fld::kType) != kNodeType) {
        throw Error(Msg(319, {std::to_string(root)}));
      }
      rootCaption = project.GetText(fld::kText);
      rootPath = ReportPathText(project, root);
    } else {
      project.SetFilter("Uplink=" + std::to_string(root));
      project.SetFiltered(true);
      const bool named = !project.IsEmpty();
      ClearFilter(project);
      if (!named) {
        throw Error(Msg(114, {std::to_string(root)}));
      }
    }
  }

  BranchReader reader(project);
  std::vector<ClientSection> sections;
  auto addSection = [&](std::string heading, std::vector<ClientRisk> risks, size_t row) {
    for (const ClientRisk& risk : risks) Count(report, report.summary[row], risk);
    sections.push_back({std::move(heading), std::move(risks)});
  };

  // The root's own risks first, then the branches of its child nodes, each a summary row.
  std::vector<ClientRisk> rootRisks = reader.Risks(root, rootPath);
  if (!rootRisks.empty()) {
    report.summary.push_back(
        {root == 0 || rootCaption.empty() ? texts.topLevelRisks : rootCaption, {}});
    addSection(rootPath.empty() ? texts.topLevelRisks : rootPath, std::move(rootRisks), 0);
  }
  struct Pending {
    int32_t index;
    std::string path;
    size_t row;
  };
  std::vector<Pending> stack;
  std::unordered_set<int32_t> seen{0, root};  // a damaged table may loop
  std::vector<std::string> topCaptions;
  {
    std::vector<ChildNode> children = reader.Nodes(root);
    std::vector<Pending> top;
    for (ChildNode& child : children) {
      if (!seen.insert(child.index).second) continue;
      topCaptions.push_back(child.text);
      report.summary.push_back({child.text, {}});
      top.push_back({child.index, ChildPath(rootPath, child.text), report.summary.size() - 1});
    }
    stack.assign(top.rbegin(), top.rend());
  }
  // Pre-order: a node's section comes before those of its descendants, siblings in ascending
  // Index. The stack is our own, so a deep tree cannot exhaust the call stack.
  while (!stack.empty()) {
    Pending node = std::move(stack.back());
    stack.pop_back();
    std::vector<ClientRisk> risks = reader.Risks(node.index, node.path);
    if (!risks.empty()) addSection(node.path, std::move(risks), node.row);
    std::vector<ChildNode> children = reader.Nodes(node.index);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      if (!seen.insert(it->index).second) continue;
      stack.push_back({it->index, ChildPath(node.path, it->text), node.row});
    }
  }
  ClearFilter(project);

  if (report.byLevel) {
    ClientSection all;
    for (ClientSection& section : sections) {
      for (ClientRisk& risk : section.risks) all.risks.push_back(std::move(risk));
    }
    std::stable_sort(all.risks.begin(), all.risks.end(),
                     [](const ClientRisk& a, const ClientRisk& b) { return a.level > b.level; });
    for (size_t i = 0; i < all.risks.size(); ++i) all.risks[i].number = std::to_string(i + 1);
    report.sections.push_back(std::move(all));
  } else {
    for (size_t s = 0; s < sections.size(); ++s) {
      for (size_t r = 0; r < sections[s].risks.size(); ++r) {
        sections[s].risks[r].number = std::to_string(s + 1) + "." + std::to_string(r + 1);
      }
    }
    report.sections = std::move(sections);
  }

  if (report.options.title.empty()) report.options.title = texts.title;
  if (report.options.date.empty()) report.options.date = TodayCzechDate();
  if (report.options.object.empty()) {
    report.options.object = root == 0 ? Join(topCaptions, ", ") : rootPath;
  }
  return report;
}

std::string CzechDate(int year, int month, int day) {
  return std::to_string(day) + ". " + std::to_string(month) + ". " + std::to_string(year);
}

std::string TodayCzechDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return CzechDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

}  // namespace orvenda
