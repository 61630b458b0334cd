#include "app/report_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "archive/zlb_archive.h"
#include "reports/expected_page.h"
#include "reports/nahled_form.h"
#include "reports/report_fixture.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::RowSummary;
using test::TempDir;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class ReportCommandTest : public ::testing::Test {
 protected:
  static void FillProject(const fs::path& where) {
    test::ProjectFixture project(where);
    project.Node(1, 0, "Dílna");
    project.Node(2, 1, "Lis");
    project.Risk(3, 2, {.p = 5, .n = 5, .h = 4, .ident = "id3"});
    project.Risk(4, 1, {.p = 1, .n = 1, .h = 1, .ident = "id4"});
    project.Risk(5, 1, {.p = 3, .n = 3, .h = 3, .ident = "id5"});
    project.table.Close();
  }

  // The project as a project file "Projekt.RSK".
  fs::path MakeRsk() {
    const fs::path source = files / "rsk";
    fs::create_directory(source);
    FillProject(source);
    TZLBArchive archive;
    archive.CreateArchive(files / "Projekt.RSK");
    archive.AddFiles({source / "RiskData.dbf", source / "RiskData.dbt", source / "RiskData.mdx"});
    archive.CloseArchive();
    return files / "Projekt.RSK";
  }

  // The same project in the first generation's form: Stary.RZK with .RZT and .RZX.
  fs::path MakeRzk() {
    fs::create_directory(files / "rzk");
    FillProject(files / "rzk" / "Stary.RZK");
    return files / "rzk" / "Stary.RZK";
  }

  int Run(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int result = RunBatchCommand(ReportCommand(), args,
                                       BatchContext{out, err, messages, temp.path(), {}, {}});
    errors = err.str();
    return result;
  }

  std::string Output() const { return test::ReadFileBytes(output); }

  TempDir files;
  TempDir temp;  // the run's temporary directory
  Messages messages;
  fs::path output = files / "report.htm";
  std::string errors;
};

