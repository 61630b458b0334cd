#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/messages.h"
#include "model/table.h"
#include "reports/report_layout.h"

namespace orvenda {

// Record text to cell content: "" becomes "&nbsp;", line feeds are dropped and carriage
// returns become " <br>". Markup in the text passes unchanged: consultants format with it.
std::string HtmlCellText(std::string_view text);

// Row kinds of the report table.
inline constexpr int kObjectRow = 0;
inline constexpr int kRiskRow = 1;

// The HTML of one report row, built from the current record of `project`: its lines, each
// followed by a single carriage return. The page import reads these rows back, so every
// blank counts.
std::string ReportRowHtml(int kind, const std::string& pathText, const Table& project,
                          const ReportLayout& layout);

// A page being written: lines end in CR LF, and the text goes to a temporary file beside
// `target` that replaces `target` only on Commit. Every write is checked; a failure throws
// orvenda::Error and the temporary file is removed, so a half page is never left under the
// target's name.
class PageFile {
 public:
  // `durable`: sync the data to disk before the rename (for files the user keeps).
  explicit PageFile(std::filesystem::path target, bool durable = false);
  ~PageFile();
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  void WriteLine(std::string_view line);  // line + CR LF
  void Write(std::string_view bytes);     // as it is
  // Flushes, closes and renames the temporary file over the target.
  void Commit();

  const std::filesystem::path& Target() const { return target_; }

 private:
  void Flush();
  [[noreturn]] void Fail(int message);  // a numbered message: %1 the file, %2 the reason

  std::filesystem::path target_;
  std::filesystem::path temp_;
  bool durable_;
  std::FILE* file_ = nullptr;
  std::string buffer_;
};

// Copies a finished page to `target` through a temporary file (the "save a copy" and batch
// output path): the old file is replaced only by a complete copy.
void CopyPageFile(const std::filesystem::path& source, const std::filesystem::path& target);

// Page pieces, each written line by line.
void WritePageHead(PageFile& page);
void WriteHeaderRows(PageFile& page, const ReportLayout& layout, const Messages& messages);
// The outline of the tree below `parent` in the project table; leaves the filter off.
void WriteTreeLines(PageFile& page, Table& project, const ReportLayout& layout, int32_t parent,
                    const std::string& prefix);
// The outline section around WriteTreeLines for the whole project.
void WriteTreeSection(PageFile& page, Table& project, const ReportLayout& layout);
// The legend table and the end of the page.
void WriteLegend(PageFile& page, const Messages& messages);

}  // namespace orvenda
