#include "model/dbf_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"

namespace orvenda::dbf {
namespace {

[[noreturn]] void Damaged(const std::string& fileName, const std::string& detail) {
  throw Error(Msg(174, {fileName, detail}));
}

uint32_t Le16(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return u[0] | (u[1] << 8);
}

uint32_t Le32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<uint32_t>(u[3]) << 24);
}

uint32_t Be32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return (static_cast<uint32_t>(u[0]) << 24) | (u[1] << 16) | (u[2] << 8) | u[3];
}

void PutLe16(char* p, uint32_t v) {
  p[0] = static_cast<char>(v & 0xFF);
  p[1] = static_cast<char>((v >> 8) & 0xFF);
}

void PutLe32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutBe32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * (3 - i))) & 0xFF);
}

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\0'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

bool AllZero(const char* p, size_t n) {
  return std::all_of(p, p + n, [](char c) { return c == '\0'; });
}

int32_t Clamp(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);  // truncates toward zero
}

// dBase level 7 doubles: big-endian, sign bit flipped for positives, all bits for negatives,
// so that the bytes sort like the numbers.
double DecodeDouble(const char* p) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = (bits << 8) | static_cast<unsigned char>(p[i]);
  bits = (bits & 0x8000000000000000ULL) ? (bits ^ 0x8000000000000000ULL) : ~bits;
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

void EncodeDouble(double v, char* p) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  bits = (bits & 0x8000000000000000ULL) ? ~bits : (bits ^ 0x8000000000000000ULL);
  for (int i = 0; i < 8; ++i) p[i] = static_cast<char>((bits >> (8 * (7 - i))) & 0xFF);
}

std::string FormatDouble(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

}  // namespace

bool Layout::HasMemo() const {
  return std::any_of(fields.begin(), fields.end(),
                     [](const Field& f) { return KindOf(f) == Kind::Memo; });
}

Kind KindOf(const Field& field) {
  switch (field.type) {
    case 'N':
    case 'F':
    case 'I':
    case '+':
    case 'O':
      return Kind::Integer;
    case 'C':
    case 'L':
    case 'D':
      return Kind::Text;
    case 'M':
    case 'B':
    case 'G':
      return Kind::Memo;
    default:
      return Kind::Raw;
  }
}

bool ParseNumber(std::string_view text, int32_t& value) {
  text = Trim(text);
  if (text.empty()) return false;
  int64_t whole = 0;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (*begin == '+') ++begin;
  auto [ptr, ec] = std::from_chars(begin, end, whole);
  if (ec == std::errc() && ptr == end) {
    value = Clamp(static_cast<double>(whole));
    return true;
  }
  // Fractions, exponents and numbers beyond 64 bits.
  double real = 0;
  auto [ptr2, ec2] = std::from_chars(begin, end, real);
  if (ptr2 == begin || ptr2 != end || (ec2 != std::errc() && ec2 != std::errc::result_out_of_range))
    return false;
  if (ec2 == std::errc::result_out_of_range) real = (*begin == '-') ? -1e300 : 1e300;
  value = Clamp(real);
  return true;
}

Layout ParseHeader(std::string_view bytes, const std::string& fileName) {
  if (bytes.size() < 32) Damaged(fileName, Msg(189));
  Layout layout;
  const char* h = bytes.data();
  layout.version = static_cast<uint8_t>(h[0]);
  // Low bits 3: dBase III and IV (03, 83, 8B, CB, ...); 4: level 7 (04, 8C); 8E is a dBase IV
  // table with an SQL table beside it.
  const int level = layout.version == 0x8E ? 3 : layout.version & 0x07;
  if (level != 3 && level != 4) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02X", layout.version);
    throw Error(Msg(192, {fileName, hex}));
  }
  layout.level7 = level == 4;
  layout.recordCount = Le32(h + 4);
  layout.headerLength = Le16(h + 8);
  layout.recordLength = Le16(h + 10);
  layout.productionIndex = h[28] != 0;
  layout.languageDriver = static_cast<uint8_t>(h[29]);

  const uint32_t first = layout.level7 ? 68 : 32;
  const uint32_t descriptorSize = layout.level7 ? 48 : 32;
  if (layout.headerLength < first + 1 || layout.headerLength > bytes.size())
    Damaged(fileName, Msg(176));
  if (layout.recordLength < 2) Damaged(fileName, Msg(177));

  uint32_t offset = 1;  // after the deletion flag
  uint32_t pos = first;
  while (pos < layout.headerLength && h[pos] != '\r') {
    if (pos + descriptorSize > layout.headerLength) Damaged(fileName, Msg(183));
    const char* d = h + pos;
    Field f;
    const size_t nameSize = layout.level7 ? 32 : 11;
    f.name.assign(d, strnlen(d, nameSize));
    f.type = d[layout.level7 ? 32 : 11];
    f.length = static_cast<unsigned char>(d[layout.level7 ? 33 : 16]);
    f.decimals = static_cast<uint8_t>(d[layout.level7 ? 34 : 17]);
    f.indexed = d[layout.level7 ? 37 : 31] != 0;
    if (f.length == 0) Damaged(fileName, Msg(191, {f.name}));
    f.offset = offset;
    offset += f.length;
    if (offset > layout.recordLength) Damaged(fileName, Msg(181));
    switch (f.type) {
      case 'I':
      case '+':
        if (f.length != 4) Damaged(fileName, Msg(175));
        break;
      case 'O':
        if (f.length != 8) Damaged(fileName, Msg(182));
        break;
      case 'M':
      case 'B':
      case 'G':
        if (f.length != 10 && f.length != 4) Damaged(fileName, Msg(179));
        break;
      case 'N':
      case 'F':
        if (f.length > 20) Damaged(fileName, Msg(190));
        break;
      default:
        break;
    }
    layout.fields.push_back(std::move(f));
    pos += descriptorSize;
  }
  if (layout.fields.empty()) Damaged(fileName, Msg(186));
  const uint64_t need = static_cast<uint64_t>(layout.headerLength) +
                        static_cast<uint64_t>(layout.recordCount) * layout.recordLength;
  if (need > bytes.size()) Damaged(fileName, Msg(185));
  return layout;
}

