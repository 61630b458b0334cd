#include "reports/web_export.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "report_fixture.h"
#include "reports/flat_web_export.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::PageLines;
using test::PageText;
using test::ReadFileBytes;
using test::TempDir;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

std::vector<std::string> Cp1250Lines(const std::vector<std::string>& utf8) {
  std::vector<std::string> lines;
  for (const auto& line : utf8) lines.push_back(W(line));
  return lines;
}

// The lines between "<body ...>" and "</body>" of tree.htm.
std::vector<std::string> OutlineLines(const std::string& tree) {
  const std::vector<std::string> lines = PageLines(tree);
  auto body = std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.rfind("<body ", 0) == 0; });
  auto end = std::find(lines.begin(), lines.end(), "</body>");
  if (body == lines.end() || end == lines.end() || end < body) return {"(no body)"};
  return {body + 1, end};
}

const std::vector<std::string> kCommonHead = {
    "<html>", "<head>", "<meta http-equiv=\"Content-Language\" content=\"cs\">",
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1250\">"};

std::vector<std::string> Head(std::vector<std::string> rest) {
  std::vector<std::string> lines = kCommonHead;
  lines.insert(lines.end(), rest.begin(), rest.end());
  return lines;
}

class WebExportTest : public ::testing::Test {
 protected:
  fs::path Export() {
    const fs::path folder = out.path();
    ExportWebSite(project.table, messages, folder);
    return folder;
  }
  std::string Page(int32_t index) { return ReadFileBytes(out / "data" / WebPageName(index)); }

  TempDir dir;
  TempDir out;
  test::ProjectFixture project{dir.path()};
  Messages messages;
};

TEST_F(WebExportTest, EmptyProjectGivesTheFixedPagesAnOutlineWithoutListAndNoRecordPages) {
  Export();
  EXPECT_EQ(
      ReadFileBytes(out / "index.htm"),
      PageText(Head({"<title>Orvenda</title>", "<meta name=\"GENERATOR\" content=\"Orvenda\">",
                     "</head>", "<frameset cols=\"250,*\">",
                     "  <frame name=\"contents\" target=\"main\" src=\"tree.htm\">",
                     "  <frame name=\"main\" src=\"content.htm\">", "  <noframes>", "  <body>",
                     "  <p>Tato stránka požaduje rámy, ale váš prohlížeč je nepodporuje.</p>",
                     "  </body>", "  </noframes>", "</frameset>", "</html>"})));
  EXPECT_EQ(
      ReadFileBytes(out / "content.htm"),
      PageText(Head({"<meta name=\"GENERATOR\" content=\"Orvenda\">", "<title>Orvenda</title>",
                     "</head>", "<body>", "<h1 align=\"center\">Hodnocení rizik</h1>",
                     "<h1 align=\"center\">zpracováno programem</h1>",
                     "<h1 align=\"center\"><b>Orvenda</b></h1>", "</body>", "</html>"})));

  const std::string tree = ReadFileBytes(out / "tree.htm");
  const std::vector<std::string> lines = PageLines(tree);
  EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + 6),
              ElementsAreArray(Cp1250Lines(Head({"<meta name=\"GENERATOR\" content=\"Orvenda\">",
                                                 "<title>Posuzovaný objekt</title>"}))));
  // The three script blocks keep their opening tag lines; the page ends as it should.
  EXPECT_THAT(tree, HasSubstr("\r\n<script language=\"JavaScript\" fptype=\"dynamicoutline\">\r\n"
                              "<!--\r\nfunction dynOutline() {}\r\n//-->\r\n</script>\r\n"
                              "<script language=\"JavaScript1.2\" fptype=\"dynamicoutline\">\r\n"
                              "<!--\r\n  function getControlTag(src)\r\n"));
  EXPECT_THAT(tree, HasSubstr("//-->\r\n</script>\r\n<script language=\"JavaScript1.2\" "
                              "fptype=\"dynamicoutline\" for=\"document\" "
                              "event=\"onreadystatechange()\">\r\n<!--\r\ninitOutline()\r\n"
                              "//-->\r\n</script>\r\n<base target=\"main\">\r\n</head>\r\n"
                              "<body onclick=\"dynOutline()\" link=\"#000000\" "
                              "vlink=\"#000000\" alink=\"#000000\">\r\n</body>\r\n</html>\r\n"));
  EXPECT_TRUE(tree.ends_with("\r\n</body>\r\n</html>\r\n"));
  EXPECT_TRUE(fs::is_directory(out / "data"));
  EXPECT_TRUE(fs::is_empty(out / "data"));
}

