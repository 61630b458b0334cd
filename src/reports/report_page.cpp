#include "reports/report_page.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <unordered_set>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "model/project_table.h"
#include "model/risk.h"

namespace orvenda {
namespace {

constexpr char kCr = '\r';

// Header texts of the nine columns (message numbers).
constexpr int kHeaderMessage[kReportColumns] = {33, 42, 70, 44, 45, 46, 47, 72, 49};
constexpr int kGroupHeaderMessage = 71;

std::string DecimalOrEmpty(const Table& table, const char* field) {
  return table.IsNull(field) ? std::string() : std::to_string(table.GetInt(field));
}

// HtmlCellText of `text`, appended to `out`.
void AppendCellText(std::string& out, std::string_view text) {
  if (text.empty()) {
    out += "&nbsp;";
    return;
  }
  // The next CR and LF are each looked for with memchr, and only again once passed: a report
  // of many long notes spends its time here.
  const char* at = text.data();
  const char* const end = at + text.size();
  const auto next = [end](const char* from, char c) {
    const void* found = std::memchr(from, c, static_cast<size_t>(end - from));
    return found == nullptr ? end : static_cast<const char*>(found);
  };
  const char* cr = next(at, '\r');
  const char* lf = next(at, '\n');
  for (;;) {
    const char* stop = std::min(cr, lf);
    out.append(at, static_cast<size_t>(stop - at));
    if (stop == end) break;
    if (stop == cr) {
      out += " <br>";
      cr = next(stop + 1, '\r');
    } else {
      lf = next(stop + 1, '\n');
    }
    at = stop + 1;
  }
}

void AppendCellContent(std::string& out, int column, const std::string& pathText,
                       const Table& project) {
  switch (column) {
    case kObjectColumn:
      return AppendCellText(out, pathText);
    case kSourceColumn:
      // Stored HTML fragments of the subsystem go to the page untouched, even when empty.
      out += project.TextView(fld::kSource);
      return;
    case kIdentColumn:
      return AppendCellText(out, project.TextView(fld::kIdent));
    case kPColumn:
      return AppendCellText(out, DecimalOrEmpty(project, fld::kPravdep));
    case kNColumn:
      return AppendCellText(out, DecimalOrEmpty(project, fld::kNasledky));
    case kHColumn:
      return AppendCellText(out, DecimalOrEmpty(project, fld::kHodnocen));
    case kRColumn:
      return AppendCellText(out, std::to_string(RiskLevel(project)));
    case kOpatreniColumn:
      return AppendCellText(out, project.TextView(fld::kOpatreni));
    default:
      return AppendCellText(out, project.TextView(fld::kComment));
  }
}

std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

std::string HtmlCellText(std::string_view text) {
  if (text.empty()) return "&nbsp;";
  std::string cell;
  cell.reserve(text.size() + 8);
  for (const char c : text) {
    if (c == '\n') continue;
    if (c == '\r') {
      cell += " <br>";
    } else {
      cell += c;
    }
  }
  return cell;
}

std::string ReportRowHtml(int kind, const std::string& pathText, const Table& project,
                          const ReportLayout& layout) {
  std::string row;
  row.reserve(1024);
  auto line = [&row](std::string_view text) {
    row += text;
    row += kCr;
  };
  line("  <tr>");
  if (kind == kObjectRow) {
    line("    <td width=\"100%\" colspan=\"" + std::to_string(layout.ObjectRowColspan) +
         "\"><font size=\"1\">");
    line(layout.ObjectInOwnRow ? HtmlCellText(pathText) : std::string("&nbsp;"));
    line("    </font></td>");
  } else {
    for (int column = 0; column < kReportColumns; ++column) {
      const int share = layout.ColumnPercent[column];
      if (share == 0) continue;
      row += "    <td width=\"";
      row += std::to_string(share);
      line("%\" valign=\"top\"><font size=\"1\">");
      AppendCellContent(row, column, pathText, project);
      row += kCr;
      line("    </font></td>");
    }
  }
  line("  </tr>");
  return row;
}

// --- PageFile --------------------------------------------------------------------------------

PageFile::PageFile(std::filesystem::path target, bool durable)
    : target_(std::move(target)), durable_(durable) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100 && file_ == nullptr; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    temp_ = target_;
    temp_ += suffix;
    // "x": never take over a file that someone else made in the meantime.
    file_ = std::fopen(temp_.c_str(), "wbx");
    if (file_ == nullptr && errno != EEXIST) break;
  }
  if (file_ == nullptr) {
    const std::string reason = ErrnoText();
    temp_.clear();
    throw Error(Msg(241, {PathToText(target_), reason}));
  }
}

PageFile::~PageFile() {
  if (file_ != nullptr) {
    std::fclose(file_);
    std::error_code ec;
    std::filesystem::remove(temp_, ec);
  }
}

