#include "library/text_import.h"

#include <gtest/gtest.h>

#include "base/cp1250.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

using test::ErrorText;

struct ImportRun {
  int begun = 0;
  std::vector<ImportedRisk> stored;
};

ImportRun Parse(const std::string& content, ImportedRisk page = {}) {
  ImportRun run;
  ParseTextImport(
      content, page, [&] { ++run.begun; },
      [&](const ImportedRisk& risk) { run.stored.push_back(risk); });
  return run;
}

TEST(TextImport, RecordsSplitOnLowerSectionsAndCarryFieldsOver) {
  const ImportRun run = Parse(
      "ignored <$$$2\r\n<$$$1\r\nSource one\r\n<$$$2\r\n  first line \r\nsecond line\r\n"
      "<$$$3\r\n3 = likely\r\n<$$$4\r\n4\r\n<$$$5\r\nmeasure\r\n<$$$1\r\nSource two\r\n"
      "<$$$2\r\nonly line\r\n<*-*-*-*>\r\nafter the end\r\n",
      {"before", "old", "old measure", 2, 2});
  EXPECT_EQ(run.begun, 2);
  ASSERT_EQ(run.stored.size(), 2u);
  EXPECT_EQ(run.stored[0].Source, "Source one");
  EXPECT_EQ(run.stored[0].Ident, "first line\r\nsecond line");
  EXPECT_EQ(run.stored[0].Pravdep, 3);
  EXPECT_EQ(run.stored[0].Nasledky, 4);
  EXPECT_EQ(run.stored[0].Opatreni, "measure");
  EXPECT_EQ(run.stored[1].Source, "Source two");
  EXPECT_EQ(run.stored[1].Ident, "only line");
  EXPECT_EQ(run.stored[1].Pravdep, 3);
  EXPECT_EQ(run.stored[1].Nasledky, 4);
  EXPECT_EQ(run.stored[1].Opatreni, "measure");

  // Sections missing from the first record keep what the page showed; the line after a
  // marker is data even when it looks like a marker; LF ends read like CR LF.
  const ImportRun second = Parse("head\n<$$$2\n<$$$5\nmore\n<$$$4\n9\n<$$$6\nignored\n<*-*-*-*>",
                                 {"page source", "page ident", "page measure", 1, 2});
  ASSERT_EQ(second.stored.size(), 1u);
  EXPECT_EQ(second.stored[0].Ident, "<$$$5\r\nmore");
  EXPECT_EQ(second.stored[0].Source, "page source");
  EXPECT_EQ(second.stored[0].Opatreni, "page measure");
  EXPECT_EQ(second.stored[0].Pravdep, 1);
  EXPECT_EQ(second.stored[0].Nasledky, 5);
}

TEST(TextImport, EndsOfFileEmptyRatingsAndBadDigits) {
  // No end marker: the last record is stored all the same; an empty rating line says nothing.
  ImportRun run = Parse("head\r\n<$$$1\r\nA\r\n<$$$3\r\n2\r\n\r\n<$$$1\r\nB\r\n<$$$3\r\n", {});
  ASSERT_EQ(run.stored.size(), 2u);
  EXPECT_EQ(run.stored[1].Source, "B");
  EXPECT_EQ(run.stored[1].Pravdep, 2);
  EXPECT_EQ(Parse("").stored.size(), 0u);
  EXPECT_EQ(Parse("only the head\r\n").stored.size(), 0u);

  // A rating line without its digit stops at that line; what was stored stays stored.
  std::vector<ImportedRisk> stored;
  ImportedRisk page;
  const std::string error = ErrorText([&] {
    ParseTextImport(
        "head\r\n<$$$1\r\nA\r\n<$$$2\r\nx\r\n<$$$1\r\nB\r\n<$$$3\r\nthree\r\n<*-*-*-*>\r\n", page,
        [] {}, [&](const ImportedRisk& risk) { stored.push_back(risk); });
  });
  EXPECT_NE(error.find(W("řádek 9 ")), std::string::npos) << error;
  EXPECT_NE(error.find("three"), std::string::npos) << error;
  EXPECT_EQ(stored.size(), 1u);
  EXPECT_NE(ErrorText([] { Parse("head\r\n<$$$x\r\n"); }).find(W("řádek 2 ")), std::string::npos);
  EXPECT_NE(ErrorText([] { Parse("head\r\n<$$$\r\n"); }), "");
}

TEST(TextImport, OnlyAFileWithASectionAfterItsFirstLineIsAnImportFile) {
  EXPECT_TRUE(HasTextImportSection("Import\r\n<$$$1\r\nLis\r\n"));
  EXPECT_TRUE(HasTextImportSection("Import\nfoo\n<$$$2\n"));
  EXPECT_FALSE(HasTextImportSection(""));
  EXPECT_FALSE(HasTextImportSection("<$$$1\r\nLis\r\n"));  // the first line is never read
  EXPECT_FALSE(HasTextImportSection(std::string("ZLB\0\x01\xff\r\nrandom <$$$\r\n", 21)));
}

}  // namespace
}  // namespace orvenda
