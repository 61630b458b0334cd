#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/table.h"

namespace orvenda {

// Finding text in records of windows-1250 text. Case never matters; without `diacritics` the
// Czech accented letters match their plain ones ("riz" finds "Říz"). Folding maps byte to
// byte, so a match's offset in folded text is its offset in the original.
struct MatchOptions {
  bool wholeWords = false;  // the match neither starts nor ends inside a word
  bool diacritics = false;  // "ř" and "r" differ
};

// The text in lower case, accents kept.
std::string LowerText(std::string_view cp1250);
// Whether a windows-1250 byte is a letter or a digit.
bool IsWordByte(unsigned char byte);

class TextMatcher {
 public:
  TextMatcher(std::string_view query, MatchOptions options);

  bool Empty() const { return query_.empty(); }
  // The offset of the first match in `lowered` (text from LowerText) at or after `from`;
  // npos when there is none.
  size_t FindLowered(std::string_view lowered, size_t from = 0) const;
  // The same in text as it is.
  size_t Find(std::string_view text, size_t from = 0) const {
    return FindLowered(LowerText(text), from);
  }
  size_t Length() const { return query_.size(); }

 private:
  bool WholeWordAt(std::string_view text, size_t at) const;
  // The first position from `at` below `end` whose byte folds to the query's first one.
  size_t NextCandidate(const unsigned char* bytes, size_t at, size_t end) const;

  std::string query_;  // lower case, and plain letters without `diacritics`
  MatchOptions options_;
  // Without `diacritics`: the lower-case bytes that fold to the query's first byte, when they
  // are few enough to look for 16 bytes at a time (0: byte by byte).
  std::array<unsigned char, 4> firstBytes_{};
  int firstCount_ = 0;
};

// The lowered texts of every record of a table of tree records (Text, Comment, Source, Ident,
// Opatreni, kept apart so that no match spans two fields), by Index: one buffer of about the
// size of the texts, and a table by Index for the usual small numbers, so that a walk over the
// tree finds each record's text without a hash lookup.
class RecordTexts {
 public:
  // Reads every record; the table's filter is switched off.
  void Build(Table& table);
  void Clear();
  // nullopt for an Index without a record.
  std::optional<std::string_view> Find(int32_t index) const;
  bool Matches(int32_t index, const TextMatcher& matcher) const;
  size_t Size() const { return records_; }

 private:
  struct Span {
    size_t offset = 0;
    size_t length = 0;
    bool used = false;
  };
  Span& Make(int32_t index);

  std::string buffer_;
  std::vector<Span> dense_;
  std::unordered_map<int32_t, Span> sparse_;
  size_t records_ = 0;
};

}  // namespace orvenda
