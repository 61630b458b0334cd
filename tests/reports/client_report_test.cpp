#include "reports/client_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/error.h"
#include "report_fixture.h"

namespace orvenda {
namespace {

using test::RiskFields;
using test::TempDir;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

RiskFields Rated(const std::string& text, int p, int n, int h) {
  return {.text = text, .p = p, .n = n, .h = h, .ident = "popis " + text};
}

// "number path | hazard" of every risk, section by section, in UTF-8.
std::vector<std::string> Register(const ClientReport& report) {
  std::vector<std::string> rows;
  for (const ClientSection& section : report.sections) {
    for (const ClientRisk& risk : section.risks) {
      rows.push_back(risk.number + " " + Cp1250ToUtf8(risk.path) + " | " + Cp1250ToUtf8(risk.text));
    }
  }
  return rows;
}

std::vector<std::string> Headings(const ClientReport& report) {
  std::vector<std::string> headings;
  for (const ClientSection& section : report.sections) {
    headings.push_back(Cp1250ToUtf8(section.heading));
  }
  return headings;
}

// caption: unrated 1 2 3 4 5
std::vector<std::string> Summary(const ClientReport& report) {
  std::vector<std::string> rows;
  auto line = [](const ClientSummaryRow& row) {
    std::string text = Cp1250ToUtf8(row.caption) + ":";
    for (const int count : row.counts) text += " " + std::to_string(count);
    return text;
  };
  for (const ClientSummaryRow& row : report.summary) rows.push_back(line(row));
  rows.push_back(line(report.total));
  return rows;
}

// Dílna (1) holds Pracoviště 1 (2) holding Lis (3), and Pracoviště 2 (4) without risks of its
// own but with Vrtačka (5); Sklad (6) has no risks at all; two risks stand at the top level.
// Indexes are deliberately out of tree order in places.
class ClientReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project.Node(1, 0, "Dílna");
    project.Node(2, 1, "Pracoviště 1");
    project.Node(3, 2, "Lis");
    project.Node(4, 1, "Pracoviště 2");
    project.Node(5, 4, "Vrtačka");
    project.Node(6, 0, "Sklad");
    project.Risk(10, 3, Rated("lis A", 5, 5, 5));                                  // 125, band 5
    project.Risk(11, 3, Rated("lis B", 2, 2, 1));                                  // 4, band 2
    project.Risk(12, 1, Rated("dílna A", 3, 4, 2));                                // 24, band 3
    project.Risk(13, 5, Rated("vrtačka A", 3, 4, 1));                              // 12, band 3
    project.Risk(14, 2, Rated("prac A", 1, 1, 1));                                 // 1, band 1
    project.Risk(15, 0, Rated("nahoře A", 2, 2, 1));                               // 4, band 2
    project.Risk(16, 0, {.text = "nahoře B", .p = 3, .n = std::nullopt, .h = 2});  // unrated
    project.Risk(17, 3, Rated("lis C", 5, 5, 5));  // 125, ties with lis A
    project.Risk(18, 5, {.text = "vrtačka B", .p = 3, .n = 4, .h = std::nullopt});  // 0
  }

  ClientReport Build(ClientReportOptions options = {}) {
    return BuildClientReport(project.table, messages, options, "Projekt.RSK");
  }

  TempDir dir;
  test::ProjectFixture project{dir.path()};
  Messages messages;
};

TEST_F(ClientReportTest, TreeOrderGivesASectionPerNodeWithRisksNumberedBySection) {
  const ClientReport report = Build();
  EXPECT_FALSE(report.byLevel);
  // The top-level risks first, then each node before its descendants; Pracoviště 2 and Sklad
  // have no risks of their own and no section.
  EXPECT_THAT(Headings(report),
              ElementsAre("Rizika mimo objekty", "Dílna", "Dílna / Pracoviště 1",
                          "Dílna / Pracoviště 1 / Lis", "Dílna / Pracoviště 2 / Vrtačka"));
  EXPECT_THAT(
      Register(report),
      ElementsAre("1.1  | nahoře A", "1.2  | nahoře B", "2.1 Dílna | dílna A",
                  "3.1 Dílna / Pracoviště 1 | prac A", "4.1 Dílna / Pracoviště 1 / Lis | lis A",
                  "4.2 Dílna / Pracoviště 1 / Lis | lis B",
                  "4.3 Dílna / Pracoviště 1 / Lis | lis C",
                  "5.1 Dílna / Pracoviště 2 / Vrtačka | vrtačka A",
                  "5.2 Dílna / Pracoviště 2 / Vrtačka | vrtačka B"));
  EXPECT_EQ(report.riskCount, 9);
  EXPECT_TRUE(project.table.Filter().empty());
  EXPECT_FALSE(project.table.Filtered());
}

