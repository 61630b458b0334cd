#include "reports/nahled_form.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "base/error.h"
#include "expected_page.h"
#include "model/project_table.h"
#include "report_fixture.h"
#include "reports/vzhled_rep_form.h"

namespace orvenda {
namespace {

using test::Concat;
using test::FileSizeLimit;
using test::PageText;
using test::ParsedRow;
using test::ProjectFixture;
using test::ReportRows;
using test::RiskFields;
using test::Row;
using test::RowSummary;
using test::TempDir;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::string Td(int share) {
  return "    <td width=\"" + std::to_string(share) + "%\" valign=\"top\"><font size=\"1\">";
}
const std::string kTdEnd = "    </font></td>";

std::string ObjectRow(int colspan, const std::string& content) {
  return Row(
      {"  <tr>",
       "    <td width=\"100%\" colspan=\"" + std::to_string(colspan) + "\"><font size=\"1\">",
       content, kTdEnd, "  </tr>"});
}

class NahledFormTest : public ::testing::Test {
 protected:
  NahledFormTest()
      : project(projectDir.path()), form(project.table, messages, progress, temp.path()) {
    form.OnPageWritten = [this](const std::filesystem::path& page) { shown.push_back(page); };
  }

  std::string Page() const { return test::ReadFileBytes(form.ReportPagePath()); }

  TempDir projectDir;
  TempDir temp;
  ProjectFixture project;
  Messages messages;
  NullProgress progress;
  NahledForm form;
  std::vector<std::filesystem::path> shown;
};

TEST_F(NahledFormTest, SmallProjectGivesTheExactPage) {
  project.Node(1, 0, "Dílna");
  project.Risk(2, 1,
               {.text = "Pád",
                .p = 3,
                .n = 4,
                .h = 2,
                .ident = "Pád z výšky",
                .opatreni = "Zábradlí",
                .comment = "",
                .source = "Elektro"});
  form.FormShow(std::nullopt);

  const std::string expected = PageText(Concat({
      test::ExpectedHead(),
      test::ExpectedDefaultHeader(),
      {ObjectRow(9, "&nbsp;"),
       Row({"  <tr>",      Td(8),  "Dílna",  kTdEnd, Td(8),    "Elektro", kTdEnd, Td(38),
            "Pád z výšky", kTdEnd, Td(2),    "3",    kTdEnd,   Td(2),     "4",    kTdEnd,
            Td(2),         "2",    kTdEnd,   Td(2),  "24",     kTdEnd,    Td(28), "Zábradlí",
            kTdEnd,        Td(12), "&nbsp;", kTdEnd, "  </tr>"})},
      test::ExpectedLegend(),
  }));
  EXPECT_EQ(Page(), expected);
  // Rows end in CR CR LF on the page.
  EXPECT_NE(Page().find("  </tr>\r\r\n"), std::string::npos);
  EXPECT_EQ(form.ReportPagePath().filename(), "_sestava.htm");
  EXPECT_THAT(shown, ElementsAre(form.ReportPagePath()));
}

TEST_F(NahledFormTest, ObjectInItsOwnRowAsTheLayoutDialogSetsIt) {
  project.Node(1, 0, "Dílna");
  project.Risk(
      2, 1, {.p = 3, .n = 4, .h = 2, .ident = "Pád", .opatreni = "", .comment = "x", .source = ""});
  form.FormShow(std::nullopt);
  VzhledRepForm dialog(messages, form.Layout());
  dialog.FormShow();
  dialog.RadioGroup1.value = 0;
  dialog.RadioGroup1Click();
  dialog.BitBtn1Click();
  form.BuildReport();

  const std::string expected = PageText(Concat({
      test::ExpectedHead(),
      {"  <tr>", "    <td width=\"13%\" rowspan=\"2\"><font size=\"1\">Subsystém</font></td>",
       "    <td width=\"29%\" rowspan=\"2\"><font size=\"1\">Identifikace nebezpečí</font></td>",
       "    <td width=\"12%\" colspan=\"4\"><font size=\"1\">Vyhodnocení závažnosti "
       "rizika</font></td>",
       "    <td width=\"40%\" rowspan=\"2\"><font size=\"1\">Bezpečnostní opatření</font></td>",
       "    <td width=\"6%\" rowspan=\"2\"><font size=\"1\">Poznámka</font></td>", "  </tr>",
       "  <tr>", "    <td width=\"3%\"><font size=\"1\">P</font></td>",
       "    <td width=\"3%\"><font size=\"1\">N</font></td>",
       "    <td width=\"3%\"><font size=\"1\">H</font></td>",
       "    <td width=\"3%\"><font size=\"1\">R</font></td>", "  </tr>", ObjectRow(8, "Dílna"),
       Row({"  <tr>", Td(13), "",       kTdEnd, Td(29), "Pád", kTdEnd, Td(3),    "3",
            kTdEnd,   Td(3),  "4",      kTdEnd, Td(3),  "2",   kTdEnd, Td(3),    "24",
            kTdEnd,   Td(40), "&nbsp;", kTdEnd, Td(6),  "x",   kTdEnd, "  </tr>"})},
      test::ExpectedLegend(),
  }));
  EXPECT_EQ(Page(), expected);
}

TEST_F(NahledFormTest, LineBreaksInCellsOfEveryKind) {
  project.Node(1, 0, "Hala");
  project.Risk(2, 1, {.p = 1, .n = 1, .h = 1, .ident = "a\rb\nc\r\n\r\nd\r", .comment = "\n\r\n"});
  form.FormShow(std::nullopt);
  const auto rows = ReportRows(Page());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].cells.at(2), "a <br>bc <br> <br>d <br>");
  EXPECT_EQ(rows[1].cells.at(8), " <br>");
}

