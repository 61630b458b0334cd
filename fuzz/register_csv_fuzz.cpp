// Parses arbitrary bytes as a CSV risk register.
#include <cstdint>
#include <string_view>

#include "base/error.h"
#include "library/register_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const orvenda::Messages messages;
  try {
    const auto rows = orvenda::ParseRegisterCsv(
        std::string_view(reinterpret_cast<const char*>(data), size), messages, "f.csv");
    for (const auto& row : rows) {
      // Every accepted row is rated within the scale (0: not rated) and its texts hold no
      // byte that would end a memo.
      if (row.p < 0 || row.p > 5 || row.n < 0 || row.n > 5 || row.h < 0 || row.h > 5) {
        __builtin_trap();
      }
      for (const auto* text : {&row.text, &row.source, &row.ident, &row.opatreni, &row.comment}) {
        if (text->find('\x1A') != std::string::npos || text->find('\0') != std::string::npos) {
          __builtin_trap();
        }
      }
    }
  } catch (const orvenda::Error&) {
  }
  return 0;
}
