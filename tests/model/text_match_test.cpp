#include "model/text_match.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "base/cp1250.h"
#include "model/project_table.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

struct MatchCase {
  const char* text;   // UTF-8, converted to windows-1250
  const char* query;  // UTF-8
  bool wholeWords;
  bool diacritics;
  int expected;  // offset of the first match, -1 for none
};

TEST(TextMatchTest, FindsByTheOptions) {
  const MatchCase cases[] = {
      // Case never matters, for plain and accented letters alike.
      {"Řízení vozidla", "řízení", false, true, 0},
      {"řízení vozidla", "ŘÍZENÍ", false, true, 0},
      {"ŠTĚRK a ŽÁR", "štěrk", false, true, 0},
      {"Pád z VÝŠKY", "výšky", false, false, 6},
      // Without diacritics the Czech letters match their plain ones, both ways.
      {"Řízení vozidla", "riz", false, false, 0},
      {"Řízení vozidla", "riz", false, true, -1},
      {"rizeni", "řízení", false, false, 0},
      {"rizeni", "řízení", false, true, -1},
      {"áčďéěíňóřšťúůýž", "acdeeinorstuuyz", false, false, 0},
      {"ÁČĎÉĚÍŇÓŘŠŤÚŮÝŽ", "acdeeinorstuuyz", false, false, 0},
      {"acdeeinorstuuyz", "ÁČĎÉĚÍŇÓŘŠŤÚŮÝŽ", false, false, 0},
      // With diacritics "ů" and "ú" differ, "u" finds neither.
      {"dům", "dúm", false, true, -1},
      {"dům", "dum", false, true, -1},
      {"dům", "DŮM", false, true, 0},
      // Whole words: not inside a word, also when accented letters border the match.
      {"Pořezání ruky", "řez", true, true, -1},
      {"Pořezání ruky", "ruky", true, true, 9},
      {"ruka, rukáv", "ruka", true, false, 0},
      {"rukáv, ruka", "ruka", true, false, 7},
      {"rukáv a ruka", "ruka", true, false, 8},
      {"rukávy", "ruka", true, false, -1},
      {"rukávy", "ruka", false, false, 0},
      {"šok", "ok", true, false, -1},
      {"P3 a 3", "3", true, false, 5},
      {"(pád)", "pad", true, false, 1},
      // An empty query or a query longer than the text finds nothing.
      {"cokoli", "", false, false, -1},
      {"ab", "abc", false, false, -1},
  };
  for (const MatchCase& c : cases) {
    const TextMatcher matcher(W(c.query), {.wholeWords = c.wholeWords, .diacritics = c.diacritics});
    const size_t found = matcher.Find(W(c.text));
    const int got = found == std::string_view::npos ? -1 : static_cast<int>(found);
    EXPECT_EQ(got, c.expected) << c.text << " / " << c.query << " words " << c.wholeWords
                               << " diacritics " << c.diacritics;
  }
}

