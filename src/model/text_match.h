#pragma once

#include <array>
#include <cstdint>
#include <functional>
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
  bool operator==(const MatchOptions&) const = default;
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
  // The query as it is compared: lower case, and plain letters without `diacritics`.
  const std::string& Folded() const { return query_; }
  const MatchOptions& Options() const { return options_; }
  // Looks first for the query's byte that is rarest in texts with these byte counts (of
  // lowered text); without them, for its first byte.
  void PreferRare(const std::array<uint64_t, 256>& counts);

 private:
  bool WholeWordAt(std::string_view text, size_t at) const;
  // The first position from `at` below `end` holding one of the anchor's bytes.
  size_t NextCandidate(const unsigned char* bytes, size_t at, size_t end) const;
  // The bytes of lowered text that compare equal to the query's byte at `position`; 0 when
  // more than fit.
  int FormsOf(size_t position, std::array<unsigned char, 4>& forms) const;

  std::string query_;  // lower case, and plain letters without `diacritics`
  MatchOptions options_;
  const std::array<unsigned char, 256>* fold_;  // lowered text to the query's form
  // A zero byte parts the fields of RecordTexts: a query holding one is never found.
  bool never_ = false;
  // The query's byte looked for first, and its forms in lowered text when they are few enough
  // to look for 16 bytes at a time (0: byte by byte).
  size_t anchor_ = 0;
  std::array<unsigned char, 4> anchorBytes_{};
  int anchorCount_ = 0;
  // A second byte of the query looked for in the same pass, so that few candidates are left
  // to compare (0: none).
  size_t second_ = 0;
  std::array<unsigned char, 4> secondBytes_{};
  int secondCount_ = 0;
};

// The lowered texts of every record of a table of tree records (Text, Comment, Source, Ident,
// Opatreni, each ended by a zero byte so that no match spans two fields), one record after
// another in one buffer. Every Index with a record has a slot number, so that a search over
// the whole buffer at once can answer with a bit per Index.
class RecordTexts {
 public:
  // The order of the fields in a record's text.
  enum Field { kTextField, kCommentField, kSourceField, kIdentField, kOpatreniField, kFields };
  static constexpr uint32_t kNoSlot = UINT32_MAX;

  // A field's text as the record shows it, for a table that keeps some texts otherwise (the
  // library's enciphered ones): the table stands on the record; the text may be put into
  // `scratch`.
  using FieldReader =
      std::function<std::string_view(Table& table, Field field, int number, std::string& scratch)>;

  // Reads every record; the table's filter is switched off.
  void Build(Table& table, const FieldReader& read = {});
  void Clear();
  // The record's fields, each but the last ended by a zero byte; nullopt for an Index without
  // a record. Two records with one Index (a damaged table) give both, parted by a zero byte.
  std::optional<std::string_view> Find(int32_t index) const;
  bool Matches(int32_t index, const TextMatcher& matcher) const;
  size_t Size() const { return slotRecord_.size(); }

  uint32_t SlotOf(int32_t index) const;
  // Sets the bit of every slot whose record holds a match (`bits` sized to the slots), in one
  // pass over all the texts; returns how many.
  size_t MatchAll(TextMatcher matcher, std::vector<uint64_t>& bits) const;
  // The same where `bits` holds the answer of a query that every match of this one holds
  // (a part of it typed before): only the records with their bit set are searched.
  size_t MatchWithin(const TextMatcher& matcher, std::vector<uint64_t>& bits) const;

  // The first match in the record: which field holds it, where in that field, and the field's
  // lowered text.
  struct Place {
    Field field = kTextField;
    size_t offset = 0;
    std::string_view text;
  };
  std::optional<Place> FirstMatch(int32_t index, const TextMatcher& matcher) const;

  size_t TextBytes() const { return buffer_.size(); }
  // What the lookup beside the texts takes.
  size_t IndexBytes() const;

 private:
  std::string_view RecordView(size_t record) const;
  std::string_view SlotView(uint32_t slot) const;

  std::string buffer_;
  std::vector<size_t> ends_;          // by record in buffer order: where its text ends
  std::vector<uint32_t> recordSlot_;  // by record in buffer order
  std::vector<uint32_t> slotRecord_;  // by slot: its first record
  // Slots by Index: a table for the usual small numbers, a hash for an odd huge one.
  std::vector<uint32_t> dense_;
  std::unordered_map<int32_t, uint32_t> sparse_;
  // The texts of the slots with more than one record, joined.
  std::unordered_map<uint32_t, std::string> joined_;
  std::array<uint64_t, 256> counts_{};  // of the bytes of the buffer
};

// Counts the row changes of a table that has no other observer (the libraries').
class RowChangeCounter final : public RowObserver {
 public:
  uint64_t Changes() const { return changes_; }
  void Reset(const Table&) override { ++changes_; }
  void Added(const RowValues&) override { ++changes_; }
  void Removed(const RowValues&) override { ++changes_; }

 private:
  uint64_t changes_ = 0;
};

}  // namespace orvenda
