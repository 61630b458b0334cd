#include "model/text_match.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>
#include <bit>

#include "model/project_table.h"

namespace orvenda {
namespace {

using ByteTable = std::array<unsigned char, 256>;

// Upper-case letters of windows-1250 with their lower-case ones outside A..Z and the run
// 0xC0..0xDE, which lies 0x20 below its lower case.
constexpr std::pair<unsigned char, unsigned char> kOtherCases[] = {
    {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D}, {0x8E, 0x9E}, {0x8F, 0x9F},
    {0xA3, 0xB3}, {0xA5, 0xB9}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xBC, 0xBE},
};

// Lower-case Czech accented letters and their plain letters.
constexpr std::pair<unsigned char, char> kCzechPlain[] = {
    {0xE1, 'a'}, {0xE8, 'c'}, {0xEF, 'd'}, {0xE9, 'e'}, {0xEC, 'e'},
    {0xED, 'i'}, {0xF2, 'n'}, {0xF3, 'o'}, {0xF8, 'r'}, {0x9A, 's'},
    {0x9D, 't'}, {0xFA, 'u'}, {0xF9, 'u'}, {0xFD, 'y'}, {0x9E, 'z'},
};

const ByteTable& LowerTable() {
  static const ByteTable table = [] {
    ByteTable t{};
    for (int b = 0; b < 256; ++b) t[b] = static_cast<unsigned char>(b);
    for (int b = 'A'; b <= 'Z'; ++b) t[b] = static_cast<unsigned char>(b + 0x20);
    for (int b = 0xC0; b <= 0xDE; ++b)
      if (b != 0xD7) t[b] = static_cast<unsigned char>(b + 0x20);
    for (const auto& [upper, lower] : kOtherCases) t[upper] = lower;
    return t;
  }();
  return table;
}

// Lower case and plain letters, for text already lowered.
const ByteTable& PlainTable() {
  static const ByteTable table = [] {
    ByteTable t{};
    for (int b = 0; b < 256; ++b) t[b] = static_cast<unsigned char>(b);
    for (const auto& [accented, plain] : kCzechPlain)
      t[accented] = static_cast<unsigned char>(plain);
    return t;
  }();
  return table;
}

const ByteTable& WordTable() {
  static const ByteTable table = [] {
    ByteTable t{};
    for (int b = '0'; b <= '9'; ++b) t[b] = 1;
    for (int b = 'a'; b <= 'z'; ++b) t[b] = t[b - 0x20] = 1;
    for (int b = 0xC0; b <= 0xFF; ++b) t[b] = b != 0xD7 && b != 0xF7;
    for (const auto& [upper, lower] : kOtherCases) t[upper] = t[lower] = 1;
    return t;
  }();
  return table;
}

}  // namespace

std::string LowerText(std::string_view cp1250) {
  const ByteTable& lower = LowerTable();
  std::string out(cp1250);
  for (char& c : out) c = static_cast<char>(lower[static_cast<unsigned char>(c)]);
  return out;
}

bool IsWordByte(unsigned char byte) { return WordTable()[byte] != 0; }

TextMatcher::TextMatcher(std::string_view query, MatchOptions options)
    : query_(LowerText(query)), options_(options) {
  if (!options_.diacritics) {
    const ByteTable& plain = PlainTable();
    for (char& c : query_) c = static_cast<char>(plain[static_cast<unsigned char>(c)]);
    if (!query_.empty()) {
      // Searched text is lower case already: only its bytes can occur there.
      const ByteTable& lower = LowerTable();
      const auto first = static_cast<unsigned char>(query_[0]);
      for (int b = 0; b < 256; ++b) {
        if (lower[b] != b || plain[b] != first) continue;
        if (firstCount_ == static_cast<int>(firstBytes_.size())) {
          firstCount_ = 0;  // too many to compare at once
          break;
        }
        firstBytes_[firstCount_++] = static_cast<unsigned char>(b);
      }
    }
  }
}

size_t TextMatcher::NextCandidate(const unsigned char* bytes, size_t at, size_t end) const {
#if defined(__SSE2__)
  __m128i wanted[4];
  for (int i = 0; i < firstCount_; ++i) {
    wanted[i] = _mm_set1_epi8(static_cast<char>(firstBytes_[i]));
  }
  for (; at + 16 <= end; at += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
    __m128i equal = _mm_cmpeq_epi8(chunk, wanted[0]);
    for (int i = 1; i < firstCount_; ++i) {
      equal = _mm_or_si128(equal, _mm_cmpeq_epi8(chunk, wanted[i]));
    }
    if (const int mask = _mm_movemask_epi8(equal)) return at + std::countr_zero(unsigned(mask));
  }
#endif
  for (; at < end; ++at) {
    for (int i = 0; i < firstCount_; ++i) {
      if (bytes[at] == firstBytes_[i]) return at;
    }
  }
  return end;
}

