#include "library/library_source.h"

#include <gtest/gtest.h>

#include "base/cp1250.h"
#include "library/libraries.h"
#include "library/library_cipher.h"
#include "model/project_table.h"
#include "support/fake_tree_control.h"
#include "support/fakes.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::ErrorText;
using test::TempDir;

const std::string kHeader =
    "Index\tType\tUpLink\tText\tComment\tSource\tIdent\tOpatreni\tPravdep\tNasledky\tHodnocen\n";
const std::string kNode = "1\t0\t0\tStroje\tPoznámka\t\t\t\t\t\t\n";

std::string Risk(const std::string& index, const std::string& upLink, const std::string& text,
                 const std::string& p = "3", const std::string& n = "2") {
  return index + "\t1\t" + upLink + "\t" + text + "\t\tSoustruh\tPopis\t- kryt\t" + p + "\t" + n +
         "\t1\n";
}

// The message of a refused file, in UTF-8 for readable failures.
std::string Refusal(const std::string& content) {
  return Cp1250ToUtf8(ErrorText([&] { ReadLibrarySource(content); }));
}

TEST(LibrarySourceTest, RefusesEachKindOfBadLineNamingIt) {
  struct Case {
    const char* what;
    std::string content;
    std::string message;  // the start of the expected message
  };
  const std::string longText(101, 'a');
  const Case cases[] = {
      {"header", "Index\tType\n" + kNode, "řádek 1: hlavička musí být"},
      {"field count", kHeader + kNode + "2\t1\t1\tA\n", "řádek 3: očekáváno 11 polí"},
      {"Index not a number", kHeader + Risk("2x", "0", "A"), "řádek 2: pole Index není celé"},
      {"Index empty", kHeader + Risk("", "0", "A"), "řádek 2: pole Index je prázdné"},
      {"Index too large", kHeader + Risk("99999999999", "0", "A"),
       "řádek 2: pole Index je mimo rozsah"},
      {"Index zero", kHeader + Risk("0", "0", "A"), "řádek 2: Index musí být alespoň 1"},
      {"Type", kHeader + "1\t2\t0\tA\t\t\t\t\t\t\t\n", "řádek 2: Type musí být 0"},
      {"rating out of range", kHeader + Risk("2", "0", "A", "6"), "řádek 2: pole Pravdep musí"},
      {"rating text", kHeader + Risk("2", "0", "A", "x"), "řádek 2: pole Pravdep není celé"},
      {"duplicate Index", kHeader + kNode + Risk("2", "1", "A") + Risk("2", "1", "B"),
       "řádek 4: Index 2 už má záznam na řádku 3"},
      {"UpLink to nothing", kHeader + kNode + Risk("2", "7", "A"), "řádek 3: UpLink 7 neodkazuje"},
      {"UpLink to a risk", kHeader + kNode + Risk("2", "1", "A") + Risk("3", "2", "B"),
       "řádek 4: UpLink 2 odkazuje na riziko (řádek 3)"},
      {"cycle", kHeader + "1\t0\t2\tA\t\t\t\t\t\t\t\n2\t0\t1\tB\t\t\t\t\t\t\t\n",
       "řádek 2: Index 1 je svým vlastním předkem"},
      {"node its own parent", kHeader + kNode + "2\t0\t2\tA\t\t\t\t\t\t\t\n",
       "řádek 3: Index 2 je svým"},
      {"unknown escape", kHeader + Risk("2", "0", "A\\x"),
       "řádek 2: pole Text: neznámá posloupnost \"\\x\""},
      {"lone backslash", kHeader + Risk("2", "0", "A\\"), "řádek 2: pole Text: text končí"},
      {"malformed UTF-8", kHeader + Risk("2", "0", "A\xC3("),
       "řádek 2: pole Text není platné UTF-8 (bajt 0xC3)"},
      {"character outside windows-1250", kHeader + Risk("2", "0", "Šipka →"),
       "řádek 2: pole Text obsahuje znak U+2192,"},
      {"Text too long", kHeader + Risk("2", "0", longText), "řádek 2: pole Text je delší než 100"},
      {"Text ends with a blank", kHeader + Risk("2", "0", "A "),
       "řádek 2: pole Text končí mezerou"},
  };
  for (const Case& c : cases) {
    const std::string message = Refusal(c.content);
    EXPECT_TRUE(message.starts_with(c.message)) << c.what << ": " << message;
  }
}