TEST_F(WebExportTest, RecordPagesLineByLine) {
  project.Node(1, 0, "Dílna a sklad");
  project.table.SetText(fld::kComment, W("první\r\ndruhá"));
  project.table.Post();
  project.Risk(2, 1,
               {.text = "Pád",
                .p = 3,
                .n = std::nullopt,
                .h = 2,
                .ident = "Kluzká <b>podlaha</b>",
                .opatreni = "Úklid",
                .comment = "",
                .source = ""});
  Export();
  const std::string footer =
      "<center><font size=\"1\">Zpracováno programem <b>Orvenda</b></font></center>";
  EXPECT_EQ(Page(1),
            PageText(Head({"<meta name=\"GENERATOR\" content=\"Orvenda\">",
                           "<title>Dílna a sklad</title>", "</head>", "<body>",
                           "<p><b>Název:</b><br>", "Dílna a sklad</p>", "<p><b>Poznámka:</b><br>",
                           "první <br>druhá", "</p>", "<hr>", footer, "</body>", "</html>"})));
  EXPECT_EQ(Page(2), PageText(Head({"<meta name=\"GENERATOR\" content=\"Orvenda\">",
                                    "<title>Pád</title>",
                                    "</head>",
                                    "<body>",
                                    "<p><b>Název:</b><br>",
                                    "Pád</p>",
                                    "<p><b>Subsystém:</b><br>",
                                    "&nbsp;",
                                    "</p>",
                                    "<p><b>Popis nebezpečí:</b><br>",
                                    "Kluzká <b>podlaha</b>",
                                    "</p>",
                                    "<p><b>Bezpečnostní opatření:</b><br>",
                                    "Úklid",
                                    "</p>",
                                    "<p><b>Poznámka:</b><br>",
                                    "&nbsp;",
                                    "</p>",
                                    "<p><b>Pravděpodobnost:</b><br>",
                                    "<table border=\"0\" width=\"100%\">",
                                    "  <tr>",
                                    "    <td width=\"1%\">&nbsp;</td>",
                                    "    <td width=\"25%\">Vznik&nbsp;ohrožení:</td>",
                                    "    <td width=\"8%\">3</td>",
                                    "    <td width=\"25%\">Následky&nbsp;ohrožení:</td>",
                                    "    <td width=\"8%\">0</td>",
                                    "    <td width=\"25%\">Názor&nbsp;hodnotitele:</td>",
                                    "    <td width=\"8%\">2</td>",
                                    "  </tr>",
                                    "</table>",
                                    "</p>",
                                    "<hr>",
                                    footer,
                                    "</body>",
                                    "</html>"})));
}