void PageFile::Fail(int message) {
  const std::string reason = ErrnoText();
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  std::error_code ec;
  std::filesystem::remove(temp_, ec);
  throw Error(Msg(message, {PathToText(target_), reason}));
}

void PageFile::WriteLine(std::string_view line) {
  buffer_ += line;
  buffer_ += "\r\n";
  if (buffer_.size() >= (1u << 20)) Flush();
}

void PageFile::Write(std::string_view bytes) {
  buffer_ += bytes;
  if (buffer_.size() >= (1u << 20)) Flush();
}

void PageFile::Flush() {
  if (file_ == nullptr) throw Error(Msg(243, {PathToText(target_)}));
  if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
    Fail(242);
  }
  buffer_.clear();
}

void PageFile::Commit() {
  Flush();
  if (std::fflush(file_) != 0) Fail(242);
  if (durable_) {
#ifdef _WIN32
    const int synced = _commit(_fileno(file_));
#else
    const int synced = fsync(fileno(file_));
#endif
    if (synced != 0) Fail(242);
  }
  std::FILE* file = std::exchange(file_, nullptr);
  if (std::fclose(file) != 0) {
    const std::string reason = ErrnoText();
    std::error_code ec;
    std::filesystem::remove(temp_, ec);
    throw Error(Msg(242, {PathToText(target_), reason}));
  }
  std::error_code ec;
  std::filesystem::rename(temp_, target_, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temp_, ignored);
    throw Error(Msg(244, {PathToText(target_), ec.message()}));
  }
}

void CopyPageFile(const std::filesystem::path& source, const std::filesystem::path& target) {
  std::FILE* in = std::fopen(source.c_str(), "rb");
  if (in == nullptr) {
    throw Error(Msg(245, {PathToText(source), ErrnoText()}));
  }
  try {
    PageFile page(target, /*durable=*/true);
    std::vector<char> chunk(1 << 16);
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
      page.Write(std::string_view(chunk.data(), n));
    }
    if (std::ferror(in)) {
      throw Error(Msg(246, {PathToText(source), ErrnoText()}));
    }
    page.Commit();
  } catch (...) {
    std::fclose(in);
    throw;
  }
  std::fclose(in);
}

// --- Page pieces -----------------------------------------------------------------------------

void WritePageHead(PageFile& page) {
  page.WriteLine("<html>");
  page.WriteLine("<head>");
  page.WriteLine("<meta http-equiv=\"Content-Language\" content=\"cs\">");
  page.WriteLine("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1250\">");
  page.WriteLine("<meta name=\"GENERATOR\" content=\"Orvenda\">");
  page.WriteLine("<title>Orvenda</title>");
  page.WriteLine("</head>");
  page.WriteLine("<body>");
}

void WriteHeaderRows(PageFile& page, const ReportLayout& layout, const Messages& messages) {
  const auto& share = layout.ColumnPercent;
  int rated = 0;     // rating columns wider than 0
  int ratedSum = 0;  // their group's width
  for (int column = kPColumn; column <= kRColumn; ++column) {
    if (share[column] > 0) ++rated;
    ratedSum += share[column];
  }
  const char* cellTail =
      rated > 0 ? "%\" rowspan=\"2\"><font size=\"1\">" : "%\"><font size=\"1\">";
  auto headerCell = [&](int column) {
    if (share[column] == 0) return;
    page.WriteLine("    <td width=\"" + std::to_string(share[column]) + cellTail +
                   messages.Get(kHeaderMessage[column]) + "</font></td>");
  };

  page.WriteLine("  <tr>");
  for (int column = kObjectColumn; column <= kIdentColumn; ++column) headerCell(column);
  if (ratedSum != 0) {
    page.WriteLine("    <td width=\"" + std::to_string(ratedSum) + "%\" colspan=\"" +
                   std::to_string(rated) + "\"><font size=\"1\">" +
                   messages.Get(kGroupHeaderMessage) + "</font></td>");
  }
  headerCell(kOpatreniColumn);
  headerCell(kCommentColumn);
  page.WriteLine("  </tr>");

  page.WriteLine("  <tr>");
  for (int column = kPColumn; column <= kRColumn; ++column) {
    if (share[column] == 0) continue;
    page.WriteLine("    <td width=\"" + std::to_string(share[column]) + "%\"><font size=\"1\">" +
                   messages.Get(kHeaderMessage[column]) + "</font></td>");
  }
  page.WriteLine("  </tr>");
}

namespace {

struct OutlineNode {
  int32_t index;
  std::string text;
};

std::vector<OutlineNode> ChildNodes(Table& project, int32_t parent) {
  std::vector<OutlineNode> nodes;
  project.SetFilter(ChildNodesFilter(parent));
  project.SetFiltered(true);
  for (project.First(); !project.Eof(); project.Next()) {
    nodes.push_back({project.GetInt(fld::kIndex), project.GetText(fld::kText)});
  }
  return nodes;
}

bool HasRisks(Table& project, int32_t parent) {
  project.SetFilter(ChildRisksFilter(parent));
  project.SetFiltered(true);
  return !project.IsEmpty();
}

}  // namespace

