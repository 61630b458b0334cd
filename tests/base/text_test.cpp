#include <gtest/gtest.h>

#include "base/cp1250.h"
#include "base/messages.h"

namespace orvenda {
namespace {

TEST(Cp1250, CzechLettersRoundTrip) {
  const std::string czech = "Příliš žluťoučký kůň úpěl ďábelské ódy – ŘŠČŽÝÁÍÉŮÚĚŤĎŇ";
  const std::string bytes = Utf8ToCp1250(czech);
  EXPECT_EQ(bytes.size(), 55u);
  EXPECT_EQ(bytes.substr(0, 3), "P\xF8\xED");
  EXPECT_EQ(Cp1250ToUtf8(bytes), czech);
}

TEST(Cp1250, EveryAssignedByteRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    if (b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98) continue;
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1250(Cp1250ToUtf8(one)), one) << b;
  }
}

TEST(Cp1250, UnmappableAndMalformedBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1250("a\xE2\x82\xAC"), "a\x80");  // euro sign exists
  EXPECT_EQ(Utf8ToCp1250("\xE6\x97\xA5x"), "?x");     // CJK
  EXPECT_EQ(Utf8ToCp1250("\xF0\x9F\x98\x80"), "?");   // emoji, one character
  EXPECT_EQ(Utf8ToCp1250("\xC3"), "?");               // cut sequence
  EXPECT_EQ(Utf8ToCp1250("\x80z"), "?z");             // stray continuation byte
  EXPECT_EQ(Cp1250ToUtf8("\x81"), "\xEF\xBF\xBD");
  // 0x1A ends dBase memos; nothing maps to it except the control character itself.
  EXPECT_EQ(Utf8ToCp1250("\x1A"), "\x1A");
}

TEST(Cp1250, CzechUpperCase) {
  EXPECT_EQ(Cp1250Upper(W("příliš žluťoučký kůň ďábel ňadro")),
            W("PŘÍLIŠ ŽLUŤOUČKÝ KŮŇ ĎÁBEL ŇADRO"));
  EXPECT_EQ(Cp1250Upper(W("łąśźż ß µ ÷ 123")), W("ŁĄŚŹŻ ß µ ÷ 123"));
}

TEST(Cp1250, FileNamesBothWays) {
  const std::filesystem::path czech = "/tmp/Řízení rizik/přehled.rzk";
  EXPECT_EQ(PathToText(czech), W("/tmp/Řízení rizik/přehled.rzk"));
  EXPECT_EQ(TextToPath(PathToText(czech)), czech);
  // A name windows-1250 cannot hold does not come back: callers that store names check that.
  const std::filesystem::path foreign = "/tmp/\xE6\x97\xA5.rzk";
  EXPECT_EQ(PathToText(foreign), "/tmp/?.rzk");
  EXPECT_NE(TextToPath(PathToText(foreign)), foreign);
}

TEST(Messages, DefaultsAreNumberedAndWindows1250) {
  Messages messages;
  ASSERT_EQ(messages.Items().size(), static_cast<size_t>(Messages::kCount));
  EXPECT_EQ(messages[0], W("Vytvářím strom"));
  EXPECT_EQ(messages[3], W("Mírné riziko"));
  EXPECT_EQ(messages[8], W("Soubor nenalezen."));
  EXPECT_EQ(messages[44], "P");
  EXPECT_EQ(messages[72], W("Bezpečnostní opatření"));
  EXPECT_EQ(messages[73], "73");
  EXPECT_EQ(messages[89], "89");
  EXPECT_EQ(messages[90], "");
  // Added after the original list, which keeps its numbers.
  EXPECT_EQ(messages[91], W("Č."));
  EXPECT_EQ(messages[97], "nehodnoceno");
  EXPECT_EQ(messages[104], W("Nic nebylo přidáno."));
  EXPECT_EQ(messages[284], W("Zpět"));
  EXPECT_EQ(messages.Items().size(), static_cast<size_t>(Messages::kCount));
}

TEST(Messages, ReplacedListIsReadAtUseAndShortListsGiveEmptyTexts) {
  Messages messages;
  messages.Replace({"Building tree", "Insignificant risk"});
  EXPECT_EQ(messages[1], "Insignificant risk");
  EXPECT_EQ(messages[2], "");
  EXPECT_EQ(messages[-1], "");
}

TEST(Messages, FillArgsReplacesNumberedPlaceholders) {
  EXPECT_EQ(FillArgs("%1, line %2, column %3: %4", {"f.csv", "7", "P", "9"}),
            "f.csv, line 7, column P: 9");
  // A placeholder without an argument stays; an argument is never searched again.
  EXPECT_EQ(FillArgs("%2 and %5 at 100%", {"%2", "x"}), "x and %5 at 100%");
  EXPECT_EQ(FillArgs("%1%1", {"%1"}), "%1%1");
}

}  // namespace
}  // namespace orvenda
