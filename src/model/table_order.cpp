// The orderings kept while the table is open: the current index, the groups the filter
// picks from, and the records by their "Index" value.
#include "model/table_internal.h"

#include <algorithm>

namespace orvenda {

using namespace table_detail;

void Table::Impl::InsertRec(uint32_t rec) {
  ++orderingsVersion;
  if (observer != nullptr) observer->Added(RowRef(this, rec));
  order.insert(order.end(), rec);  // appended records, the most common case, go last
  if (indexField >= 0) {
    const int32_t value = IntAt(rec, indexField);
    // A loading table's records mostly come in Index order: a new largest value goes last
    // without a search down the tree.
    const auto at =
        !byIndexValue.empty() && byIndexValue.rbegin()->first < value
            ? byIndexValue.emplace_hint(byIndexValue.end(), value, std::vector<uint32_t>())
            : byIndexValue.try_emplace(value).first;
    at->second.push_back(rec);
  }
  if (groupsBuilt) {
    const int32_t up = IntAt(rec, uplinkField);
    byUplink.try_emplace(up, OrderCmp{this}).first->second.insert(rec);
    if (typeField >= 0)
      byTypeUplink.try_emplace(GroupKey(IntAt(rec, typeField), up), OrderCmp{this})
          .first->second.insert(rec);
  }
}

void Table::Impl::RemoveRec(uint32_t rec) {
  ++orderingsVersion;
  if (observer != nullptr) observer->Removed(RowRef(this, rec));
  order.erase(rec);
  if (indexField >= 0) {
    const auto it = byIndexValue.find(IntAt(rec, indexField));
    if (it != byIndexValue.end()) {
      auto& v = it->second;
      v.erase(std::remove(v.begin(), v.end(), rec), v.end());
      if (v.empty()) byIndexValue.erase(it);
    }
  }
  if (groupsBuilt) {
    const int32_t up = IntAt(rec, uplinkField);
    if (const auto it = byUplink.find(up); it != byUplink.end()) {
      it->second.erase(rec);
      if (it->second.empty()) byUplink.erase(it);
    }
    if (typeField >= 0) {
      const auto key = GroupKey(IntAt(rec, typeField), up);
      if (const auto it = byTypeUplink.find(key); it != byTypeUplink.end()) {
        it->second.erase(rec);
        if (it->second.empty()) byTypeUplink.erase(it);
      }
    }
  }
}

void Table::Impl::BuildGroups() {
  ++orderingsVersion;
  byUplink.clear();
  byTypeUplink.clear();
  groupsBuilt = false;
  if (uplinkField < 0) return;
  for (uint32_t rec : order) {
    const int32_t up = IntAt(rec, uplinkField);
    byUplink.try_emplace(up, OrderCmp{this}).first->second.insert(rec);
    if (typeField >= 0)
      byTypeUplink.try_emplace(GroupKey(IntAt(rec, typeField), up), OrderCmp{this})
          .first->second.insert(rec);
  }
  groupsBuilt = true;
}

void Table::Impl::Rebuild() {
  if (orderField >= 0 && kinds[orderField] == Kind::Memo) AwaitMemos();
  ++orderingsVersion;
  builtField = orderField;
  builtDesc = orderDesc;
  ResetObserver();
  order.clear();
  byIndexValue.clear();
  groupsBuilt = false;
  byUplink.clear();
  byTypeUplink.clear();
  // The cells of the rows ahead are fetched while this one is taken in: each row's cells
  // are a memory block of their own, and a big table is mostly waiting for them.
  constexpr uint32_t kAhead = 8;
  for (uint32_t rec = 0; rec < rows.size(); ++rec) {
    if (rec + kAhead < rows.size()) {
      const Cell* cells = rows[rec + kAhead].cells.data();
      for (const int field : {indexField, typeField, uplinkField})
        if (field >= 0) __builtin_prefetch(cells + field);
    }
    if (!rows[rec].deleted) InsertRec(rec);
  }
  if (observer != nullptr) observer->Loaded();
  if (filtered && cond.active) BuildGroups();
}

void Table::Impl::ResolveOrder(const std::string& name) {
  if (name.empty()) {
    orderField = -1;
    orderDesc = false;
    return;
  }
  const std::string upper = UpperAscii(name);
  for (const IndexDef& def : indexes) {
    if (UpperAscii(def.name) == upper) {
      const auto it = fieldByName.find(UpperAscii(def.field));
      if (it == fieldByName.end()) break;
      orderField = it->second;
      orderDesc = def.descending;
      return;
    }
  }
  // Tags of foreign tables are named after their field.
  if (const auto it = fieldByName.find(upper); it != fieldByName.end()) {
    orderField = it->second;
    orderDesc = false;
    return;
  }
  throw Error(W("Index ") + name + W(" v tabulce ") + TableName() + W(" neexistuje."));
}

void Table::SetIndexName(const std::string& name) {
  Impl& t = *impl_;
  if (!t.open) {
    t.indexName = name;
    return;
  }
  t.CheckBrowse();
  t.ResolveOrder(name);  // fails before anything changes
  t.indexName = name;
  // Another name for the order the rows already have costs no rebuild.
  if (t.builtField != t.orderField || t.builtDesc != t.orderDesc) t.Rebuild();
  t.GoFirst();
}

const std::string& Table::IndexName() const { return impl_->indexName; }

bool Table::Locate(const std::string& field, int32_t value) {
  Impl& t = *impl_;
  t.RequireOpen();
  const int f = t.FieldIndex(field);
  t.CheckBrowse();
  int64_t found = -1;
  if (f == t.indexField) {
    const auto it = t.byIndexValue.find(value);
    if (it != t.byIndexValue.end()) {
      for (uint32_t rec : it->second) {
        if (!t.Passes(rec)) continue;
        if (found < 0 || t.Before(rec, static_cast<uint32_t>(found))) found = rec;
      }
    }
  } else if (const auto* v = t.View()) {
    for (uint32_t rec : *v) {
      if (t.IntAt(rec, f) == value) {
        found = rec;
        break;
      }
    }
  }
  if (found < 0) return false;
  t.SetCursor(found);
  return true;
}

int32_t Table::MaxOf(const std::string& field, int32_t empty) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  const int f = t.FieldIndex(field);
  if (f == t.indexField) return t.byIndexValue.empty() ? empty : t.byIndexValue.rbegin()->first;
  bool any = false;
  int32_t best = empty;
  for (uint32_t rec : t.order) {
    const int32_t v = t.IntAt(rec, f);
    if (!any || v > best) best = v;
    any = true;
  }
  return best;
}

}  // namespace orvenda
