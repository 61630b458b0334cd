#pragma once

#include <cstddef>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvenda {

// An INI file read and written the way the Windows profile functions treat it, so that a file
// made by hand in any editor reads as Windows would read it, and a write changes only the line
// it must.
//
// Reading:
// - "[name]" starts a section (name up to the last "]", blanks trimmed); section names and keys
//   match without regard to case (windows-1250 letters included).
// - "key=value" splits at the first "="; blanks around key and value are dropped; a value in a
//   matching pair of quotes ("..." or '...') loses them.
// - Blank lines, lines starting with ";", lines without "=" or with an empty key are no keys.
// - Line ends CR LF or LF. A UTF-8 byte-order mark means the file is UTF-8; its texts are then
//   converted to windows-1250 on reading and back on writing.
// - Only the first section of a name counts, and in it the first of equal keys.
// Writing keeps every byte of the other lines. Texts are windows-1250.
class IniFile {
 public:
  static constexpr size_t kNoLimit = std::numeric_limits<size_t>::max();

  IniFile() = default;

  // The file's contents; a missing or unreadable file reads as empty, as Windows reads it.
  static IniFile Load(const std::filesystem::path& file);
  // For an update: a missing file is empty, but one that exists and cannot be read fails with
  // Error "Unable to write to <file>", since writing would lose its contents.
  static IniFile LoadForUpdate(const std::filesystem::path& file);
  static IniFile Parse(std::string_view bytes);

  // The keys of `section` in file order, as returned through a buffer of `buffer_size` bytes
  // that holds each name with its terminating zero plus one closing zero: names are taken while
  // they fit entirely, and the first one that does not ends the list.
  std::vector<std::string> KeyNames(std::string_view section, size_t buffer_size = kNoLimit) const;

  // The value of `key` in `section`, cut to buffer_size - 1 characters; nullopt when the key
  // is not there.
  std::optional<std::string> ReadString(std::string_view section, std::string_view key,
                                        size_t buffer_size = kNoLimit) const;

  // Sets a key: an existing key's line is rewritten in place with this spelling of the key, a
  // new key goes after the last line of its section, a new section at the end of the file.
  // The value must be one line (std::invalid_argument otherwise, as for a key with "=", a line
  // break, outer blanks or a leading ";" or "[" that would not read back as the same key).
  // Values that would not read back unchanged (outer blanks, outer quotes) are quoted.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  std::string Serialize() const;
  // Writes the file through a temporary file in the same directory, then renames it over the
  // old one. Failure: Error "Unable to write to <file>".
  void Save(const std::filesystem::path& file) const;

 private:
  struct Line {
    std::string raw;     // as in the file (its encoding), without the line end
    std::string ending;  // "\r\n", "\n" or "" for a last line without one
    bool is_entry = false;
    std::string key;    // entries: trimmed key, windows-1250
    std::string value;  // entries: trimmed and unquoted value, windows-1250
  };
  struct Section {
    Line header;  // unused for the lines before the first section
    std::string upper_name;
    std::vector<Line> body;
    std::unordered_map<std::string, size_t> first_entry;  // upper-case key → body index
  };

  const Section* FindSection(std::string_view name) const;
  std::string Encode(std::string_view cp1250) const;
  std::string NewLineEnding() const;
  Line* LastLine();

  bool utf8_ = false;
  std::vector<Section> sections_;  // [0] holds the lines before the first section
  std::unordered_map<std::string, size_t> first_section_;  // upper-case name → index
};

}  // namespace orvenda