TEST_F(ClientReportTest, RisksCarryEveryFieldAsStoredAndTheirLevelAndBand) {
  project.Risk(20, 6,
               {.text = "regál",
                .p = 4,
                .n = 5,
                .h = 3,
                .ident = "první řádek\r\ndruhý řádek",
                .opatreni = "kotvit <b>vždy</b>",
                .comment = "viz revize",
                .source = "Regálový systém"});
  const ClientReport report = Build();
  const ClientSection& sklad = report.sections.back();
  EXPECT_EQ(Cp1250ToUtf8(sklad.heading), "Sklad");
  ASSERT_EQ(sklad.risks.size(), 1u);
  const ClientRisk& risk = sklad.risks[0];
  EXPECT_EQ(risk.index, 20);
  EXPECT_EQ(risk.number, "6.1");
  EXPECT_EQ(Cp1250ToUtf8(risk.text), "regál");
  EXPECT_EQ(Cp1250ToUtf8(risk.ident), "první řádek\r\ndruhý řádek");
  EXPECT_EQ(Cp1250ToUtf8(risk.opatreni), "kotvit <b>vždy</b>");
  EXPECT_EQ(Cp1250ToUtf8(risk.comment), "viz revize");
  EXPECT_EQ(Cp1250ToUtf8(risk.source), "Regálový systém");
  EXPECT_EQ(risk.p * 100 + risk.n * 10 + risk.h, 453);
  EXPECT_EQ(risk.level, 60);
  EXPECT_EQ(risk.band, 4);
  // An empty rating makes the risk unrated: level 0, band 0 (not "Bezvýznamné riziko").
  const ClientRisk& unrated = report.sections[0].risks[1];
  EXPECT_EQ(unrated.level, 0);
  EXPECT_EQ(unrated.band, 0);
}

TEST_F(ClientReportTest, SummaryCountsEachTopLevelBranchPerCategoryAndInTotal) {
  const ClientReport report = Build();
  // counts: unrated, then categories 1..5
  EXPECT_THAT(Summary(report), ElementsAre("Rizika mimo objekty: 1 0 1 0 0 0", "Dílna: 1 1 1 2 0 2",
                                           "Sklad: 0 0 0 0 0 0", ": 2 1 2 2 0 2"));
  EXPECT_EQ(report.total.Total(), report.riskCount);
  int rows = 0;
  for (const ClientSummaryRow& row : report.summary) rows += row.Total();
  EXPECT_EQ(rows, report.riskCount);
}

TEST_F(ClientReportTest, MatrixCountsTheRegistersRisksByPAndNWithTheHighestCategory) {
  const ClientReport report = Build();
  const ClientMatrix& matrix = report.matrix;
  // Every risk of the register with P and N in 1..5 has its cell; "nahoře B" lacks N.
  int placeable = 0;
  std::array<std::array<int, 5>, 5> expected{};
  for (const ClientSection& section : report.sections) {
    for (const ClientRisk& risk : section.risks) {
      if (risk.p >= 1 && risk.p <= 5 && risk.n >= 1 && risk.n <= 5) {
        ++placeable;
        ++expected[risk.p - 1][risk.n - 1];
      }
    }
  }
  EXPECT_EQ(matrix.count, expected);
  EXPECT_EQ(matrix.Total(), 8);
  EXPECT_EQ(matrix.Total(), placeable);
  EXPECT_EQ(matrix.leftOut, 1);
  EXPECT_EQ(matrix.Total() + matrix.leftOut, report.riskCount);
  EXPECT_EQ(matrix.count[4][4], 2);  // lis A and lis C
  EXPECT_EQ(matrix.band[4][4], 5);
  // P 3, N 4 holds dílna A (24), vrtačka A (12) and the unrated vrtačka B: the highest wins.
  EXPECT_EQ(matrix.count[2][3], 3);
  EXPECT_EQ(matrix.band[2][3], 3);
  // P 2, N 2 holds lis B and nahoře A, both of level 4.
  EXPECT_EQ(matrix.count[1][1], 2);
  EXPECT_EQ(matrix.band[1][1], 2);
}

