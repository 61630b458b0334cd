#include "project_generator.h"

#include <random>
#include <string>
#include <vector>

#include "base/cp1250.h"
#include "documents/project_file.h"
#include "model/project_table.h"

namespace orvenda::bench {
namespace {

const std::vector<std::string>& Words() {
  static const std::vector<std::string> words = [] {
    std::vector<std::string> out;
    for (const char* w :
         {"pracoviště", "dílna",     "lis",      "hluk",        "vibrace",   "pád",
          "z",          "výšky",     "úraz",     "elektrickým", "proudem",   "manipulace",
          "s",          "břemeny",   "ochranné", "pomůcky",     "řezné",     "poranění",
          "popálení",   "chemické",  "látky",    "prach",       "osvětlení", "žebřík",
          "lešení",     "vozík",     "sklad",    "regál",       "obsluha",   "stroje",
          "údržba",     "ventilace", "teplota",  "přetížení",   "páteře",    "oči",
          "ruce",       "školení",   "kontrola", "revize",      "zajištění", "zábradlí",
          "kryt",       "nářadí",    "svařování"})
      out.push_back(W(w));
    return out;
  }();
  return words;
}

class TextMaker {
 public:
  explicit TextMaker(unsigned seed) : rng_(seed) {}

  // Words up to about `length` characters (at least one word).
  std::string Text(int length) {
    const auto& words = Words();
    std::uniform_int_distribution<size_t> pick(0, words.size() - 1);
    std::string out = words[pick(rng_)];
    out[0] = Cp1250Upper(out[0]);
    while (static_cast<int>(out.size()) < length) out += " " + words[pick(rng_)];
    return out;
  }
  // Sentences of 100 to 400 characters, lines ended by CR LF.
  std::string Memo() {
    const int length = Int(100, 400);
    std::string out;
    while (static_cast<int>(out.size()) < length) out += Text(Int(30, 80)) + ".\r\n";
    return out;
  }
  int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

 private:
  std::mt19937 rng_;
};

}  // namespace

GeneratedProject GenerateProject(Table& table, int nodes, int risks, unsigned seed) {
  TextMaker make(seed);
  GeneratedProject out;
  const int32_t base = MaxIndex(table);
  out.topNode = nodes > 0 ? base + 1 : 0;
  for (int i = 1; i <= nodes; ++i) {
    table.Append();
    table.SetInt(fld::kIndex, base + i);
    table.SetInt(fld::kType, kNodeType);
    // A complete ten-way tree: node i hangs under node (i - 2) / 10 + 1.
    table.SetInt(fld::kUpLink, i == 1 ? 0 : base + (i - 2) / 10 + 1);
    table.SetText(fld::kText, make.Text(make.Int(25, 55)));
    if (make.Int(0, 2) == 0) table.SetText(fld::kComment, make.Memo());
    table.Post();
    ++out.nodes;
  }
  for (int i = 1; i <= risks; ++i) {
    table.Append();
    table.SetInt(fld::kIndex, base + nodes + i);
    table.SetInt(fld::kType, kRiskType);
    table.SetInt(fld::kUpLink, nodes > 0 ? base + make.Int(1, nodes) : 0);
    table.SetText(fld::kText, make.Text(make.Int(25, 55)));
    table.SetText(fld::kSource, make.Text(make.Int(20, 40)));
    table.SetText(fld::kIdent, make.Memo());
    table.SetText(fld::kOpatreni, make.Memo());
    if (make.Int(0, 3) == 0) table.SetText(fld::kComment, make.Memo());
    table.SetInt(fld::kPravdep, make.Int(1, 5));
    table.SetInt(fld::kNasledky, make.Int(1, 5));
    table.SetInt(fld::kHodnocen, make.Int(1, 5));
    table.Post();
    ++out.risks;
  }
  return out;
}

void WriteBigProject(const std::filesystem::path& dir) {
  Table table;
  table.SetPath(dir / kWorkingTableName);
  CreateProjectTable(table);
  GenerateProject(table, 10000, 90000, 42);
  table.Close();
}

}  // namespace orvenda::bench
