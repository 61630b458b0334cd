#include "library/library_source.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <set>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "library/library_cipher.h"
#include "model/project_table.h"

namespace orvenda {

namespace {

enum Column {
  kIndexColumn,
  kTypeColumn,
  kUpLinkColumn,
  kTextColumn,
  kCommentColumn,
  kSourceColumn,
  kIdentColumn,
  kOpatreniColumn,
  kPravdepColumn,
  kNasledkyColumn,
  kHodnocenColumn,
  kColumnCount
};

std::string LineError(int line, const std::string& what) {
  return Msg(221, {std::to_string(line), what});
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

// Length of the UTF-8 sequence at `at`, or 0 when it is malformed.
size_t SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = lead < 0x80                   ? 1
                  : lead >= 0xC2 && lead < 0xE0 ? 2
                  : lead >= 0xE0 && lead < 0xF0 ? 3
                  : lead >= 0xF0 && lead < 0xF5 ? 4
                                                : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  // Overlong forms and surrogates.
  if (lead == 0xE0 && byte(at + 1) < 0xA0) return 0;
  if (lead == 0xED && byte(at + 1) >= 0xA0) return 0;
  if (lead == 0xF0 && byte(at + 1) < 0x90) return 0;
  if (lead == 0xF4 && byte(at + 1) >= 0x90) return 0;
  return length;
}

// UTF-8 to windows-1250 without the silent "?" of Utf8ToCp1250: a character that cannot be
// stored is a fault of the file.
std::string StrictCp1250(std::string_view utf8, int line, const char* field) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    const size_t length = SequenceLength(utf8, at);
    if (length == 0) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(utf8[at]));
      throw Error(LineError(line, Msg(222, {field, hex})));
    }
    const std::string_view character = utf8.substr(at, length);
    const std::string converted = Utf8ToCp1250(character);
    if (Cp1250ToUtf8(converted) != character) {
      // The character itself cannot go into a windows-1250 message: name its code point.
      char32_t code = static_cast<unsigned char>(character[0]) & (0xFF >> (length + 1));
      for (size_t i = 1; i < length; ++i) code = code << 6 | (character[i] & 0x3F);
      char name[16];
      std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
      throw Error(LineError(line, Msg(223, {field, name})));
    }
    out += converted;
    at += length;
  }
  return out;
}

std::optional<int> ParseNumber(std::string_view field) {
  size_t at = 0;
  bool negative = false;
  if (!field.empty() && field[0] == '-') {
    negative = true;
    at = 1;
  }
  if (at == field.size()) return std::nullopt;
  long long value = 0;
  for (; at < field.size(); ++at) {
    if (field[at] < '0' || field[at] > '9') return std::nullopt;
    value = value * 10 + (field[at] - '0');
    if (value > std::numeric_limits<int>::max()) return std::nullopt;
  }
  return static_cast<int>(negative ? -value : value);
}

std::string Shown(std::string_view field) {
  return Utf8ToCp1250(field.substr(0, 40)) + (field.size() > 40 ? "..." : "");
}

int RequiredNumber(std::string_view field, int line, const char* name) {
  if (field.empty()) throw Error(LineError(line, Msg(224, {name})));
  const auto value = ParseNumber(field);
  if (!value) {
    const std::string_view magnitude = field.substr(field[0] == '-' ? 1 : 0);
    const bool digits =
        !magnitude.empty() && magnitude.find_first_not_of("0123456789") == std::string_view::npos;
    throw Error(LineError(line, Msg(digits ? 225 : 226, {name, Shown(field)})));
  }
  return *value;
}

std::optional<int> Rating(std::string_view field, int line, const char* name) {
  if (field.empty()) return std::nullopt;
  const int value = RequiredNumber(field, line, name);
  if (value < 0 || value > 5) {
    throw Error(LineError(line, Msg(227, {name, std::to_string(value)})));
  }
  return value;
}