void WriteTreeLines(PageFile& page, Table& project, const ReportLayout& layout, int32_t parent,
                    const std::string& prefix) {
  const std::string kTee = "&#9500;", kBar = "&#9474;", kCorner = "&#9492;";
  const std::string kDown = "&#9516;", kDash = "&#9472;", kPad = "&nbsp;&nbsp;&nbsp;";
  const bool withRisks = layout.TreeWithRisks;

  // One level of the outline; levels are kept on a stack of our own so that a deep tree
  // cannot exhaust the call stack.
  struct Level {
    int32_t parent;
    std::string prefix;
    std::vector<OutlineNode> nodes;
    size_t next = 0;
    bool hasRisks = false;
  };
  ClearFilter(project);
  std::unordered_set<int32_t> seen{parent};  // a damaged table may loop
  std::vector<Level> stack;
  stack.push_back(
      {parent, prefix, ChildNodes(project, parent), 0, withRisks && HasRisks(project, parent)});
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next < level.nodes.size()) {
      const OutlineNode node = std::move(level.nodes[level.next++]);
      if (!seen.insert(node.index).second) continue;
      std::string connector, continuation;
      if (level.parent != 0) {
        const bool more = level.next < level.nodes.size() || level.hasRisks;
        connector = more ? kTee : kCorner;
        continuation = more ? kBar : kPad;
      }
      std::vector<OutlineNode> children = ChildNodes(project, node.index);
      const bool nodeHasRisks = withRisks && HasRisks(project, node.index);
      const std::string mark = (!children.empty() || nodeHasRisks) ? kDown : kDash;
      page.WriteLine(level.prefix + connector + mark + " " + node.text + "<br>");
      std::string childPrefix = level.prefix + continuation;
      stack.push_back({node.index, std::move(childPrefix), std::move(children), 0, nodeHasRisks});
      continue;
    }
    if (level.hasRisks) {
      project.SetFilter(ChildRisksFilter(level.parent));
      project.SetFiltered(true);
      project.First();
      while (!project.Eof()) {
        const std::string text = project.GetText(fld::kText);
        project.Next();
        const bool last = project.Eof();
        page.WriteLine(level.prefix + (last ? kCorner : kTee) + kDash + " &#9650; " + text +
                       "<br>");
      }
    }
    stack.pop_back();
  }
  ClearFilter(project);
}

void WriteTreeSection(PageFile& page, Table& project, const ReportLayout& layout) {
  page.WriteLine("</table>");
  page.WriteLine("<table border=\"0\" width=\"100%\" cellspacing=\"1\">");
  page.WriteLine("  <tr>");
  page.WriteLine("    <td><font size=\"2\" face=\"Times New Roman\">");
  page.WriteLine("      <br>");
  WriteTreeLines(page, project, layout, 0, std::string());
  page.WriteLine("      <br>");
  page.WriteLine("    </font></td>");
  page.WriteLine("  </tr>");
}

void WriteLegend(PageFile& page, const Messages& messages) {
  const auto& m = messages;
  page.WriteLine("</table>");
  page.WriteLine("<table border=\"0\" width=\"100%\" cellspacing=\"1\">");
  page.WriteLine("  <tr>");
  page.WriteLine("    <td width=\"20%\" valign=\"top\"><font size=\"1\">" + m.Get(50) +
                 "</font></td>");
  page.WriteLine("    <td width=\"80%\" valign=\"top\"><font size=\"1\">");
  // The three rating scales: letter, scale title and the five levels as a numbered list.
  const int scales[3][3] = {{44, 51, 55}, {45, 52, 60}, {46, 53, 65}};
  for (const auto& scale : scales) {
    page.WriteLine("<b>" + m.Get(scale[0]) + "</b> - " + m.Get(scale[1]));
    page.WriteLine("<ol>");
    for (int n = scale[2]; n < scale[2] + 5; ++n) page.WriteLine("<li>" + m.Get(n) + "</li>");
    page.WriteLine("</ol>");
  }
  page.WriteLine("<b>" + m.Get(47) + "</b> - " + m.Get(54));
  page.WriteLine("<ul>");
  const char* bands[5] = {"0 - 3", "4 - 10", "11 - 50", "51 - 100", "101 - 125"};
  for (int band = 1; band <= 5; ++band) {
    page.WriteLine(std::string("<li>") + bands[band - 1] + ": " + m.Get(band) + "</li>");
  }
  page.WriteLine("</ul>");
  page.WriteLine(" </font></td></tr>");
  page.WriteLine("</table>");
  page.WriteLine("</body>");
  page.WriteLine("</html>");
}

}  // namespace orvenda