TEST_F(WebExportTest, OutlineNestsChildNodesBeforeRisksAtEveryLevel) {
  // Appended out of order: the outline goes by ascending Index.
  project.Node(1, 0, "Hala A");
  project.Risk(5, 1, {.text = "Hluk"});
  project.Node(3, 1, "Lis");
  project.Risk(4, 3, {.text = "Úder"});
  project.Node(2, 1, "Prázdný uzel");
  project.Node(6, 0, "");
  Export();
  const std::string ul =
      "<ul dynamicoutline initcollapsed style=\"text-align: Left; margin-left: 15\" "
      "type=\"disc\">";
  auto entry = [](const char* page, const char* color, const char* mark, const char* text) {
    return std::string("<li><a href=\"data/") + page +
           "\" target=\"main\"><font face=\"Wingdings\" "
           "color=\"" +
           color + "\">" + mark + "</font>&nbsp;" + text + "</a>";
  };
  auto node = [&](const char* page, const char* text) { return entry(page, "#FF00FF", "1", text); };
  auto risk = [&](const char* page, const char* text) {
    return entry(page, "#FF0000", "2", text) + "</li>";
  };
  EXPECT_THAT(OutlineLines(ReadFileBytes(out / "tree.htm")),
              ElementsAreArray(Cp1250Lines(
                  {ul, node("00000001.htm", "Hala&nbsp;A"), ul,
                   node("00000002.htm", "Prázdný&nbsp;uzel"), "</li>", node("00000003.htm", "Lis"),
                   ul, risk("00000004.htm", "Úder"), "</ul>", "</li>", risk("00000005.htm", "Hluk"),
                   "</ul>", "</li>", node("00000006.htm", "&nbsp;"), "</li>", "</ul>"})));
  for (int32_t index = 1; index <= 6; ++index) {
    EXPECT_TRUE(fs::is_regular_file(out / "data" / WebPageName(index))) << index;
  }
  // The title keeps the blank the outline entry turns into &nbsp;.
  EXPECT_THAT(Page(1), HasSubstr("<title>Hala A</title>\r\n"));
  EXPECT_EQ(project.table.Filter(), "");
  EXPECT_FALSE(project.table.Filtered());
}

TEST_F(WebExportTest, ARecordThatIsItsOwnAncestorEndsBothExports) {
  project.Node(0, 0, "smyčka");  // a damaged table: the top level holds the top itself
  project.Node(1, 0, "Hala");
  Export();
  EXPECT_EQ(OutlineLines(ReadFileBytes(out / "tree.htm")).size(), 4u);  // <ul>, Hala, </li>, </ul>
  EXPECT_EQ(ExportDataWeb(project.table, 0, 2).text,
            PageText({"  <li><b>Hala</b><small> (0) </small></li>"}));
}

TEST(WebPageName, LastEightDigitsOfTheZeroPaddedIndex) {
  EXPECT_EQ(WebPageName(7), "00000007.htm");
  EXPECT_EQ(WebPageName(42), "00000042.htm");
  EXPECT_EQ(WebPageName(12345678), "12345678.htm");
  EXPECT_EQ(WebPageName(123456789), "23456789.htm");
  EXPECT_EQ(NbspText(""), "&nbsp;");
  EXPECT_EQ(NbspText(" a  b\r\n"), "&nbsp;a&nbsp;&nbsp;b\r\n");
}

