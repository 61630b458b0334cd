// Library source files are edited by hand: whatever bytes they hold, reading must not crash or
// fail with anything but an Error, and an accepted file written back out reads as the same
// records.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/error.h"
#include "library/library_source.h"

namespace {

using orvenda::LibrarySourceRecord;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string Number(const std::optional<int>& value) {
  return value ? std::to_string(*value) : std::string();
}

bool Same(const LibrarySourceRecord& a, const LibrarySourceRecord& b) {
  return a.Index == b.Index && a.Type == b.Type && a.UpLink == b.UpLink && a.Text == b.Text &&
         a.Comment == b.Comment && a.Source == b.Source && a.Ident == b.Ident &&
         a.Opatreni == b.Opatreni && a.Pravdep == b.Pravdep && a.Nasledky == b.Nasledky &&
         a.Hodnocen == b.Hodnocen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Most inputs fail the header; give the rest of them a chance too.
  for (const std::string& content :
       {std::string(bytes), orvenda::LibrarySourceHeader() + std::string(bytes)}) {
    std::vector<LibrarySourceRecord> records;
    try {
      records = orvenda::ReadLibrarySource(content);
    } catch (const orvenda::Error&) {
      continue;
    }
    std::string written = orvenda::LibrarySourceHeader();
    const auto text = orvenda::EscapeLibrarySourceText;
    for (const LibrarySourceRecord& r : records) {
      written += std::to_string(r.Index) + '\t' + std::to_string(r.Type) + '\t' +
                 std::to_string(r.UpLink) + '\t' + text(r.Text) + '\t' + text(r.Comment) + '\t' +
                 text(r.Source) + '\t' + text(r.Ident) + '\t' + text(r.Opatreni) + '\t' +
                 Number(r.Pravdep) + '\t' + Number(r.Nasledky) + '\t' + Number(r.Hodnocen) + '\n';
    }
    const std::vector<LibrarySourceRecord> again = orvenda::ReadLibrarySource(written);
    Check(again.size() == records.size());
    for (size_t i = 0; i < records.size(); ++i) Check(Same(records[i], again[i]));
  }
  return 0;
}