TEST(TextMatchTest, LongTextsFindEveryMatchWherever16ByteBlocksEnd) {
  // Long texts are searched a block at a time: a match must be found at every offset, next to
  // a block's end, in the last bytes, and from any starting point, as a byte-by-byte search does.
  const std::string filler = W("xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
  for (const char* query : {"pád", "z", "ž", "rizik", "ok"}) {
    const TextMatcher matcher(W(query), {.wholeWords = false, .diacritics = false});
    const std::string found = LowerText(W(query == std::string("rizik") ? "Řízik" : query));
    for (size_t at = 0; at < 40; ++at) {
      std::string text = filler.substr(0, at) + found + filler.substr(0, 40 - at);
      EXPECT_EQ(matcher.FindLowered(text), at) << query << " at " << at;
      EXPECT_EQ(matcher.FindLowered(text, at), at) << query << " from " << at;
      EXPECT_EQ(matcher.FindLowered(text, at + 1), std::string_view::npos) << query << " " << at;
      text = filler.substr(0, at) + found;  // at the very end
      EXPECT_EQ(matcher.FindLowered(text), at) << query << " last, at " << at;
      text.pop_back();
      EXPECT_EQ(matcher.FindLowered(text), std::string_view::npos) << query << " cut, " << at;
    }
  }
}

TEST(TextMatchTest, LowerTextKeepsLengthAndOtherBytes) {
  const std::string text = W("Ťuk ŽÍŽALA × Ą 12 ÷ Ľ");
  const std::string lower = LowerText(text);
  ASSERT_EQ(lower.size(), text.size());
  EXPECT_EQ(lower, W("ťuk žížala × ą 12 ÷ ľ"));
  EXPECT_TRUE(IsWordByte(static_cast<unsigned char>(W("ž")[0])));
  EXPECT_FALSE(IsWordByte(static_cast<unsigned char>(W("×")[0])));
  EXPECT_FALSE(IsWordByte(' '));
}

TEST(TextMatchTest, RecordTextsSearchEveryFieldButNoneAcross) {
  test::TempDir dir;
  Table table;
  table.SetPath(dir / "RiskData.dbf");
  CreateProjectTable(table);
  const auto add = [&](int32_t index, const char* field, const char* text) {
    table.Append();
    table.SetInt(fld::kIndex, index);
    table.SetInt(fld::kType, kRiskType);
    table.SetText(field, W(text));
    table.Post();
  };
  add(1, fld::kText, "Lis");
  add(2, fld::kComment, "Poznámka: hluk");
  add(3, fld::kSource, "Zdroj prachu");
  add(4, fld::kIdent, "Pořezání");
  add(5, fld::kOpatreni, "Rukavice\r\nBrýle");
  add(1 << 30, fld::kText, "Daleko");  // far beyond the others
  add(3, fld::kText, "Druhý záznam");  // the same Index twice: both are found
  table.Locate(fld::kIndex, 1);
  table.Edit();
  table.SetText(fld::kComment, W("s"));  // "Lis" then "s": no "liss" across the fields
  table.Post();
  RecordTexts texts;
  texts.Build(table);
  EXPECT_EQ(texts.Size(), 6u);
  const auto found = [&](const char* query, MatchOptions options = {}) {
    const TextMatcher matcher(W(query), options);
    std::string indexes;
    for (int32_t index = 0; index <= 6; ++index)
      if (texts.Matches(index, matcher)) indexes += std::to_string(index);
    return indexes;
  };
  EXPECT_EQ(found("lis"), "1");
  EXPECT_EQ(found("liss"), "");
  EXPECT_EQ(found("HLUK"), "2");
  EXPECT_EQ(found("prach"), "3");
  EXPECT_EQ(found("druhy"), "3");
  EXPECT_TRUE(texts.Matches(1 << 30, TextMatcher("DALEKO", {})));
  EXPECT_EQ(found("porez"), "4");
  EXPECT_EQ(found("porez", {.diacritics = true}), "");
  EXPECT_EQ(found("brýle"), "5");
  EXPECT_EQ(found("rukavice", {.wholeWords = true}), "5");
  EXPECT_EQ(found("a"), "2345");
  EXPECT_FALSE(texts.Find(6).has_value());
  EXPECT_FALSE(texts.Find(-3).has_value());
  EXPECT_TRUE(texts.Find(1 << 30).has_value());  // far, but there
}

// The whole-buffer search against a plain reference: each field of each record on its own,
// lowered and folded by the test's own tables, searched byte by byte.
class MatchAllTest : public ::testing::Test {
 protected:
  static std::string Fold(std::string_view text, bool diacritics) {
    static const std::string accented = W("áčďéěíňóřšťúůýž");
    static const std::string plain = "acdeeinorstuuyz";
    std::string out = LowerText(text);
    if (!diacritics) {
      for (char& c : out) {
        if (const size_t at = accented.find(c); at != std::string::npos) c = plain[at];
      }
    }
    return out;
  }
  // The offset of the first match in one field, or npos.
  static size_t Reference(std::string_view field, std::string_view query, MatchOptions options) {
    const std::string text = Fold(field, options.diacritics);
    const std::string q = Fold(query, options.diacritics);
    if (q.empty()) return std::string::npos;
    for (size_t at = 0; at + q.size() <= text.size(); ++at) {
      if (text.compare(at, q.size(), q) != 0) continue;
      if (options.wholeWords) {
        if (at > 0 && IsWordByte(static_cast<unsigned char>(text[at - 1]))) continue;
        const size_t end = at + q.size();
        if (end < text.size() && IsWordByte(static_cast<unsigned char>(text[end]))) continue;
      }
      return at;
    }
    return std::string::npos;
  }

  struct Record {
    int32_t index;
    std::string fields[RecordTexts::kFields];  // windows-1250
  };
  static constexpr const char* kFieldNames[RecordTexts::kFields] = {
      fld::kText, fld::kComment, fld::kSource, fld::kIdent, fld::kOpatreni};

  void Load(const std::vector<Record>& records) {
    table.SetPath(dir / "RiskData.dbf");
    CreateProjectTable(table);
    for (const Record& record : records) {
      table.Append();
      table.SetInt(fld::kIndex, record.index);
      table.SetInt(fld::kType, kRiskType);
      for (int k = 0; k < RecordTexts::kFields; ++k)
        table.SetText(kFieldNames[k], record.fields[k]);
      table.Post();
    }
    texts.Build(table);
    records_ = records;
  }

  // Every Index whose records hold the query, by the reference and by MatchAll, and the first
  // place of each found record by both.
  void ExpectSame(std::string_view query, MatchOptions options) {
    const std::string shown = Cp1250ToUtf8(std::string(query));
    SCOPED_TRACE("query \"" + shown + "\" whole words " + std::to_string(options.wholeWords) +
                 " diacritics " + std::to_string(options.diacritics));
    const TextMatcher matcher(query, options);
    std::vector<uint64_t> bits;
    const size_t count = texts.MatchAll(matcher, bits);
    std::set<int32_t> expected, found;
    for (const Record& record : records_) {
      for (const std::string& field : record.fields) {
        if (Reference(field, query, options) != std::string::npos) expected.insert(record.index);
      }
    }
    for (const Record& record : records_) {
      const uint32_t slot = texts.SlotOf(record.index);
      ASSERT_NE(slot, RecordTexts::kNoSlot);
      if ((bits[slot / 64] >> (slot % 64)) & 1) found.insert(record.index);
    }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(count, expected.size());
    // The first match of a record: the first field holding one, in field order.
    for (const Record& record : records_) {
      if (!expected.count(record.index)) continue;
      const auto place = texts.FirstMatch(record.index, matcher);
      ASSERT_TRUE(place.has_value()) << record.index;
      if (duplicated_.count(record.index)) continue;  // the other record may come first
      int field = 0;
      while (Reference(record.fields[field], query, options) == std::string::npos) ++field;
      EXPECT_EQ(place->field, field) << record.index;
      EXPECT_EQ(place->offset, Reference(record.fields[field], query, options)) << record.index;
      EXPECT_EQ(place->text, LowerText(record.fields[field])) << record.index;
    }
  }

  test::TempDir dir;
  Table table;
  RecordTexts texts;
  std::vector<Record> records_;
  std::set<int32_t> duplicated_;
};

TEST_F(MatchAllTest, FindsWhatEachFieldAloneHoldsAtEveryOffset) {
  // Short random fields from a few letters, so that matches fall at every offset of the
  // 16-byte blocks, next to field and record boundaries, inside and across words.
  const std::string alphabet = W("aáAÁzžŽ rř.1");
  std::mt19937 random(7);
  std::vector<Record> records;
  for (int32_t i = 1; i <= 300; ++i) {
    Record record{i == 150 ? (1 << 30) : i, {}};
    for (std::string& field : record.fields) {
      const size_t length = random() % 23;
      for (size_t k = 0; k < length; ++k) field += alphabet[random() % alphabet.size()];
      if (!field.empty() && field.back() == ' ') field.back() = '.';  // the table trims it
    }
    records.push_back(std::move(record));
  }
  // One Index twice (a damaged table): found by either record.
  records.push_back({7, {W("zzzz"), "", "", "", ""}});
  duplicated_.insert(7);
  Load(records);
  EXPECT_EQ(texts.Size(), 300u);
  std::vector<std::string> queries;
  const std::string letters = W("azž r.");
  for (char a : letters) {
    queries.push_back(std::string(1, a));
    for (char b : letters) {
      queries.push_back(std::string{a, b});
      for (char c : letters) queries.push_back(std::string{a, b, c});
    }
  }
  for (const char* longer : {"ZZZZ", "zzzzz", "ára", "áža ř", "1.a", "rr.", "qq"})
    queries.push_back(W(longer));
  for (const bool whole : {false, true}) {
    for (const bool diacritics : {false, true}) {
      for (const std::string& query : queries) ExpectSame(query, {whole, diacritics});
    }
  }
  // Typing on: the records of the shorter query searched again find what a whole pass finds.
  for (const bool diacritics : {false, true}) {
    for (const std::string& query : queries) {
      if (query.size() < 2) continue;
      const MatchOptions options{.wholeWords = false, .diacritics = diacritics};
      std::vector<uint64_t> narrowed, whole;
      texts.MatchAll(TextMatcher(query.substr(0, query.size() - 1), options), narrowed);
      const size_t count = texts.MatchWithin(TextMatcher(query, options), narrowed);
      EXPECT_EQ(count, texts.MatchAll(TextMatcher(query, options), whole));
      EXPECT_EQ(narrowed, whole) << Cp1250ToUtf8(query);
    }
  }
}

TEST_F(MatchAllTest, NoMatchSpansFieldsOrRecordsAndNothingIsFoundForNothing) {
  Load({{1, {W("Lis"), "s", W("Zdroj"), "", W("konec")}},
        {2, {W("začátek"), "", "", W("Pořezání\r\nruky"), ""}},
        {3, {"", "", "", "", ""}}});
  for (const char* query : {"liss", "zdrojkonec", "koneczač", "konec", "začátek", "lis", "s",
                            "zdroj", "ruky", "\r\nr", "zzzz", "pořez", "porez"}) {
    for (const bool whole : {false, true}) {
      for (const bool diacritics : {false, true}) ExpectSame(W(query), {whole, diacritics});
    }
  }
  // A zero byte parts the fields: a query holding one finds nothing.
  std::vector<uint64_t> bits;
  EXPECT_EQ(texts.MatchAll(TextMatcher(std::string_view("lis\0s", 5), {}), bits), 0u);
  EXPECT_EQ(texts.MatchAll(TextMatcher("", {}), bits), 0u);
  EXPECT_EQ(texts.SlotOf(4), RecordTexts::kNoSlot);
  const auto place = texts.FirstMatch(2, TextMatcher("RUKY", {}));
  ASSERT_TRUE(place.has_value());
  EXPECT_EQ(place->field, RecordTexts::kIdentField);
  EXPECT_EQ(place->offset, 10u);
}

}  // namespace
}  // namespace orvenda