TEST_F(ReportCommandTest, ProjectFileGivesThePreviewsPage) {
  const fs::path rsk = MakeRsk();
  ASSERT_EQ(Run({"--report", rsk.string(), "--output", output.string()}), 0) << errors;
  EXPECT_EQ(errors, "");
  const std::string page = Output();
  EXPECT_EQ(page.substr(0, test::PageText(test::ExpectedHead()).size()),
            test::PageText(test::ExpectedHead()));
  EXPECT_NE(page.find(test::PageText(test::ExpectedDefaultHeader())), std::string::npos);
  EXPECT_THAT(RowSummary(page),
              ElementsAre("object &nbsp;", W("risk Dílna / Lis | id3"), "object &nbsp;",
                          W("risk Dílna | id4"), W("risk Dílna | id5")));
  EXPECT_TRUE(page.ends_with(test::PageText(test::ExpectedLegend())));

  // The same page as the preview window builds from that table.
  const fs::path direct = files / "direct";
  fs::create_directory(direct);
  FillProject(direct);
  Table table;
  table.SetPath(direct / "RiskData.dbf");
  table.SetIndexName("Index");
  table.Open();
  NullProgress progress;
  NahledForm preview(table, messages, progress, files.path());
  preview.FormShow(std::nullopt);
  EXPECT_EQ(test::ReadFileBytes(preview.ReportPagePath()), page);

  // Nothing of the run stays in the temporary directory.
  EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST_F(ReportCommandTest, OldFormsOpenAsOpenOpensThem) {
  const fs::path rsk = MakeRsk();
  ASSERT_EQ(Run({"--report", rsk.string(), "--output", output.string()}), 0) << errors;
  const std::string fromRsk = Output();

  const fs::path rzk = MakeRzk();
  ASSERT_EQ(Run({"--report", rzk.string(), "--output", output.string()}), 0) << errors;
  EXPECT_EQ(Output(), fromRsk);
  EXPECT_TRUE(fs::exists(rzk));  // the old project itself is left alone

  TZLBArchive archive;
  archive.CreateArchive(files / "Zaloha.zlb");
  archive.AddFiles({rzk, files / "rzk" / "Stary.RZT", files / "rzk" / "Stary.RZX"});
  archive.CloseArchive();
  ASSERT_EQ(Run({"--report", (files / "Zaloha.zlb").string(), "--output", output.string()}), 0)
      << errors;
  EXPECT_EQ(Output(), fromRsk);
  EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST_F(ReportCommandTest, SortedBranch) {
  const fs::path rsk = MakeRsk();
  ASSERT_EQ(
      Run({"--sorted", "--output", output.string(), "--branch", "1", "--report", rsk.string()}), 0)
      << errors;
  EXPECT_THAT(RowSummary(Output()), ElementsAre(W("risk Dílna / Lis | id3"), W("risk Dílna | id5"),
                                                W("risk Dílna | id4")));
  ASSERT_EQ(Run({"--report", rsk.string(), "--output", output.string(), "--branch", "2"}), 0);
  EXPECT_THAT(RowSummary(Output()), ElementsAre("object &nbsp;", W("risk Dílna / Lis | id3")));
}

TEST_F(ReportCommandTest, BranchOfThePlaceholderOfAMissingParent) {
  const fs::path source = files / "orphans";
  fs::create_directory(source);
  {
    test::ProjectFixture project(source);
    project.Node(1, 0, "Dílna");
    project.Node(6, 40, "Sklad");  // parent 40 has no record: the tree shows "$$"
    project.Risk(7, 6, {.p = 2, .n = 2, .h = 2, .ident = "id7"});
    project.Risk(8, 40, {.p = 1, .n = 1, .h = 1, .ident = "id8"});
    project.table.Close();
  }
  TZLBArchive archive;
  archive.CreateArchive(files / "Sirotci.RSK");
  archive.AddFiles({source / "RiskData.dbf", source / "RiskData.dbt", source / "RiskData.mdx"});
  archive.CloseArchive();
  const fs::path rsk = files / "Sirotci.RSK";
  ASSERT_EQ(Run({"--report", rsk.string(), "--output", output.string(), "--branch", "40"}), 0)
      << errors;
  // The paths below the missing record start with its child, as at the top level.
  EXPECT_THAT(RowSummary(Output()), ElementsAre("object &nbsp;", "risk Sklad | id7",
                                                "object &nbsp;", "risk &nbsp; | id8"));
  // An Index that neither a record nor a placeholder carries is still refused.
  EXPECT_EQ(Run({"--report", rsk.string(), "--output", output.string(), "--branch", "41"}), 1);
  EXPECT_THAT(errors, HasSubstr("41"));
}

TEST_F(ReportCommandTest, LayoutOptionsGoThroughTheLayoutDialog) {
  const fs::path rsk = MakeRsk();
  ASSERT_EQ(Run({"--report", rsk.string(), "--output", output.string(), "--object-row"}), 0);
  std::string page = Output();
  EXPECT_EQ(page.find(W("Posuzovaný objekt</font>")), std::string::npos);
  EXPECT_NE(page.find("<td width=\"12%\" colspan=\"4\">"), std::string::npos);
  const auto rows = test::ReportRows(page);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_TRUE(rows[0].object);
  EXPECT_EQ(rows[0].cells, std::vector<std::string>{W("Dílna / Lis")});
  EXPECT_NE(page.find("colspan=\"8\"><font size=\"1\">\r" + W("Dílna / Lis") + "\r"),
            std::string::npos);
  EXPECT_THAT(rows[1].cells, ElementsAre("source", "id3", "5", "5", "4", "100", "measure", "note"));

  ASSERT_EQ(Run({"--report", rsk.string(), "--output", output.string(), "--hide-column", "3",
                 "--hide-column", "4", "--hide-column", "5", "--hide-column", "6"}),
            0);
  page = Output();
  EXPECT_NE(
      page.find(W("    <td width=\"12%\"><font size=\"1\">Posuzovaný objekt</font></td>\r\n")),
      std::string::npos);
  EXPECT_EQ(page.find(W("Vyhodnocení závažnosti rizika")), std::string::npos);
  EXPECT_NE(page.find("  </tr>\r\n  <tr>\r\n  </tr>\r\n"), std::string::npos);
  EXPECT_NE(page.find("colspan=\"5\"><font size=\"1\">\r&nbsp;\r"), std::string::npos);
}

TEST_F(ReportCommandTest, TreeOptions) {
  const fs::path rsk = MakeRsk();
  ASSERT_EQ(Run({"--report", rsk.string(), "--output", output.string(), "--tree"}), 0);
  EXPECT_NE(Output().find(W("      <br>\r\n&#9516; Dílna<br>\r\n&#9492;&#9472; Lis<br>\r\n"
                            "      <br>\r\n")),
            std::string::npos);

  ASSERT_EQ(Run({"--report", rsk.string(), "--output", output.string(), "--tree", "--tree-risks"}),
            0);
  EXPECT_NE(Output().find(W("&#9516; Dílna<br>\r\n"
                            "&#9500;&#9516; Lis<br>\r\n"
                            "&#9474;&#9492;&#9472; &#9650; risk<br>\r\n"
                            "&#9500;&#9472; &#9650; risk<br>\r\n"
                            "&#9492;&#9472; &#9650; risk<br>\r\n")),
            std::string::npos);

  // Ticked but switched off, as the dialog leaves it: the dialog's widths, no outline.
  ASSERT_EQ(Run({"--report", rsk.string(), "--output", output.string(), "--tree-risks"}), 0);
  EXPECT_EQ(Output().find("&#9516;"), std::string::npos);
  EXPECT_NE(Output().find("<td width=\"12%\" rowspan=\"2\">"), std::string::npos);
}

TEST_F(ReportCommandTest, UsageErrors) {
  const fs::path rsk = MakeRsk();
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"--report", rsk.string()},
      {"--output", output.string()},
      {"--report", rsk.string(), "--output"},
      {"--report", rsk.string(), "--output", output.string(), "--colour"},
      {"--report", rsk.string(), "--output", output.string(), "--hide-column", "9"},
      {"--report", rsk.string(), "--output", output.string(), "--hide-column", "-1"},
      {"--report", rsk.string(), "--output", output.string(), "--branch", "x1"},
      {"--report", rsk.string(), "--output", output.string(), "--branch", ""},
  };
  for (const auto& args : wrong) {
    EXPECT_EQ(Run(args), 2) << ::testing::PrintToString(args);
    EXPECT_THAT(errors, HasSubstr("usage: orvenda --report PROJECT --output PAGE.htm"));
  }
  EXPECT_FALSE(fs::exists(output));
}