bool TextMatcher::WholeWordAt(std::string_view text, size_t at) const {
  if (!options_.wholeWords) return true;
  if (at > 0 && IsWordByte(static_cast<unsigned char>(text[at - 1]))) return false;
  const size_t end = at + query_.size();
  return end >= text.size() || !IsWordByte(static_cast<unsigned char>(text[end]));
}

size_t TextMatcher::FindLowered(std::string_view text, size_t from) const {
  if (query_.empty() || text.size() < query_.size()) return std::string_view::npos;
  if (options_.diacritics) {
    for (size_t at = text.find(query_, from); at != std::string_view::npos;
         at = text.find(query_, at + 1)) {
      if (WholeWordAt(text, at)) return at;
    }
    return std::string_view::npos;
  }
  // Both sides plain: compare through the table, the first byte first.
  const ByteTable& plain = PlainTable();
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const auto* q = reinterpret_cast<const unsigned char*>(query_.data());
  const size_t n = query_.size();
  const size_t last = text.size() - n;
  for (size_t at = from; at <= last; ++at) {
    if (firstCount_ > 0) {
      at = NextCandidate(bytes, at, last + 1);
      if (at > last) break;
    } else if (plain[bytes[at]] != q[0]) {
      continue;
    }
    size_t i = 1;
    while (i < n && plain[bytes[at + i]] == q[i]) ++i;
    if (i == n && WholeWordAt(text, at)) return at;
  }
  return std::string_view::npos;
}

void RecordTexts::Clear() {
  buffer_.clear();
  buffer_.shrink_to_fit();
  dense_.clear();
  dense_.shrink_to_fit();
  sparse_.clear();
  records_ = 0;
}

RecordTexts::Span& RecordTexts::Make(int32_t index) {
  if (index >= 0 && static_cast<size_t>(index) < dense_.size())
    return dense_[static_cast<size_t>(index)];
  return sparse_[index];
}

void RecordTexts::Build(Table& table) {
  Clear();
  ClearFilter(table);
  const int index = table.FieldNumber(fld::kIndex);
  const int fields[] = {table.FieldNumber(fld::kText), table.FieldNumber(fld::kComment),
                        table.FieldNumber(fld::kSource), table.FieldNumber(fld::kIdent),
                        table.FieldNumber(fld::kOpatreni)};
  // Index numbers are mostly 1..records; an odd huge one goes to the hash.
  const size_t count = static_cast<size_t>(table.RecordCount());
  dense_.resize(4 * count + 1024);
  const ByteTable& lower = LowerTable();
  for (table.First(); !table.Eof(); table.Next()) {
    const size_t start = buffer_.size();
    bool first = true;
    for (int field : fields) {
      // A zero byte between the fields: no query holds one, so no match spans two fields.
      if (!first) buffer_.push_back('\0');
      first = false;
      for (const char c : table.TextView(field))
        buffer_.push_back(static_cast<char>(lower[static_cast<unsigned char>(c)]));
    }
    Span* span = &Make(table.GetInt(index));
    if (span->used) {
      // Two records with one Index (a damaged table): both are found.
      const std::string both = buffer_.substr(span->offset, span->length) + '\0' +
                               buffer_.substr(start, buffer_.size() - start);
      buffer_.resize(start);
      span->offset = buffer_.size();
      buffer_ += both;
    } else {
      span->offset = start;
      span->used = true;
      ++records_;
    }
    span->length = buffer_.size() - span->offset;
  }
}

std::optional<std::string_view> RecordTexts::Find(int32_t index) const {
  const Span* span = nullptr;
  if (index >= 0 && static_cast<size_t>(index) < dense_.size()) {
    span = &dense_[static_cast<size_t>(index)];
  } else if (const auto it = sparse_.find(index); it != sparse_.end()) {
    span = &it->second;
  }
  if (span == nullptr || !span->used) return std::nullopt;
  return std::string_view(buffer_).substr(span->offset, span->length);
}

bool RecordTexts::Matches(int32_t index, const TextMatcher& matcher) const {
  const auto text = Find(index);
  return text && matcher.FindLowered(*text) != std::string_view::npos;
}

}  // namespace orvenda