std::string TextField(std::string_view field, int line, const char* name, int size) {
  std::string utf8;
  try {
    utf8 = UnescapeLibrarySourceText(field);
  } catch (const Error& e) {
    throw Error(LineError(line, Msg(228, {name, e.what()})));
  }
  const std::string text = StrictCp1250(utf8, line, name);
  if (size > 0) {
    if (static_cast<int>(text.size()) > size) {
      throw Error(LineError(line, Msg(229, {name, std::to_string(size)})));
    }
    // The table pads these fields with blanks and drops them on reading.
    if (!text.empty() && text.back() == ' ') {
      throw Error(LineError(line, Msg(230, {name})));
    }
  }
  return text;
}

}  // namespace

const std::vector<std::string>& LibrarySourceFields() {
  static const std::vector<std::string> fields = {
      fld::kIndex, fld::kType,     fld::kUpLink,  fld::kText,     fld::kComment, fld::kSource,
      fld::kIdent, fld::kOpatreni, fld::kPravdep, fld::kNasledky, fld::kHodnocen};
  return fields;
}

std::string LibrarySourceHeader() {
  std::string header;
  for (const std::string& field : LibrarySourceFields()) {
    if (!header.empty()) header += '\t';
    header += field;
  }
  return header + '\n';
}

std::string EscapeLibrarySourceText(std::string_view cp1250) {
  std::string out;
  for (const char c : Cp1250ToUtf8(cp1250)) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string UnescapeLibrarySourceText(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t at = 0; at < field.size(); ++at) {
    if (field[at] != '\\') {
      out += field[at];
      continue;
    }
    const char next = at + 1 < field.size() ? field[at + 1] : '\0';
    switch (next) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      default:
        if (next == '\0') throw Error(Msg(231));
        const size_t length = std::max<size_t>(SequenceLength(field, at + 1), 1);
        throw Error(Msg(232, {Utf8ToCp1250(field.substr(at + 1, length))}));
    }
    ++at;
  }
  return out;
}

std::string ListLibrarySource(Table& table) {
  ClearFilter(table);
  const auto number = [&](const char* field) {
    return table.IsNull(field) ? std::string() : std::to_string(table.GetInt(field));
  };
  const auto text = [&](const char* field) {
    return EscapeLibrarySourceText(table.GetText(field));
  };
  const auto deciphered = [&](const char* field) {
    return EscapeLibrarySourceText(DecryptLibraryText(table.GetText(field)));
  };
  std::string listing = LibrarySourceHeader();
  for (table.First(); !table.Eof(); table.Next()) {
    listing += number(fld::kIndex) + '\t' + number(fld::kType) + '\t' + number(fld::kUpLink) +
               '\t' + text(fld::kText) + '\t' + text(fld::kComment) + '\t' + text(fld::kSource) +
               '\t' + deciphered(fld::kIdent) + '\t' + deciphered(fld::kOpatreni) + '\t' +
               number(fld::kPravdep) + '\t' + number(fld::kNasledky) + '\t' +
               number(fld::kHodnocen) + '\n';
  }
  return listing;
}

