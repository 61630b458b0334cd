#include "reports/web_export.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <system_error>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "model/project_table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kCrLf = "\r\n";

// Each block keeps its opening tag line: pages of other sites share these lines. The second
// block does all the work, because today's browsers never run a block bound to an event like
// the third; it starts the outline itself once the document is parsed.
constexpr const char* kOutlineScript[] = {
    "<script language=\"JavaScript\" fptype=\"dynamicoutline\">",
    "<!--",
    "function dynOutline() {}",
    "//-->",
    "</script>",
    "<script language=\"JavaScript1.2\" fptype=\"dynamicoutline\">",
    "<!--",
    "  function getControlTag(src)",
    "  {",
    "    var passed = false;",
    "    while (src && src.tagName != \"HTML\") {",
    "      var tag = src.tagName;",
    "      if (tag == \"IMG\" || tag == \"FONT\" || tag == \"A\" || tag == \"TD\") passed = true;",
    "      else if (tag == \"LI\") return src;",
    "      else if (tag == \"TR\") return passed ? src : null;",
    "      src = src.parentNode;",
    "    }",
    "    return null;",
    "  }",
    "",
    "  function dynOutlineEnabled(src)",
    "  {",
    "    while (src && src.tagName && src.tagName != \"BODY\") {",
    "      var tag = src.tagName;",
    "      if (tag == \"TABLE\" && src.getAttribute(\"border\") != \"0\") return false;",
    "      if (tag == \"UL\" || tag == \"OL\" || tag == \"TABLE\") {",
    "        if (src.hasAttribute(\"nodynamicoutline\")) return false;",
    "        if (src.hasAttribute(\"dynamicoutline\")) return true;",
    "      }",
    "      src = src.parentNode;",
    "    }",
    "    return false;",
    "  }",
    "",
    "  function initCollapse(src)",
    "  {",
    "    while (src && src.tagName && src.tagName != \"BODY\") {",
    "      var tag = src.tagName;",
    "      if ((tag == \"UL\" || tag == \"OL\" || tag == \"TABLE\") &&",
    "          src.hasAttribute(\"initcollapsed\")) return true;",
    "      src = src.parentNode;",
    "    }",
    "    return false;",
    "  }",
    "",
    "  function containedIn(src, dest)",
    "  {",
    "    if (src.tagName == \"!\") return true;",
    "    return getControlTag(src) == dest;",
    "  }",
    "",
    "  var outlineReady = false;",
    "  function initOutline()",
    "  {",
    "    if (outlineReady || !document.body) return;",
    "    outlineReady = true;",
    "    var kinds = [\"UL\", \"OL\", \"TABLE\"];",
    "    for (var k = 0; k < kinds.length; k++) {",
    "      var coll = document.getElementsByTagName(kinds[k]);",
    "      for (var i = 0; i < coll.length; i++) {",
    "        if (dynOutlineEnabled(coll[i].parentNode) && initCollapse(coll[i]))",
    "          coll[i].style.display=\"none\";",
    "      }",
    "    }",
    "  }",
    "",
    "  function dynOutline(e)",
    "  {",
    "    e = e || window.event;",
    "    if (!e) return;",
    "    var src = getControlTag(e.target || e.srcElement);",
    "    if (src == null || !dynOutlineEnabled(src)) return;",
    "    var inner = src.getElementsByTagName(\"*\");",
    "    for (var i = 0; i < inner.length; i++) {",
    "      var srcTmp = inner[i];",
    "      if (!containedIn(srcTmp, src)) break;",
    "      if (srcTmp.tagName == \"UL\" || srcTmp.tagName == \"OL\" || srcTmp.tagName == "
    "\"TABLE\")",
    "      srcTmp.style.display = srcTmp.style.display == \"none\" ? \"\" : \"none\";",
    "    }",
    "  }",
    "",
    "  if (document.addEventListener)",
    "    document.addEventListener(\"DOMContentLoaded\", initOutline);",
    "//-->",
    "</script>",
    "<script language=\"JavaScript1.2\" fptype=\"dynamicoutline\" for=\"document\" "
    "event=\"onreadystatechange()\">",
    "<!--",
    "initOutline()",
    "//-->",
    "</script>",
};

