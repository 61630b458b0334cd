#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/cp1250.h"
#include "model/project_table.h"
#include "model/table.h"
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

// Lowers the file size limit of this process so that writes past it fail with EFBIG, as on a
// full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit previous_{};
  sighandler_t previousHandler_;
};

// A real project table "RiskData.dbf" in a directory of its own.
class ProjectFixture {
 public:
  // `where`: a directory (the table is RiskData.dbf there) or the table file itself.
  explicit ProjectFixture(const std::filesystem::path& where) {
    table.SetPath(std::filesystem::is_directory(where) ? where / "RiskData.dbf" : where);
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

// A report row as the page shows it: an object row or the contents of a risk row's cells.
struct ParsedRow {
  bool object = false;
  std::vector<std::string> cells;
};

inline std::vector<ParsedRow> ReportRows(const std::string& page) {
  std::vector<ParsedRow> rows;
  for (const auto& line : PageLines(page)) {
    if (line.rfind("  <tr>\r", 0) != 0) continue;
    std::vector<std::string> parts;
    size_t start = 0, end;
    while ((end = line.find('\r', start)) != std::string::npos) {
      parts.push_back(line.substr(start, end - start));
      start = end + 1;
    }
    if (start != line.size()) parts.push_back("(row without a final carriage return)");
    ParsedRow row;
    row.object = parts.size() == 5 && parts[1].find("colspan") != std::string::npos;
    for (size_t i = 2; i + 1 < parts.size(); i += 3) row.cells.push_back(parts[i]);
    rows.push_back(row);
  }
  return rows;
}

// (kind, object or path cell, hazard cell) of every row, for checking the order.
inline std::vector<std::string> RowSummary(const std::string& page) {
  std::vector<std::string> summary;
  for (const auto& row : ReportRows(page)) {
    if (row.object) {
      summary.push_back("object " + row.cells.at(0));
    } else {
      summary.push_back("risk " + row.cells.at(0) + " | " + row.cells.at(2));
    }
  }
  return summary;
}

}  // namespace orvenda::test
