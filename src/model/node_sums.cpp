#include "model/node_sums.h"

#include <cctype>
#include <string>

#include "model/project_table.h"

namespace orvenda {

namespace {

bool SameName(const std::string& a, const char* b) {
  const std::string other(b);
  if (a.size() != other.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(other[i])))
      return false;
  return true;
}

}  // namespace

NodeSums::NodeSums(Table& table) : table_(table) { table_.SetRowObserver(this); }

NodeSums::~NodeSums() { table_.SetRowObserver(nullptr); }

void NodeSums::Totals::Add(const Totals& other, int sign) {
  risks.sum += sign * other.risks.sum;
  risks.count += sign * other.risks.count;
  for (size_t i = 0; i < bands.size(); ++i) bands[i] += sign * other.bands[i];
}

NodeSums::Totals NodeSums::OneRisk(int32_t level) {
  Totals one;
  one.risks = {level, 1};
  one.bands[static_cast<size_t>(RatedBand(level))] = 1;
  return one;
}

void NodeSums::Reset(const Table& table) {
  ++changes_;
  entries_.clear();
  risk_bands_.clear();
  const auto& fields = table.Fields();
  const auto find = [&](const char* name, bool integer) {
    for (size_t i = 0; i < fields.size(); ++i)
      if (SameName(fields[i].name, name))
        return !integer || fields[i].type == FieldType::Integer ? static_cast<int>(i) : -1;
    return -1;
  };
  // The filters of the walk need integer Type and UpLink fields; without them the walk fails
  // with the table's own message, so it is left to say so.
  index_ = find(fld::kIndex, true);
  type_ = find(fld::kType, true);
  uplink_ = find(fld::kUpLink, true);
  p_ = find(fld::kPravdep, false);
  n_ = find(fld::kNasledky, false);
  h_ = find(fld::kHodnocen, false);
  usable_ = index_ >= 0 && type_ >= 0 && uplink_ >= 0 && p_ >= 0 && n_ >= 0 && h_ >= 0;
  loading_ = usable_;
}

void NodeSums::Loaded() {
  if (!loading_) return;
  loading_ = false;
  if (!usable_) return;
  if (!IsForest()) return Unusable();
  std::vector<std::pair<int32_t, Totals>> direct;
  for (const auto& [index, e] : entries_) {
    if (e.below.risks.count != 0 && e.nodeRecords != 0 && e.parent != index)
      direct.emplace_back(e.parent, e.below);
  }
  for (const auto& [parent, below] : direct) AddToChain(parent, below, 1);
}

// No node below itself: every chain of parents ends at a root or at a missing parent.
bool NodeSums::IsForest() {
  std::vector<Entry*> path;
  for (auto& [index, start] : entries_) {
    if (start.mark != 0) continue;
    int32_t at = index;
    Entry* e = &start;
    bool cycle = false;
    for (;;) {
      if (e->mark == 2) break;
      if (e->mark == 1) {
        cycle = true;
        break;
      }
      e->mark = 1;
      path.push_back(e);
      if (e->nodeRecords == 0 || e->parent == at) break;
      at = e->parent;
      const auto it = entries_.find(at);
      if (it == entries_.end()) break;
      e = &it->second;
    }
    for (Entry* walked : path) walked->mark = 2;
    path.clear();
    if (cycle) return false;
  }
  return true;
}

void NodeSums::AddToChain(int32_t from, const Totals& delta, int sign) {
  int32_t at = from;
  for (;;) {
    Entry& e = entries_[at];
    e.below.Add(delta, sign);
    if (e.nodeRecords == 0 || e.parent == at) return;
    at = e.parent;
  }
}

bool NodeSums::InChain(int32_t from, int32_t node) const {
  int32_t at = from;
  for (;;) {
    if (at == node) return true;
    const auto it = entries_.find(at);
    if (it == entries_.end() || it->second.nodeRecords == 0 || it->second.parent == at)
      return false;
    at = it->second.parent;
  }
}

