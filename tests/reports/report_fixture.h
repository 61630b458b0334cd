#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/project_table.h"
#include "model/table.h"
#include "shell/cp1250.h"
#include "support/test_support.h"

namespace orvenda::test {

// Fields of a risk record; texts in UTF-8 (converted to windows-1250 when stored).
struct RiskFields {
  std::string text = "risk";
  std::optional<int> p = 1, n = 1, h = 1;
  std::string ident = "hazard";
  std::string opatreni = "measure";
  std::string comment = "note";
  std::string source = "source";
};

// A real project table "RiskData.dbf" in a directory of its own.
class ProjectFixture {
 public:
  explicit ProjectFixture(const std::filesystem::path& dir) {
    table.SetPath(dir / "RiskData.dbf");
    CreateProjectTable(table);
  }

  void Node(int32_t index, int32_t upLink, const std::string& text) {
    table.Append();
    table.Edit();
    table.SetInt(fld::kIndex, index);
    table.SetInt(fld::kType, kNodeType);
    table.SetInt(fld::kUpLink, upLink);
    table.SetText(fld::kText, W(text));
    table.Post();
  }

  void Risk(int32_t index, int32_t upLink, const RiskFields& risk = {}) {
    table.Append();
    table.Edit();
    table.SetInt(fld::kIndex, index);
    table.SetInt(fld::kType, kRiskType);
    table.SetInt(fld::kUpLink, upLink);
    table.SetText(fld::kText, W(risk.text));
    table.SetText(fld::kIdent, W(risk.ident));
    table.SetText(fld::kOpatreni, W(risk.opatreni));
    table.SetText(fld::kComment, W(risk.comment));
    table.SetText(fld::kSource, W(risk.source));
    if (risk.p) table.SetInt(fld::kPravdep, *risk.p);
    if (risk.n) table.SetInt(fld::kNasledky, *risk.n);
    if (risk.h) table.SetInt(fld::kHodnocen, *risk.h);
    table.Post();
  }

  Table table;
};

// Splits page text at CR LF; rows keep their inner carriage returns.
inline std::vector<std::string> PageLines(const std::string& page) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < page.size()) {
    const size_t end = page.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(page.substr(start));
      break;
    }
    lines.push_back(page.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// Joins UTF-8 lines into windows-1250 page text, each line ending in CR LF.
inline std::string PageText(const std::vector<std::string>& utf8Lines) {
  std::string page;
  for (const auto& line : utf8Lines) page += W(line) + "\r\n";
  return page;
}

// The lines of a row joined by single carriage returns, one after the last too.
inline std::string Row(const std::vector<std::string>& utf8Lines) {
  std::string row;
  for (const auto& line : utf8Lines) row += line + "\r";
  return row;
}

}  // namespace orvenda::test