void LayOut(Layout& layout) {
  uint32_t offset = 1;
  for (Field& f : layout.fields) {
    f.offset = offset;
    offset += f.length;
  }
  layout.recordLength = offset;
  layout.headerLength = 32 + 32 * static_cast<uint32_t>(layout.fields.size()) + 1;
}

void Today(int& year, int& month, int& day) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  year = local.tm_year + 1900;
  month = local.tm_mon + 1;
  day = local.tm_mday;
}

void StampHeader(char* header, uint32_t recordCount) {
  int year, month, day;
  Today(year, month, day);
  header[1] = static_cast<char>(std::clamp(year - 1900, 0, 255));
  header[2] = static_cast<char>(month);
  header[3] = static_cast<char>(day);
  PutLe32(header + 4, recordCount);
}

std::string BuildHeader(const Layout& layout) {
  std::string h(layout.headerLength, '\0');
  h[0] = static_cast<char>(layout.version);
  StampHeader(h.data(), layout.recordCount);
  PutLe16(&h[8], layout.headerLength);
  PutLe16(&h[10], layout.recordLength);
  h[28] = layout.productionIndex ? 1 : 0;
  h[29] = static_cast<char>(layout.languageDriver);
  size_t pos = 32;
  for (const Field& f : layout.fields) {
    std::memcpy(&h[pos], f.name.data(), std::min<size_t>(f.name.size(), kMaxFieldName));
    h[pos + 11] = f.type;
    h[pos + 16] = static_cast<char>(f.length);
    h[pos + 17] = static_cast<char>(f.decimals);
    h[pos + 31] = f.indexed ? 1 : 0;
    pos += 32;
  }
  h[pos] = '\r';
  return h;
}

void DecodeCell(const Field& field, const char* record, Cell& cell, const std::string& fileName) {
  const char* p = record + field.offset;
  const std::string_view raw(p, field.length);
  cell = Cell();
  switch (field.type) {
    case 'N':
    case 'F': {
      const std::string_view t = Trim(raw);
      if (t.empty()) return;
      cell.null = false;
      cell.text.assign(t);
      if (!ParseNumber(t, cell.num)) cell.num = 0;
      return;
    }
    case 'I':
    case '+':
      if (AllZero(p, 4)) return;
      cell.null = false;
      cell.num = static_cast<int32_t>(Be32(p) ^ 0x80000000u);
      cell.text = std::to_string(cell.num);
      return;
    case 'O': {
      if (AllZero(p, 8)) return;
      const double v = DecodeDouble(p);
      cell.null = false;
      cell.num = Clamp(v);
      cell.text = FormatDouble(v);
      return;
    }
    case 'C':
      cell.text.assign(TrimRight(raw));
      cell.null = cell.text.empty();
      return;
    case 'L': {
      const std::string_view t = Trim(raw);
      if (t.empty() || t == "?") return;
      cell.text.assign(t);
      cell.null = false;
      return;
    }
    case 'D':
      cell.text.assign(Trim(raw));
      cell.null = cell.text.empty();
      return;
    case 'M':
    case 'B':
    case 'G': {
      uint32_t block = 0;
      if (field.length == 4) {
        block = Le32(p);
      } else {
        const std::string_view t = Trim(raw);
        if (!t.empty()) {
          auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), block);
          if (ec != std::errc() || ptr != t.data() + t.size()) Damaged(fileName, Msg(180));
        }
      }
      cell.num = static_cast<int32_t>(std::min<uint32_t>(block, INT32_MAX));
      if (block > INT32_MAX) Damaged(fileName, Msg(178));
      return;
    }
    default:
      cell.text.assign(raw);
      cell.null = Trim(raw).empty();
      return;
  }
}

