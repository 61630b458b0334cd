#include "library/html_import.h"

#include <re2/re2.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"

namespace orvenda {
namespace {

constexpr int kCells = 8;
constexpr std::string_view kCellEnd = "</td>";

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  for (std::size_t found; (found = text.find(from, at)) != std::string::npos;
       at = found + from.size()) {
    out.append(text, at, found - at);
    out.append(to);
  }
  out.append(text, at, std::string::npos);
  text = std::move(out);
}

void RemoveAll(std::string& text, char c) { std::erase(text, c); }

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Position of `what` (lower-case ASCII) in `text` from `from` on, letter case aside.
std::size_t FindNoCase(std::string_view text, std::string_view what, std::size_t from = 0) {
  if (what.size() > text.size()) return std::string_view::npos;
  for (std::size_t i = from; i + what.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < what.size() && Lower(text[i + k]) == what[k]) ++k;
    if (k == what.size()) return i;
  }
  return std::string_view::npos;
}

// The charset named inside one meta tag ("" when it names none), lower case.
std::string MetaCharset(std::string_view tag) {
  std::size_t at = FindNoCase(tag, "charset");
  if (at == std::string_view::npos) return {};
  at += 7;
  while (at < tag.size() && IsBlankOrControl(tag[at])) ++at;
  if (at >= tag.size() || tag[at] != '=') return {};
  ++at;
  while (at < tag.size() && (IsBlankOrControl(tag[at]) || tag[at] == '"' || tag[at] == '\'')) {
    ++at;
  }
  std::string name;
  while (at < tag.size() &&
         (std::isalnum(static_cast<unsigned char>(tag[at])) || tag[at] == '-' || tag[at] == '_')) {
    name += Lower(tag[at++]);
  }
  return name;
}

}  // namespace

std::string HtmlRowPattern() {
  const std::string cell = R"(<td width="\d+%" valign="top"><font size="\d+">(.*?)</font></td>\s*)";
  std::string pattern = "<tr>\\s*" + cell + cell;
  pattern += cell + cell;
  pattern += cell + cell;
  pattern += cell + cell + "</tr>";
  return pattern;
}

std::string CleanHtmlCell(std::string_view cell) {
  std::string text(cell);
  RemoveAll(text, '\r');
  RemoveAll(text, '\n');
  ReplaceAll(text, "<br>", "\r\n");
  ReplaceAll(text, "&nbsp;", " ");
  std::size_t first = 0;
  while (first < text.size() && IsBlankOrControl(text[first])) ++first;
  std::size_t last = text.size();
  while (last > first && IsBlankOrControl(text[last - 1])) --last;
  return text.substr(first, last - first);
}

