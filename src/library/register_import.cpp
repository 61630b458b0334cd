#include "library/register_import.h"

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <unordered_map>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "documents/recent_files.h"
#include "library/html_import.h"
#include "model/risk_register.h"

namespace orvenda {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

enum class Decoded { Ok, Undecodable, Unrepresentable };

// A control character that no text of the program holds; 0x1A would even end a memo.
bool ForbiddenControl(unsigned char c) { return c < 0x20 && c != '\t' && c != '\r' && c != '\n'; }

// One field's bytes as windows-1250 text.
Decoded DecodeField(std::string_view raw, bool utf8, std::string& out) {
  for (const char ch : raw) {
    if (ForbiddenControl(static_cast<unsigned char>(ch))) return Decoded::Undecodable;
  }
  if (!utf8) {
    for (const char ch : raw) {
      switch (static_cast<unsigned char>(ch)) {
        case 0x81:
        case 0x83:
        case 0x88:
        case 0x90:
        case 0x98:
          return Decoded::Undecodable;  // no character of windows-1250
        default:
          break;
      }
    }
    out.assign(raw);
    return Decoded::Ok;
  }
  switch (DecodeUtf8(raw, out)) {
    case Utf8Decode::Ok:
      return Decoded::Ok;
    case Utf8Decode::Invalid:
      return Decoded::Undecodable;
    case Utf8Decode::Unrepresentable:
      break;
  }
  return Decoded::Unrepresentable;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Line breaks of a memo as CR LF, as the table keeps them; a text that has them so already
// (what the export writes) is left alone.
void MemoText(std::string& text) {
  bool crLfOnly = true;
  for (size_t i = 0; i < text.size() && crLfOnly; ++i) {
    if (text[i] == '\n') {
      crLfOnly = false;
    } else if (text[i] == '\r') {
      crLfOnly = i + 1 < text.size() && text[i + 1] == '\n';
      ++i;
    }
  }
  if (crLfOnly) return;
  std::string out;
  out.reserve(text.size() + 16);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  text = std::move(out);
}

// A one-line field: each line break becomes a blank.
void LineText(std::string& text) {
  size_t out = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      text[out++] = ' ';
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      text[out++] = c;
    }
  }
  text.resize(out);
}

struct CsvRecord {
  int line = 0;
  std::vector<std::string> fields;  // raw bytes, quotes resolved
};

// RFC 4180 records: fields between separators, quoted fields may hold separators, quotes
// (doubled) and line breaks; records end at CR LF, LF or CR outside quotes. Text between the
// special characters is taken in runs, not character by character.
class CsvReader {
 public:
  CsvReader(std::string_view text, char separator) : text_(text), separator_(separator) {}

  // The next record; false at the end. An unclosed quote is told to `openQuote` with its
  // record's line; the record then ends with the rest of the text.
  template <typename OpenQuote>
  bool Next(CsvRecord& record, OpenQuote&& openQuote) {
    const size_t size = text_.size();
    if (pos_ >= size) return false;
    record.line = line_;
    // The strings of the previous record are reused: rows have the same fields, so a big
    // register allocates for its first rows only.
    size_t count = 0;
    auto nextField = [&]() -> std::string& {
      if (count == record.fields.size()) record.fields.emplace_back();
      std::string& field = record.fields[count++];
      field.clear();
      return field;
    };
    auto finish = [&] { record.fields.resize(count); };
    while (true) {
      std::string& field = nextField();
      if (pos_ < size && text_[pos_] == '"') {
        ++pos_;
        while (true) {
          const size_t quote = text_.find('"', pos_);
          if (quote == std::string_view::npos) {
            CountLines(pos_, size);
            field.append(text_.substr(pos_));
            pos_ = size;
            openQuote(record.line);
            finish();
            return true;
          }
          CountLines(pos_, quote);
          field.append(text_.substr(pos_, quote - pos_));
          pos_ = quote + 1;
          if (pos_ < size && text_[pos_] == '"') {
            field += '"';
            ++pos_;
            continue;
          }
          break;
        }
      }
      size_t end = pos_;
      while (end < size && text_[end] != separator_ && text_[end] != '\r' && text_[end] != '\n') {
        ++end;
      }
      field.append(text_.substr(pos_, end - pos_));
      pos_ = end;
      if (pos_ >= size) break;
      const char c = text_[pos_++];
      if (c == separator_) continue;
      if (c == '\r' && pos_ < size && text_[pos_] == '\n') ++pos_;
      ++line_;
      break;
    }
    finish();
    return true;
  }

 private:
  // Line breaks inside a quoted field still count for the line numbers.
  void CountLines(size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      if (text_[i] == '\n' ||
          (text_[i] == '\r' && (i + 1 >= text_.size() || text_[i + 1] != '\n'))) {
        ++line_;
      }
    }
  }

  std::string_view text_;
  char separator_;
  size_t pos_ = 0;
  int line_ = 1;
};

using Column = RegisterColumn;

