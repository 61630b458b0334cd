#include "library/html_import.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "base/cp1250.h"
#include "base/error.h"
#include "library/report_rows.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

using test::ReportPage;
using test::ReportRow;
using test::RiskRow;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(CleanHtmlCell, ConvertsLineBreaksAndBlanksOnlyAndTrims) {
  EXPECT_EQ(CleanHtmlCell(W("\r  dva <br>řádky\r\n  ")), W("dva \r\nřádky"));
  EXPECT_EQ(CleanHtmlCell("\r&nbsp;\r    "), "");
  // Line breaks of the source go before "<br>" makes new ones; nothing is replaced twice.
  EXPECT_EQ(CleanHtmlCell("a\r\n<br>b"), "a\r\nb");
  EXPECT_EQ(CleanHtmlCell("&&nbsp;nbsp;"), "& nbsp;");
  EXPECT_EQ(CleanHtmlCell("<BR>&amp;<b>x</b>&NBSP;"), "<BR>&amp;<b>x</b>&NBSP;");
  EXPECT_EQ(CleanHtmlCell("\t\x01 x \x1f"), "x");
}

TEST(SplitObjectPath, SplitsAtEverySeparatorKeepingEmptyParts) {
  EXPECT_THAT(SplitObjectPath("A / B"), ElementsAre("A", "B"));
  // An unnamed node in the middle of the path is a part of its own: the deeper ones follow.
  EXPECT_THAT(SplitObjectPath("A /  / B"), ElementsAre("A", "", "B"));
  EXPECT_THAT(SplitObjectPath("A / / B"), ElementsAre("A", "/ B"));
  EXPECT_THAT(SplitObjectPath("A/B"), ElementsAre("A/B"));
  EXPECT_THAT(SplitObjectPath(""), IsEmpty());
}

TEST(RatingCellValue, ReadsDecimalIntegersOnly) {
  EXPECT_EQ(RatingCellValue("3"), 3);
  EXPECT_EQ(RatingCellValue(" 0 "), 0);
  EXPECT_EQ(RatingCellValue("+7"), 7);
  EXPECT_EQ(RatingCellValue("-2"), -2);
  EXPECT_EQ(RatingCellValue("99999999999999999999"), INT_MAX);
  EXPECT_EQ(RatingCellValue("-99999999999999999999"), INT_MIN);
  for (const char* bad : {"", " ", "x", "3.0", "$1F", "0x1", "3 4", "-", "1e2"}) {
    EXPECT_EQ(RatingCellValue(bad), std::nullopt) << '"' << bad << '"';
  }
}

TEST(HtmlRowScanner, ReadsEightCellRowsInOrderWithTheirCells) {
  const std::string page =
      ReportPage(ReportRow({"A / B", W("Lis"), "id <br>dva", "0", "5", "7", "175", "&nbsp;"}) +
                 RiskRow("A / C", ""));
  const auto rows = ScanHtmlRows(page);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_THAT(rows[0].path, ElementsAre("A", "B"));
  EXPECT_EQ(rows[0].source, W("Lis"));
  EXPECT_EQ(rows[0].ident, "id \r\ndva");
  EXPECT_EQ(rows[0].p, "0");
  EXPECT_EQ(rows[0].n, "5");
  EXPECT_EQ(rows[0].h, "7");
  EXPECT_EQ(rows[0].opatreni, "");
  EXPECT_THAT(rows[1].path, ElementsAre("A", "C"));
  EXPECT_EQ(rows[1].source, "");
  EXPECT_EQ(rows[1].opatreni, "opatreni");
  EXPECT_LT(rows[0].offset, rows[1].offset);
}

TEST(HtmlRowScanner, RowsOfAnotherShapeAreNoRows) {
  const std::vector<std::string> nine{"N", "nine", "i", "1", "1", "1", "1", "o", "note"};
  const std::vector<std::string> seven{"S", "seven", "i", "1", "1", "1", "o"};

  // Nine-cell rows: the lazy last cell would swallow the ninth.
  EXPECT_THAT(ScanHtmlRows(ReportPage(ReportRow(nine) + ReportRow(nine))), IsEmpty());
  // A short row does not merge with the next; the rows around are still found.
  const auto rows = ScanHtmlRows(
      ReportPage(ReportRow(nine) + RiskRow("A", "1") + ReportRow(seven) + RiskRow("B", "2")));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].source, "1");
  EXPECT_EQ(rows[1].source, "2");
  // Letter case of the markup counts, as does every attribute's form.
  std::string upper = RiskRow("A", "x");
  upper.replace(upper.find("<tr>"), 4, "<TR>");
  std::string noDigits = RiskRow("A", "x");
  noDigits.replace(noDigits.find("\"8%\""), 4, "\"%\"");
  EXPECT_THAT(ScanHtmlRows(ReportPage(upper + noDigits)), IsEmpty());
  EXPECT_THAT(ScanHtmlRows(""), IsEmpty());
}

TEST(HtmlPageText, ConvertsPagesThatDeclareUtf8) {
  const std::string cp1250Row = RiskRow(W("Dílna / Čerpadlo"), W("Šroub"));
  const std::string utf8Page = ReportPage(Cp1250ToUtf8(cp1250Row), "UTF-8");
  EXPECT_TRUE(DeclaresUtf8(utf8Page));
  EXPECT_TRUE(DeclaresUtf8("<head><META charset = 'utf8'></head>"));
  EXPECT_TRUE(DeclaresUtf8("\xEF\xBB\xBF<html>"));
  EXPECT_FALSE(DeclaresUtf8(ReportPage(cp1250Row)));
  EXPECT_FALSE(DeclaresUtf8("<head></head><body><meta charset=\"utf-8\"></body>"));

  const auto rows = ScanHtmlRows(HtmlPageText(utf8Page));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_THAT(rows[0].path, ElementsAre(W("Dílna"), W("Čerpadlo")));
  EXPECT_EQ(rows[0].source, W("Šroub"));
  // A windows-1250 page keeps its bytes, even where they would be malformed UTF-8.
  EXPECT_EQ(HtmlPageText(ReportPage(cp1250Row)), ReportPage(cp1250Row));
  EXPECT_EQ(HtmlPageText("\xEF\xBB\xBFx \xE2\x82\xAC \xE4\xB8\x80"), "x \x80 ?");
}

}  // namespace
}  // namespace orvenda