std::vector<std::string> SplitObjectPath(std::string_view path) {
  std::vector<std::string> parts;
  if (path.empty()) return parts;
  std::string text(path);
  ReplaceAll(text, " / ", "\t");
  std::size_t at = 0;
  while (true) {
    const std::size_t tab = text.find('\t', at);
    parts.push_back(text.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
    if (tab == std::string::npos) break;
    at = tab + 1;
  }
  return parts;
}

std::optional<int> RatingCellValue(std::string_view cell) {
  while (!cell.empty() && IsBlankOrControl(cell.front())) cell.remove_prefix(1);
  while (!cell.empty() && IsBlankOrControl(cell.back())) cell.remove_suffix(1);
  bool negative = false;
  if (!cell.empty() && (cell.front() == '+' || cell.front() == '-')) {
    negative = cell.front() == '-';
    cell.remove_prefix(1);
  }
  if (cell.empty()) return std::nullopt;
  long long value = 0;
  for (const char c : cell) {
    if (c < '0' || c > '9') return std::nullopt;
    value = std::min<long long>(value * 10 + (c - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

bool DeclaresUtf8(std::string_view page) {
  if (page.starts_with("\xEF\xBB\xBF")) return true;
  // Only the head counts: a hazard text quoting a meta tag does not recode the page.
  const std::size_t body = FindNoCase(page, "<body");
  if (body != std::string_view::npos) page = page.substr(0, body);
  for (std::size_t at = 0; (at = FindNoCase(page, "<meta", at)) != std::string_view::npos;) {
    const std::size_t end = page.find('>', at);
    const std::string_view tag =
        page.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    const std::string charset = MetaCharset(tag);
    if (!charset.empty()) return charset == "utf-8" || charset == "utf8";
    if (end == std::string_view::npos) break;
    at = end;
  }
  return false;
}

std::string HtmlPageText(std::string bytes) {
  if (!DeclaresUtf8(bytes)) return bytes;
  std::string_view utf8 = bytes;
  if (utf8.starts_with("\xEF\xBB\xBF")) utf8.remove_prefix(3);
  return Utf8ToCp1250(utf8);
}

std::string ReadHtmlPage(const std::filesystem::path& file) {
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (in == nullptr) {
    throw Error(Msg(160, {PathToText(file), std::strerror(errno)}));
  }
  std::string bytes;
  char buffer[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, got);
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) throw Error(Msg(161, {PathToText(file)}));
  return HtmlPageText(std::move(bytes));
}

namespace {

RE2::Options RowPatternOptions() {
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingLatin1);  // windows-1250 bytes, one by one
  options.set_dot_nl(true);
  options.set_log_errors(false);
  return options;
}

// Compiled once: an RE2 object is immutable and safe to share.
const RE2& RowPattern() {
  static const RE2 pattern(HtmlRowPattern(), RowPatternOptions());
  if (!pattern.ok()) throw Error("HTML row pattern: " + pattern.error());
  return pattern;
}

}  // namespace

HtmlRowScanner::HtmlRowScanner(std::string_view text) : text_(text), pattern_(&RowPattern()) {}

HtmlRowScanner::~HtmlRowScanner() = default;

namespace {

bool IsPatternSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Reads the row that starts at `at` as the row pattern reads it when none of its cells holds
// "</td>". Each cell then ends at the first "</font></td>" after its opening and every other
// piece of the pattern matches in one way only, so this is the match the pattern's lazy groups
// pick, found without tracking eight groups through the whole row.
bool ReadRowCells(std::string_view text, std::size_t at,
                  std::array<std::string_view, kCells>& cells, std::size_t& end) {
  const auto literal = [&](std::string_view what) {
    if (text.substr(at, what.size()) != what) return false;
    at += what.size();
    return true;
  };
  const auto digits = [&] {
    const std::size_t first = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    return at > first;
  };
  const auto spaces = [&] {
    while (at < text.size() && IsPatternSpace(text[at])) ++at;
  };
  if (!literal("<tr>")) return false;
  spaces();
  for (std::string_view& cell : cells) {
    if (!literal("<td width=\"") || !digits() || !literal("%\" valign=\"top\"><font size=\"") ||
        !digits() || !literal("\">")) {
      return false;
    }
    const std::size_t close = text.find("</font></td>", at);
    if (close == std::string_view::npos) return false;
    cell = text.substr(at, close - at);
    if (cell.find(kCellEnd) != std::string_view::npos) return false;
    at = close + 12;
    spaces();
  }
  if (!literal("</tr>")) return false;
  end = at;
  return true;
}

}  // namespace

bool HtmlRowScanner::Next(HtmlImportRow& row) {
  // RE2 finds where the next match starts (its DFA alone, no groups: linear and fast); the
  // cells are read from there.
  re2::StringPiece match;
  const re2::StringPiece text(text_.data(), text_.size());
  std::array<std::string_view, kCells> cells;
  while (pos_ < text_.size() &&
         pattern_->Match(text, pos_, text_.size(), RE2::UNANCHORED, &match, 1)) {
    const std::size_t start = static_cast<std::size_t>(match.data() - text_.data());
    std::size_t end = 0;
    if (!ReadRowCells(text_, start, cells, end)) {
      // A cell swallowed a cell boundary: no row starts here.
      const std::size_t next = text_.find("<tr>", start + 1);
      if (next == std::string_view::npos) break;
      pos_ = next;
      continue;
    }
    pos_ = end;
    row.path = SplitObjectPath(CleanHtmlCell(cells[0]));
    row.source = CleanHtmlCell(cells[1]);
    row.ident = CleanHtmlCell(cells[2]);
    row.p = CleanHtmlCell(cells[3]);
    row.n = CleanHtmlCell(cells[4]);
    row.h = CleanHtmlCell(cells[5]);
    row.opatreni = CleanHtmlCell(cells[7]);
    row.offset = start;
    return true;
  }
  pos_ = text_.size();
  return false;
}

std::vector<HtmlImportRow> ScanHtmlRows(std::string_view text) {
  std::vector<HtmlImportRow> rows;
  HtmlRowScanner scanner(text);
  HtmlImportRow row;
  while (scanner.Next(row)) rows.push_back(row);
  return rows;
}

}  // namespace orvenda