constexpr const char* kListOpen =
    "<ul dynamicoutline initcollapsed style=\"text-align: Left; margin-left: 15\" type=\"disc\">";

void Line(std::string& page, std::string_view text) {
  page += text;
  page += kCrLf;
}

void CommonHead(std::string& page) {
  Line(page, "<html>");
  Line(page, "<head>");
  Line(page, "<meta http-equiv=\"Content-Language\" content=\"cs\">");
  Line(page, "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1250\">");
}

constexpr std::string_view kGenerator = "<meta name=\"GENERATOR\" content=\"Orvenda\">";

void Footer(std::string& page, const Messages& messages) {
  Line(page, "<center><font size=\"1\">" + messages.Get(24) + " <b>Orvenda</b></font></center>");
  Line(page, "</body>");
  Line(page, "</html>");
}

// A record's page goes straight to its name: there is one per record, and a temporary file
// and a rename for each would cost as much again as the writing. A page that fails half way
// is removed, so that no cut page passes for a whole one.
void WriteRecordPage(const fs::path& file, const std::string& bytes) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (out == nullptr) {
    throw Error(Msg(241, {PathToText(file), std::strerror(errno)}));
  }
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  int error = written ? 0 : errno;
  if (std::fclose(out) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) {
    std::error_code ignored;
    fs::remove(file, ignored);
    throw Error(Msg(242, {PathToText(file), std::strerror(error)}));
  }
}

// Leaves the filter off also when a write fails, so the table is left as every command
// expects to find it.
class FilterOffOnExit {
 public:
  explicit FilterOffOnExit(Table& table) : table_(table) {}
  ~FilterOffOnExit() {
    try {
      ClearFilter(table_);
    } catch (const std::exception&) {
      // Only a pending edit makes this fail; the next command clears the filter itself.
    }
  }
  FilterOffOnExit(const FilterOffOnExit&) = delete;
  FilterOffOnExit& operator=(const FilterOffOnExit&) = delete;

 private:
  Table& table_;
};

struct OutlineNode {
  int32_t index;
  std::string text;
  std::string comment;
};

std::vector<OutlineNode> ChildNodes(Table& project, int32_t parent) {
  std::vector<OutlineNode> nodes;
  project.SetFilter(ChildNodesFilter(parent));
  project.SetFiltered(true);
  for (project.First(); !project.Eof(); project.Next()) {
    nodes.push_back(
        {project.GetInt(fld::kIndex), project.GetText(fld::kText), project.GetText(fld::kComment)});
  }
  return nodes;
}

bool HasChildren(Table& project, int32_t parent) {
  project.SetFilter("Uplink=" + std::to_string(parent));
  project.SetFiltered(true);
  return !project.IsEmpty();
}

std::string EntryLine(int32_t index, const char* mark, const std::string& text) {
  return "<li><a href=\"data/" + WebPageName(index) + "\" target=\"main\">" + mark + "&nbsp;" +
         NbspText(text) + "</a>";
}

constexpr const char* kNodeMark = "<font face=\"Wingdings\" color=\"#FF00FF\">1</font>";
constexpr const char* kRiskMark = "<font face=\"Wingdings\" color=\"#FF0000\">2</font>";

std::string NodePage(const std::string& text, const std::string& comment,
                     const Messages& messages) {
  std::string page;
  page.reserve(512 + comment.size());
  CommonHead(page);
  Line(page, kGenerator);
  Line(page, "<title>" + text + "</title>");
  Line(page, "</head>");
  Line(page, "<body>");
  Line(page, "<p><b>" + messages.Get(22) + "</b><br>");
  Line(page, text + "</p>");
  Line(page, "<p><b>" + messages.Get(23) + "</b><br>");
  Line(page, HtmlCellText(comment));
  Line(page, "</p>");
  Line(page, "<hr>");
  Footer(page, messages);
  return page;
}

}  // namespace

std::string NbspText(std::string_view text) {
  if (text.empty()) return "&nbsp;";
  std::string out;
  out.reserve(text.size() + 16);
  for (const char c : text) {
    if (c == ' ') {
      out += "&nbsp;";
    } else {
      out += c;
    }
  }
  return out;
}

std::string WebPageName(int32_t index) {
  const std::string padded = "00000000" + std::to_string(index);
  return padded.substr(padded.size() - 8) + ".htm";
}

