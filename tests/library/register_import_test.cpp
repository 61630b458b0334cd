// Reading a CSV risk register: separators, encodings and quoting as office programs write
// them, and the refusals that stop an import before anything is added.
#include "library/register_import.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/cp1250.h"
#include "base/error.h"
#include "support/test_support.h"

namespace orvenda::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::vector<RegisterImportRow> Parse(const std::string& bytes) {
  return ParseRegisterCsv(bytes, Messages(), "r.csv");
}

std::string Refusal(const std::string& bytes) {
  return Cp1250ToUtf8(ErrorText([&] { Parse(bytes); }));
}

// The same register in the ways office programs save it.
struct Variant {
  const char* name;
  std::string bytes;
};

TEST(RegisterImport, SeparatorsAndEncodingsGiveTheSameRows) {
  const std::string utf8Header =
      "Č.;Posuzovaný objekt;Nebezpečí;Subsystém;Popis nebezpečí;P;N;H;R;Kategorie;"
      "Bezpečnostní opatření;Poznámka\r\n";
  const std::string utf8Row =
      "7;Závod / Hala;Pád břemene;Jeřáb;\"Uvolnění\r\nbřemene\";3;4;2;24;Mírné riziko;"
      "Kontrola;Žádná\r\n";
  auto with = [](std::string text, char separator) {
    for (char& c : text) {
      if (c == ';') c = separator;
    }
    return text;
  };
  const std::vector<Variant> variants = {
      {"UTF-8 with BOM, semicolons", "\xEF\xBB\xBF" + utf8Header + utf8Row},
      {"UTF-8 without BOM, semicolons", utf8Header + utf8Row},
      {"windows-1250, semicolons", W(utf8Header) + W(utf8Row)},
      {"UTF-8, commas", with(utf8Header, ',') + with(utf8Row, ',')},
      {"windows-1250, tabs", W(with(utf8Header, '\t')) + W(with(utf8Row, '\t'))},
      {"LF line ends, no final break",
       "Č.;Posuzovaný objekt;Nebezpečí;Subsystém;Popis nebezpečí;P;N;H;R;Kategorie;"
       "Bezpečnostní opatření;Poznámka\n7;Závod / Hala;Pád břemene;Jeřáb;\"Uvolnění\n"
       "břemene\";3;4;2;24;Mírné riziko;Kontrola;Žádná"},
  };
  for (const Variant& variant : variants) {
    SCOPED_TRACE(variant.name);
    const auto rows = Parse(variant.bytes);
    ASSERT_EQ(rows.size(), 1u);
    const RegisterImportRow& row = rows[0];
    EXPECT_EQ(row.line, 2);
    EXPECT_THAT(row.path, ElementsAre(W("Závod"), "Hala"));
    EXPECT_EQ(row.text, W("Pád břemene"));
    EXPECT_EQ(row.source, W("Jeřáb"));
    EXPECT_EQ(row.ident, W("Uvolnění\r\nbřemene"));
    EXPECT_EQ(row.opatreni, "Kontrola");
    EXPECT_EQ(row.comment, W("Žádná"));
    EXPECT_EQ(row.p, 3);
    EXPECT_EQ(row.n, 4);
    EXPECT_EQ(row.h, 2);
  }
}

