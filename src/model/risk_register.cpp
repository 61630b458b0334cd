#include "model/risk_register.h"

#include <array>
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

struct Tables {
  std::array<std::string, 256> toUtf8;
  std::vector<int16_t> fromUnicode = std::vector<int16_t>(kUnicodeLimit, -1);

  Tables() {
    for (int b = 0; b < 256; ++b) {
      toUtf8[b] = Cp1250ToUtf8(std::string(1, static_cast<char>(b)));
      const std::string& u = toUtf8[b];
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

}  // namespace

void AppendUtf8(std::string& out, std::string_view cp1250) {
  const Tables& tables = ConversionTables();
  for (const char c : cp1250) {
    if (static_cast<unsigned char>(c) < 0x80) {
      out += c;
    } else {
      out += tables.toUtf8[static_cast<unsigned char>(c)];
    }
  }
}

Utf8Decode DecodeUtf8(std::string_view utf8, std::string& out) {
  const Tables& tables = ConversionTables();
  out.clear();
  out.reserve(utf8.size());
  size_t i = 0;
  const size_t size = utf8.size();
  while (i < size) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    int extra;
    char32_t min;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3, min = 0x10000;
    } else {
      return Utf8Decode::Invalid;
    }
    if (i + extra >= size) return Utf8Decode::Invalid;
    char32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const auto cont = static_cast<unsigned char>(utf8[i + k]);
      if ((cont & 0xC0) != 0x80) return Utf8Decode::Invalid;
      cp = (cp << 6) | (cont & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return Utf8Decode::Invalid;
    if (cp >= kUnicodeLimit || tables.fromUnicode[cp] < 0) return Utf8Decode::Unrepresentable;
    out += static_cast<char>(tables.fromUnicode[cp]);
    i += extra + 1;
  }
  return Utf8Decode::Ok;
}

std::string FillMessage(std::string_view text, std::initializer_list<std::string> args) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const size_t k = static_cast<size_t>(text[i + 1] - '1');
      if (k < args.size()) {
        out += *(args.begin() + k);
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace orvenda
