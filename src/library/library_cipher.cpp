#include "library/library_cipher.h"

#include <nettle/cast128.h>
#include <nettle/cfb.h>
#include <nettle/sha1.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/error.h"

namespace orvenda {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The key schedule and the first register. Deriving them once per run gives the same values
// as deriving them for every field, since nothing of a value's work is carried over.
struct CipherKey {
  cast128_ctx ctx;
  std::array<uint8_t, CAST128_BLOCK_SIZE> iv;

  CipherKey() {
    sha1_ctx sha;
    sha1_init(&sha);
    sha1_update(&sha, sizeof kLibraryKeyText - 1,
                reinterpret_cast<const uint8_t*>(kLibraryKeyText));
    uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&sha, sizeof digest, digest);
    cast128_set_key(&ctx, digest);
    iv.fill(0xFF);
    cast128_encrypt(&ctx, iv.size(), iv.data(), iv.data());
  }
};

const CipherKey& Key() {
  static const CipherKey key;
  return key;
}

void Encipher(std::string& data) {
  if (data.empty()) return;
  const CipherKey& key = Key();
  std::array<uint8_t, CAST128_BLOCK_SIZE> reg = key.iv;
  auto* bytes = reinterpret_cast<uint8_t*>(data.data());
  cfb8_encrypt(&key.ctx, reinterpret_cast<nettle_cipher_func*>(cast128_encrypt), reg.size(),
               reg.data(), data.size(), bytes, bytes);
}

// Deciphering knows every register in advance (the first one, then each window of eight
// ciphertext bytes), so all of them go through the block cipher in one call: several times
// faster than a call per byte, which the library Find notices.
void Decipher(std::string& data) {
  if (data.empty()) return;
  const CipherKey& key = Key();
  const std::size_t n = data.size();
  std::string stream(key.iv.begin(), key.iv.end());
  stream += data;
  std::vector<uint8_t> blocks(n * CAST128_BLOCK_SIZE);
  for (std::size_t i = 0; i < n; ++i) {
    std::memcpy(&blocks[i * CAST128_BLOCK_SIZE], stream.data() + i, CAST128_BLOCK_SIZE);
  }
  cast128_encrypt(&key.ctx, blocks.size(), blocks.data(), blocks.data());
  for (std::size_t i = 0; i < n; ++i) {
    data[i] = static_cast<char>(static_cast<uint8_t>(data[i]) ^ blocks[i * CAST128_BLOCK_SIZE]);
  }
}

int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return 63;  // a foreign character
}

}  // namespace

std::string LibraryBase64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = static_cast<uint8_t>(bytes[i]) << 16 |
                       static_cast<uint8_t>(bytes[i + 1]) << 8 | static_cast<uint8_t>(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string LibraryBase64Decode(std::string_view text) {
  if (text.size() % 4 != 0) throw Error(kBase64FormatError);
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int padding = 0;
    if (last && text[i + 3] == '=') padding = text[i + 2] == '=' ? 2 : 1;
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      v = v << 6 | (k >= 4 - padding ? 0 : Base64Value(static_cast<unsigned char>(text[i + k])));
    }
    out += static_cast<char>(v >> 16);
    if (padding < 2) out += static_cast<char>((v >> 8) & 0xFF);
    if (padding < 1) out += static_cast<char>(v & 0xFF);
  }
  return out;
}

std::string EncryptLibraryText(std::string_view text) {
  std::string data(text);
  Encipher(data);
  return LibraryBase64Encode(data);
}

std::string DecryptLibraryText(std::string_view stored) {
  std::string data = LibraryBase64Decode(stored);
  Decipher(data);
  return data;
}

TextConversion LibraryTextConversion() {
  return [](ConversionKind kind, const std::string& text) {
    return kind == ConversionKind::Encipher ? EncryptLibraryText(text) : DecryptLibraryText(text);
  };
}

}  // namespace orvenda
