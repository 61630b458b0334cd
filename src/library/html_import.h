#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
}

namespace orvenda {

// Reading report pages back: the risk rows of a saved report (eight columns, the note column
// hidden) as cleaned texts. Texts are windows-1250.

// The row pattern: "<tr>", eight cells of the report's risk-row form, "</tr>"; group i is
// the content of cell i.
std::string HtmlRowPattern();

// Cell content to text: CR and LF go, "<br>" becomes CR LF, "&nbsp;" a blank, and blanks and
// control characters at both ends are trimmed. No other markup is touched.
std::string CleanHtmlCell(std::string_view cell);

// The parts of a cleaned object path, split at every " / ". Empty parts between two
// separators are kept: they stand for nodes without a name. An empty path has no parts.
std::vector<std::string> SplitObjectPath(std::string_view path);

// The value of a rating cell: a decimal integer with an optional sign, blanks around it
// allowed; values beyond the int range saturate. nullopt for anything else, "" included.
std::optional<int> RatingCellValue(std::string_view cell);

// True when the page declares UTF-8 in a charset meta of its head, or starts with the UTF-8
// byte order mark.
bool DeclaresUtf8(std::string_view page);

// The page's bytes as windows-1250 text: a UTF-8 page is converted (a character without a
// place in the code page becomes "?", the byte order mark goes); any other is taken as it is.
std::string HtmlPageText(std::string bytes);

// Reads a page file and converts it as HtmlPageText does; a file that cannot be read throws
// orvenda::Error naming it.
std::string ReadHtmlPage(const std::filesystem::path& file);

// One risk row of a page.
struct HtmlImportRow {
  std::vector<std::string> path;  // object path parts (cell 1)
  std::string source;             // cell 2, "Subsystém"
  std::string ident;              // cell 3, hazard identification
  std::string p, n, h;            // cells 4 to 6, cleaned but not yet read as numbers
  std::string opatreni;           // cell 8, safety measures; cell 7 (R) is not used
  std::size_t offset = 0;         // where the row starts in the text
};

// Finds the risk rows of a page in the order of the text. A match in which a cell swallowed
// a cell boundary ("</td>") is a row of another shape (nine cells, or a short row merged with
// the next one): it is no row, and the search goes on from the next "<tr>" after its start.
// The text must outlive the scanner.
class HtmlRowScanner {
 public:
  explicit HtmlRowScanner(std::string_view text);
  ~HtmlRowScanner();
  HtmlRowScanner(const HtmlRowScanner&) = delete;
  HtmlRowScanner& operator=(const HtmlRowScanner&) = delete;

  // The next row into `row`; false when there is none.
  bool Next(HtmlImportRow& row);

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  const re2::RE2* pattern_;
};

// Every row of a page, for callers that need no early stop.
std::vector<HtmlImportRow> ScanHtmlRows(std::string_view text);

}  // namespace orvenda
