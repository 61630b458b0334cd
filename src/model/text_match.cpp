#include "model/text_match.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>
#include <bit>
#include <cstddef>

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
  static const ByteTable identity = [] {
    ByteTable t{};
    for (int b = 0; b < 256; ++b) t[b] = static_cast<unsigned char>(b);
    return t;
  }();
  fold_ = options_.diacritics ? &identity : &PlainTable();
  for (char& c : query_) c = static_cast<char>((*fold_)[static_cast<unsigned char>(c)]);
  never_ = query_.find('\0') != std::string::npos;
  if (!query_.empty()) anchorCount_ = FormsOf(0, anchorBytes_);
}

int TextMatcher::FormsOf(size_t position, std::array<unsigned char, 4>& forms) const {
  // Searched text is lower case already: only its bytes can occur there.
  const ByteTable& lower = LowerTable();
  const auto wanted = static_cast<unsigned char>(query_[position]);
  int count = 0;
  for (int b = 0; b < 256; ++b) {
    if (lower[b] != b || (*fold_)[b] != wanted) continue;
    if (count == static_cast<int>(forms.size())) return 0;  // too many to compare at once
    forms[count++] = static_cast<unsigned char>(b);
  }
  return count;
}

void TextMatcher::PreferRare(const std::array<uint64_t, 256>& counts) {
  // The two rarest places of the query whose forms can be compared 16 bytes at a time.
  uint64_t best = UINT64_MAX, next = UINT64_MAX;
  for (size_t i = 0; i < query_.size(); ++i) {
    std::array<unsigned char, 4> forms{};
    const int count = FormsOf(i, forms);
    if (count == 0) continue;
    uint64_t seen = 0;
    for (int k = 0; k < count; ++k) seen += counts[forms[k]];
    if (seen < best) {
      if (best != UINT64_MAX) {
        next = best;
        second_ = anchor_;
        secondBytes_ = anchorBytes_;
        secondCount_ = anchorCount_;
      }
      best = seen;
      anchor_ = i;
      anchorBytes_ = forms;
      anchorCount_ = count;
    } else if (seen < next) {
      next = seen;
      second_ = i;
      secondBytes_ = forms;
      secondCount_ = count;
    }
  }
}

size_t TextMatcher::NextCandidate(const unsigned char* bytes, size_t at, size_t end) const {
  // The second byte lies this far from the anchor's; both are inside the text for every
  // anchor position below `end`.
  const ptrdiff_t apart = static_cast<ptrdiff_t>(second_) - static_cast<ptrdiff_t>(anchor_);
#if defined(__SSE2__)
  __m128i wanted[4], also[4];
  for (int i = 0; i < anchorCount_; ++i) {
    wanted[i] = _mm_set1_epi8(static_cast<char>(anchorBytes_[i]));
  }
  for (int i = 0; i < secondCount_; ++i) {
    also[i] = _mm_set1_epi8(static_cast<char>(secondBytes_[i]));
  }
  // The candidates of 16 bytes from `from` as bits.
  const auto candidates = [&](size_t from) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + from));
    __m128i equal = _mm_cmpeq_epi8(chunk, wanted[0]);
    for (int i = 1; i < anchorCount_; ++i) {
      equal = _mm_or_si128(equal, _mm_cmpeq_epi8(chunk, wanted[i]));
    }
    if (secondCount_ > 0) {
      const __m128i other = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + from + apart));
      __m128i equalToo = _mm_cmpeq_epi8(other, also[0]);
      for (int i = 1; i < secondCount_; ++i) {
        equalToo = _mm_or_si128(equalToo, _mm_cmpeq_epi8(other, also[i]));
      }
      equal = _mm_and_si128(equal, equalToo);
    }
    return static_cast<unsigned>(_mm_movemask_epi8(equal));
  };
  // Two blocks a round: one test of both masks for the usual round without a candidate.
  for (; at + 32 <= end; at += 32) {
    if (const unsigned mask = candidates(at) | candidates(at + 16) << 16) {
      return at + std::countr_zero(mask);
    }
  }
  for (; at + 16 <= end; at += 16) {
    if (const unsigned mask = candidates(at)) return at + std::countr_zero(mask);
  }
