// Parses arbitrary bytes as a text import file.
#include <cstdint>
#include <string_view>

#include "base/error.h"
#include "library/text_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvenda::ImportedRisk page;
  int open = 0;
  try {
    orvenda::ParseTextImport(
        std::string_view(reinterpret_cast<const char*>(data), size), page, [&] { ++open; },
        [&](const orvenda::ImportedRisk& risk) {
          // Every stored record was begun, and ratings stay within the digits' range.
          if (--open != 0 || risk.Pravdep > 5 || risk.Nasledky > 5) __builtin_trap();
        });
  } catch (const orvenda::Error&) {
  }
  return 0;
}
