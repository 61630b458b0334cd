// Deciphers arbitrary stored texts as library fields hold them. A length that is no multiple of
// 4 must fail with the Base64 message and nothing else; any other text deciphers to exactly
// three bytes per group less its padding. Enciphering the input and deciphering it again must
// give the input back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/error.h"
#include "library/library_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string stored(reinterpret_cast<const char*>(data), size);
  try {
    const std::string plain = orvenda::DecryptLibraryText(stored);
    if (size % 4 != 0) abort();
    std::size_t expected = size / 4 * 3;
    if (size > 0 && stored[size - 1] == '=') expected -= stored[size - 2] == '=' ? 2 : 1;
    if (plain.size() != expected) abort();
  } catch (const orvenda::Error& e) {
    if (size % 4 == 0 || std::strcmp(e.what(), orvenda::kBase64FormatError) != 0) abort();
  }
  const std::string again = orvenda::EncryptLibraryText(stored);
  if (again.size() % 4 != 0 || orvenda::DecryptLibraryText(again) != stored) abort();
  return 0;
}