TEST_F(NahledFormTest, EmptyProjectHasHeaderAndLegendOnly) {
  form.FormShow(std::nullopt);
  EXPECT_EQ(Page(), PageText(Concat({test::ExpectedHead(), test::ExpectedDefaultHeader(),
                                     test::ExpectedLegend()})));
}

// A project with the awkward shapes: deep risks only, unnamed nodes, risks at the top level.
class EdgeProjectTest : public NahledFormTest {
 protected:
  EdgeProjectTest() {
    project.Node(1, 0, "Hala");
    project.Node(2, 1, "Sklad");
    project.Risk(3, 2, {.p = 5, .n = 5, .h = 5, .ident = "id3"});
    project.Node(4, 1, "Linka");  // no risks of its own
    project.Node(5, 4, "Lis");
    project.Risk(6, 5, {.p = 2, .n = 2, .h = 1, .ident = "id6"});
    project.Risk(7, 1,
                 {.p = 4,
                  .n = 5,
                  .h = 5,
                  .ident = "první\r\ndruhá",
                  .opatreni = "<b>Pozor</b> & spol.",
                  .comment = "",
                  .source = ""});
    project.Risk(8, 1, {.p = 3, .n = 3, .h = std::nullopt, .ident = "id8"});
    project.Node(9, 0, "");
    project.Node(10, 9, "Kout");
    project.Risk(11, 10, {.p = 1, .n = 2, .h = 2, .ident = "id11"});
    project.Risk(12, 0, {.p = 1, .n = 1, .h = 1, .ident = "id12"});
    project.Node(13, 1, "");  // unnamed, below a named node
    project.Risk(14, 13, {.p = 1, .n = 1, .h = 4, .ident = "id14"});
  }
};

TEST_F(EdgeProjectTest, RowsComeInPostOrderUnderTheirPathTexts) {
  form.FormShow(std::nullopt);
  EXPECT_THAT(RowSummary(Page()),
              ElementsAre("object &nbsp;", "risk Hala / Sklad | id3",            //
                          "object &nbsp;", "risk Hala / Linka / Lis | id6",      //
                          "object &nbsp;", "risk Hala | id14",                   //
                          "object &nbsp;", "risk Hala | prvn\xED <br>druh\xE1",  //
                          "risk Hala | id8",                                     //
                          "object &nbsp;", "risk  / Kout | id11",                //
                          "object &nbsp;", "risk &nbsp; | id12"));
}

