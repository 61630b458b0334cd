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

TEST(RiskRegister, FillMessageReplacesNumberedPlaceholders) {
  EXPECT_EQ(FillMessage("%1, line %2, column %3: %4", {"f.csv", "7", "P", "9"}),
            "f.csv, line 7, column P: 9");
  // A placeholder without an argument stays; an argument is never searched again.
  EXPECT_EQ(FillMessage("%2 and %5 at 100%", {"%2", "x"}), "x and %5 at 100%");
  EXPECT_EQ(FillMessage("%1%1", {"%1"}), "%1%1");
}

}  // namespace
}  // namespace orvenda