#endif
  const auto among = [](unsigned char byte, const std::array<unsigned char, 4>& set, int count) {
    for (int i = 0; i < count; ++i) {
      if (byte == set[i]) return true;
    }
    return false;
  };
  for (; at < end; ++at) {
    if (among(bytes[at], anchorBytes_, anchorCount_) &&
        (secondCount_ == 0 || among(bytes[at + apart], secondBytes_, secondCount_))) {
      return at;
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
  if (never_ || query_.empty() || text.size() < query_.size()) return std::string_view::npos;
  // Both sides folded alike: compare through the table, the anchor's byte first.
  const ByteTable& fold = *fold_;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const auto* q = reinterpret_cast<const unsigned char*>(query_.data());
  const size_t n = query_.size();
  const size_t last = text.size() - n;
  for (size_t at = from; at <= last; ++at) {
    if (anchorCount_ > 0) {
      const size_t candidate = NextCandidate(bytes, at + anchor_, last + anchor_ + 1);
      if (candidate > last + anchor_) break;
      at = candidate - anchor_;
    } else if (fold[bytes[at + anchor_]] != q[anchor_]) {
      continue;
    }
    size_t i = 0;
    while (i < n && fold[bytes[at + i]] == q[i]) ++i;
    if (i == n && WholeWordAt(text, at)) return at;
  }
  return std::string_view::npos;
}

void RecordTexts::Clear() {
  buffer_.clear();
  buffer_.shrink_to_fit();
  ends_.clear();
  ends_.shrink_to_fit();
  recordSlot_.clear();
  recordSlot_.shrink_to_fit();
  slotRecord_.clear();
  slotRecord_.shrink_to_fit();
  dense_.clear();
  dense_.shrink_to_fit();
  sparse_.clear();
  joined_.clear();
  counts_ = {};
}

uint32_t RecordTexts::SlotOf(int32_t index) const {
  if (index >= 0 && static_cast<size_t>(index) < dense_.size())
    return dense_[static_cast<size_t>(index)];
  const auto it = sparse_.find(index);
  return it == sparse_.end() ? kNoSlot : it->second;
}

std::string_view RecordTexts::RecordView(size_t record) const {
  const size_t start = record == 0 ? 0 : ends_[record - 1];
  // Without the zero byte that ends its last field.
  return std::string_view(buffer_).substr(start, ends_[record] - start - 1);
}

void RecordTexts::Build(Table& table, const FieldReader& read) {
  Clear();
  ClearFilter(table);
  const int index = table.FieldNumber(fld::kIndex);
  const int fields[kFields] = {table.FieldNumber(fld::kText), table.FieldNumber(fld::kComment),
                               table.FieldNumber(fld::kSource), table.FieldNumber(fld::kIdent),
                               table.FieldNumber(fld::kOpatreni)};
  // Index numbers are mostly 1..records; an odd huge one goes to the hash.
  const size_t count = static_cast<size_t>(table.RecordCount());
  const size_t denseLimit = 4 * count + 1024;
  ends_.reserve(count);
  recordSlot_.reserve(count);
  slotRecord_.reserve(count);
  const ByteTable& lower = LowerTable();
  std::string scratch;
  for (table.First(); !table.Eof(); table.Next()) {
    for (int k = 0; k < kFields; ++k) {
      const std::string_view text =
          read ? read(table, static_cast<Field>(k), fields[k], scratch) : table.TextView(fields[k]);
      const size_t start = buffer_.size();
      buffer_.append(text);
      // A zero byte after each field: no query holds one, so no match spans two fields.
      buffer_.push_back('\0');
      auto* bytes = reinterpret_cast<unsigned char*>(buffer_.data());
      for (size_t i = start, end = buffer_.size() - 1; i < end; ++i) bytes[i] = lower[bytes[i]];
    }
    const size_t record = ends_.size();
    ends_.push_back(buffer_.size());
    const int32_t key = table.GetInt(index);
    uint32_t* slot = nullptr;
    if (key >= 0 && static_cast<size_t>(key) < denseLimit) {
      if (static_cast<size_t>(key) >= dense_.size()) dense_.resize(key + 1, kNoSlot);
      slot = &dense_[static_cast<size_t>(key)];
    } else {
      slot = &sparse_.try_emplace(key, kNoSlot).first->second;
    }
    if (*slot == kNoSlot) {
      *slot = static_cast<uint32_t>(slotRecord_.size());
      slotRecord_.push_back(static_cast<uint32_t>(record));
    } else {
      // Two records with one Index (a damaged table): both are found.
      std::string& both = joined_[*slot];
      if (both.empty()) both = RecordView(slotRecord_[*slot]);
      both += '\0';
      both += RecordView(record);
    }
    recordSlot_.push_back(*slot);
  }
  // The byte counts pick the rarest byte of a query to look for first; four counts at a time
  // keep the increments from waiting on each other.
  std::array<std::array<uint64_t, 256>, 4> counts{};
  const auto* bytes = reinterpret_cast<const unsigned char*>(buffer_.data());
  const size_t size = buffer_.size();
  size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    ++counts[0][bytes[i]];
    ++counts[1][bytes[i + 1]];
    ++counts[2][bytes[i + 2]];
    ++counts[3][bytes[i + 3]];
  }
  for (; i < size; ++i) ++counts[0][bytes[i]];
  for (int b = 0; b < 256; ++b)
    counts_[b] = counts[0][b] + counts[1][b] + counts[2][b] + counts[3][b];
}