TEST_F(ClientReportTest, MatrixCellOfOnlyUnratedRisksIsUnratedAndRiskOrderDoesNotMatter) {
  TempDir other;
  test::ProjectFixture small(other.path());
  small.Node(1, 0, "A");
  small.Risk(2, 1, {.text = "bez H", .p = 1, .n = 2, .h = std::nullopt});
  small.Risk(3, 1, Rated("vysoké", 5, 4, 5));  // 100, band 4
  small.Risk(4, 1, Rated("nízké", 5, 4, 1));   // 20, band 3, after the higher one
  const ClientReport report = BuildClientReport(small.table, messages, {}, "x.RSK");
  EXPECT_EQ(report.matrix.count[0][1], 1);
  EXPECT_EQ(report.matrix.band[0][1], 0);
  EXPECT_EQ(report.matrix.count[4][3], 2);
  EXPECT_EQ(report.matrix.band[4][3], 4);
}

TEST_F(ClientReportTest, ByLevelIsOneTableHighestFirstTiesInTreeOrder) {
  ClientReportOptions options;
  options.order = ClientReportOrder::ByLevel;
  const ClientReport report = Build(options);
  EXPECT_TRUE(report.byLevel);
  ASSERT_EQ(report.sections.size(), 1u);
  EXPECT_EQ(report.sections[0].heading, "");
  EXPECT_THAT(Register(report),
              ElementsAre("1 Dílna / Pracoviště 1 / Lis | lis A",
                          "2 Dílna / Pracoviště 1 / Lis | lis C", "3 Dílna | dílna A",
                          "4 Dílna / Pracoviště 2 / Vrtačka | vrtačka A", "5  | nahoře A",
                          "6 Dílna / Pracoviště 1 / Lis | lis B", "7 Dílna / Pracoviště 1 | prac A",
                          "8  | nahoře B", "9 Dílna / Pracoviště 2 / Vrtačka | vrtačka B"));
  // The order changes nothing of the counts.
  const ClientReport tree = Build();
  EXPECT_EQ(Summary(report), Summary(tree));
  EXPECT_EQ(report.matrix.count, tree.matrix.count);
}

TEST_F(ClientReportTest, BranchScopeReportsTheBranchWithItsFullPaths) {
  ClientReportOptions options;
  options.branch = 2;  // Dílna / Pracoviště 1
  const ClientReport report = Build(options);
  EXPECT_THAT(Headings(report), ElementsAre("Dílna / Pracoviště 1", "Dílna / Pracoviště 1 / Lis"));
  EXPECT_THAT(Register(report), ElementsAre("1.1 Dílna / Pracoviště 1 | prac A",
                                            "2.1 Dílna / Pracoviště 1 / Lis | lis A",
                                            "2.2 Dílna / Pracoviště 1 / Lis | lis B",
                                            "2.3 Dílna / Pracoviště 1 / Lis | lis C"));
  // The branch's own risks under its caption, then each child node's branch.
  EXPECT_THAT(Summary(report),
              ElementsAre("Pracoviště 1: 0 1 0 0 0 0", "Lis: 0 0 1 0 0 2", ": 0 1 1 0 0 2"));
  EXPECT_EQ(report.riskCount, 4);
  EXPECT_EQ(report.matrix.Total(), 4);
  EXPECT_EQ(Cp1250ToUtf8(report.options.object), "Dílna / Pracoviště 1");

  // A node whose risks all lie deeper.
  options.branch = 4;
  const ClientReport deeper = Build(options);
  EXPECT_THAT(Headings(deeper), ElementsAre("Dílna / Pracoviště 2 / Vrtačka"));
  EXPECT_THAT(Summary(deeper), ElementsAre("Vrtačka: 1 0 0 1 0 0", ": 1 0 0 1 0 0"));

  // A node without any risk: an empty register, zero counts.
  options.branch = 6;
  const ClientReport empty = Build(options);
  EXPECT_TRUE(empty.sections.empty());
  EXPECT_EQ(empty.riskCount, 0);
  EXPECT_EQ(empty.matrix.Total(), 0);
}

