#pragma once

#include <string>
#include <string_view>

#include "model/branch_copy.h"

namespace orvenda {

// The fixed key text of the library files. Its 28 characters are hashed as they stand; files
// written with one key text can only be read with the same one.
inline constexpr const char kLibraryKeyText[] = "yS0twCaEZ1QcOZi9Rw+55Hiy04p=";

// The stored form of Ident and Opatreni in library tables: the windows-1250 bytes enciphered
// with CAST-128 in 8-bit cipher feedback (key: the first 16 bytes of SHA-1 of the key text;
// register: eight 0xFF bytes enciphered once), written as Base64. Every value starts from the
// same register, so equal texts give equal stored values; "" stays "".
std::string EncryptLibraryText(std::string_view text);

// The reverse. The stored text's length must be a multiple of 4, else Error "Base64: Incorrect
// string format". Only the last group may end in "=" or "=="; any other character outside the
// Base64 alphabet reads as 63, so a damaged value deciphers to nonsense but never fails.
std::string DecryptLibraryText(std::string_view stored);

// Base64 as the library files write and read it.
std::string LibraryBase64Encode(std::string_view bytes);
std::string LibraryBase64Decode(std::string_view text);

// The conversion CopyBranch applies for kinds 1 (encipher) and 2 (decipher).
TextConversion LibraryTextConversion();

inline constexpr const char kBase64FormatError[] = "Base64: Incorrect string format";

}  // namespace orvenda