TEST_F(EdgeProjectTest, PathTextsInObjectRows) {
  form.FormShow(std::nullopt);
  form.Layout().ObjectInOwnRow = true;
  form.BuildReport();
  std::vector<std::string> objects;
  for (const auto& row : ReportRows(Page())) {
    if (row.object) objects.push_back(row.cells.at(0));
  }
  EXPECT_THAT(objects, ElementsAre("Hala / Sklad", "Hala / Linka / Lis", "Hala", "Hala", " / Kout",
                                   "&nbsp;"));
}

TEST_F(EdgeProjectTest, CellsOfOneRiskRowExactly) {
  form.FormShow(std::nullopt);
  const std::string row7 = W(Row({"  <tr>", Td(8),    "Hala",
                                  kTdEnd,   Td(8),    "",
                                  kTdEnd,   Td(38),   "první <br>druhá",
                                  kTdEnd,   Td(2),    "4",
                                  kTdEnd,   Td(2),    "5",
                                  kTdEnd,   Td(2),    "5",
                                  kTdEnd,   Td(2),    "100",
                                  kTdEnd,   Td(28),   "<b>Pozor</b> & spol.",
                                  kTdEnd,   Td(12),   "&nbsp;",
                                  kTdEnd,   "  </tr>"})) +
                           "\r\n";
  EXPECT_NE(Page().find(row7), std::string::npos);
  // An empty rating shows as an empty cell, and the level counts it as 0.
  const auto rows = ReportRows(Page());
  const auto risk8 = std::find_if(rows.begin(), rows.end(), [](const ParsedRow& row) {
    return !row.object && row.cells.at(2) == "id8";
  });
  ASSERT_NE(risk8, rows.end());
  EXPECT_THAT(risk8->cells,
              ElementsAre("Hala", "source", "id8", "3", "3", "&nbsp;", "0", "measure", "note"));
}

TEST_F(EdgeProjectTest, SortedOrderHasRisksOnlyByDescendingLevelEqualLevelsInAppendOrder) {
  form.FormShow(std::nullopt);
  const std::string unsorted = Page();
  form.SortedCheckBox.checked = true;
  form.SortedCheckBoxClick();
  EXPECT_THAT(RowSummary(Page()),
              ElementsAre("risk Hala / Sklad | id3",            // 125
                          "risk Hala | prvn\xED <br>druh\xE1",  // 100
                          "risk Hala / Linka / Lis | id6",      // 4
                          "risk Hala | id14",                   // 4
                          "risk  / Kout | id11",                // 4
                          "risk &nbsp; | id12",                 // 1
                          "risk Hala | id8"));                  // 0 (empty rating)
  form.SortedCheckBox.checked = false;
  form.SortedCheckBoxClick();
  EXPECT_EQ(Page(), unsorted);
  EXPECT_EQ(shown.size(), 3u);
}

