#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace orvenda {

// The fields of the library window's risk page that a text import fills. They carry over from
// one imported record to the next: a section a record lacks keeps the previous value.
struct ImportedRisk {
  std::string Source;
  std::string Ident;
  std::string Opatreni;
  int Pravdep = 0;
  int Nasledky = 0;
};

// Reads a text import file (windows-1250, CR LF or LF line ends; the first line is ignored).
// "<$$$n" starts section n (1 Source, 2 Ident, 3 Pravdep, 4 Nasledky, 5 Opatreni, others
// ignored); a lower section number than the current one ends the record; the line right after
// a marker is always data; "<*-*-*-*>" ends the data, and so does the end of the file.
// `beginRecord` runs when a record starts (the caller adds its risk), `storeRecord` when it
// ends, with `page` holding the fields. A rating line or marker without its digit throws
// orvenda::Error naming the line; the records stored before stay stored.
// True when some line after the first starts a section ("<$$$"): anything else is not an
// import file (random bytes, a library archive) and must not add a blank risk.
bool HasTextImportSection(std::string_view content);

void ParseTextImport(std::string_view content, ImportedRisk& page,
                     const std::function<void()>& beginRecord,
                     const std::function<void(const ImportedRisk&)>& storeRecord);

}  // namespace orvenda
