#include "model/risk_register.h"

#include <gtest/gtest.h>

#include "base/cp1250.h"

namespace orvenda {
namespace {

TEST(RiskRegister, ColumnTitlesAndCategoriesComeFromTheMessages) {
  Messages messages;
  const std::vector<std::string> czech = {"Č.",
                                          "Posuzovaný objekt",
                                          "Nebezpečí",
                                          "Subsystém",
                                          "Popis nebezpečí",
                                          "P",
                                          "N",
                                          "H",
                                          "R",
                                          "Kategorie",
                                          "Bezpečnostní opatření",
                                          "Poznámka"};
  for (int c = 0; c < kRegisterColumnCount; ++c) {
    EXPECT_EQ(RegisterColumnTitle(messages, static_cast<RegisterColumn>(c)), W(czech[c])) << c;
  }
  EXPECT_EQ(RegisterMessage(messages, register_msg::kRisksSheet), "Rizika");
  EXPECT_EQ(RegisterMessage(messages, register_msg::kSummarySheet), "Souhrn");

  // R = 0 is unrated, not the first band; a level no band holds is unrated too.
  EXPECT_EQ(RegisterCategory(messages, 0), "nehodnoceno");
  EXPECT_EQ(RegisterCategory(messages, 1), W("Bezvýznamné riziko"));
  EXPECT_EQ(RegisterCategory(messages, 3), W("Bezvýznamné riziko"));
  EXPECT_EQ(RegisterCategory(messages, 4), W("Akceptovatelné riziko"));
  EXPECT_EQ(RegisterCategory(messages, 101), W("Nepřijatelné riziko"));
  EXPECT_EQ(RegisterCategory(messages, 125), W("Nepřijatelné riziko"));
  EXPECT_EQ(RegisterCategory(messages, 126), "nehodnoceno");
  EXPECT_EQ(RegisterCategory(messages, -2), "nehodnoceno");

  // A translated list is used; a list from before the register (cut short) falls back to the
  // Czech titles instead of empty ones.
  std::vector<std::string> english = messages.Items();
  english[33] = "Assessed object";
  english.resize(91);
  messages.Replace(english);
  EXPECT_EQ(RegisterColumnTitle(messages, RegisterColumn::Object), "Assessed object");
  EXPECT_EQ(RegisterColumnTitle(messages, RegisterColumn::Hazard), W("Nebezpečí"));
  EXPECT_EQ(RegisterCategory(messages, 0), "nehodnoceno");
}

}  // namespace
}  // namespace orvenda

namespace orvenda {
namespace {

TEST(RiskRegister, FastConversionsAgreeWithTheCodePage) {
  // Every byte of windows-1250 converts as the base conversion does and back.
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  std::string utf8;
  AppendUtf8(utf8, all);
  EXPECT_EQ(utf8, Cp1250ToUtf8(all));
  std::string assigned;
  for (const char c : all) {
    if (std::string("\x81\x83\x88\x90\x98").find(c) == std::string::npos) assigned += c;
  }
  std::string back;
  ASSERT_EQ(DecodeUtf8(Cp1250ToUtf8(assigned), back), Utf8Decode::Ok);
  EXPECT_EQ(back, assigned);

  // Nothing becomes "?" silently: a character the code page lacks, or broken UTF-8, is told.
  EXPECT_EQ(DecodeUtf8("a?b", back), Utf8Decode::Ok);
  EXPECT_EQ(back, "a?b");
  EXPECT_EQ(DecodeUtf8("\xEF\xBF\xBD", back), Utf8Decode::Unrepresentable);  // U+FFFD
  EXPECT_EQ(DecodeUtf8("Ж", back), Utf8Decode::Unrepresentable);
  EXPECT_EQ(DecodeUtf8("\xF0\x9F\x98\x80", back), Utf8Decode::Unrepresentable);  // an emoji
  EXPECT_EQ(DecodeUtf8("\xC3", back), Utf8Decode::Invalid);                      // cut short
  EXPECT_EQ(DecodeUtf8("\xC0\xA0", back), Utf8Decode::Invalid);                  // overlong
  EXPECT_EQ(DecodeUtf8("\xED\xA0\x80", back), Utf8Decode::Invalid);              // surrogate
  EXPECT_EQ(DecodeUtf8("\xE8x", back), Utf8Decode::Invalid);  // windows-1250 "č"
}

TEST(RiskRegister, ConversionsHoldAtEveryPositionOfLongText) {
  // Plain text is taken in blocks of bytes: a special byte at any offset of a long run, at its
  // end or just past a block must still be seen.
  const std::string plain(40, 'a');
  for (size_t at = 0; at <= plain.size(); ++at) {
    SCOPED_TRACE(at);
    std::string cp1250 = plain;
    cp1250.insert(at, W("ž"));
    std::string utf8;
    AppendUtf8(utf8, cp1250);
    EXPECT_EQ(utf8, Cp1250ToUtf8(cp1250));
    std::string back;
    EXPECT_EQ(DecodeUtf8(utf8, back), Utf8Decode::Ok);
    EXPECT_EQ(back, cp1250);
    EXPECT_TRUE(ValidUtf8(utf8));

    std::string broken = plain;
    broken.insert(at, "\xE8");  // a lead byte without its continuation
    EXPECT_FALSE(ValidUtf8(broken));
    EXPECT_EQ(DecodeUtf8(broken, back), Utf8Decode::Invalid);
    std::string cut = plain.substr(0, at) + "\xC5";  // cut short at the end
    EXPECT_FALSE(ValidUtf8(cut));
  }
  // ValidUtf8 judges as DecodeUtf8 does; a character the code page lacks is still UTF-8.
  std::string back;
  for (const std::string text : {"", "a", "\xC0\xA0", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                 "\xF0\x9F\x98\x80", "Ж", "\x80", "\xFF", "ok \xC3\xA1"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ValidUtf8(text), DecodeUtf8(text, back) != Utf8Decode::Invalid);
  }
}

}  // namespace
}  // namespace orvenda