// The page of the first rows alone: byte for byte the beginning of the whole page up to its
// last row, without the outline; CompletePage then writes what a build at once writes.
TEST_F(EdgeProjectTest, FirstRowsFirstThenTheWholePageAsBuiltAtOnce) {
  form.FormShow(std::nullopt);
  form.Layout().TreeSection = true;
  form.Layout().TreeWithRisks = true;
  form.BuildReport();
  const std::string whole = Page();
  const std::vector<std::string> wholeRows = RowSummary(whole);
  ASSERT_EQ(wholeRows.size(), 13u);
  ASSERT_NE(whole.find("&#9472;"), std::string::npos);  // the outline

  form.FirstRows = 5;
  form.BuildReport();
  EXPECT_FALSE(form.PageComplete());
  const std::string head = Page();
  EXPECT_THAT(RowSummary(head),
              ElementsAreArray(std::vector<std::string>(wholeRows.begin(), wholeRows.begin() + 5)));
  const size_t rowsEnd = head.find("</table>");
  ASSERT_NE(rowsEnd, std::string::npos);
  EXPECT_EQ(whole.compare(0, rowsEnd, head, 0, rowsEnd), 0);
  EXPECT_EQ(head.find("&#9472;"), std::string::npos);
  EXPECT_TRUE(head.ends_with("</html>\r\n"));

  const size_t written = shown.size();
  form.CompletePage();
  EXPECT_TRUE(form.PageComplete());
  EXPECT_EQ(Page(), whole);
  EXPECT_EQ(shown.size(), written + 1);
  form.CompletePage();  // nothing left to do
  EXPECT_EQ(shown.size(), written + 1);

  // As many rows as the report has: whole at once. One fewer: not.
  form.FirstRows = 13;
  form.BuildReport();
  EXPECT_TRUE(form.PageComplete());
  EXPECT_EQ(Page(), whole);
  form.FirstRows = 12;
  form.BuildReport();
  EXPECT_FALSE(form.PageComplete());
  EXPECT_EQ(RowSummary(Page()).size(), 12u);

  // A branch: its own first rows.
  form.FirstRows = 1;
  form.OnlySelectCheckBox.checked = true;
  form.BuildReport(1);
  EXPECT_THAT(RowSummary(Page()), ElementsAre("object &nbsp;"));
  form.CompletePage();
  EXPECT_THAT(RowSummary(Page()),
              ElementsAre("object &nbsp;", "risk Hala / Sklad | id3", "object &nbsp;",
                          "risk Hala / Linka / Lis | id6", "object &nbsp;", "risk Hala | id14",
                          "object &nbsp;", "risk Hala | prvn\xED <br>druh\xE1", "risk Hala | id8"));
}

// The order by risk level needs every row: it is built whole, also from a page of first rows.
TEST_F(EdgeProjectTest, SortedOrderIsAlwaysBuiltWhole) {
  form.SortedCheckBox.checked = true;
  form.FormShow(std::nullopt);
  const std::string sorted = Page();
  ASSERT_EQ(RowSummary(sorted).size(), 7u);

  form.FirstRows = 3;
  form.SortedCheckBox.checked = false;
  form.BuildReport();
  ASSERT_FALSE(form.PageComplete());
  form.SortedCheckBox.checked = true;
  form.SortedCheckBoxClick();
  EXPECT_TRUE(form.PageComplete());
  EXPECT_EQ(Page(), sorted);
  form.BuildReport();
  EXPECT_TRUE(form.PageComplete());
  EXPECT_EQ(Page(), sorted);
}

// A whole build that fails leaves the first rows shown and marked as such, so that print and
// "Uložit jako" try it again instead of taking the first rows for the page.
TEST_F(NahledFormTest, AFailedWholeBuildLeavesThePageIncomplete) {
  project.Node(1, 0, "A");
  for (int i = 2; i < 40; ++i) project.Risk(i, 1, {.ident = std::string(200, 'x')});
  form.FirstRows = 2;
  form.FormShow(std::nullopt);
  ASSERT_FALSE(form.PageComplete());
  const std::string head = Page();
  ASSERT_LT(head.size(), 4096u);
  {
    FileSizeLimit limit(8192);
    EXPECT_THROW(form.CompletePage(), Error);
  }
  EXPECT_FALSE(form.PageComplete());
  EXPECT_EQ(Page(), head);
  form.CompletePage();
  EXPECT_TRUE(form.PageComplete());
  EXPECT_EQ(RowSummary(Page()).size(), 39u);
}

