#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/messages.h"
#include "model/table.h"

namespace orvenda {

// P × N × H of the current record, empty ratings as 0.
int32_t RiskLevel(const Table& table);
int32_t RiskLevel(int32_t p, int32_t n, int32_t h);

// Band 1..5 of a risk level, none outside 0..125.
std::optional<int> RiskBand(int32_t level);

// The category text (messages 1..5) of a level, or "" when it lies in no band.
std::string RiskCategory(const Messages& messages, int32_t level);

// Status-bar text of a risk: "Míra rizika: 24 Mírné riziko".
std::string RiskStatusText(const Messages& messages, int32_t level);

// The colours of the five bands, one sequential scale from pale yellow to dark red that keeps
// its order in grey print and for colour-blind readers, and grey for an unrated risk (R = 0).
// As "#rrggbb"; every view of categories (tree, client report, spreadsheet) takes them here.
struct BandColor {
  const char* fill;  // background
  bool dark;         // true when text on it should be white
};
BandColor RiskBandColor(int band);  // band 1..5; anything else gives the unrated grey
// The band to colour a risk level with: 0 (unrated) for R = 0 or outside every band.
int RatedBand(int32_t level);

struct RiskSum {
  int64_t sum = 0;
  int64_t count = 0;
};

// Sum and count of the risk levels of every risk below the node `node` at any depth, each
// risk once. Leaves the table's filter off and the cursor on the first record.
RiskSum SumRisks(Table& table, int32_t node);

// Average risk level of the subtree (integer division), 0 when it holds no risk.
int32_t NodeAverage(Table& table, int32_t node);

}  // namespace orvenda
