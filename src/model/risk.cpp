#include "model/risk.h"

#include <unordered_set>
#include <vector>

#include "model/project_table.h"

namespace orvenda {

int32_t RiskLevel(int32_t p, int32_t n, int32_t h) {
  // Ratings outside 1..5 come only from foreign tables; wrap like 32-bit arithmetic.
  const int64_t product = static_cast<int64_t>(p) * n * h;
  return static_cast<int32_t>(static_cast<uint32_t>(product));
}

int32_t RiskLevel(const Table& table) {
  return RiskLevel(table.GetInt(fld::kPravdep), table.GetInt(fld::kNasledky),
                   table.GetInt(fld::kHodnocen));
}

std::optional<int> RiskBand(int32_t level) {
  if (level < 0 || level > 125) return std::nullopt;
  if (level <= 3) return 1;
  if (level <= 10) return 2;
  if (level <= 50) return 3;
  if (level <= 100) return 4;
  return 5;
}

BandColor RiskBandColor(int band) {
  static constexpr BandColor kColors[] = {
      {"#d9d9d9", false},  // unrated
      {"#ffffb2", false}, {"#fecc5c", false}, {"#fd8d3c", false},
      {"#e31a1c", true},  {"#800026", true},
  };
  return kColors[band >= 1 && band <= 5 ? band : 0];
}

int RatedBand(int32_t level) {
  if (level == 0) return 0;
  return RiskBand(level).value_or(0);
}

std::string RiskCategory(const Messages& messages, int32_t level) {
  const auto band = RiskBand(level);
  return band ? messages.Get(*band) : std::string();
}

std::string RiskStatusText(const Messages& messages, int32_t level) {
  std::string text = messages.Get(6) + " " + std::to_string(level);
  if (const auto band = RiskBand(level)) text += " " + messages.Get(*band);
  return text;
}

RiskSum SumRisks(Table& table, int32_t node) {
  RiskSum total;
  // Depth-first over the child nodes with an explicit stack: deep trees cannot exhaust the
  // call stack, and a node that is its own ancestor (a damaged table) is visited once.
  std::vector<int32_t> pending{node};
  std::unordered_set<int32_t> seen{node};
  std::vector<int32_t> children;
  const int index = table.FieldNumber(fld::kIndex);
  const int p = table.FieldNumber(fld::kPravdep);
  const int n = table.FieldNumber(fld::kNasledky);
  const int h = table.FieldNumber(fld::kHodnocen);
  while (!pending.empty()) {
    const int32_t current = pending.back();
    pending.pop_back();
    table.SetFilter(ChildNodesFilter(current));
    table.SetFiltered(true);
    children.clear();
    for (table.First(); !table.Eof(); table.Next()) children.push_back(table.GetInt(index));
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      if (seen.insert(*it).second) pending.push_back(*it);
    }
    table.SetFilter(ChildRisksFilter(current));
    for (table.First(); !table.Eof(); table.Next()) {
      total.sum += RiskLevel(table.GetInt(p), table.GetInt(n), table.GetInt(h));
      ++total.count;
    }
  }
  ClearFilter(table);
  table.First();
  return total;
}

int32_t NodeAverage(Table& table, int32_t node) {
  const RiskSum total = SumRisks(table, node);
  return total.count == 0 ? 0 : static_cast<int32_t>(total.sum / total.count);
}

}  // namespace orvenda