std::string_view RecordTexts::SlotView(uint32_t slot) const {
  if (const auto it = joined_.find(slot); it != joined_.end()) return std::string_view(it->second);
  return RecordView(slotRecord_[slot]);
}

std::optional<std::string_view> RecordTexts::Find(int32_t index) const {
  const uint32_t slot = SlotOf(index);
  if (slot == kNoSlot) return std::nullopt;
  return SlotView(slot);
}

size_t RecordTexts::MatchWithin(const TextMatcher& matcher, std::vector<uint64_t>& bits) const {
  bits.resize((slotRecord_.size() + 63) / 64);
  size_t found = 0;
  for (size_t word = 0; word < bits.size(); ++word) {
    for (uint64_t left = bits[word]; left != 0; left &= left - 1) {
      const int bit = std::countr_zero(left);
      const auto slot = static_cast<uint32_t>(word * 64 + static_cast<size_t>(bit));
      if (matcher.FindLowered(SlotView(slot)) != std::string_view::npos) {
        ++found;
      } else {
        bits[word] &= ~(uint64_t{1} << bit);
      }
    }
  }
  return found;
}

bool RecordTexts::Matches(int32_t index, const TextMatcher& matcher) const {
  const auto text = Find(index);
  return text && matcher.FindLowered(*text) != std::string_view::npos;
}

size_t RecordTexts::MatchAll(TextMatcher matcher, std::vector<uint64_t>& bits) const {
  bits.assign((slotRecord_.size() + 63) / 64, 0);
  matcher.PreferRare(counts_);
  size_t found = 0;
  size_t record = 0;
  for (size_t at = matcher.FindLowered(buffer_); at != std::string_view::npos;
       at = matcher.FindLowered(buffer_, at)) {
    while (ends_[record] <= at) ++record;
    const uint32_t slot = recordSlot_[record];
    uint64_t& word = bits[slot / 64];
    const uint64_t bit = uint64_t{1} << (slot % 64);
    if ((word & bit) == 0) ++found;
    word |= bit;
    // One match is enough for a record: on with the next one.
    at = ends_[record];
  }
  return found;
}

std::optional<RecordTexts::Place> RecordTexts::FirstMatch(int32_t index,
                                                          const TextMatcher& matcher) const {
  const auto text = Find(index);
  if (!text) return std::nullopt;
  const size_t at = matcher.FindLowered(*text);
  if (at == std::string_view::npos) return std::nullopt;
  // The fields are parted by zero bytes; the joined texts of a damaged table count on.
  size_t start = 0;
  int field = 0;
  for (size_t zero = text->find('\0'); zero != std::string_view::npos && zero < at;
       zero = text->find('\0', zero + 1)) {
    start = zero + 1;
    ++field;
  }
  size_t end = text->find('\0', at);
  if (end == std::string_view::npos) end = text->size();
  return Place{static_cast<Field>(field % kFields), at - start, text->substr(start, end - start)};
}

size_t RecordTexts::IndexBytes() const {
  size_t bytes = ends_.capacity() * sizeof(size_t) + recordSlot_.capacity() * sizeof(uint32_t) +
                 slotRecord_.capacity() * sizeof(uint32_t) + dense_.capacity() * sizeof(uint32_t);
  // A hash node holds its pair and a link, its bucket a pointer.
  bytes += sparse_.size() * (sizeof(std::pair<int32_t, uint32_t>) + 2 * sizeof(void*));
  for (const auto& [slot, text] : joined_) bytes += text.capacity() + 4 * sizeof(void*);
  return bytes;
}

}  // namespace orvenda