TEST(RegisterImport, HeaderInAnyOrderWithOptionalAndUnknownColumns) {
  // Titles trimmed and matched without regard to case; unknown columns and R ignored.
  const auto rows = Parse(
      " h ;Extra;NEBEZPEČÍ;p; posuzovaný OBJEKT ;N;R\r\n"
      "1;whatever;\"a \"\"quoted\"\"; text\";2;;3;99\r\n"
      "\r\n"
      ";;;;;;\r\n"
      "5;;b;5;A /  / B;5;\r\n");
  ASSERT_EQ(rows.size(), 2u) << "empty lines are skipped";
  EXPECT_EQ(rows[0].text, "a \"quoted\"; text");
  EXPECT_THAT(rows[0].path, IsEmpty()) << "an empty path: directly under the target";
  EXPECT_EQ(rows[0].p, 2);
  EXPECT_EQ(rows[0].n, 3);
  EXPECT_EQ(rows[0].h, 1);
  EXPECT_EQ(rows[0].source, "");
  EXPECT_EQ(rows[0].ident, "");
  EXPECT_EQ(rows[1].line, 5);
  EXPECT_THAT(rows[1].path, ElementsAre("A", "", "B")) << "an empty part is an unnamed node";

  // A header in the language of the messages, with the Czech one still understood.
  Messages english;
  std::vector<std::string> items = english.Items();
  items[33] = "Assessed object";
  items[92] = "Hazard";
  english.Replace(items);
  const auto translated =
      ParseRegisterCsv("Assessed object;Hazard;P;N;H\r\nX;Y;1;2;3\r\n", english, "e.csv");
  ASSERT_EQ(translated.size(), 1u);
  EXPECT_EQ(translated[0].text, "Y");
  EXPECT_EQ(
      ParseRegisterCsv(W("Posuzovaný objekt;Nebezpečí;P;N;H\r\nX;Y;1;2;3\r\n"), english, "c.csv")
          .size(),
      1u);
}

TEST(RegisterImport, LineNumbersCountLinesInsideQuotedFields) {
  const std::string header = "Posuzovaný objekt;Nebezpečí;P;N;H;Poznámka\r\n";
  const std::string bytes = header +
                            "A;x;1;1;1;\"one\r\ntwo\r\nthree\"\r\n"  // lines 2 to 4
                            "A;y;1;1;1;\"\"\r\n"                     // line 5
                            "A;z;1;9;1;\r\n";                        // line 6
  EXPECT_EQ(Refusal(bytes),
            "r.csv, řádek 6, sloupec N: hodnota „9“ není celé číslo 1 až 5. "
            "Nic nebylo přidáno.");
  const auto rows = Parse(header + "A;x;1;1;1;\"one\rtwo\ntwo b\"\r\nA;y;1;1;1;\r\n");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].comment, "one\r\ntwo\r\ntwo b") << "memo line breaks become CR LF";
  EXPECT_EQ(rows[1].line, 5);
}

