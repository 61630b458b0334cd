#include "model/risk_register.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "base/cp1250.h"
#include "model/risk.h"

namespace orvenda {

std::string RegisterMessage(const Messages& messages, int n) {
  const std::string& text = messages.Get(n);
  if (!text.empty()) return text;
  static const std::vector<std::string> defaults = Messages::Defaults();
  return n >= 0 && n < static_cast<int>(defaults.size()) ? defaults[n] : std::string();
}

std::string RegisterColumnTitle(const Messages& messages, RegisterColumn column) {
  return RegisterMessage(messages, kRegisterColumnMessages[static_cast<int>(column)]);
}

std::string RegisterCategory(const Messages& messages, int32_t level) {
  const int band = RatedBand(level);
  return RegisterMessage(messages, band == 0 ? register_msg::kUnrated : band);
}

namespace {

// The UTF-8 bytes of every windows-1250 byte, and the byte of every code point below
// kUnicodeLimit that the code page holds (-1 for none), both taken from base's mapping.
constexpr char32_t kUnicodeLimit = 0x2200;

struct Utf8Bytes {
  char bytes[3];
  uint8_t size;
};

struct Tables {
  std::array<Utf8Bytes, 256> toUtf8{};
  std::vector<int16_t> fromUnicode = std::vector<int16_t>(kUnicodeLimit, -1);

  Tables() {
    for (int b = 0; b < 256; ++b) {
      const std::string u = Cp1250ToUtf8(std::string(1, static_cast<char>(b)));
      toUtf8[b].size = static_cast<uint8_t>(std::min<size_t>(u.size(), 3));
      std::copy_n(u.begin(), toUtf8[b].size, toUtf8[b].bytes);
      char32_t cp = 0;
      if (u.size() == 1) {
        cp = static_cast<unsigned char>(u[0]);
      } else if (u.size() == 2) {
        cp = ((u[0] & 0x1F) << 6) | (u[1] & 0x3F);
      } else if (u.size() == 3) {
        cp = ((u[0] & 0x0F) << 12) | ((u[1] & 0x3F) << 6) | (u[2] & 0x3F);
      }
      // The five unassigned bytes read as U+FFFD, which must not map back.
      if (cp < kUnicodeLimit) fromUnicode[cp] = static_cast<int16_t>(b);
    }
  }
};

const Tables& ConversionTables() {
  static const Tables tables;
  return tables;
}

// Bytes from `i` on that are below 0x80, eight at a time where it can.
size_t AsciiRun(std::string_view text, size_t i) {
  const size_t size = text.size();
  while (i + 8 <= size) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if ((word & 0x8080808080808080ull) != 0) break;
    i += 8;
  }
  while (i < size && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

// The sequence at `i` (its first byte 0x80 or above): its length and code point, or 0 when it
// is malformed, overlong, a surrogate, above U+10FFFF or cut off.
int DecodeSequence(std::string_view utf8, size_t i, char32_t& cp) {
  const auto c = static_cast<unsigned char>(utf8[i]);
  int extra;
  char32_t min;
  if (c >= 0xC2 && c <= 0xDF) {
    extra = 1, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    extra = 2, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    extra = 3, min = 0x10000;
  } else {
    return 0;
  }
  if (i + extra >= utf8.size()) return 0;
  cp = c & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const auto cont = static_cast<unsigned char>(utf8[i + k]);
    if ((cont & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cont & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return extra + 1;
}

}  // namespace

void AppendUtf8(std::string& out, std::string_view cp1250) {
  const Tables& tables = ConversionTables();
  // Room for three bytes a character, cut back at the end: no check per byte. A character
  // copies all three bytes of its entry; the room of those after it takes what it does not use.
  const size_t start = out.size();
  out.resize(start + 3 * cp1250.size());
  char* p = out.data() + start;
  for (const char ch : cp1250) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      *p++ = ch;
    } else {
      const Utf8Bytes& u = tables.toUtf8[c];
      std::memcpy(p, u.bytes, 3);
      p += u.size;
    }
  }
  out.resize(static_cast<size_t>(p - out.data()));
}

bool ValidUtf8(std::string_view utf8) {
  size_t i = 0;
  const size_t size = utf8.size();
  while (true) {
    i = AsciiRun(utf8, i);
    if (i >= size) return true;
    char32_t cp;
    const int length = DecodeSequence(utf8, i, cp);
    if (length == 0) return false;
    i += length;
  }
}

Utf8Decode DecodeUtf8(std::string_view utf8, std::string& out) {
  const Tables& tables = ConversionTables();
  // Never longer than the UTF-8: written through a pointer, cut back at the end.
  out.resize(utf8.size());
  char* p = out.data();
  size_t i = 0;
  const size_t size = utf8.size();
  Utf8Decode result = Utf8Decode::Ok;
  while (true) {
    const size_t ascii = AsciiRun(utf8, i);
    if (ascii > i) std::memcpy(p, utf8.data() + i, ascii - i);
    p += ascii - i;
    i = ascii;
    if (i >= size) break;
    char32_t cp;
    const int length = DecodeSequence(utf8, i, cp);
    if (length == 0) {
      result = Utf8Decode::Invalid;
      break;
    }
    if (cp >= kUnicodeLimit || tables.fromUnicode[cp] < 0) {
      result = Utf8Decode::Unrepresentable;
      break;
    }
    *p++ = static_cast<char>(tables.fromUnicode[cp]);
    i += length;
  }
  out.resize(static_cast<size_t>(p - out.data()));
  return result;
}

}  // namespace orvenda
