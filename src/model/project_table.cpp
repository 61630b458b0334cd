#include "model/project_table.h"

#include <algorithm>
#include <string>

namespace orvenda {

std::vector<FieldDef> ProjectTableFields() {
  return {
      {fld::kIndex, FieldType::Integer, 0},       {fld::kType, FieldType::Integer, 0},
      {fld::kText, FieldType::String, kTextSize}, {fld::kComment, FieldType::Memo, 0},
      {fld::kUpLink, FieldType::Integer, 0},      {fld::kSource, FieldType::String, kSourceSize},
      {fld::kIdent, FieldType::Memo, 0},          {fld::kOpatreni, FieldType::Memo, 0},
      {fld::kPravdep, FieldType::Integer, 0},     {fld::kNasledky, FieldType::Integer, 0},
      {fld::kHodnocen, FieldType::Integer, 0},
  };
}

std::vector<IndexDef> ProjectTableIndexes() { return {{fld::kIndex, fld::kIndex, false}}; }

void ClearFilter(Table& table) {
  table.SetFiltered(false);
  table.SetFilter("");
}

void CreateProjectTable(Table& table) {
  ClearFilter(table);
  table.Close();
  table.Create(ProjectTableFields(), ProjectTableIndexes());
  table.SetIndexName(fld::kIndex);
  table.Open();
}

int32_t MaxIndex(Table& table) {
  ClearFilter(table);
  const int32_t largest = table.MaxOf(fld::kIndex, 0);
  table.Last();
  return std::max(largest, 0);
}

std::string ChildNodesFilter(int32_t parent) {
  return "Type=0 AND Uplink=" + std::to_string(parent);
}

std::string ChildRisksFilter(int32_t parent) {
  return "Type=1 AND Uplink=" + std::to_string(parent);
}

}  // namespace orvenda
