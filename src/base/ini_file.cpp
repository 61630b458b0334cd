#include "base/ini_file.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "base/cp1250.h"
#include "base/error.h"

namespace orvenda {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool Quoted(std::string_view value) {
  return value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
}

std::string PathText(const fs::path& file) {
  const std::u8string utf8 = file.u8string();
  return Utf8ToCp1250(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

Error WriteFailure(const fs::path& file) { return Error("Unable to write to " + PathText(file)); }

std::optional<std::string> ReadAll(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(out).str();
}

}  // namespace

IniFile IniFile::Load(const fs::path& file) {
  const auto bytes = ReadAll(file);
  return bytes ? Parse(*bytes) : IniFile();
}

IniFile IniFile::LoadForUpdate(const fs::path& file) {
  std::error_code ec;
  const bool exists = fs::exists(file, ec);
  if (ec) throw WriteFailure(file);
  if (!exists) return IniFile();
  const auto bytes = ReadAll(file);
  if (!bytes) throw WriteFailure(file);
  return Parse(*bytes);
}

IniFile IniFile::Parse(std::string_view bytes) {
  IniFile ini;
  if (bytes.starts_with(kUtf8Bom)) {
    ini.utf8_ = true;
    bytes.remove_prefix(kUtf8Bom.size());
  }
  ini.sections_.emplace_back();
  while (!bytes.empty()) {
    Line line;
    const size_t lf = bytes.find('\n');
    std::string_view text = bytes.substr(0, lf);
    if (lf == std::string_view::npos) {
      bytes = {};
    } else {
      bytes.remove_prefix(lf + 1);
      line.ending = "\n";
      if (text.ends_with('\r')) {
        text.remove_suffix(1);
        line.ending = "\r\n";
      }
    }
    line.raw = std::string(text);
    const std::string decoded = ini.utf8_ ? Utf8ToCp1250(text) : std::string(text);
    const std::string_view content = Trim(decoded);

    if (content.starts_with('[')) {
      // As Windows reads it: the name runs to the last "]", or to the end of the line.
      const size_t close = content.rfind(']');
      const std::string_view name =
          content.substr(1, close == std::string_view::npos ? close : close - 1);
      Section section;
      section.header = std::move(line);
      section.upper_name = Cp1250Upper(Trim(name));
      ini.first_section_.try_emplace(section.upper_name, ini.sections_.size());
      ini.sections_.push_back(std::move(section));
      continue;
    }
    Section& section = ini.sections_.back();
    const size_t equals = content.find('=');
    if (!content.starts_with(';') && equals != std::string_view::npos) {
      const std::string_view key = Trim(content.substr(0, equals));
      if (!key.empty()) {
        std::string_view value = Trim(content.substr(equals + 1));
        if (Quoted(value)) value = value.substr(1, value.size() - 2);
        line.is_entry = true;
        line.key = std::string(key);
        line.value = std::string(value);
        section.first_entry.try_emplace(Cp1250Upper(key), section.body.size());
      }
    }
    section.body.push_back(std::move(line));
  }
  return ini;
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  const auto it = first_section_.find(Cp1250Upper(name));
  return it == first_section_.end() ? nullptr : &sections_[it->second];
}

std::vector<std::string> IniFile::KeyNames(std::string_view section_name,
                                           size_t buffer_size) const {
  std::vector<std::string> names;
  const Section* section = FindSection(section_name);
  if (section == nullptr) return names;
  size_t used = 1;  // the zero that closes the list
  for (const Line& line : section->body) {
    if (!line.is_entry) continue;
    const size_t need = line.key.size() + 1;
    if (buffer_size != kNoLimit && (need > buffer_size || used > buffer_size - need)) break;
    used += need;
    names.push_back(line.key);
  }
  return names;
}

std::optional<std::string> IniFile::ReadString(std::string_view section_name, std::string_view key,
                                               size_t buffer_size) const {
  const Section* section = FindSection(section_name);
  if (section == nullptr) return std::nullopt;
  const auto it = section->first_entry.find(Cp1250Upper(key));
  if (it == section->first_entry.end()) return std::nullopt;
  const std::string& value = section->body[it->second].value;
  if (buffer_size == kNoLimit || value.size() < buffer_size) return value;
  return value.substr(0, buffer_size == 0 ? 0 : buffer_size - 1);
}

std::string IniFile::Encode(std::string_view cp1250) const {
  return utf8_ ? Cp1250ToUtf8(cp1250) : std::string(cp1250);
}

IniFile::Line* IniFile::LastLine() {
  for (size_t s = sections_.size(); s-- > 0;) {
    if (!sections_[s].body.empty()) return &sections_[s].body.back();
    if (s > 0) return &sections_[s].header;
  }
  return nullptr;
}

std::string IniFile::NewLineEnding() const {
  for (const Section& section : sections_) {
    if (!section.header.ending.empty()) return section.header.ending;
    for (const Line& line : section.body) {
      if (!line.ending.empty()) return line.ending;
    }
  }
  return "\r\n";
}

void IniFile::WriteString(std::string_view section_name, std::string_view key,
                          std::string_view value) {
  const auto breaks_line = [](std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
  };
  if (key.empty() || breaks_line(key) || key.find('=') != std::string_view::npos ||
      Trim(key).size() != key.size() || key.front() == ';' || key.front() == '[') {
    throw std::invalid_argument("INI key cannot be written: " + std::string(key));
  }
  if (breaks_line(value) || breaks_line(section_name) ||
      section_name.find(']') != std::string_view::npos ||
      Trim(section_name).size() != section_name.size()) {
    throw std::invalid_argument("INI value or section cannot be written");
  }

  std::string text = std::string(key) + "=";
  const bool needs_quotes =
      !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || Quoted(value));
  if (needs_quotes) {
    text += '"';
    text += value;
    text += '"';
  } else {
    text += value;
  }
  const std::string ending = NewLineEnding();
  if (sections_.empty()) sections_.emplace_back();

  const std::string upper_name = Cp1250Upper(section_name);
  auto found = first_section_.find(upper_name);
  if (found == first_section_.end()) {
    // The last line of the file may lack its line end.
    if (Line* last = LastLine(); last != nullptr && last->ending.empty()) last->ending = ending;
    Section section;
    section.header.raw = Encode("[" + std::string(section_name) + "]");
    section.header.ending = ending;
    section.upper_name = upper_name;
    found = first_section_.emplace(upper_name, sections_.size()).first;
    sections_.push_back(std::move(section));
  }
  Section& section = sections_[found->second];

  const std::string upper_key = Cp1250Upper(key);
  if (const auto it = section.first_entry.find(upper_key); it != section.first_entry.end()) {
    Line& line = section.body[it->second];
    line.raw = Encode(text);
    line.key = std::string(key);
    line.value = std::string(value);
    return;
  }

  // A new key goes after the section's last non-blank line, so blank lines that part it from
  // the next section stay where they are.
  size_t position = section.body.size();
  while (position > 0 && Trim(section.body[position - 1].raw).empty()) --position;
  Line& previous = position > 0 ? section.body[position - 1] : section.header;
  if (previous.ending.empty()) previous.ending = ending;

  Line line;
  line.raw = Encode(text);
  line.ending = ending;
  line.is_entry = true;
  line.key = std::string(key);
  line.value = std::string(value);
  for (auto& [name, index] : section.first_entry) {
    if (index >= position) ++index;
  }
  section.body.insert(section.body.begin() + static_cast<std::ptrdiff_t>(position),
                      std::move(line));
  section.first_entry.emplace(upper_key, position);
}

std::string IniFile::Serialize() const {
  std::string out;
  if (utf8_) out += kUtf8Bom;
  for (size_t s = 0; s < sections_.size(); ++s) {
    if (s > 0) out += sections_[s].header.raw + sections_[s].header.ending;
    for (const Line& line : sections_[s].body) out += line.raw + line.ending;
  }
  return out;
}

void IniFile::Save(const fs::path& file) const {
  const std::string bytes = Serialize();
  std::error_code ec;
  // Through a link, the file it names is the one to replace.
  fs::path target = file;
  if (fs::is_symlink(file, ec)) {
    const fs::path resolved = fs::canonical(file, ec);
    if (!ec) target = resolved;
  }
  const bool exists = fs::exists(target, ec);
  if (exists) {
    // A read-only file stays as it is; opening for append changes nothing.
    std::FILE* probe = std::fopen(target.string().c_str(), "ab");
    if (probe == nullptr) throw WriteFailure(file);
    std::fclose(probe);
  }

  fs::path directory = target.parent_path();
  if (directory.empty()) directory = ".";
  std::random_device random;
  fs::path temporary;
  std::FILE* out = nullptr;
  for (int attempt = 0; attempt < 100 && out == nullptr; ++attempt) {
    temporary = directory / ("." + target.filename().string() + "." +
                             std::to_string(random() % 1000000) + ".tmp");
    out = std::fopen(temporary.string().c_str(), "wbx");
    if (out == nullptr && errno != EEXIST) break;
  }
  if (out == nullptr) throw WriteFailure(file);

  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  ok = std::fflush(out) == 0 && ok;
#ifndef _WIN32
  ok = fsync(fileno(out)) == 0 && ok;
#endif
  ok = std::fclose(out) == 0 && ok;
  if (ok && exists) fs::permissions(temporary, fs::status(target, ec).permissions(), ec);
  if (ok) {
    fs::rename(temporary, target, ec);
    ok = !ec;
  }
  if (!ok) {
    fs::remove(temporary, ec);
    throw WriteFailure(file);
  }
}

}  // namespace orvenda
