#include "library/text_import.h"

#include <algorithm>
#include <optional>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"

namespace orvenda {
namespace {

std::string_view Trim(std::string_view line) {
  while (!line.empty() && static_cast<unsigned char>(line.front()) <= ' ') line.remove_prefix(1);
  while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.remove_suffix(1);
  return line;
}

class LineReader {
 public:
  explicit LineReader(std::string_view content) : rest_(content) {}
  // The next line, trimmed, or nothing at the end of the file.
  std::optional<std::string_view> Next() {
    if (rest_.empty()) return std::nullopt;
    const std::size_t end = rest_.find('\n');
    std::string_view line = rest_.substr(0, end);
    rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
    ++number_;
    return Trim(line);
  }
  int Number() const { return number_; }

 private:
  std::string_view rest_;
  int number_ = 0;
};

[[noreturn]] void NoDigit(const LineReader& reader, std::string_view line) {
  throw Error(Msg(162, {std::to_string(reader.Number()), line}));
}

void AppendLine(std::string& text, std::string_view line) {
  if (!text.empty()) text += "\r\n";
  text += line;
}

void Apply(int section, std::string_view line, ImportedRisk& page, const LineReader& reader) {
  switch (section) {
    case 1:
      page.Source = std::string(line);
      break;
    case 2:
      AppendLine(page.Ident, line);
      break;
    case 3:
    case 4: {
      if (line.empty()) return;  // an empty rating line says nothing
      if (line.front() < '0' || line.front() > '9') NoDigit(reader, line);
      const int value = std::min(line.front() - '0', 5);
      (section == 3 ? page.Pravdep : page.Nasledky) = value;
      break;
    }
    case 5:
      AppendLine(page.Opatreni, line);
      break;
    default:
      break;
  }
}

void ClearSection(int section, ImportedRisk& page) {
  if (section == 2) page.Ident.clear();
  if (section == 5) page.Opatreni.clear();
}

}  // namespace

bool HasTextImportSection(std::string_view content) {
  LineReader reader(content);
  if (!reader.Next()) return false;
  while (const std::optional<std::string_view> line = reader.Next()) {
    if (line->substr(0, 4) == "<$$$") return true;
  }
  return false;
}

void ParseTextImport(std::string_view content, ImportedRisk& page,
                     const std::function<void()>& beginRecord,
                     const std::function<void(const ImportedRisk&)>& storeRecord) {
  LineReader reader(content);
  if (!reader.Next()) return;
  int section = 0;
  bool due = true;
  const auto endRecord = [&] {
    storeRecord(page);
    due = true;
  };
  for (;;) {
    const std::optional<std::string_view> line = reader.Next();
    if (!line) {
      // A file without its end marker still gives its last record.
      if (!due) endRecord();
      return;
    }
    if (due) {
      beginRecord();
      ClearSection(section, page);
      due = false;
    }
    if (line->substr(0, 4) == "<$$$") {
      if (line->size() < 5 || (*line)[4] < '0' || (*line)[4] > '9') NoDigit(reader, *line);
      const int n = (*line)[4] - '0';
      if (n < section) {
        section = n;
        endRecord();
        continue;
      }
      section = n;
      ClearSection(section, page);
      const std::optional<std::string_view> data = reader.Next();
      if (!data) {
        endRecord();
        return;
      }
      Apply(section, *data, page, reader);
      continue;
    }
    if (line->substr(0, 9) == "<*-*-*-*>") {
      endRecord();
      return;
    }
    Apply(section, *line, page, reader);
  }
}

}  // namespace orvenda
