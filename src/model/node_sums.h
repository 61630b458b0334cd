#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "model/risk.h"
#include "model/table.h"

namespace orvenda {

// The sum and count of the risk levels below every node of a table of tree records, kept up to
// date from the table's own row changes, so that every writer of the table (editing, moves,
// pastes, copies, imports) keeps them right without knowing of them and a node's average
// costs no walk. A table whose UpLink chains are not a forest (a node below itself, one Index
// for nodes under different parents) is left to the walk until its rows are reloaded.
class NodeSums final : public RowObserver {
 public:
  explicit NodeSums(Table& table);
  ~NodeSums() override;
  NodeSums(const NodeSums&) = delete;
  NodeSums& operator=(const NodeSums&) = delete;

  // The totals below `node`, as SumRisks counts them; nullopt when only the walk can tell.
  std::optional<RiskSum> Sum(int32_t node);
  // NodeAverage of `node`: from the kept sums, or by the walk when they cannot tell.
  int32_t Average(int32_t node);

  // The risks below `node` by RatedBand (0 unrated, 1..5); nullopt when only a walk can tell.
  using BandCounts = std::array<int64_t, 6>;
  std::optional<BandCounts> Bands(int32_t node);
  // The highest RatedBand below `node`, so that one grave risk among many small ones shows;
  // -1 when no risk lies below or the sums cannot tell.
  int HighestBand(int32_t node);
  // RatedBand of the risk record `index`; -1 when there is none or the sums cannot tell.
  int RiskBandOf(int32_t index);

  // Counts every row change of the table: a copy of the rows (a find's texts) taken at one
  // count is still right while the count stays.
  uint64_t Changes() const { return changes_; }

  void Reset(const Table& table) override;
  void Added(const RowValues& row) override;
  void Removed(const RowValues& row) override;
  void Loaded() override;

 private:
  struct Totals {
    RiskSum risks;
    BandCounts bands{};
    void Add(const Totals& other, int sign);
  };
  struct Entry {
    Totals below;  // while loading: only the risks directly below
    int32_t parent = 0;
    int nodeRecords = 0;  // node records with this Index, all under `parent`
    char mark = 0;        // the forest check of a load: 1 on the path walked, 2 checked
  };

  void AddToChain(int32_t from, const Totals& delta, int sign);
  static Totals OneRisk(int32_t level);
  bool InChain(int32_t from, int32_t node) const;
  bool IsForest();
  void Unusable();

  Table& table_;
  uint64_t changes_ = 0;
  bool usable_ = false;  // the fields are there and the tree is a forest
  // The rows after a Reset come in bulk: each risk is only added to its parent and the sums
  // are carried up once at the end, instead of up the whole chain for every risk.
  bool loading_ = false;
  int index_ = -1, type_ = -1, uplink_ = -1, p_ = -1, n_ = -1, h_ = -1;
  std::unordered_map<int32_t, Entry> entries_;
  // RatedBand of every risk record by its Index, for the risk's own colour.
  std::unordered_map<int32_t, int8_t> risk_bands_;
};

}  // namespace orvenda