// The columns the import reads or knowingly ignores, by their normalised titles.
std::unordered_map<std::string, Column> KnownTitles(const Messages& messages) {
  std::unordered_map<std::string, Column> titles;
  const Messages czech;
  for (int c = 0; c < kRegisterColumnCount; ++c) {
    const auto column = static_cast<Column>(c);
    for (const Messages* list : {&messages, &czech}) {
      titles.emplace(Cp1250Upper(Trim(RegisterColumnTitle(*list, column))), column);
    }
  }
  return titles;
}

class Parser {
 public:
  Parser(std::string_view bytes, const Messages& messages, const std::string& fileName)
      : messages_(messages), fileName_(fileName), titles_(KnownTitles(messages)) {
    utf8_ = bytes.starts_with(kBom);
    if (utf8_) {
      bytes.remove_prefix(kBom.size());
    } else {
      utf8_ = ValidUtf8(bytes);
    }
    text_ = bytes;
  }

  std::vector<RegisterImportRow> Parse() {
    const char separator = DetectSeparator();
    CsvReader reader(text_, separator);
    CsvRecord header;
    const auto openQuote = [&](int line) { Refuse(Msg(289, {fileName_, std::to_string(line)})); };
    reader.Next(header, openQuote);
    ReadHeader(header);

    std::vector<RegisterImportRow> rows;
    CsvRecord record;
    while (reader.Next(record, openQuote)) {
      if (std::all_of(record.fields.begin(), record.fields.end(),
                      [](const std::string& f) { return Trim(f).empty(); })) {
        continue;
      }
      if (record.fields.size() != header.fields.size()) {
        Refuse(
            Msg(290, {fileName_, std::to_string(record.line), std::to_string(record.fields.size()),
                      std::to_string(header.fields.size())}));
      }
      rows.push_back(ReadRow(record));
    }
    return rows;
  }

 private:
  [[noreturn]] void Refuse(const std::string& text) {
    throw Error(text + " " + RegisterMessage(messages_, register_msg::kNothingAdded));
  }

  // A numbered refusal; its %1 is the file's name, the arguments follow.
  [[noreturn]] void Refuse(int message, std::initializer_list<std::string> args) {
    std::vector<std::string> all{fileName_};
    all.insert(all.end(), args.begin(), args.end());
    all.resize(4);
    Refuse(FillArgs(RegisterMessage(messages_, message), {all[0], all[1], all[2], all[3]}));
  }

  // The separator among ";", tab and "," that makes the most known titles of the header;
  // with none known, the one found most often in the first line.
  char DetectSeparator() const {
    static constexpr std::array<char, 3> kCandidates = {';', '\t', ','};
    char best = ';';
    int bestKnown = 0;
    for (const char candidate : kCandidates) {
      CsvReader reader(text_, candidate);
      CsvRecord header;
      bool unclosed = false;
      reader.Next(header, [&](int) { unclosed = true; });
      if (unclosed) continue;
      int known = 0;
      for (const std::string& field : header.fields) {
        std::string title;
        if (DecodeField(field, utf8_, title) == Decoded::Ok &&
            titles_.count(Cp1250Upper(Trim(title)))) {
          ++known;
        }
      }
      if (known > bestKnown) best = candidate, bestKnown = known;
    }
    if (bestKnown > 0) return best;
    const std::string_view firstLine = text_.substr(0, text_.find_first_of("\r\n"));
    long most = 0;
    for (const char candidate : kCandidates) {
      const long count = std::count(firstLine.begin(), firstLine.end(), candidate);
      if (count > most) best = candidate, most = count;
    }
    return best;
  }

  void ReadHeader(const CsvRecord& header) {
    columnOf_.fill(-1);
    headerTitles_.clear();
    for (size_t i = 0; i < header.fields.size(); ++i) {
      std::string title;
      headerTitles_.push_back(std::to_string(i + 1));
      Decode(header.fields[i], header.line, i, title);
      const std::string trimmed(Trim(title));
      if (!trimmed.empty()) headerTitles_.back() = trimmed;
      const auto known = titles_.find(Cp1250Upper(trimmed));
      if (known == titles_.end()) continue;
      int& at = columnOf_[static_cast<int>(known->second)];
      if (at >= 0) Refuse(Msg(291, {fileName_, trimmed}));
      at = static_cast<int>(i);
    }
    for (const Column required :
         {Column::Object, Column::Hazard, Column::P, Column::N, Column::H}) {
      if (columnOf_[static_cast<int>(required)] < 0) {
        Refuse(register_msg::kMissingColumn, {RegisterColumnTitle(messages_, required)});
      }
    }
  }

  void Decode(const std::string& raw, int line, size_t field, std::string& out) {
    switch (DecodeField(raw, utf8_, out)) {
      case Decoded::Ok:
        return;
      case Decoded::Undecodable:
        Refuse(register_msg::kUndecodable,
               {std::to_string(line), ColumnName(field), utf8_ ? "UTF-8" : "windows-1250"});
      case Decoded::Unrepresentable:
        Refuse(register_msg::kUnrepresentable, {std::to_string(line), ColumnName(field)});
    }
  }

