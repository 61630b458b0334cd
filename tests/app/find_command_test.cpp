#include "app/find_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "archive/zlb_archive.h"
#include "reports/report_fixture.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;

class FindCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path source = files / "rsk";
    fs::create_directory(source);
    {
      test::ProjectFixture project(source);
      project.Node(1, 0, "Dílna");
      project.Node(2, 1, "Lis");
      project.Risk(3, 2, {.text = "Řezné poranění", .p = 5, .n = 5, .h = 4});
      project.Risk(4, 1, {.text = "Hluk", .p = 1, .n = 1, .h = 1, .comment = "řezání"});
      project.Risk(5, 1, {.text = "Prach", .p = 0, .comment = "bez řezu"});
      project.Node(6, 0, "Řezárna");
      project.table.Close();
    }
    TZLBArchive archive;
    archive.CreateArchive(files / "Projekt.RSK");
    archive.AddFiles({source / "RiskData.dbf", source / "RiskData.dbt", source / "RiskData.mdx"});
    archive.CloseArchive();
    options.project = files / "Projekt.RSK";
    fs::create_directory(files / "tmp");
    options.tempDir = files / "tmp";
  }
  int Run() {
    out.str("");
    err.str("");
    return RunFind(options, out, err);
  }
  test::TempDir files;
  FindOptions options;
  std::ostringstream out, err;
};

TEST_F(FindCommandTest, PrintsTheMatchesInTreeOrderWithTheirPaths) {
  options.text = "rez";
  ASSERT_EQ(Run(), 0) << err.str();
  EXPECT_EQ(out.str(),
            "3\tDílna / Lis\tŘezné poranění\n"
            "4\tDílna\tHluk\n"
            "5\tDílna\tPrach\n"
            "6\t\tŘezárna\n");
  EXPECT_TRUE(fs::is_empty(files / "tmp"));  // the working copy is gone
  options.wholeWords = true;
  options.text = "řezu";
  options.diacritics = true;
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(out.str(), "5\tDílna\tPrach\n");
}

TEST_F(FindCommandTest, CategoryKeepsRisksFromItUp) {
  options.text = "r";
  options.category = 4;  // 5 × 5 × 4 = 100
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(out.str(), "3\tDílna / Lis\tŘezné poranění\n");
  options.category = 1;
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(out.str(), "3\tDílna / Lis\tŘezné poranění\n4\tDílna\tHluk\n");
  options.category = 0;  // unrated
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(out.str(), "5\tDílna\tPrach\n");
  options.category = 6;
  EXPECT_EQ(Run(), 2);
  EXPECT_EQ(out.str(), "");
}

TEST_F(FindCommandTest, AMissingProjectFailsWithoutOutput) {
  options.project = files / "Neni.RSK";
  options.text = "x";
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_NE(err.str().find("Neni.RSK"), std::string::npos) << err.str();
}

TEST_F(FindCommandTest, RunsFromTheCommandLine) {
  const Messages messages;
  const BatchContext context{out, err, messages, files / "tmp", files.path(), files.path()};
  const auto run = [&](std::vector<std::string> args) {
    out.str("");
    err.str("");
    return RunCommandLine(args, CoreBatchCommands(), context);
  };
  const std::string project = (files / "Projekt.RSK").string();
  EXPECT_EQ(run({"--find", project, "rez", "--category", "4"}), 0) << err.str();
  EXPECT_EQ(out.str(), "3\tDílna / Lis\tŘezné poranění\n");
  EXPECT_EQ(run({"--find", project, "řezu", "--whole-words", "--diacritics"}), 0) << err.str();
  EXPECT_EQ(out.str(), "5\tDílna\tPrach\n");
  EXPECT_EQ(run({"--find", project}), 2);  // the text is missing
  EXPECT_EQ(run({"--find", project, "x", "--category", "-1"}), 2);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace orvenda
