// Report pages read back into the project through the main form's add and store commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "app/main_form_fixture.h"
#include "library/report_rows.h"
#include "reports/nahled_form.h"
#include "reports/report_layout.h"

namespace orvenda::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The records as "N path" and "R path|Source|Ident|Opatreni|P N H|Comment", sorted: what
// the project holds apart from numbering, order and the risks' Text.
std::vector<std::string> Described(Table& table) {
  const std::vector<Row> rows = ReadRows(table);
  const auto pathOf = [&](int32_t index) {
    std::string path;
    for (int guard = 0; index != 0 && guard < 100; ++guard) {
      const auto at =
          std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.index == index; });
      if (at == rows.end()) break;
      path = at->text + (path.empty() ? "" : "/" + path);
      index = at->upLink;
    }
    return path;
  };
  std::vector<std::string> out;
  for (const Row& r : rows) {
    if (r.type == kNodeType) {
      out.push_back("N " + pathOf(r.index));
    } else {
      out.push_back("R " + pathOf(r.upLink) + "|" + r.source + "|" + r.ident + "|" + r.opatreni +
                    "|" + std::to_string(r.p) + " " + std::to_string(r.n) + " " +
                    std::to_string(r.h) + "|" + r.comment);
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

class HtmlImportTest : public MainFormTest {
 protected:
  std::filesystem::path WritePage(const std::string& bytes, const char* name = "page.htm") {
    const std::filesystem::path file = temp / name;
    WriteFileBytes(file, bytes);
    return file;
  }
};

TEST_F(HtmlImportTest, RowsBuildTheirPathsAndRisksInAnEmptyProject) {
  form->ImportHtmlText(ReportPage(RiskRow("A / B", "S1", "0", "7", "2") + RiskRow("A / B", "") +
                                  RiskRow("A / C", "S3")));
  const TreeControl::Item a = Item(1);
  ASSERT_NE(a, nullptr);
  EXPECT_THAT(tree.ChildData(nullptr), ElementsAre(1));
  EXPECT_EQ(tree.Caption(a), "A");
  EXPECT_THAT(tree.ChildData(a), ElementsAre(2, 5));  // B, C
  EXPECT_THAT(tree.ChildData(Item(2)), ElementsAre(3, 4));
  EXPECT_THAT(tree.ChildData(Item(5)), ElementsAre(6));

  Row first = Risk(3, 2, "?S1", 1, 5, 2);  // 0 and 7 brought into 1..5; R ignored
  first.source = "S1";
  first.ident = "ident S1";
  first.opatreni = "opatreni S1";
  EXPECT_EQ(RowOf(3), first);
  EXPECT_EQ(RowOf(4).text, "?");
  EXPECT_EQ(RowOf(4).source, "");
  EXPECT_EQ(tree.Caption(Item(4)), "?");
  EXPECT_EQ(RowOf(6).upLink, 5);
  EXPECT_TRUE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], " *");
  EXPECT_FALSE(form->EditState);
  EXPECT_FALSE(form->TreeUpdating);
  EXPECT_EQ(tree.Selected(), Item(6));
  EXPECT_EQ(form->ActivePage, Page::RizikoTabSheet);
  EXPECT_EQ(progress.busyDepth, 0);
}

TEST_F(HtmlImportTest, PathPartsAreFoundByExactCaptionFromTheTopLevelDown) {
  Load({Node(1, 0, "X"), Node(2, 0, "A"), Node(3, 2, "b"), Risk(4, 2, "B"), Node(5, 2, "B"),
        Node(6, 2, "B")});
  Select(1);
  form->ImportHtmlText(
      ReportPage(RiskRow("A / B", "1") + RiskRow("Z", "2") + RiskRow("A / b", "3")));
  // The first part is looked up too, not taken as the first top-level item; among children
  // only nodes count, letter case matters, and the first of equal captions wins.
  EXPECT_EQ(RowOf(7).upLink, 5);
  EXPECT_THAT(tree.ChildData(nullptr), ElementsAre(1, 2, 8));
  EXPECT_EQ(tree.Caption(Item(8)), "Z");
  EXPECT_EQ(RowOf(9).upLink, 8);
  EXPECT_EQ(RowOf(10).upLink, 3);
  EXPECT_EQ(Rows().size(), 10u);
}

TEST_F(HtmlImportTest, EmptyPartsAndEmptyPathsPlaceRisksAsTheTreeDoes) {
  Load({Node(1, 0, "Q"), Risk(2, 1, "r")});
  Select(2);
  // No path: beside the selected risk. An unnamed node in the middle keeps the deeper part.
  form->ImportHtmlText(
      ReportPage(RiskRow("&nbsp;", "1") + RiskRow("A /  / B", "2") + RiskRow("", "3")));
  EXPECT_EQ(RowOf(3).upLink, 1);
  EXPECT_EQ(RowOf(4).text, "A");
  EXPECT_EQ(RowOf(5), Node(5, 4, ""));
  EXPECT_EQ(RowOf(6), Node(6, 5, "B"));
  EXPECT_EQ(RowOf(7).upLink, 6);
  EXPECT_EQ(RowOf(8).upLink, 6) << "an empty path follows the previous row";
}

TEST_F(HtmlImportTest, APageWithoutRiskRowsIsRefusedWithItsNameAndAddsNothing) {
  Load({Node(1, 0, "Q")});
  Select(1);
  const std::filesystem::path empty = WritePage("", "prazdna.htm");
  const std::filesystem::path noise = WritePage("\x89PNG\r\n\x1a\n<tr><td>x</td></tr>", "sum.htm");
  for (const std::filesystem::path& page : {empty, noise}) {
    const std::string error = ErrorText([&] { form->ImportHtmlFile(page); });
    EXPECT_THAT(error, HasSubstr(PathToText(page) + ": ")) << error;
    EXPECT_THAT(error, HasSubstr(W("žádný řádek rizika")));
  }
  EXPECT_EQ(Rows().size(), 1u);
  EXPECT_FALSE(form->Modified);
}