std::string WebNodePage(const Table& project, const Messages& messages) {
  return NodePage(project.GetText(fld::kText), project.GetText(fld::kComment), messages);
}

std::string WebRiskPage(const Table& project, const Messages& messages) {
  const std::string text = project.GetText(fld::kText);
  std::string page;
  page.reserve(1024);
  CommonHead(page);
  Line(page, kGenerator);
  Line(page, "<title>" + text + "</title>");
  Line(page, "</head>");
  Line(page, "<body>");
  Line(page, "<p><b>" + messages.Get(22) + "</b><br>");
  Line(page, text + "</p>");
  const std::pair<int, const char*> paragraphs[] = {
      {25, fld::kSource}, {26, fld::kIdent}, {27, fld::kOpatreni}, {23, fld::kComment}};
  for (const auto& [label, field] : paragraphs) {
    Line(page, "<p><b>" + messages.Get(label) + "</b><br>");
    Line(page, HtmlCellText(project.GetText(field)));
    Line(page, "</p>");
  }
  Line(page, "<p><b>" + messages.Get(28) + "</b><br>");
  Line(page, "<table border=\"0\" width=\"100%\">");
  Line(page, "  <tr>");
  Line(page, "    <td width=\"1%\">&nbsp;</td>");
  const std::pair<int, const char*> ratings[] = {
      {29, fld::kPravdep}, {30, fld::kNasledky}, {31, fld::kHodnocen}};
  for (const auto& [label, field] : ratings) {
    Line(page, "    <td width=\"25%\">" + messages.Get(label) + "</td>");
    Line(page, "    <td width=\"8%\">" + std::to_string(project.GetInt(field)) + "</td>");
  }
  Line(page, "  </tr>");
  Line(page, "</table>");
  Line(page, "</p>");
  Line(page, "<hr>");
  Footer(page, messages);
  return page;
}

void WriteWebIndexPage(PageFile& page, const Messages& messages) {
  std::string text;
  CommonHead(text);
  Line(text, "<title>Orvenda</title>");
  Line(text, kGenerator);
  Line(text, "</head>");
  Line(text, "<frameset cols=\"250,*\">");
  Line(text, "  <frame name=\"contents\" target=\"main\" src=\"tree.htm\">");
  Line(text, "  <frame name=\"main\" src=\"content.htm\">");
  Line(text, "  <noframes>");
  Line(text, "  <body>");
  Line(text, "  <p>" + messages.Get(32) + "</p>");
  Line(text, "  </body>");
  Line(text, "  </noframes>");
  Line(text, "</frameset>");
  Line(text, "</html>");
  page.Write(text);
}

void WriteWebContentPage(PageFile& page, const Messages& messages) {
  std::string text;
  CommonHead(text);
  Line(text, kGenerator);
  Line(text, "<title>Orvenda</title>");
  Line(text, "</head>");
  Line(text, "<body>");
  Line(text, "<h1 align=\"center\">" + messages.Get(21) + "</h1>");
  Line(text, "<h1 align=\"center\">" + messages.Get(34) + "</h1>");
  Line(text, "<h1 align=\"center\"><b>Orvenda</b></h1>");
  Line(text, "</body>");
  Line(text, "</html>");
  page.Write(text);
}

void WriteWebTreeHead(PageFile& page, const Messages& messages) {
  std::string text;
  CommonHead(text);
  Line(text, kGenerator);
  Line(text, "<title>" + messages.Get(33) + "</title>");
  for (const char* line : kOutlineScript) Line(text, line);
  Line(text, "<base target=\"main\">");
  Line(text, "</head>");
  Line(text,
       "<body onclick=\"dynOutline()\" link=\"#000000\" vlink=\"#000000\" alink=\"#000000\">");
  page.Write(text);
}

void WriteWebTreeEnd(PageFile& page) {
  page.WriteLine("</body>");
  page.WriteLine("</html>");
}

