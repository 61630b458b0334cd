#include "model/node_sums.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_set>
#include <vector>

#include "model/project_table.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

class NodeSumsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.SetPath(dir / "RiskData.dbf");
    CreateProjectTable(table);
  }
  void Add(int32_t index, int32_t type, int32_t uplink, int32_t level) {
    table.Append();
    table.SetInt(fld::kIndex, index);
    table.SetInt(fld::kType, type);
    table.SetInt(fld::kUpLink, uplink);
    table.SetInt(fld::kPravdep, level);
    table.SetInt(fld::kNasledky, 1);
    table.SetInt(fld::kHodnocen, 1);
    table.Post();
  }
  // The risks below `node` by band, counted by walking the child filters as the sums' own
  // walk does.
  NodeSums::BandCounts BandsByWalk(int32_t node) {
    NodeSums::BandCounts bands{};
    std::vector<int32_t> pending{node};
    std::unordered_set<int32_t> seen{node};
    while (!pending.empty()) {
      const int32_t at = pending.back();
      pending.pop_back();
      std::vector<int32_t> children;
      table.SetFilter(ChildNodesFilter(at));
      table.SetFiltered(true);
      for (table.First(); !table.Eof(); table.Next()) children.push_back(table.GetInt(fld::kIndex));
      for (int32_t child : children)
        if (seen.insert(child).second) pending.push_back(child);
      table.SetFilter(ChildRisksFilter(at));
      for (table.First(); !table.Eof(); table.Next())
        ++bands[static_cast<size_t>(RatedBand(RiskLevel(table)))];
    }
    ClearFilter(table);
    return bands;
  }
  // Every node, placeholder parent and unknown Index agrees with the walk, in sums, band
  // counts and highest band; every risk has its own band.
  void ExpectSumsMatchTheWalk(NodeSums& sums, int32_t maxIndex, bool kept) {
    for (int32_t node = 0; node <= maxIndex + 1; ++node) {
      const RiskSum walk = SumRisks(table, node);
      const auto fast = sums.Sum(node);
      ASSERT_EQ(fast.has_value(), kept) << "node " << node;
      ASSERT_EQ(sums.Bands(node).has_value(), kept) << "node " << node;
      if (!fast) {
        EXPECT_EQ(sums.HighestBand(node), -1);
        continue;
      }
      ASSERT_EQ(fast->sum, walk.sum) << "node " << node;
      ASSERT_EQ(fast->count, walk.count) << "node " << node;
      const NodeSums::BandCounts bands = BandsByWalk(node);
      ASSERT_EQ(*sums.Bands(node), bands) << "node " << node;
      int highest = -1;
      for (int band = 0; band < 6; ++band)
        if (bands[static_cast<size_t>(band)] != 0) highest = band;
      ASSERT_EQ(sums.HighestBand(node), highest) << "node " << node;
    }
    ClearFilter(table);
    for (table.First(); !table.Eof(); table.Next()) {
      const int32_t index = table.GetInt(fld::kIndex);
      const int expected =
          table.GetInt(fld::kType) == kRiskType && kept ? RatedBand(RiskLevel(table)) : -1;
      ASSERT_EQ(sums.RiskBandOf(index), expected) << "record " << index;
    }
  }
  test::TempDir dir;
  Table table;
};