TEST_F(WebExportTest, AFailedExportNamesTheFileAndLeavesTheOldSiteAsItWas) {
  project.Node(1, 0, "Hala");
  project.Risk(2, 1, {.comment = std::string(4000, 'x')});
  project.Node(3, 0, "Sklad");
  const auto listing = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(out.path())) {
      names.push_back(fs::relative(entry.path(), out.path()).string() + " " +
                      (entry.is_regular_file() ? ReadFileBytes(entry.path()) : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
  };

  // "data" is a file of somebody else's: refused, and the file stays.
  test::WriteFileBytes(out / "data", "not a folder");
  std::string error = test::ErrorText([&] { Export(); });
  EXPECT_THAT(error, HasSubstr((out / "data").string()));
  EXPECT_EQ(ReadFileBytes(out / "data"), "not a folder");
  EXPECT_EQ(listing().size(), 1u) << "nothing written beside it";
  EXPECT_EQ(project.table.Filter(), "");  // the table is usable again
  fs::remove(out / "data");

  // An old site with a page of a record that is gone: a complete export replaces it whole.
  Export();
  test::WriteFileBytes(out / "data" / WebPageName(99), "stale");
  Export();
  EXPECT_FALSE(fs::exists(out / "data" / WebPageName(99)));
  const std::vector<std::string> before = listing();

  // Disk full while the risk's page is written: the error names the export folder's file,
  // the old site is untouched and no partial site is left.
  project.Node(4, 3, "Nove");
  {
    test::FileSizeLimit limit(2000);
    error = test::ErrorText([&] { Export(); });
  }
  EXPECT_THAT(
      error, HasSubstr(W("Chyba při zápisu souboru: ") + (out / "data" / "00000002.htm").string()));
  EXPECT_EQ(listing(), before);
}

// --- The flat page ------------------------------------------------------------------------

TEST(ExportDataWeb, BranchCountsColoursAndIndents) {
  TempDir dir;
  test::ProjectFixture project(dir.path());
  project.Node(1, 0, "Závod");
  project.Node(2, 1, "Dílna");
  project.Node(3, 1, "Sklad");
  for (int32_t i = 10; i < 13; ++i) project.Risk(i, 2);
  for (int32_t i = 13; i < 15; ++i) project.Risk(i, 3);
  project.Risk(15, 1);
  project.Node(4, 0, "Kancelář");  // risks, no child nodes
  project.Risk(16, 4);
  project.Node(5, 0, "Vrátnice");  // neither
  project.Risk(17, 0);             // counted at the top only

  const WebBranch branch = ExportDataWeb(project.table, 0, 2);
  EXPECT_EQ(branch.count, 8);
  EXPECT_EQ(branch.text,
            PageText({"  <li><b><font color=\"#0000FF\">Závod</font></b><small> (6) </small>",
                      "    <ul>", "      <li><b>Dílna</b><small> (3) </small></li>",
                      "      <li><b>Sklad</b><small> (2) </small></li>", "    </ul>", "  </li>",
                      "  <li><b>Kancelář</b><small> (1) </small></li>",
                      "  <li><b>Vrátnice</b><small> (0) </small></li>"}));
  EXPECT_EQ(project.table.Filter(), "");

  // Deeper levels: four blanks more each, the nested lists two more than their entry.
  project.Node(6, 3, "Regál");
  project.Risk(18, 6);
  const WebBranch deeper = ExportDataWeb(project.table, 1, 2);
  EXPECT_EQ(deeper.count, 7);
  EXPECT_EQ(deeper.text, PageText({"  <li><b>Dílna</b><small> (3) </small></li>",
                                   "  <li><b><font color=\"#0000FF\">Sklad</font></b><small> (3) "
                                   "</small>",
                                   "    <ul>", "      <li><b>Regál</b><small> (1) </small></li>",
                                   "    </ul>", "  </li>"}));
}

TEST(FlatWebPage, EmptyProjectAndAFailedWrite) {
  TempDir dir;
  test::ProjectFixture project(dir.path());
  const fs::path file = dir / "web.htm";
  Messages messages;
  const std::vector<std::string> head = {
      "<html>",
      "<head>",
      "<meta http-equiv=\"Content-Language\" content=\"cs\">",
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1250\">",
      "<meta name=\"GENERATOR\" content=\"Orvenda\">",
      "<title>Posuzovaný objekt</title>",
      "</head>",
      "<body>",
      "<ul>"};
  auto page = [&](std::vector<std::string> list) {
    std::vector<std::string> lines = head;
    lines.insert(lines.end(), list.begin(), list.end());
    for (const char* end : {"</ul>", "</body>", "</html>"}) lines.push_back(end);
    return PageText(lines);
  };

  WriteFlatWebPage(project.table, messages, file);
  EXPECT_EQ(ReadFileBytes(file), page({""}));

  // A failed write names the file and leaves the page there as it was.
  project.Node(1, 0, std::string(90, 'x'));
  for (int32_t i = 2; i < 40; ++i) project.Node(i, 1, std::string(90, 'y'));
  std::string error;
  {
    test::FileSizeLimit limit(1000);
    error = test::ErrorText([&] { WriteFlatWebPage(project.table, messages, file); });
  }
  EXPECT_THAT(error, HasSubstr(file.string()));
  EXPECT_EQ(ReadFileBytes(file), page({""}));
}

}  // namespace
}  // namespace orvenda
