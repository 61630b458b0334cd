#include "archive/zlb_crc32.h"

#include <zlib.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVENDA_CRC_FOLDING 1
#endif

namespace orvenda::zlb_detail {

namespace {

std::uint32_t ZlibCrc32(std::uint32_t crc, const unsigned char* data, std::size_t size) {
  // zlib takes the length as uInt: big pieces go in turns.
  while (size > 0) {
    const std::size_t piece = size < (1u << 30) ? size : (1u << 30);
    crc = static_cast<std::uint32_t>(crc32(crc, data, static_cast<uInt>(piece)));
    data += piece;
    size -= piece;
  }
  return crc;
}

#ifdef ORVENDA_CRC_FOLDING

#define ORVENDA_FOLD_TARGET __attribute__((target("pclmul,sse4.1")))

ORVENDA_FOLD_TARGET inline __m128i Load(const unsigned char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x times the two halves of k, with `next` added: 128 bits carried on past `next`.
ORVENDA_FOLD_TARGET inline __m128i FoldInto(__m128i x, __m128i k, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// Folding by carry-less multiplication (Gopal et al., "Fast CRC Computation for Generic
// Polynomials Using PCLMULQDQ"), bit-reflected constants of the polynomial 0xEDB88320.
// Takes the register value (the CRC inverted) and a multiple of 16 bytes, at least 64.
ORVENDA_FOLD_TARGET std::uint32_t Fold(std::uint32_t state, const unsigned char* p,
                                       std::size_t size) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i k5k0 = _mm_set_epi64x(0, 0x0163cd6124);
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(state)));
  __m128i x2 = Load(p + 16);
  __m128i x3 = Load(p + 32);
  __m128i x4 = Load(p + 48);
  p += 64;
  size -= 64;
  // Four lanes side by side, 64 bytes a round.
  for (; size >= 64; p += 64, size -= 64) {
    x1 = FoldInto(x1, k1k2, Load(p));
    x2 = FoldInto(x2, k1k2, Load(p + 16));
    x3 = FoldInto(x3, k1k2, Load(p + 32));
    x4 = FoldInto(x4, k1k2, Load(p + 48));
  }
  // The lanes into one, then the 16-byte blocks left.
  x1 = FoldInto(x1, k3k4, x2);
  x1 = FoldInto(x1, k3k4, x3);
  x1 = FoldInto(x1, k3k4, x4);
  for (; size >= 16; p += 16, size -= 16) x1 = FoldInto(x1, k3k4, Load(p));

  // 128 bits to 64, then Barrett reduction to 32.
  const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
  __m128i x2r = _mm_clmulepi64_si128(x1, k3k4, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2r);
  x2r = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5k0, 0x00), x2r);
  x2r = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x10);
  x2r = _mm_clmulepi64_si128(_mm_and_si128(x2r, mask32), poly, 0x00);
  x1 = _mm_xor_si128(x1, x2r);
  return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

bool CanFold() {
  static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return can;
}

#endif

}  // namespace

std::uint32_t FastCrc32(std::uint32_t crc, const unsigned char* data, std::size_t size) {
#ifdef ORVENDA_CRC_FOLDING
  // Short pieces are not worth setting up the registers for.
  if (size >= 256 && CanFold()) {
    const std::size_t folded = size & ~static_cast<std::size_t>(15);
    crc = ~Fold(~crc, data, folded);
    data += folded;
    size -= folded;
  }
#endif
  return ZlibCrc32(crc, data, size);
}

}  // namespace orvenda::zlb_detail
