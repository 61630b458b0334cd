// Report pages come from anywhere (saved by browsers, edited by hand): whatever bytes a page
// holds, reading its rows must not crash or hang, and the rows must be exactly those that the
// row pattern's own groups give (RE2 with all eight groups, a match with "</td>" in a group
// skipped to the next "<tr>"), their cells cleaned.
#include <re2/re2.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "library/html_import.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool Trimmed(const std::string& text) {
  return text.empty() || (static_cast<unsigned char>(text.front()) > 0x20 &&
                          static_cast<unsigned char>(text.back()) > 0x20);
}

// A cleaned cell holds line breaks only as the CR LF pairs that "<br>" became.
bool OnlyPairedLineBreaks(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) return false;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return true;
}

// The rows by the pattern's groups, the slow way.
std::vector<orvenda::HtmlImportRow> RowsByGroups(std::string_view page) {
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingLatin1);
  options.set_dot_nl(true);
  options.set_log_errors(false);
  static const RE2 pattern(orvenda::HtmlRowPattern(), options);
  std::vector<orvenda::HtmlImportRow> rows;
  re2::StringPiece groups[9];
  const re2::StringPiece text(page.data(), page.size());
  std::size_t pos = 0;
  while (pos < page.size() && pattern.Match(text, pos, page.size(), RE2::UNANCHORED, groups, 9)) {
    const std::size_t start = static_cast<std::size_t>(groups[0].data() - page.data());
    bool clean = true;
    for (int g = 1; g <= 8; ++g) {
      clean = clean && std::string_view(groups[g].data(), groups[g].size()).find("</td>") ==
                           std::string_view::npos;
    }
    if (!clean) {
      pos = page.find("<tr>", start + 1);
      if (pos == std::string_view::npos) break;
      continue;
    }
    pos = start + groups[0].size();
    const auto cell = [&](int g) {
      return orvenda::CleanHtmlCell(std::string_view(groups[g].data(), groups[g].size()));
    };
    orvenda::HtmlImportRow row;
    row.path = orvenda::SplitObjectPath(cell(1));
    row.source = cell(2);
    row.ident = cell(3);
    row.p = cell(4);
    row.n = cell(5);
    row.h = cell(6);
    row.opatreni = cell(8);
    row.offset = start;
    rows.push_back(row);
  }
  return rows;
}

bool Same(const orvenda::HtmlImportRow& a, const orvenda::HtmlImportRow& b) {
  return a.path == b.path && a.source == b.source && a.ident == b.ident && a.p == b.p &&
         a.n == b.n && a.h == b.h && a.opatreni == b.opatreni && a.offset == b.offset;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string page =
      orvenda::HtmlPageText(std::string(reinterpret_cast<const char*>(data), size));
  const std::vector<orvenda::HtmlImportRow> expected = RowsByGroups(page);
  orvenda::HtmlRowScanner scanner(page);
  orvenda::HtmlImportRow row;
  std::size_t count = 0;
  std::size_t last = 0;
  bool first = true;
  while (scanner.Next(row)) {
    Check(count < expected.size() && Same(row, expected[count]));
    ++count;
    Check(first || row.offset > last);
    Check(std::string_view(page).substr(row.offset, 4) == "<tr>");
    first = false;
    last = row.offset;
    for (const std::string* cell :
         {&row.source, &row.ident, &row.p, &row.n, &row.h, &row.opatreni}) {
      // No "</td>" check here: the raw cells were compared above, and dropping a line break
      // may join "</t" and "d>" in the cleaned text, which is harmless.
      Check(Trimmed(*cell) && OnlyPairedLineBreaks(*cell));
    }
    for (const std::string& part : row.path) Check(part.find(" / ") == std::string::npos);
    orvenda::RatingCellValue(row.p);
  }
  Check(count == expected.size());
  return 0;
}