TEST_F(NodeSumsTest, KeptSumsEqualTheWalkAfterRandomEdits) {
  NodeSums sums(table);
  std::mt19937 rng(15);
  const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  std::vector<int32_t> nodes;  // Index of every live node record
  int32_t next = 1;
  for (int step = 0; step < 2000; ++step) {
    const int what = pick(100);
    ClearFilter(table);
    if (what < 25 || table.RecordCount() < 10) {
      // A node or a risk under a live node, a missing parent, or the top level.
      const int32_t up = nodes.empty() || pick(10) == 0 ? (pick(2) ? 0 : 9000 + pick(5))
                                                        : nodes[pick(nodes.size())];
      const bool node = pick(3) == 0;
      Add(next, node ? kNodeType : kRiskType, up, pick(6));
      if (node) nodes.push_back(next);
      ++next;
    } else if (what < 55) {
      // Store: new ratings, sometimes emptied.
      table.Locate(fld::kIndex, 1 + pick(next - 1));
      table.Edit();
      if (pick(5) == 0) {
        table.SetNull(fld::kPravdep);
      } else {
        table.SetInt(fld::kPravdep, 1 + pick(5));
        table.SetInt(fld::kNasledky, 1 + pick(5));
        table.SetInt(fld::kHodnocen, 1 + pick(5));
      }
      table.Post();
    } else if (what < 70 && !nodes.empty()) {
      // A drop: a node or risk moves under a node that is not below it.
      const int32_t moved = 1 + pick(next - 1);
      const int32_t target = pick(4) == 0 ? 0 : nodes[pick(nodes.size())];
      bool below = target == moved;
      for (int32_t at = target; at != 0 && !below && table.Locate(fld::kIndex, at);) {
        at = table.GetInt(fld::kUpLink);
        below = at == moved;
      }
      if (!below && table.Locate(fld::kIndex, moved)) {
        table.SetInt(fld::kUpLink, target);
        table.Post();
      }
    } else if (what < 97) {
      // A delete of one record; its children, if any, are left under a missing parent.
      const int32_t victim = 1 + pick(next - 1);
      if (table.Locate(fld::kIndex, victim)) {
        table.Delete();
        std::erase(nodes, victim);
      }
    } else if (what < 99) {
      table.Close();  // the rows stay cached for the reopen
      table.Open();
    } else {
      table.Close();
      table.Open(true);
      table.Pack();
      table.Close();
      table.Open();
    }
    if (step % 500 == 499) ExpectSumsMatchTheWalk(sums, next, true);
  }
  ExpectSumsMatchTheWalk(sums, next, true);
  ASSERT_FALSE(nodes.empty());
  const RiskSum top = SumRisks(table, nodes.front());
  EXPECT_EQ(sums.Average(nodes.front()), top.count == 0 ? 0 : top.sum / top.count);
}

TEST_F(NodeSumsTest, AttachesToAnOpenTableAndLeavesDamagedTreesToTheWalk) {
  Add(1, kNodeType, 0, 1);
  Add(2, kRiskType, 1, 5);
  Add(3, kNodeType, 1, 1);
  Add(4, kRiskType, 3, 2);
  {
    NodeSums sums(table);  // rows already there are counted at once
    // Every row change counts; a reopen that keeps the rows changes nothing.
    const uint64_t before = sums.Changes();
    Add(9, kRiskType, 1, 1);
    EXPECT_GT(sums.Changes(), before);
    table.Locate(fld::kIndex, 9);
    table.Delete();
    const uint64_t afterDelete = sums.Changes();
    EXPECT_GT(afterDelete, before + 1);
    table.Close();
    table.Open();
    EXPECT_EQ(sums.Changes(), afterDelete);
    ASSERT_TRUE(sums.Sum(1).has_value());
    EXPECT_EQ(sums.Sum(1)->sum, 7);
    EXPECT_EQ(sums.Average(1), 3);
    // Node 1 under its own descendant: the sums step aside and the walk answers.
    table.Locate(fld::kIndex, 1);
    table.SetInt(fld::kUpLink, 3);
    table.Post();
    EXPECT_FALSE(sums.Sum(1).has_value());
    EXPECT_EQ(sums.Average(3), NodeAverage(table, 3));
    // Loaded in bulk, the loop is found as well.
    table.Close();
    table.Open(true);
    table.Pack();
    EXPECT_FALSE(sums.Sum(1).has_value());
    EXPECT_FALSE(sums.Sum(3).has_value());
    // Mended and reloaded, they are kept again.
    table.Locate(fld::kIndex, 1);
    table.SetInt(fld::kUpLink, 0);
    table.Post();
    table.Close();
    table.Open(true);
    table.Pack();
    ExpectSumsMatchTheWalk(sums, 4, true);
    // A second node record with a used Index is no tree either.
    Add(3, kNodeType, 0, 1);
    ExpectSumsMatchTheWalk(sums, 4, false);
    table.Close();
    table.Open(true);
    table.Pack();
    ExpectSumsMatchTheWalk(sums, 4, false);
  }
  // Gone with its observer: the table works on alone.
  Add(5, kRiskType, 0, 1);
  EXPECT_EQ(table.RecordCount(), 6);
}

}  // namespace
}  // namespace orvenda
