#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "base/error.h"
#include "expected_page.h"
#include "report_fixture.h"
#include "reports/report_page.h"

namespace orvenda {
namespace {

using test::FileSizeLimit;
using test::PageLines;
using test::PageText;
using test::TempDir;
using ::testing::ElementsAreArray;

std::string Written(const std::function<void(PageFile&)>& write) {
  TempDir dir;
  {
    PageFile page(dir / "page.htm");
    write(page);
    page.Commit();
  }
  return test::ReadFileBytes(dir / "page.htm");
}

std::vector<std::string> HeaderFor(const ReportLayout& layout, const Messages& messages = {}) {
  return PageLines(Written([&](PageFile& page) { WriteHeaderRows(page, layout, messages); }));
}

std::vector<std::string> Cp1250Lines(const std::vector<std::string>& utf8) {
  std::vector<std::string> lines;
  for (const auto& line : utf8) lines.push_back(W(line));
  return lines;
}

TEST(HtmlCellText, ConvertsOnlyEmptinessAndLineBreaks) {
  EXPECT_EQ(HtmlCellText(""), "&nbsp;");
  EXPECT_EQ(HtmlCellText("one\r\ntwo"), "one <br>two");
  EXPECT_EQ(HtmlCellText("a\nb\rc"), "ab <br>c");
  EXPECT_EQ(HtmlCellText("\r\n"), " <br>");
  EXPECT_EQ(HtmlCellText("\n"), "");  // not empty before conversion, so no &nbsp;
  EXPECT_EQ(HtmlCellText("<b>x</b> & \"y\" > z"), "<b>x</b> & \"y\" > z");
  EXPECT_EQ(HtmlCellText(W("Žluťoučký kůň")), W("Žluťoučký kůň"));
}

TEST(HeaderRows, DefaultLayoutAsInTheWorkedExample) {
  EXPECT_THAT(HeaderFor(ReportLayout()),
              ElementsAreArray(Cp1250Lines(test::ExpectedDefaultHeader())));
}

TEST(HeaderRows, NoRatingColumnMeansNoRowspanNoGroupAndAnEmptySecondRow) {
  ReportLayout layout;
  layout.ColumnPercent = {12, 13, 29, 0, 0, 0, 0, 40, 6};
  EXPECT_THAT(HeaderFor(layout),
              ElementsAreArray(Cp1250Lines({
                  "  <tr>",
                  "    <td width=\"12%\"><font size=\"1\">Posuzovaný objekt</font></td>",
                  "    <td width=\"13%\"><font size=\"1\">Subsystém</font></td>",
                  "    <td width=\"29%\"><font size=\"1\">Identifikace nebezpečí</font></td>",
                  "    <td width=\"40%\"><font size=\"1\">Bezpečnostní opatření</font></td>",
                  "    <td width=\"6%\"><font size=\"1\">Poznámka</font></td>",
                  "  </tr>",
                  "  <tr>",
                  "  </tr>",
              })));
}

TEST(HeaderRows, GroupCellSpansTheVisibleRatingColumnsOnly) {
  ReportLayout layout;
  layout.ColumnPercent = {0, 13, 29, 3, 0, 5, 3, 40, 0};
  EXPECT_THAT(
      HeaderFor(layout),
      ElementsAreArray(Cp1250Lines({
          "  <tr>",
          "    <td width=\"13%\" rowspan=\"2\"><font size=\"1\">Subsystém</font></td>",
          "    <td width=\"29%\" rowspan=\"2\"><font size=\"1\">Identifikace nebezpečí</font></td>",
          "    <td width=\"11%\" colspan=\"3\"><font size=\"1\">Vyhodnocení závažnosti "
          "rizika</font></td>",
          "    <td width=\"40%\" rowspan=\"2\"><font size=\"1\">Bezpečnostní opatření</font></td>",
          "  </tr>",
          "  <tr>",
          "    <td width=\"3%\"><font size=\"1\">P</font></td>",
          "    <td width=\"5%\"><font size=\"1\">H</font></td>",
          "    <td width=\"3%\"><font size=\"1\">R</font></td>",
          "  </tr>",
      })));
}

TEST(Legend, EndsThePageLineByLine) {
  const std::string page = Written([](PageFile& page) { WriteLegend(page, Messages()); });
  EXPECT_EQ(page, PageText(test::ExpectedLegend()));
  // windows-1250 bytes, not UTF-8: "Vysvětlivky" has ě = 0xEC.
  EXPECT_NE(page.find("Vysv\xECtlivky:"), std::string::npos);
}

TEST(PageFile, ReplacesTheTargetOnlyOnCommit) {
  TempDir dir;
  test::WriteFileBytes(dir / "page.htm", "old page");
  {
    PageFile page(dir / "page.htm");
    page.WriteLine("new");
    EXPECT_EQ(test::ReadFileBytes(dir / "page.htm"), "old page");
  }  // dropped without Commit: the old page stays, the temporary file goes
  EXPECT_EQ(test::ReadFileBytes(dir / "page.htm"), "old page");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  PageFile page(dir / "page.htm");
  page.WriteLine("a");
  page.Write("b\r");
  page.WriteLine("");
  page.Commit();
  EXPECT_EQ(test::ReadFileBytes(dir / "page.htm"), "a\r\nb\r\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(PageFile, AFailedWriteThrowsAndKeepsTheOldPage) {
  TempDir dir;
  test::WriteFileBytes(dir / "page.htm", "old page");
  {
    PageFile page(dir / "page.htm");
    for (int i = 0; i < 2000; ++i) page.WriteLine("a line of the page that will not fit");
    FileSizeLimit limit(4096);
    EXPECT_THROW(page.Commit(), Error);
  }
  EXPECT_EQ(test::ReadFileBytes(dir / "page.htm"), "old page");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(PageFile, AMissingDirectoryFailsAtOnce) {
  TempDir dir;
  EXPECT_THROW(PageFile(dir / "no" / "page.htm"), Error);
  EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

TEST(PageFile, CopyReplacesOnlyWithACompleteCopy) {
  TempDir dir;
  test::WriteFileBytes(dir / "source.htm", std::string(100000, 'x'));
  test::WriteFileBytes(dir / "copy.htm", "old");
  CopyPageFile(dir / "source.htm", dir / "copy.htm");
  EXPECT_EQ(test::ReadFileBytes(dir / "copy.htm"), std::string(100000, 'x'));

  test::WriteFileBytes(dir / "other.htm", "kept");
  {
    FileSizeLimit limit(4096);
    EXPECT_THROW(CopyPageFile(dir / "source.htm", dir / "other.htm"), Error);
  }
  EXPECT_EQ(test::ReadFileBytes(dir / "other.htm"), "kept");
  EXPECT_THROW(CopyPageFile(dir / "missing.htm", dir / "other.htm"), Error);
  EXPECT_EQ(test::ReadFileBytes(dir / "other.htm"), "kept");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

}  // namespace
}  // namespace orvenda