void NodeSums::Added(const RowValues& row) {
  ++changes_;
  if (!usable_) return;
  const int32_t type = row.Int(type_);
  const int32_t up = row.Int(uplink_);
  if (type == kRiskType) {
    const int32_t level = RiskLevel(row.Int(p_), row.Int(n_), row.Int(h_));
    risk_bands_[row.Int(index_)] = static_cast<int8_t>(RatedBand(level));
    if (loading_) return entries_[up].below.Add(OneRisk(level), 1);
    AddToChain(up, OneRisk(level), 1);
  } else if (type == kNodeType) {
    const int32_t index = row.Int(index_);
    Entry& e = entries_[index];
    if (loading_) {
      if (e.nodeRecords != 0 && e.parent != up) return Unusable();
      ++e.nodeRecords;
      e.parent = up;
      return;
    }
    // A second record of the same node under the same parent changes nothing the walk
    // sees; one under another parent, or a node below itself, makes no tree.
    if (e.nodeRecords != 0) {
      if (e.parent == up) {
        ++e.nodeRecords;
      } else {
        Unusable();
      }
      return;
    }
    // A node that names itself as parent (as a freshly appended, still empty record does)
    // is a root to the walk.
    if (up != index && InChain(up, index)) return Unusable();
    e.nodeRecords = 1;
    e.parent = up;
    const Totals below = e.below;
    if (below.risks.count != 0 && up != index) AddToChain(up, below, 1);
  }
}

void NodeSums::Removed(const RowValues& row) {
  ++changes_;
  Loaded();
  if (!usable_) return;
  const int32_t type = row.Int(type_);
  const int32_t up = row.Int(uplink_);
  if (type == kRiskType) {
    const int32_t level = RiskLevel(row.Int(p_), row.Int(n_), row.Int(h_));
    risk_bands_.erase(row.Int(index_));
    AddToChain(up, OneRisk(level), -1);
  } else if (type == kNodeType) {
    const int32_t index = row.Int(index_);
    Entry& e = entries_[index];
    if (e.nodeRecords == 0 || e.parent != up) return Unusable();
    if (--e.nodeRecords != 0) return;
    e.parent = 0;
    const Totals below = e.below;
    if (below.risks.count != 0 && up != index) AddToChain(up, below, -1);
  }
}

void NodeSums::Unusable() {
  usable_ = false;
  loading_ = false;
  entries_.clear();
  risk_bands_.clear();
}

std::optional<RiskSum> NodeSums::Sum(int32_t node) {
  Loaded();
  if (!usable_ || !table_.IsOpen()) return std::nullopt;
  const auto it = entries_.find(node);
  return it == entries_.end() ? RiskSum{} : it->second.below.risks;
}

int32_t NodeSums::Average(int32_t node) {
  const auto kept = Sum(node);
  if (!kept) return NodeAverage(table_, node);
  return kept->count == 0 ? 0 : static_cast<int32_t>(kept->sum / kept->count);
}

std::optional<NodeSums::BandCounts> NodeSums::Bands(int32_t node) {
  Loaded();
  if (!usable_ || !table_.IsOpen()) return std::nullopt;
  const auto it = entries_.find(node);
  return it == entries_.end() ? BandCounts{} : it->second.below.bands;
}

int NodeSums::HighestBand(int32_t node) {
  const auto bands = Bands(node);
  if (!bands) return -1;
  for (int band = 5; band >= 0; --band)
    if ((*bands)[static_cast<size_t>(band)] > 0) return band;
  return -1;
}

int NodeSums::RiskBandOf(int32_t index) {
  Loaded();
  if (!usable_ || !table_.IsOpen()) return -1;
  const auto it = risk_bands_.find(index);
  return it == risk_bands_.end() ? -1 : it->second;
}

}  // namespace orvenda