TEST_F(EdgeProjectTest, ReportTableHoldsKindLevelAndRowText) {
  form.FormShow(std::nullopt);
  Table& table = form.TempTable;
  ASSERT_TRUE(table.IsOpen());
  EXPECT_EQ(Cp1250Upper(table.Path().filename().string()), "_SESTAVA.DBF");
  EXPECT_EQ(table.Path().parent_path(), form.ReportDirectory());
  ASSERT_EQ(table.Fields().size(), 3u);
  EXPECT_EQ(Cp1250Upper(table.Fields()[0].name), "TYP");
  EXPECT_EQ(Cp1250Upper(table.Fields()[1].name), "MIRA");
  EXPECT_EQ(Cp1250Upper(table.Fields()[2].name), "TEXT");
  EXPECT_EQ(table.Fields()[2].type, FieldType::Memo);
  std::vector<std::pair<int, int>> kindAndLevel;
  for (table.First(); !table.Eof(); table.Next()) {
    kindAndLevel.emplace_back(table.GetInt("Typ"), table.GetInt("Mira"));
  }
  EXPECT_THAT(kindAndLevel,
              ElementsAre(std::pair(0, 0), std::pair(1, 125), std::pair(0, 0), std::pair(1, 4),
                          std::pair(0, 0), std::pair(1, 4), std::pair(0, 0), std::pair(1, 100),
                          std::pair(1, 0), std::pair(0, 0), std::pair(1, 4), std::pair(0, 0),
                          std::pair(1, 1)));
  table.First();
  EXPECT_EQ(table.GetText("Text"), ObjectRow(9, "&nbsp;"));
}

TEST_F(EdgeProjectTest, OnlyTheSelectedBranch) {
  form.OnlySelectCheckBox.checked = true;
  form.FormShow(4);  // "Linka": its only risks lie deeper
  EXPECT_THAT(RowSummary(Page()), ElementsAre("object &nbsp;", "risk Hala / Linka / Lis | id6"));

  form.FormShow(9);  // unnamed top-level node
  EXPECT_THAT(RowSummary(Page()), ElementsAre("object &nbsp;", "risk  / Kout | id11"));

  form.FormShow(7);  // a risk has no rows below it
  EXPECT_TRUE(ReportRows(Page()).empty());
  EXPECT_NE(Page().find(W("Vysvětlivky:")), std::string::npos);

  form.FormShow(std::nullopt);  // nothing selected: the whole project
  EXPECT_EQ(ReportRows(Page()).size(), 13u);

  form.FormShow(2);
  form.OnlySelectCheckBox.checked = false;
  form.OnlySelectCheckBoxClick();
  EXPECT_EQ(ReportRows(Page()).size(), 13u);
  form.OnlySelectCheckBox.checked = true;
  form.OnlySelectCheckBoxClick();
  EXPECT_THAT(RowSummary(Page()), ElementsAre("object &nbsp;", "risk Hala / Sklad | id3"));
}

TEST_F(EdgeProjectTest, LayoutIsResetAtEveryShowing) {
  form.Layout().ColumnPercent = {0, 0, 50, 0, 0, 0, 0, 50, 0};
  form.FormShow(std::nullopt);
  EXPECT_EQ(form.Layout(), ReportLayout());
  EXPECT_EQ(ReportRows(Page())[1].cells.size(), 9u);
}

TEST_F(EdgeProjectTest, HiddenColumnsLeaveRowsWithoutTheirCells) {
  form.FormShow(std::nullopt);
  form.Layout().ColumnPercent = {10, 0, 50, 0, 0, 0, 7, 0, 0};
  form.BuildReport();
  const auto rows = ReportRows(Page());
  ASSERT_GE(rows.size(), 2u);
  EXPECT_THAT(rows[1].cells, ElementsAre("Hala / Sklad", "id3", "125"));
  EXPECT_NE(Page().find(W(Row({"  <tr>", Td(10), "Hala / Sklad", kTdEnd, Td(50), "id3", kTdEnd,
                               Td(7), "125", kTdEnd, "  </tr>"}))),
            std::string::npos);
}