TEST_F(ClientReportTest, BranchOfAMissingParentOrARiskOrNothing) {
  // Records under a parent that has no record of its own: the tree shows "$$" for it.
  project.Node(30, 99, "Sirotek");
  project.Risk(31, 30, Rated("osiřelé", 1, 2, 3));
  ClientReportOptions options;
  options.branch = 99;
  const ClientReport orphans = Build(options);
  EXPECT_THAT(Register(orphans), ElementsAre("1.1 Sirotek | osiřelé"));

  options.branch = 10;  // a risk
  EXPECT_THAT(test::ErrorText([&] { Build(options); }), HasSubstr("10"));
  options.branch = 500;  // nothing
  EXPECT_EQ(Cp1250ToUtf8(test::ErrorText([&] { Build(options); })),
            "V projektu není položka s indexem 500.");
  EXPECT_FALSE(project.table.Filtered());
}

TEST_F(ClientReportTest, DefaultsFillTitleObjectAndDateAndGivenValuesStay) {
  const ClientReport report = Build();
  EXPECT_EQ(Cp1250ToUtf8(report.options.title), "Hodnocení rizik");
  EXPECT_EQ(Cp1250ToUtf8(report.options.object), "Dílna, Sklad");
  EXPECT_EQ(report.options.date, TodayCzechDate());
  EXPECT_EQ(report.projectName, "Projekt.RSK");

  ClientReportOptions options;
  options.title = W("Posouzení lisovny");
  options.object = W("Lisovna Brno");
  options.date = "1. 2. 2027";
  const ClientReport given = Build(options);
  EXPECT_EQ(Cp1250ToUtf8(given.options.title), "Posouzení lisovny");
  EXPECT_EQ(Cp1250ToUtf8(given.options.object), "Lisovna Brno");
  EXPECT_EQ(given.options.date, "1. 2. 2027");

  EXPECT_EQ(CzechDate(2026, 12, 8), "8. 12. 2026");
  EXPECT_EQ(CzechDate(2027, 1, 31), "31. 1. 2027");
}

TEST_F(ClientReportTest, TextsComeFromTheMessagesOfALanguageFile) {
  std::vector<std::string> items = Messages::Defaults();
  items[21] = "Risk assessment";
  items[3] = "Moderate risk";
  items[51] = "Probability";
  items[72] = "Measures";
  messages.Replace(items);
  const ClientReport report = Build();
  EXPECT_EQ(report.options.title, "Risk assessment");
  EXPECT_EQ(report.texts.category[3], "Moderate risk");
  EXPECT_EQ(Cp1250ToUtf8(report.texts.category[0]), "nehodnoceno");
  EXPECT_EQ(report.texts.scaleTitle[0], "Probability");
  EXPECT_EQ(report.texts.measures, "Measures");
  EXPECT_EQ(Cp1250ToUtf8(report.texts.scaleValue[2][4]),
            "Více významných a nepříznivých vlivů na závažnost a následky ohrožení a nebezpečí");
  EXPECT_EQ(Cp1250ToUtf8(report.texts.scaleValue[0][0]), "Nahodilá");
}

TEST_F(ClientReportTest, ADamagedTreeThatLoopsEndsAndCountsEachRiskOnce) {
  TempDir other;
  test::ProjectFixture damaged(other.path());
  damaged.Node(1, 0, "A");
  damaged.Node(2, 3, "B");  // B and C are each other's parent
  damaged.Node(3, 2, "C");
  damaged.Risk(4, 2, Rated("b", 1, 1, 1));
  damaged.Risk(5, 3, Rated("c", 1, 1, 1));
  damaged.Risk(6, 1, Rated("a", 1, 1, 1));
  ClientReportOptions options;
  options.branch = 2;
  const ClientReport report = BuildClientReport(damaged.table, messages, options, "x");
  EXPECT_EQ(report.riskCount, 2);
  EXPECT_EQ(report.total.Total(), 2);
}

}  // namespace
}  // namespace orvenda
