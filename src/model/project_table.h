#pragma once

#include <cstdint>
#include <vector>

#include "model/table.h"

namespace orvenda {

// Field names of every table of tree records (project, clipboard, libraries, exchange).
namespace fld {
inline constexpr const char* kIndex = "Index";
inline constexpr const char* kType = "Type";
inline constexpr const char* kText = "Text";
inline constexpr const char* kComment = "Comment";
inline constexpr const char* kUpLink = "UpLink";
inline constexpr const char* kSource = "Source";
inline constexpr const char* kIdent = "Ident";
inline constexpr const char* kOpatreni = "Opatreni";
inline constexpr const char* kPravdep = "Pravdep";
inline constexpr const char* kNasledky = "Nasledky";
inline constexpr const char* kHodnocen = "Hodnocen";
}  // namespace fld

inline constexpr int32_t kNodeType = 0;
inline constexpr int32_t kRiskType = 1;
inline constexpr int kTextSize = 100;
inline constexpr int kSourceSize = 250;

std::vector<FieldDef> ProjectTableFields();
std::vector<IndexDef> ProjectTableIndexes();

// (Re)creates the table's files as an empty table of tree records and opens it with the
// index "Index" current.
void CreateProjectTable(Table& table);

// Largest Index in the table, 0 when empty. Switches the filter off.
int32_t MaxIndex(Table& table);

// Filter texts that visit the children of a record.
std::string ChildNodesFilter(int32_t parent);  // "Type=0 AND Uplink=<parent>"
std::string ChildRisksFilter(int32_t parent);  // "Type=1 AND Uplink=<parent>"

// Switches the filter off and clears its text, as every table operation does first.
void ClearFilter(Table& table);

}  // namespace orvenda