TEST_F(NahledFormTest, BrokenUpLinkChainsEndTheWalk) {
  project.Node(20, 99, "Sirotek");  // parent 99 does not exist
  project.Risk(21, 20, {.ident = "id21"});
  project.Node(22, 20, "Pod");
  project.Risk(23, 22, {.ident = "id23"});
  project.Node(30, 31, "X");  // 30 and 31 are each other's parent
  project.Node(31, 30, "Y");
  project.Risk(32, 30, {.ident = "id32"});
  project.Node(40, 40, "Smyčka");  // its own parent
  project.Risk(41, 40, {.ident = "id41"});

  form.OnlySelectCheckBox.checked = true;
  form.FormShow(22);
  EXPECT_THAT(RowSummary(Page()), ElementsAre("object &nbsp;", "risk Sirotek / Pod | id23"));
  form.FormShow(20);
  EXPECT_THAT(RowSummary(Page()), ElementsAre("object &nbsp;", "risk Sirotek / Pod | id23",
                                              "object &nbsp;", "risk Sirotek | id21"));
  form.FormShow(30);
  EXPECT_THAT(RowSummary(Page()), ElementsAre("object &nbsp;", "risk Y / X | id32"));
  form.FormShow(40);
  EXPECT_THAT(RowSummary(Page()), ElementsAre("object &nbsp;", W("risk Smyčka | id41")));
  EXPECT_EQ(ReportPathText(project.table, 31), "X / Y");

  // None of them hangs below the top level.
  form.OnlySelectCheckBox.checked = false;
  form.OnlySelectCheckBoxClick();
  EXPECT_TRUE(ReportRows(Page()).empty());
}

class OutlineTest : public NahledFormTest {
 protected:
  std::vector<std::string> OutlineLines() {
    const auto lines = test::PageLines(Page());
    const auto start = std::find(lines.begin(), lines.end(), "      <br>");
    EXPECT_NE(start, lines.end());
    if (start == lines.end()) return {};
    const auto end = std::find(start + 1, lines.end(), "      <br>");
    return {start + 1, end};
  }
};

TEST_F(OutlineTest, ThreeLineOutlineInItsSection) {
  project.Node(1, 0, "Hlavní");
  project.Node(2, 1, "První");
  project.Node(3, 1, "Druhá");
  form.FormShow(std::nullopt);
  form.Layout().TreeSection = true;
  form.BuildReport();
  EXPECT_EQ(Page(), PageText(Concat({
                        test::ExpectedHead(),
                        test::ExpectedDefaultHeader(),
                        {"</table>", "<table border=\"0\" width=\"100%\" cellspacing=\"1\">",
                         "  <tr>", "    <td><font size=\"2\" face=\"Times New Roman\">",
                         "      <br>", "&#9516; Hlavní<br>", "&#9500;&#9472; První<br>",
                         "&#9492;&#9472; Druhá<br>", "      <br>", "    </font></td>", "  </tr>"},
                        test::ExpectedLegend(),
                    })));
}

class OutlineWithRisksTest : public OutlineTest {
 protected:
  OutlineWithRisksTest() {
    project.Node(1, 0, "A");
    project.Node(2, 1, "B");
    project.Risk(3, 2, {.text = "r1"});
    project.Node(4, 1, "C");
    project.Node(5, 4, "D");
    project.Risk(6, 1, {.text = "r2 <i>kurzíva</i>"});
    project.Risk(7, 0, {.text = "r0"});
    project.Node(8, 0, "E");
    form.FormShow(std::nullopt);
    form.Layout().TreeSection = true;
  }
};

TEST_F(OutlineWithRisksTest, NodesOnly) {
  form.BuildReport();
  EXPECT_THAT(OutlineLines(),
              ElementsAre("&#9516; A<br>", "&#9500;&#9472; B<br>", "&#9492;&#9516; C<br>",
                          "&nbsp;&nbsp;&nbsp;&#9492;&#9472; D<br>", "&#9472; E<br>"));
}

