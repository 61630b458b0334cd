#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "base/messages.h"

namespace orvenda {

// The risk register: one row per risk with its object path, texts, ratings and category, as
// the spreadsheet and CSV exports write it and the CSV import reads it back.

enum class RegisterColumn {
  Number,       // Index
  Object,       // path of the parent nodes' captions, " / " between them
  Hazard,       // Text
  Subsystem,    // Source
  Description,  // Ident
  P,            // Pravdep
  N,            // Nasledky
  H,            // Hodnocen
  R,            // P × N × H
  Category,     // category of R, "nehodnoceno" for R = 0
  Measures,     // Opatreni
  Note,         // Comment
};
inline constexpr int kRegisterColumnCount = 12;

// Message numbers of the column titles, in column order.
inline constexpr std::array<int, kRegisterColumnCount> kRegisterColumnMessages = {
    91, 33, 92, 42, 93, 44, 45, 46, 47, 94, 72, 49};

// Other messages of the register.
namespace register_msg {
inline constexpr int kRisksSheet = 95;
inline constexpr int kSummarySheet = 96;
inline constexpr int kUnrated = 97;
inline constexpr int kCount = 98;
inline constexpr int kTotal = 99;
inline constexpr int kBadRating = 100;
inline constexpr int kMissingColumn = 101;
inline constexpr int kUndecodable = 102;
inline constexpr int kUnrepresentable = 103;
inline constexpr int kNothingAdded = 104;
}  // namespace register_msg

// Message n, or its Czech default when the list (an older language file) leaves it empty:
// an empty column title would make the file unreadable for the import.
std::string RegisterMessage(const Messages& messages, int n);

// The title of a column.
std::string RegisterColumnTitle(const Messages& messages, RegisterColumn column);

// The category text of a risk level: messages 1..5 by band, "nehodnoceno" for 0 and for a
// level outside every band.
std::string RegisterCategory(const Messages& messages, int32_t level);

// Fast text conversions for the register's bulk of text (the same mapping as base/cp1250.h).
// Appends windows-1250 text to `out` as UTF-8.
void AppendUtf8(std::string& out, std::string_view cp1250);
// Strict UTF-8 to windows-1250 into `out`: Invalid for a malformed sequence, Unrepresentable
// for a character the code page lacks (nothing is turned into "?").
enum class Utf8Decode { Ok, Invalid, Unrepresentable };
Utf8Decode DecodeUtf8(std::string_view utf8, std::string& out);
// Whether `utf8` is well-formed UTF-8 by the rules DecodeUtf8 applies.
bool ValidUtf8(std::string_view utf8);

}  // namespace orvenda
