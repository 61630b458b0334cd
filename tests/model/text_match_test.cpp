#include "model/text_match.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace orvenda