TEST_F(OutlineWithRisksTest, WithRisksAfterTheNodesOfEachLevel) {
  form.Layout().TreeWithRisks = true;
  form.BuildReport();
  EXPECT_THAT(OutlineLines(), ElementsAreArray(std::vector<std::string>{
                                  "&#9516; A<br>",
                                  "&#9500;&#9516; B<br>",
                                  "&#9474;&#9492;&#9472; &#9650; r1<br>",
                                  "&#9500;&#9516; C<br>",
                                  "&#9474;&#9492;&#9472; D<br>",
                                  W("&#9492;&#9472; &#9650; r2 <i>kurzíva</i><br>"),
                                  "&#9472; E<br>",
                                  "&#9492;&#9472; &#9650; r0<br>",
                              }));
}

TEST_F(OutlineWithRisksTest, OutlineCoversTheWholeProjectEvenForABranch) {
  form.OnlySelectCheckBox.checked = true;
  form.BuildReport(5);
  EXPECT_TRUE(ReportRows(Page()).empty());
  EXPECT_EQ(OutlineLines().size(), 5u);
}

TEST_F(OutlineWithRisksTest, RisksWithoutTheOutlineAddNothing) {
  form.Layout().TreeSection = false;
  form.Layout().TreeWithRisks = true;
  form.BuildReport();
  EXPECT_EQ(Page().find("&#9516;"), std::string::npos);
  EXPECT_EQ(Page().find("Times New Roman"), std::string::npos);
}

TEST_F(NahledFormTest, FixedTextsAreReadWhenThePageIsWritten) {
  project.Node(1, 0, "A");
  project.Risk(2, 1);
  form.FormShow(std::nullopt);
  auto items = messages.Items();
  items[33] = "Object";
  items[50] = "Legend:";
  messages.Replace(items);
  form.SortedCheckBoxClick();  // rewrites the page only
  EXPECT_NE(Page().find("<font size=\"1\">Object</font>"), std::string::npos);
  EXPECT_NE(Page().find("<font size=\"1\">Legend:</font>"), std::string::npos);
}

TEST_F(NahledFormTest, EachFormKeepsItsFilesInItsOwnDirectory) {
  project.Node(1, 0, "A");
  project.Risk(2, 1);
  NullProgress otherProgress;
  NahledForm other(project.table, messages, otherProgress, temp.path());
  form.FormShow(std::nullopt);
  other.Layout().ObjectInOwnRow = true;
  other.BuildReport(std::nullopt);
  ASSERT_NE(form.ReportDirectory(), other.ReportDirectory());
  EXPECT_EQ(form.ReportDirectory().parent_path(), temp.path());
  EXPECT_EQ(other.ReportPagePath().filename(), "_sestava.htm");
  EXPECT_NE(Page(), test::ReadFileBytes(other.ReportPagePath()));

  const auto dir = form.ReportDirectory();
  form.FormClose();
  EXPECT_FALSE(std::filesystem::exists(dir));
  EXPECT_FALSE(form.TempTable.IsOpen());
  EXPECT_TRUE(std::filesystem::exists(other.ReportPagePath()));
  other.DiscardReportFiles();
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
}

TEST_F(NahledFormTest, AFailedPageWriteRaisesAndKeepsThePreviousPage) {
  project.Node(1, 0, "A");
  for (int i = 2; i < 40; ++i) project.Risk(i, 1, {.ident = std::string(200, 'x')});
  form.FormShow(std::nullopt);
  const std::string before = Page();
  ASSERT_GT(before.size(), 8192u);
  form.SortedCheckBox.checked = true;
  {
    FileSizeLimit limit(8192);
    EXPECT_THROW(form.SortedCheckBoxClick(), Error);
  }
  EXPECT_EQ(Page(), before);
  EXPECT_EQ(shown.size(), 1u);  // the failed page was not offered for showing
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(form.ReportDirectory())) {
    files += entry.path().extension() == ".tmp";
  }
  EXPECT_EQ(files, 0);
}

TEST_F(NahledFormTest, AnUnusableTemporaryDirectoryFailsTheBuild) {
  test::WriteFileBytes(temp / "file", "x");
  NahledForm broken(project.table, messages, progress, temp / "file");
  EXPECT_THROW(broken.FormShow(std::nullopt), Error);
}

}  // namespace
}  // namespace orvenda
