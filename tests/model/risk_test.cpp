#include "model/risk.h"

#include <gtest/gtest.h>

#include "base/cp1250.h"
#include "model/project_table.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

TEST(RiskArithmetic, LevelAndBandBounds) {
  EXPECT_EQ(RiskLevel(3, 4, 2), 24);
  EXPECT_EQ(RiskLevel(5, 5, 5), 125);
  EXPECT_EQ(RiskLevel(0, 5, 5), 0);
  EXPECT_EQ(RiskLevel(-2, 7, 5), -70);
  EXPECT_EQ(RiskLevel(2000000, 2000, 1), static_cast<int32_t>(4000000000u));  // wraps
  const std::pair<int32_t, std::optional<int>> bounds[] = {{-1, std::nullopt},
                                                           {0, 1},
                                                           {3, 1},
                                                           {4, 2},
                                                           {10, 2},
                                                           {11, 3},
                                                           {50, 3},
                                                           {51, 4},
                                                           {100, 4},
                                                           {101, 5},
                                                           {125, 5},
                                                           {126, std::nullopt}};
  for (const auto& [level, band] : bounds) EXPECT_EQ(RiskBand(level), band) << level;
  // Colouring treats R = 0 and levels outside every band as unrated, the rest by their band.
  for (const auto& [level, band] : bounds) {
    EXPECT_EQ(RatedBand(level), level == 0 ? 0 : band.value_or(0)) << level;
  }
  EXPECT_STREQ(RiskBandColor(0).fill, RiskBandColor(6).fill);
  EXPECT_STRNE(RiskBandColor(1).fill, RiskBandColor(5).fill);
}

TEST(RiskArithmetic, StatusTextAndCategory) {
  const Messages messages;
  EXPECT_EQ(RiskStatusText(messages, 24), W("Míra rizika: 24 Mírné riziko"));
  EXPECT_EQ(RiskStatusText(messages, 0), W("Míra rizika: 0 Bezvýznamné riziko"));
  EXPECT_EQ(RiskStatusText(messages, 125), W("Míra rizika: 125 Nepřijatelné riziko"));
  EXPECT_EQ(RiskStatusText(messages, -70), W("Míra rizika: -70"));
  EXPECT_EQ(RiskStatusText(messages, 126), W("Míra rizika: 126"));
  EXPECT_EQ(RiskCategory(messages, 51), W("Nežádoucí riziko"));
  EXPECT_EQ(RiskCategory(messages, 200), "");
  // A language file replaces the texts everywhere.
  Messages english;
  std::vector<std::string> items = english.Items();
  items[3] = "Moderate";
  items[6] = "Risk:";
  english.Replace(items);
  EXPECT_EQ(RiskStatusText(english, 11), "Risk: 11 Moderate");
}

class NodeAverageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.SetPath(dir / "RiskData.dbf");
    CreateProjectTable(table);
  }
  void Node(int32_t index, int32_t uplink) { Add(index, kNodeType, uplink, 0, 0, 0); }
  void Risk(int32_t index, int32_t uplink, int32_t p, int32_t n, int32_t h) {
    Add(index, kRiskType, uplink, p, n, h);
  }
  void Add(int32_t index, int32_t type, int32_t uplink, int32_t p, int32_t n, int32_t h) {
    table.Append();
    table.SetInt(fld::kIndex, index);
    table.SetInt(fld::kType, type);
    table.SetInt(fld::kUpLink, uplink);
    if (p || n || h) {
      table.SetInt(fld::kPravdep, p);
      table.SetInt(fld::kNasledky, n);
      table.SetInt(fld::kHodnocen, h);
    }
    table.Post();
  }
  test::TempDir dir;
  Table table;
};

TEST_F(NodeAverageTest, AveragesEveryRiskOfTheSubtreeOnce) {
  Add(1, kNodeType, 0, 5, 5, 5);  // a node's own ratings play no part
  Risk(2, 1, 5, 5, 4);            // 100
  Node(3, 1);
  Risk(4, 3, 1, 1, 1);
  Risk(5, 3, 1, 1, 1);
  Node(6, 3);
  Risk(7, 6, 1, 1, 1);  // two levels down
  Node(8, 0);
  Risk(9, 8, 3, 1, 1);
  Risk(10, 8, 2, 2, 1);
  Node(11, 8);             // empty sub-node
  Risk(12, 0, 5, 5, 5);    // top-level risk belongs to no node
  Add(13, 2, 1, 5, 5, 5);  // neither node nor risk: the filters skip it
  Node(20, 0);
  Node(21, 20);

  const RiskSum sum = SumRisks(table, 1);
  EXPECT_EQ(sum.sum, 103);
  EXPECT_EQ(sum.count, 4);
  EXPECT_EQ(NodeAverage(table, 1), 25);
  EXPECT_EQ(NodeAverage(table, 3), 1);
  EXPECT_EQ(NodeAverage(table, 8), 3);  // (3 + 4) div 2
  EXPECT_EQ(NodeAverage(table, 20), 0);
  EXPECT_EQ(NodeAverage(table, 99), 0);
  // The table is left unfiltered on its first record.
  EXPECT_FALSE(table.Filtered());
  EXPECT_EQ(table.Filter(), "");
  EXPECT_EQ(table.GetInt(fld::kIndex), 1);
  EXPECT_EQ(table.RecordCount(), 15);
}

TEST_F(NodeAverageTest, CyclesInUpLinkDoNotHang) {
  Node(1, 2);
  Node(2, 1);
  Node(3, 3);  // its own parent
  Risk(4, 2, 2, 2, 2);
  Risk(5, 1, 1, 1, 1);
  Risk(6, 3, 4, 1, 1);
  EXPECT_EQ(SumRisks(table, 1).count, 2);
  EXPECT_EQ(NodeAverage(table, 1), 4);  // (8 + 1) div 2
  EXPECT_EQ(NodeAverage(table, 3), 4);
}

}  // namespace
}  // namespace orvenda