void EncodeCell(const Field& field, const Cell& cell, char* record) {
  char* p = record + field.offset;
  const size_t n = field.length;
  switch (field.type) {
    case 'N':
    case 'F': {
      std::memset(p, ' ', n);
      if (cell.null) return;
      std::string text;
      if (field.decimals == 0) {
        text = std::to_string(cell.num);
      } else {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%.*f", std::min<int>(field.decimals, 15),
                      static_cast<double>(cell.num));
        text = buf;
      }
      if (text.size() > n) throw Error(Msg(220, {text, field.name}));
      std::memcpy(p + n - text.size(), text.data(), text.size());
      return;
    }
    case 'I':
    case '+':
      if (cell.null) {
        std::memset(p, 0, 4);
      } else {
        PutBe32(p, static_cast<uint32_t>(cell.num) ^ 0x80000000u);
      }
      return;
    case 'O':
      if (cell.null) {
        std::memset(p, 0, 8);
      } else {
        EncodeDouble(static_cast<double>(cell.num), p);
      }
      return;
    case 'M':
    case 'B':
    case 'G':
      if (n == 4) {
        PutLe32(p, cell.num > 0 ? static_cast<uint32_t>(cell.num) : 0);
        return;
      }
      std::memset(p, ' ', n);
      if (cell.num > 0) {
        const std::string text = std::to_string(cell.num);
        std::memcpy(p + n - text.size(), text.data(), std::min(text.size(), n));
      }
      return;
    default: {
      std::memset(p, ' ', n);
      std::memcpy(p, cell.text.data(), std::min(cell.text.size(), n));
      return;
    }
  }
}

MemoHeader ParseMemoHeader(std::string_view bytes, bool dbase3, const std::string& fileName) {
  MemoHeader header;
  if (bytes.empty()) return header;  // no memo written yet
  if (bytes.size() < 22) Damaged(fileName, Msg(188));
  if (!dbase3) {
    const uint32_t size = Le16(bytes.data() + 20);
    if (size != 0) {
      if (size < 32) Damaged(fileName, Msg(187));
      header.blockSize = size;
    }
  }
  return header;
}

std::string BuildMemoHeader(uint32_t nextBlock, uint32_t blockSize, bool dbase3,
                            const std::string& tableBaseName) {
  std::string h(blockSize, '\0');
  PutLe32(&h[0], nextBlock);
  if (dbase3) {
    h[16] = 0x03;
  } else {
    std::memcpy(&h[8], tableBaseName.data(), std::min<size_t>(tableBaseName.size(), 8));
    h[18] = 0x02;
    h[19] = 0x01;
    PutLe16(&h[20], blockSize);
  }
  return h;
}

std::string_view MemoSpan(std::string_view bytes, uint32_t blockSize, uint32_t block,
                          const std::string& fileName) {
  const uint64_t offset = static_cast<uint64_t>(block) * blockSize;
  if (offset >= bytes.size()) Damaged(fileName, Msg(178));
  const char* p = bytes.data() + offset;
  const uint64_t left = bytes.size() - offset;
  if (left >= 8 && static_cast<unsigned char>(p[0]) == 0xFF &&
      static_cast<unsigned char>(p[1]) == 0xFF && p[2] == 0x08 && p[3] == 0x00) {
    const uint32_t length = Le32(p + 4);  // includes the 8 bytes of the block header
    if (length > left) Damaged(fileName, Msg(184));
    if (length <= 8) return {};
    return {p + 8, length - 8};
  }
  const void* end = std::memchr(p, 0x1A, left);
  return {p, end ? static_cast<size_t>(static_cast<const char*>(end) - p) : left};
}

std::string EncodeMemo(std::string_view text, uint32_t blockSize, bool dbase3) {
  std::string out;
  if (dbase3) {
    out.assign(text);
    out += "\x1A\x1A";
  } else {
    out.resize(8);
    out[0] = '\xFF';
    out[1] = '\xFF';
    out[2] = 0x08;
    out[3] = 0x00;
    PutLe32(&out[4], static_cast<uint32_t>(text.size() + 8));
    out.append(text);
    // Readers that ignore the stored length stop at 1F.
    out += '\x1F';
  }
  const size_t blocks = (out.size() + blockSize - 1) / blockSize;
  out.resize(blocks * blockSize, '\0');
  return out;
}

}  // namespace orvenda::dbf