void WriteOutlineLevel(PageFile& tree, Table& project, const Messages& messages,
                       const fs::path& dataDir, int32_t parent) {
  // Levels are kept on a stack of our own so that a deep tree cannot exhaust the call stack.
  struct Level {
    int32_t parent;
    bool listOpen;
    std::vector<OutlineNode> nodes;
    size_t next = 0;
  };
  auto open = [&](int32_t of) {
    const bool any = HasChildren(project, of);
    if (any) tree.WriteLine(kListOpen);
    return Level{of, any, any ? ChildNodes(project, of) : std::vector<OutlineNode>()};
  };

  ClearFilter(project);
  const FilterOffOnExit filterOff(project);
  std::unordered_set<int32_t> seen{parent};  // a damaged table may loop
  std::vector<Level> stack;
  stack.push_back(open(parent));
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next < level.nodes.size()) {
      OutlineNode node = std::move(level.nodes[level.next++]);
      if (!seen.insert(node.index).second) continue;
      tree.WriteLine(EntryLine(node.index, kNodeMark, node.text));
      WriteRecordPage(dataDir / WebPageName(node.index),
                      NodePage(node.text, node.comment, messages));
      stack.push_back(open(node.index));
      continue;
    }
    if (level.listOpen) {
      project.SetFilter(ChildRisksFilter(level.parent));
      project.SetFiltered(true);
      for (project.First(); !project.Eof(); project.Next()) {
        const int32_t index = project.GetInt(fld::kIndex);
        tree.WriteLine(EntryLine(index, kRiskMark, project.GetText(fld::kText)) + "</li>");
        WriteRecordPage(dataDir / WebPageName(index), WebRiskPage(project, messages));
      }
      tree.WriteLine("</ul>");
    }
    stack.pop_back();
    if (!stack.empty()) tree.WriteLine("</li>");  // the entry of the node just finished
  }
}

namespace {

// A hidden folder inside the export folder in which the new site is built; removed with
// whatever is left in it unless the site was moved out whole.
class StagingFolder {
 public:
  explicit StagingFolder(const fs::path& folder) {
    std::string pattern = (folder / ".orvenda-web-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw Error(Msg(241, {PathToText(folder / "index.htm"), std::strerror(errno)}));
    }
    path_ = pattern;
  }
  ~StagingFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void WriteSite(Table& project, const Messages& messages, const fs::path& folder) {
  const fs::path dataDir = folder / "data";
  std::error_code ignored;  // a failure shows at the first page
  fs::create_directory(dataDir, ignored);

  PageFile index(folder / "index.htm");
  WriteWebIndexPage(index, messages);
  index.Commit();

  PageFile tree(folder / "tree.htm");
  WriteWebTreeHead(tree, messages);
  ClearFilter(project);
  WriteOutlineLevel(tree, project, messages, dataDir, 0);
  WriteWebTreeEnd(tree);
  tree.Commit();

  PageFile content(folder / "content.htm");
  WriteWebContentPage(content, messages);
  content.Commit();
}

void MoveInto(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (ec) throw Error(Msg(244, {PathToText(to), ec.message()}));
}

}  // namespace

void ExportWebSite(Table& project, const Messages& messages, const fs::path& folder) {
  const fs::path dataDir = folder / "data";
  std::error_code ec;
  if (fs::exists(fs::symlink_status(dataDir, ec)) && !fs::is_directory(dataDir, ec)) {
    // Not a folder of ours: never swapped away.
    throw Error(Msg(241, {PathToText(dataDir / WebPageName(1)), std::strerror(ENOTDIR)}));
  }
  // The new site is written whole beside the old one and swapped in only when complete, so a
  // failure (a full disk) leaves the old site as it was and takes the partial one away.
  StagingFolder staging(folder);
  try {
    WriteSite(project, messages, staging.path());
  } catch (const Error& error) {
    // The user knows the export folder, not the staging one.
    std::string text = error.what();
    const std::string from = PathToText(staging.path()), to = PathToText(folder);
    if (const auto at = text.find(from); at != std::string::npos) text.replace(at, from.size(), to);
    throw Error(text);
  }
  // The old record pages go with the staging folder: pages of deleted records must not stay.
  if (fs::is_directory(dataDir, ec)) MoveInto(dataDir, staging.path() / "data.old");
  MoveInto(staging.path() / "data", dataDir);
  for (const char* name : {"index.htm", "tree.htm", "content.htm"}) {
    MoveInto(staging.path() / name, folder / name);
  }
}

}  // namespace orvenda