std::vector<LibrarySourceRecord> ReadLibrarySource(std::string_view content) {
  if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
  std::vector<std::string_view> lines = Split(content, '\n');
  if (lines.size() > 1 && lines.back().empty()) lines.pop_back();
  for (std::string_view& line : lines) {
    if (line.ends_with('\r')) line.remove_suffix(1);
  }
  const std::string header = LibrarySourceHeader();
  if (lines.empty() || lines[0] != std::string_view(header).substr(0, header.size() - 1)) {
    throw Error(LineError(1, Msg(233, {header.substr(0, header.size() - 1)})));
  }

  std::vector<LibrarySourceRecord> records;
  records.reserve(lines.size() - 1);
  std::map<int, size_t> byIndex;  // Index -> position in `records`
  for (size_t i = 1; i < lines.size(); ++i) {
    const int line = static_cast<int>(i) + 1;
    const std::vector<std::string_view> fields = Split(lines[i], '\t');
    if (fields.size() != kColumnCount) {
      throw Error(LineError(line, Msg(234, {std::to_string(fields.size())})));
    }
    LibrarySourceRecord r;
    r.line = line;
    r.Index = RequiredNumber(fields[kIndexColumn], line, fld::kIndex);
    r.Type = RequiredNumber(fields[kTypeColumn], line, fld::kType);
    r.UpLink = RequiredNumber(fields[kUpLinkColumn], line, fld::kUpLink);
    if (r.Index < 1) {
      throw Error(LineError(line, Msg(235, {std::to_string(r.Index)})));
    }
    if (r.Type != kNodeType && r.Type != kRiskType) {
      throw Error(LineError(line, Msg(236, {std::to_string(r.Type)})));
    }
    r.Text = TextField(fields[kTextColumn], line, fld::kText, kTextSize);
    r.Comment = TextField(fields[kCommentColumn], line, fld::kComment, 0);
    r.Source = TextField(fields[kSourceColumn], line, fld::kSource, kSourceSize);
    r.Ident = TextField(fields[kIdentColumn], line, fld::kIdent, 0);
    r.Opatreni = TextField(fields[kOpatreniColumn], line, fld::kOpatreni, 0);
    r.Pravdep = Rating(fields[kPravdepColumn], line, fld::kPravdep);
    r.Nasledky = Rating(fields[kNasledkyColumn], line, fld::kNasledky);
    r.Hodnocen = Rating(fields[kHodnocenColumn], line, fld::kHodnocen);
    const auto [at, added] = byIndex.emplace(r.Index, records.size());
    if (!added) {
      throw Error(LineError(
          line, Msg(237, {std::to_string(r.Index), std::to_string(records[at->second].line)})));
    }
    records.push_back(std::move(r));
  }

  // Parents may come after their children; the links are checked once all records are known.
  for (const LibrarySourceRecord& r : records) {
    if (r.UpLink == 0) continue;
    const auto parent = byIndex.find(r.UpLink);
    if (parent == byIndex.end()) {
      throw Error(LineError(r.line, Msg(238, {std::to_string(r.UpLink)})));
    }
    if (records[parent->second].Type != kNodeType) {
      throw Error(LineError(r.line, Msg(239, {std::to_string(r.UpLink),
                                              std::to_string(records[parent->second].line)})));
    }
  }
  // A record on a cycle would never be reached from the top of the tree.
  std::vector<char> state(records.size(), 0);  // 0 unseen, 1 on the current path, 2 reaches 0
  for (size_t start = 0; start < records.size(); ++start) {
    std::vector<size_t> path;
    size_t at = start;
    while (state[at] == 0) {
      state[at] = 1;
      path.push_back(at);
      if (records[at].UpLink == 0) break;
      at = byIndex.at(records[at].UpLink);
      if (state[at] == 1) {
        const LibrarySourceRecord& r = records[at];
        throw Error(LineError(r.line, Msg(240, {std::to_string(r.Index)})));
      }
    }
    for (const size_t seen : path) state[seen] = 2;
  }
  return records;
}

void ReplaceLibraryRecords(Table& table, const std::vector<LibrarySourceRecord>& records) {
  CreateProjectTable(table);
  table.SetIndexName("");
  const auto setRating = [&](const char* field, const std::optional<int>& value) {
    if (value) table.SetInt(field, *value);
  };
  for (const LibrarySourceRecord& r : records) {
    table.Append();
    table.SetInt(fld::kIndex, r.Index);
    table.SetInt(fld::kType, r.Type);
    table.SetInt(fld::kUpLink, r.UpLink);
    table.SetText(fld::kText, r.Text);
    table.SetText(fld::kComment, r.Comment);
    table.SetText(fld::kSource, r.Source);
    table.SetText(fld::kIdent, EncryptLibraryText(r.Ident));
    table.SetText(fld::kOpatreni, EncryptLibraryText(r.Opatreni));
    setRating(fld::kPravdep, r.Pravdep);
    setRating(fld::kNasledky, r.Nasledky);
    setRating(fld::kHodnocen, r.Hodnocen);
    table.Post();
  }
  table.First();
}

}  // namespace orvenda