TEST_F(ReportCommandTest, FailuresLeaveTheOldPageAndNoLeftovers) {
  const fs::path rsk = MakeRsk();
  test::WriteFileBytes(output, "old page");

  EXPECT_EQ(Run({"--report", (files / "missing.RSK").string(), "--output", output.string()}), 1);
  EXPECT_THAT(errors, HasSubstr("Soubor nenalezen."));

  test::WriteFileBytes(files / "notes.txt", "x");
  EXPECT_EQ(Run({"--report", (files / "notes.txt").string(), "--output", output.string()}), 1);

  test::WriteFileBytes(files / "broken.RSK", std::string(500, '\x5A'));
  EXPECT_EQ(Run({"--report", (files / "broken.RSK").string(), "--output", output.string()}), 1);
  EXPECT_THAT(errors, HasSubstr("corrupted"));

  EXPECT_EQ(Run({"--report", rsk.string(), "--output", output.string(), "--branch", "77"}), 1);
  EXPECT_THAT(errors, HasSubstr("77"));

  EXPECT_EQ(test::ReadFileBytes(output), "old page");
  EXPECT_EQ(Run({"--report", rsk.string(), "--output", (files / "no" / "page.htm").string()}), 1);
  EXPECT_FALSE(fs::exists(files / "no"));
  EXPECT_TRUE(fs::is_empty(temp.path()));

  // Success replaces the old page.
  ASSERT_EQ(Run({"--report", rsk.string(), "--output", output.string()}), 0);
  EXPECT_NE(Output(), "old page");
  EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST_F(ReportCommandTest, LanguageFileGivesItsTextsForOneRun) {
  const fs::path rsk = MakeRsk();
  const fs::path english = fs::path(ORVENDA_SOURCE_DIR) / "src/ui/resources/Language.en.lng";
  ASSERT_EQ(Run({"--report", rsk.string(), "--output", output.string()}), 0) << errors;
  const std::string czech = Output();
  ASSERT_EQ(
      Run({"--language", english.string(), "--report", rsk.string(), "--output", output.string()}),
      0)
      << errors;
  const std::string page = Output();
  // The legend and the column heads in English, as the preview shows them under that file.
  EXPECT_THAT(page, HasSubstr("Key:"));
  EXPECT_THAT(page, HasSubstr("<b>P</b> - Likelihood that the risk arises and exists"));
  EXPECT_THAT(page, HasSubstr("<li>0 - 3: Insignificant risk</li>"));
  EXPECT_THAT(czech, Not(HasSubstr("Key:")));
  EXPECT_NE(page, czech);
  // The next run without it is Czech again.
  ASSERT_EQ(Run({"--report", rsk.string(), "--output", output.string()}), 0) << errors;
  EXPECT_EQ(Output(), czech);

  // Its messages on stderr too.
  EXPECT_EQ(Run({"--report", (files / "none.RSK").string(), "--output", output.string(),
                 "--language=" + english.string()}),
            1);
  EXPECT_THAT(errors, HasSubstr("File not found."));

  // A language file that is not there is a wrong command line, and nothing is written.
  fs::remove(output);
  EXPECT_EQ(Run({"--report", rsk.string(), "--output", output.string(), "--language",
                 (files / "missing.lng").string()}),
            2);
  EXPECT_FALSE(fs::exists(output));
  EXPECT_EQ(Run({"--report", rsk.string(), "--output", output.string(), "--language"}), 2);
  EXPECT_FALSE(fs::exists(output));
}

}  // namespace
}  // namespace orvenda
