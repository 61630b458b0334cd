#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/cp1250.h"
#include "base/messages.h"
#include "model/table.h"

namespace orvenda {

// The report a consultant hands the client: a title page, a summary per category, the risk
// matrix, the register of risks and the legend. This is its content, computed from the
// project table; the Qt side lays it out once for print, PDF and ODT.
//
// Every text here is windows-1250, as in the core.

enum class ClientReportOrder {
  Tree,     // one section per node that has risks directly under it, in the tree's order
  ByLevel,  // one table of every risk, highest risk level first, ties in the tree's order
};

struct ClientReportOptions {
  std::string title;     // "" gives ClientReportTexts::title ("Hodnocení rizik")
  std::string client;    // "" leaves the line out
  std::string object;    // "" gives the captions of the scope's top-level nodes joined by ", "
  std::string assessor;  // also the PDF's author
  std::string date;      // "" gives today's date, "8. 12. 2026"
  // The Index of the node whose branch is reported; none: the whole project.
  std::optional<int32_t> branch;
  ClientReportOrder order = ClientReportOrder::Tree;
  bool summary = true;
  bool matrix = true;
  bool measures = true;  // the register's column "Bezpečnostní opatření"
  bool notes = true;     // the register's column "Poznámka"
  bool legend = true;
  bool landscape = false;
};

// Every fixed text of the report in one place, each a numbered message (so that a language file
// translates the whole document).
struct ClientReportTexts {
  std::string title;                      // 21 "Hodnocení rizik"
  std::array<std::string, 6> category;    // [1..5] messages 1..5; [0] `unrated` below
  std::string object;                     // 33 "Posuzovaný objekt"
  std::string source;                     // 42 "Subsystém"
  std::array<std::string, 4> letter;      // 44..47 "P", "N", "H", "R"
  std::string note;                       // 49 "Poznámka"
  std::string legend;                     // 50 "Vysvětlivky:"
  std::array<std::string, 4> scaleTitle;  // 51..54, the last "Míra rizika"
  std::array<std::array<std::string, 5>, 3> scaleValue;  // 55..59, 60..64, 65..69
  std::string measures;                                  // 72 "Bezpečnostní opatření"
  std::string hazard;                                    // 92 "Nebezpečí"
  std::string description;                               // 93 "Popis nebezpečí"
  std::string categoryColumn;                            // 94 "Kategorie"
  std::string unrated;                                   // 97 "nehodnoceno", R = 0
  std::string total;                                     // 99 "Celkem"
  // 298 to 318, in this order: "Objednatel:" ... "z" ("Strana 2 z 7").
  std::string clientLabel, objectLabel, assessorLabel, dateLabel, projectLabel, riskCountLabel,
      preparedBy, receivedBy, summaryHeading, summaryCaption, matrixHeading, matrixCaption,
      matrixLeftOut, registerHeading, number, noRisks, topLevelRisks, unratedNote, page, writing,
      pageOf;
  std::string signedOn;  // 301 "Datum:", as dateLabel
};

// The texts as `messages` has them, windows-1250.
ClientReportTexts ClientReportTextsFrom(const Messages& messages);

struct ClientRisk {
  int32_t index = 0;
  std::string number;  // "2.3": section 2, risk 3; by level the running number alone
  std::string path;    // path text of the node it hangs under
  std::string text, source, ident, opatreni, comment;  // as stored
  int32_t p = 0, n = 0, h = 0;
  int32_t level = 0;  // P × N × H
  int band = 0;       // RatedBand(level): 0 unrated, 1..5
};

struct ClientSection {
  std::string heading;  // the node's path; for the by-level table ""
  std::vector<ClientRisk> risks;
};

struct ClientSummaryRow {
  std::string caption;
  std::array<int, 6> counts{};  // [0] unrated, [1..5] the categories
  int Total() const;
};

// P by N. A risk whose P or N lies outside 1..5 has no cell.
struct ClientMatrix {
  std::array<std::array<int, 5>, 5> count{};  // [P - 1][N - 1]
  std::array<std::array<int, 5>, 5> band{};   // the highest band of the cell's risks
  int leftOut = 0;                            // risks without a cell
  int Total() const;
};

struct ClientReport {
  ClientReportOptions options;  // with title, object and date filled in
  ClientReportTexts texts;
  std::string projectName;  // the project file's name
  int riskCount = 0;
  bool byLevel = false;
  // Tree order: the sections in pre-order (a node's own risks, then its child nodes' branches,
  // siblings in ascending Index), the risks of the scope's root first. By level: one section.
  std::vector<ClientSection> sections;
  // One row per child node of the scope's root (its whole branch), in ascending Index, after
  // a row for the risks directly under the root when there are any.
  std::vector<ClientSummaryRow> summary;
  ClientSummaryRow total;
  ClientMatrix matrix;
};

// Builds the report of `project` for `options`. A branch Index that is no record and that no
// record names as its parent, or that is a risk, fails with orvenda::Error. Leaves the
// table's filter off.
ClientReport BuildClientReport(Table& project, const Messages& messages,
                               const ClientReportOptions& options, const std::string& projectName);

// "8. 12. 2026".
std::string CzechDate(int year, int month, int day);
std::string TodayCzechDate();

}  // namespace orvenda