TEST(RegisterImport, RefusesWhatCannotBeImportedWhole) {
  const std::string header = "Posuzovaný objekt;Nebezpečí;P;N;H\r\n";
  // Ratings: whole numbers from 1 to 5, or empty; the message names the line and the column.
  for (const std::string bad : {"0", "6", "2.5", "x", "-1", "+3", "03", "1 1"}) {
    SCOPED_TRACE(bad);
    const std::string refusal = Refusal(header + "A;ok;1;1;1\r\nA;b;1;1;" + bad + "\r\n");
    EXPECT_THAT(refusal, HasSubstr("řádek 3, sloupec H"));
    EXPECT_THAT(refusal, HasSubstr("Nic nebylo přidáno"));
  }
  EXPECT_EQ(Refusal(header + "A;ok;1;1;1\r\n"), "");

  // A required column missing, or twice.
  EXPECT_THAT(Refusal("Posuzovaný objekt;P;N;H\r\nA;1;1;1\r\n"),
              HasSubstr("r.csv: v záhlaví chybí sloupec Nebezpečí. Nic nebylo přidáno."));
  EXPECT_THAT(Refusal("Nebezpečí;P;N;H\r\n"), HasSubstr("chybí sloupec Posuzovaný objekt"));
  EXPECT_THAT(Refusal(""), HasSubstr("chybí sloupec"));
  EXPECT_THAT(Refusal("Posuzovaný objekt;Nebezpečí;P;N;H;p\r\n"),
              HasSubstr("sloupec p je v záhlaví dvakrát"));

  // Texts that cannot be read: a byte windows-1250 does not define, broken UTF-8 after a
  // byte-order mark, control characters (0x1A would end a memo), and characters the project's
  // code page cannot hold.
  EXPECT_THAT(Refusal(W(header) + "A;b\x81;1;1;1\r\n"),
              HasSubstr("řádek 2, sloupec Nebezpečí: text nelze přečíst (windows-1250)."));
  EXPECT_THAT(Refusal("\xEF\xBB\xBF" + header + "A;ok;1;1;1\r\nA\xE8;b;1;1;1\r\n"),
              HasSubstr("řádek 3, sloupec Posuzovaný objekt: text nelze přečíst (UTF-8)."));
  EXPECT_THAT(Refusal(header + "A;b\x1A;1;1;1\r\n"), HasSubstr("řádek 2, sloupec Nebezpečí"));
  EXPECT_THAT(Refusal(header + "A;Жар;1;1;1\r\n"),
              HasSubstr("řádek 2, sloupec Nebezpečí: znak mimo windows-1250."));
  // Even in a column that is not imported: the line is refused whole.
  EXPECT_THAT(Refusal(W("Posuzovaný objekt;Nebezpečí;P;N;H;Extra\r\n") + "A;b;1;1;1;\x98\r\n"),
              HasSubstr("řádek 2, sloupec Extra"));

  // Structure: an unclosed quote, a row with more or fewer fields than the header.
  EXPECT_THAT(Refusal(header + "A;b;1;1;1\r\nA;\"open;1;1;1\r\nA;b;1;1;1\r\n"),
              HasSubstr("r.csv, řádek 3: uvozovky nejsou uzavřeny."));
  EXPECT_THAT(Refusal(header + "A;b;1;1;1;extra\r\n"),
              HasSubstr("řádek 2: řádek má 6 polí, záhlaví 5."));
  EXPECT_THAT(Refusal(header + "A;b;1;1\r\n"), HasSubstr("řádek má 4 polí, záhlaví 5."));
}

TEST(RegisterImport, EmptyRatingsAreRisksNotRated) {
  // What the export writes for a risk without ratings, between rated rows: the fields of one
  // row must not carry over into the next.
  const auto rows = Parse(
      "Posuzovaný objekt;Nebezpečí;P;N;H;Poznámka\r\n"
      "A;rated;3;4;5;note\r\n"
      "A;unrated;;;;\r\n"
      "A;partly; 2 ;\t;;\r\n"
      "A;again;1;2;3;\r\n");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(std::vector<int>({rows[0].p, rows[0].n, rows[0].h}), std::vector<int>({3, 4, 5}));
  EXPECT_EQ(std::vector<int>({rows[1].p, rows[1].n, rows[1].h}), std::vector<int>({0, 0, 0}));
  EXPECT_EQ(rows[1].text, "unrated");
  EXPECT_EQ(rows[1].comment, "");
  EXPECT_EQ(std::vector<int>({rows[2].p, rows[2].n, rows[2].h}), std::vector<int>({2, 0, 0}));
  EXPECT_EQ(std::vector<int>({rows[3].p, rows[3].n, rows[3].h}), std::vector<int>({1, 2, 3}));
}

TEST(RegisterImport, ReadsFilesAndNamesThemInMessages) {
  TempDir dir;
  WriteFileBytes(dir / "rizika.csv", "Posuzovaný objekt;Nebezpečí;P;N;H\r\nA;b;1;7;1\r\n");
  EXPECT_THAT(Cp1250ToUtf8(ErrorText([&] { ReadRegisterCsv(dir / "rizika.csv", Messages()); })),
              HasSubstr("rizika.csv, řádek 2, sloupec N: hodnota „7“"));
  EXPECT_THAT(ErrorText([&] { ReadRegisterCsv(dir / "chybi.csv", Messages()); }),
              HasSubstr("chybi.csv"));
}

}  // namespace
}  // namespace orvenda::test