TEST(LibrarySourceTest, ReadsEscapesForwardLinksByteOrderMarkAndCrLf) {
  const std::string content = "\xEF\xBB\xBF" + kHeader +
                              "5\t1\t1\tTab\\there\t\t\tŘádek 1\\r\\nŘádek 2\tC:\\\\dir\t\t\t\n" +
                              kNode;
  std::string crlf;
  for (const char c : content) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (const std::string& file : {content, crlf}) {
    const auto records = ReadLibrarySource(file);
    ASSERT_EQ(records.size(), 2u);
    const LibrarySourceRecord& risk = records[0];
    EXPECT_EQ(risk.line, 2);
    EXPECT_EQ(risk.Index, 5);
    EXPECT_EQ(risk.UpLink, 1);  // its node comes later in the file
    EXPECT_EQ(risk.Text, "Tab\there");
    EXPECT_EQ(risk.Ident, W("Řádek 1\r\nŘádek 2"));
    EXPECT_EQ(risk.Opatreni, "C:\\dir");
    EXPECT_FALSE(risk.Pravdep.has_value());
    EXPECT_EQ(records[1].Comment, W("Poznámka"));
  }
}

class BuiltLibraryTest : public ::testing::Test {
 protected:
  void Build(const std::string& content) {
    if (!table.IsOpen()) table.SetPath(temp / "RiskLib.dbf");
    ReplaceLibraryRecords(table, ReadLibrarySource(content));
  }
  TempDir temp;
  Table table;
};

TEST_F(BuiltLibraryTest, ListsBackWhatWasBuiltAndStoresIdentAndOpatreniEnciphered) {
  const std::string content = kHeader + kNode + Risk("3", "1", "Zachycení") +
                              "2\t1\t1\tBez textů\t\t\t\t\t0\t\t\n" +
                              "4\t1\t1\tZnaky \\\\ \\t \\r \\n\t\\\\x\t\t\t\t5\t5\t5\n";
  Build(content);
  EXPECT_EQ(ListLibrarySource(table), content);
  ASSERT_TRUE(table.Locate(fld::kIndex, 3));
  EXPECT_EQ(table.GetText(fld::kIdent), EncryptLibraryText("Popis"));
  EXPECT_EQ(table.GetText(fld::kOpatreni), EncryptLibraryText("- kryt"));
  ASSERT_TRUE(table.Locate(fld::kIndex, 2));
  EXPECT_TRUE(table.IsNull(fld::kIdent));
  EXPECT_TRUE(table.IsNull(fld::kNasledky));
  EXPECT_FALSE(table.IsNull(fld::kPravdep));

  // Building again replaces the records rather than adding to them.
  Build(kHeader + kNode);
  EXPECT_EQ(ListLibrarySource(table), kHeader + kNode);
}

// The shipped starter library builds, lists back byte for byte (so the content checks of the
// source hold for the built library too), and every record hangs in its tree.
TEST_F(BuiltLibraryTest, ShippedSourceBuildsIntoACompleteTree) {
  const std::string source =
      test::ReadFileBytes(fs::path(ORVENDA_SOURCE_DIR) / "data" / "risk_library.tsv");
  Build(source);
  EXPECT_EQ(ListLibrarySource(table), source);

  test::FakeTreeControl tree;
  tMyNodeIndexes lookup;
  test::RecordingProgress progress;
  LoadLibraryTree(tree, table, lookup, progress, Messages());
  EXPECT_EQ(tree.Count(), static_cast<size_t>(table.RecordCount()));
  EXPECT_GE(tree.Children(nullptr).size(), 12u);
}

}  // namespace
}  // namespace orvenda