  std::string ColumnName(size_t field) const {
    return field < headerTitles_.size() ? headerTitles_[field] : std::to_string(field + 1);
  }

  RegisterImportRow ReadRow(const CsvRecord& record) {
    RegisterImportRow row;
    row.line = record.line;
    // Every field is checked, the ignored ones too: a line that cannot be read is refused
    // whole rather than taken in part.
    std::array<std::string*, kRegisterColumnCount> destination{};
    std::string path, p, n, h;
    destination[static_cast<int>(Column::Object)] = &path;
    destination[static_cast<int>(Column::Hazard)] = &row.text;
    destination[static_cast<int>(Column::Subsystem)] = &row.source;
    destination[static_cast<int>(Column::Description)] = &row.ident;
    destination[static_cast<int>(Column::P)] = &p;
    destination[static_cast<int>(Column::N)] = &n;
    destination[static_cast<int>(Column::H)] = &h;
    destination[static_cast<int>(Column::Measures)] = &row.opatreni;
    destination[static_cast<int>(Column::Note)] = &row.comment;
    std::vector<std::string*>& target = target_;
    target.assign(record.fields.size(), &scratch_);
    for (int c = 0; c < kRegisterColumnCount; ++c) {
      if (columnOf_[c] >= 0 && destination[c] != nullptr) target[columnOf_[c]] = destination[c];
    }
    for (size_t i = 0; i < record.fields.size(); ++i) {
      Decode(record.fields[i], record.line, i, *target[i]);
    }

    const auto rating = [&](Column column, const std::string& text) {
      const std::string_view value = Trim(text);
      if (value.size() == 1 && value[0] >= '1' && value[0] <= '5') return value[0] - '0';
      // An unrated risk's rating is exported empty and comes back unrated.
      if (value.empty()) return 0;
      std::string shown(value.substr(0, 40));
      if (value.size() > 40) shown += "...";
      Refuse(register_msg::kBadRating,
             {std::to_string(record.line), ColumnName(columnOf_[static_cast<int>(column)]), shown});
    };
    row.p = rating(Column::P, p);
    row.n = rating(Column::N, n);
    row.h = rating(Column::H, h);
    LineText(path);
    row.path = SplitObjectPath(Trim(path));
    LineText(row.text);
    LineText(row.source);
    MemoText(row.ident);
    MemoText(row.opatreni);
    MemoText(row.comment);
    return row;
  }

  const Messages& messages_;
  std::string fileName_;
  std::unordered_map<std::string, Column> titles_;
  bool utf8_ = false;
  std::string_view text_;
  std::array<int, kRegisterColumnCount> columnOf_{};
  std::vector<std::string> headerTitles_;
  std::string scratch_;               // the fields that are checked but not imported
  std::vector<std::string*> target_;  // where each field of a row goes, kept between rows
};

}  // namespace

std::vector<RegisterImportRow> ParseRegisterCsv(std::string_view bytes, const Messages& messages,
                                                const std::string& fileName) {
  return Parser(bytes, messages, fileName).Parse();
}

namespace {

// Memory for a whole file, not cleared. A big one asks for huge pages where the system has
// them: faulting in a hundred megabytes page by page costs more than reading them.
char* AllocateLarge(size_t size) {
  constexpr size_t kHuge = size_t{1} << 21;
  if (size < kHuge) return static_cast<char*>(std::malloc(size + 1));
  const size_t rounded = (size + kHuge) / kHuge * kHuge;  // room for one byte more
  char* memory = static_cast<char*>(std::aligned_alloc(kHuge, rounded));
#ifdef MADV_HUGEPAGE
  if (memory != nullptr) ::madvise(memory, rounded, MADV_HUGEPAGE);
#endif
  return memory;
}

}  // namespace

std::vector<RegisterImportRow> ReadRegisterCsv(const std::filesystem::path& file,
                                               const Messages& messages) {
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (in == nullptr) {
    throw Error(Msg(160, {PathToText(file), std::strerror(errno)}));
  }
  // Read whole at once: a register of a big project is a hundred megabytes. The buffer is
  // not cleared first, the read fills it.
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  const size_t expected = ec ? 0 : static_cast<size_t>(size);
  const std::unique_ptr<char, decltype(&std::free)> buffer(AllocateLarge(expected), &std::free);
  if (buffer == nullptr) throw std::bad_alloc();
  size_t got = 0;
  while (got < expected) {
    const size_t read = std::fread(buffer.get() + got, 1, expected - got, in);
    if (read == 0) break;
    got += read;
  }
  // What a file that grew meanwhile, or one of unknown size, holds beyond.
  std::string more;
  char chunk[1 << 16];
  for (size_t read; (read = std::fread(chunk, 1, sizeof chunk, in)) > 0;) more.append(chunk, read);
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) throw Error(Msg(161, {PathToText(file)}));
  std::string_view bytes(buffer.get(), got);
  if (!more.empty()) {
    more.insert(0, bytes);
    bytes = more;
  }
  return ParseRegisterCsv(bytes, messages, PathToText(file.filename()));
}

}  // namespace orvenda
