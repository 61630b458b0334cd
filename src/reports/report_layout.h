#pragma once

#include <array>

namespace orvenda {

// The nine report columns, in page order.
inline constexpr int kReportColumns = 9;
enum ReportColumn {
  kObjectColumn = 0,  // path text of the assessed object
  kSourceColumn = 1,
  kIdentColumn = 2,
  kPColumn = 3,
  kNColumn = 4,
  kHColumn = 5,
  kRColumn = 6,
  kOpatreniColumn = 7,
  kCommentColumn = 8,
};

// How the report table is laid out. Set by the layout dialog, read when rows and pages are
// written; it lives only as long as the preview window is open.
struct ReportLayout {
  // Share of the page width of each column in percent; 0 hides the column. The total need
  // not be 100: the layout dialog's arithmetic does not normalise it.
  std::array<int, kReportColumns> ColumnPercent{8, 8, 38, 2, 2, 2, 2, 28, 12};
  bool ObjectInOwnRow = false;  // the path text heads the object row instead of column 0
  int ObjectRowColspan = 9;
  bool TreeSection = false;    // outline of the project tree after the table
  bool TreeWithRisks = false;  // the outline lists risks too

  bool operator==(const ReportLayout&) const = default;
};

}  // namespace orvenda
