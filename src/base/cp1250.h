#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvenda {

// The core keeps texts as windows-1250 bytes, exactly as stored in tables and pages.
// These are the conversions used at the edges (source literals, the Qt boundary, tests).

// UTF-8 to windows-1250. A character that windows-1250 cannot hold becomes "?"; so does a
// malformed UTF-8 sequence.
std::string Utf8ToCp1250(std::string_view utf8);

// windows-1250 to UTF-8. Every byte has a meaning except 0x81, 0x83, 0x88, 0x90 and 0x98,
// which become U+FFFD.
std::string Cp1250ToUtf8(std::string_view cp1250);

// Upper case of one windows-1250 byte under the Czech locale (á → Á, ř → Ř, ...). Bytes
// without an upper-case form are returned unchanged.
char Cp1250Upper(char c);
std::string Cp1250Upper(std::string_view text);

// A host file name (UTF-8 here) as windows-1250 text, for messages, menu captions and stored
// values; characters it cannot hold become "?". TextToPath is the way back.
std::string PathToText(const std::filesystem::path& path);
std::filesystem::path TextToPath(std::string_view cp1250);

// Shorthand for fixed texts written in UTF-8 source files.
inline std::string W(std::string_view utf8) { return Utf8ToCp1250(utf8); }

}  // namespace orvenda