TEST_F(HtmlImportTest, ABadRatingStopsAtItsRowAndKeepsTheRowsBefore) {
  const std::string error = ErrorText([&] {
    form->ImportHtmlText(
        ReportPage(RiskRow("A", "1") + RiskRow("A / B", "2", "3", W("tři")) + RiskRow("A", "3")));
  });
  EXPECT_THAT(error, HasSubstr(W("2. řádku rizika")));
  EXPECT_THAT(error, HasSubstr(W("A / B): hodnota „tři“ ve sloupci N")));
  // The bad row added nothing, not even its node B.
  EXPECT_EQ(Rows().size(), 2u);
  EXPECT_EQ(RowOf(2).upLink, 1);
  EXPECT_TRUE(form->Modified);
  EXPECT_FALSE(form->TreeUpdating);
  EXPECT_EQ(progress.busyDepth, 0);

  // An empty rating is no number either.
  EXPECT_THAT(ErrorText([&] { form->ImportHtmlText(ReportPage(RiskRow("C", "4", "&nbsp;"))); }),
              HasSubstr(W("„“ ve sloupci P")));
  EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(HtmlImportTest, MenuCommandAsksForAPageAndRefusesDuringAnEdit) {
  const std::vector<std::string> nine{"A", "S", "i", "1", "1", "1", "1", "o", "note"};
  const std::string rowless = ReportPage(ReportRow(nine) + ReportRow(nine));
  dialogs.openAnswers = {std::nullopt, WritePage(rowless),
                         WritePage(ReportPage(RiskRow("A", "1")), "rows.htm")};
  form->ImportHTML1Click();
  ASSERT_EQ(dialogs.openRequests.size(), 1u);
  EXPECT_EQ(dialogs.openRequests[0].filter, W("Soubory HTML|*.htm"));
  EXPECT_EQ(dialogs.openRequests[0].title, W("Otevřít HTML pro import"));
  EXPECT_EQ(form->ActivePage, Page::NoneTabSheet);

  // Nine-cell rows (note column shown) are no rows: refused with the page's name, nothing
  // happens.
  EXPECT_THAT(ErrorText([&] { form->ImportHTML1Click(); }), HasSubstr(W("žádný řádek rizika")));
  EXPECT_THAT(Rows(), IsEmpty());
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(form->ActivePage, Page::NoneTabSheet);
  EXPECT_EQ(dialogs.openRequests[1].dir, temp.path());
  form->ImportHTML1Click();
  EXPECT_EQ(Rows().size(), 2u);

  form->RiskSourceEdit.text = "typed";
  form->RiskSourceEditChange();
  ASSERT_TRUE(form->EditState);
  form->ImportHTML1Click();
  EXPECT_EQ(dialogs.openRequests.size(), 3u);
  EXPECT_EQ(dialogs.warnings.size(), 1u);
  EXPECT_EQ(form->RiskSourceEdit.text, "typed");
}

// A project's report page, note column hidden, read into an empty project: the same nodes
// and risks; in UTF-8, as a browser saves it, too.
TEST_F(HtmlImportTest, ReportPageRoundTrip) {
  Table source;
  source.SetPath(temp / "source" / "RiskData.dbf");
  std::filesystem::create_directories(temp / "source");
  CreateProjectTable(source);
  std::vector<Row> rows = {
      Node(1, 0, W("Dílna")),     Node(2, 1, W("Lis & spol.")), Node(3, 1, ""),
      Node(4, 3, W("Čerpadlo")),  Risk(5, 2, "t5", 5, 4, 3),    Risk(6, 2, "t6", 1, 1, 1),
      Risk(7, 4, "t7", 2, 3, 4),  Risk(8, 1, "t8", 3, 3, 3),    Node(9, 0, W("Sklad")),
      Risk(10, 9, "t10", 4, 4, 4)};
  for (Row& r : rows) {
    if (r.type != kRiskType) continue;
    r.source = r.index == 6 ? "" : W("Subsystém ") + r.text;
    r.ident = W("Nebezpečí <b>úrazu</b> ") + r.text;
    r.opatreni = r.index == 7 ? "" : W("Opatření ") + r.text;
    r.comment = "note " + r.text;
  }
  for (const Row& r : rows) AppendRow(source, r);

  NahledForm preview(source, form->MessagesBox, progress, tempDir);
  preview.ResetLayout();
  preview.Layout().ColumnPercent[kCommentColumn] = 0;
  preview.BuildReport(std::nullopt);
  const std::string page = ReadFileBytes(preview.ReportPagePath());
  form->ImportHtmlFile(preview.ReportPagePath());

  std::vector<std::string> expected = Described(source);
  for (std::string& line : expected) {
    if (line.starts_with("R ")) line.erase(line.rfind('|') + 1);  // the note stays behind
  }
  EXPECT_EQ(Described(form->DataTable), expected);

  std::string utf8 = Cp1250ToUtf8(page);
  utf8.replace(utf8.find("windows-1250"), 12, "utf-8");
  form->Modified = false;
  form->New1Click();
  ASSERT_THAT(Rows(), IsEmpty());
  form->ImportHtmlFile(WritePage(utf8, "utf8.htm"));
  EXPECT_EQ(Described(form->DataTable), expected);
}

}  // namespace
}  // namespace orvenda::test
