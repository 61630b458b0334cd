#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/messages.h"

namespace orvenda {

// Reading a risk register back from CSV (as the export writes it, or as an office program
// saves it): the separator ";", "," or tab is taken from the header line; the text is UTF-8
// (with or without a byte-order mark) or, when it is not valid UTF-8, windows-1250.
//
// The first line is the header: the column titles in any order, matched after trimming and
// without regard to letter case, in the current language or in Czech. Required are the object
// path, the hazard and P, N, H; the subsystem, description, measures and note are taken when
// present; the number, R and the category are computed by the program and ignored, and so
// are unknown columns.

// One risk to add. Texts are windows-1250; memo line breaks are CR LF.
struct RegisterImportRow {
  int line = 0;                   // the file line where the row starts
  std::vector<std::string> path;  // the object path's parts; none: directly under the target
  std::string text, source, ident, opatreni, comment;
  int p = 0, n = 0, h = 0;  // 1..5; 0 for an empty cell (not rated)
};

// Every row of the file's bytes, checked as a whole: a rating that is neither empty nor a
// whole number from 1 to 5, a missing required column, a text that cannot be read or stored, an
// unclosed quote or a row with another number of fields than the header stops it with
// orvenda::Error naming `fileName` (windows-1250), the line and the column, before any row is
// returned. Rows whose fields are all empty are skipped.
std::vector<RegisterImportRow> ParseRegisterCsv(std::string_view bytes, const Messages& messages,
                                                const std::string& fileName);

// Reads the file and parses it; a file that cannot be read throws orvenda::Error naming it.
std::vector<RegisterImportRow> ReadRegisterCsv(const std::filesystem::path& file,
                                               const Messages& messages);

}  // namespace orvenda
