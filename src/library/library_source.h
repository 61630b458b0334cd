#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/table.h"

namespace orvenda {

// The text form of a library, as `--list-library` prints it and `--build-library` reads it:
// UTF-8, a header line naming the eleven fields, then one line per record in table order with
// the fields separated by tabs. Inside texts "\" is written "\\", tab "\t", CR "\r" and LF
// "\n"; an empty number is empty. Ident and Opatreni appear deciphered.

// The fields in the order of the lines.
const std::vector<std::string>& LibrarySourceFields();
// "Index\tType\t...\tHodnocen\n".
std::string LibrarySourceHeader();

// A windows-1250 text written as a UTF-8 field with its escapes, and back (UTF-8 field to
// UTF-8 text; throws Error naming the escape that is not one).
std::string EscapeLibrarySourceText(std::string_view cp1250);
std::string UnescapeLibrarySourceText(std::string_view field);

// The whole table in record order, deciphering Ident and Opatreni.
std::string ListLibrarySource(Table& table);

// One record of a source file; texts in windows-1250, Ident and Opatreni plain.
struct LibrarySourceRecord {
  int line = 0;  // line number in the file, counted from 1 (the header)
  int Index = 0;
  int Type = 0;
  int UpLink = 0;
  std::string Text, Comment, Source, Ident, Opatreni;
  std::optional<int> Pravdep, Nasledky, Hodnocen;
};

// Reads and checks a whole source file: the header, eleven fields a line, whole numbers,
// Type 0 or 1, Index at least 1 and unique, ratings 0..5, every UpLink 0 or the Index of a
// node of the file, no cycle, valid UTF-8 that windows-1250 can hold, Text and Source within
// their field sizes. The first fault throws Error("řádek N: ...") and nothing is returned.
// A UTF-8 byte order mark and CR LF line ends are accepted.
std::vector<LibrarySourceRecord> ReadLibrarySource(std::string_view content);

// Replaces every record of the open library table with `records` in their order, enciphering
// Ident and Opatreni. The table stays open in record order.
void ReplaceLibraryRecords(Table& table, const std::vector<LibrarySourceRecord>& records);

}  // namespace orvenda
