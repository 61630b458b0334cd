#include "app/import_html_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/main_form_fixture.h"
#include "documents/project_file.h"
#include "library/report_rows.h"

namespace orvenda::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ImportHtmlCommandTest : public ::testing::Test {
 protected:
  fs::path MakeProject(const std::vector<Row>& rows) {
    fs::create_directories(temp / "base");
    Table table;
    table.SetPath(temp / "base" / "RiskData.dbf");
    CreateProjectTable(table);
    for (const Row& r : rows) AppendRow(table, r);
    table.Close();
    SaveProjectFile(temp / "base", temp / "Base.RSK", progress, messages);
    return temp / "Base.RSK";
  }

  std::vector<Row> ReadProject(const fs::path& file) {
    const fs::path dir = temp / ("read" + std::to_string(++reads));
    fs::create_directories(dir);
    LoadProjectFile(file, dir, progress, messages);
    Table table;
    OpenWorkingTable(table, dir);
    return ReadRows(table);
  }

  fs::path WritePage(const std::string& rows) {
    WriteFileBytes(temp / "page.htm", "<html><body><table>\r\n" + rows + "</table>");
    return temp / "page.htm";
  }

  int Run(std::vector<std::string> args) {
    std::ostringstream out, err;
    fs::create_directories(temp / "tmp");
    const int result = RunBatchCommand(ImportHtmlCommand(), args,
                                       BatchContext{out, err, messages, temp / "tmp", {}, {}});
    errors = err.str();
    return result;
  }

  TempDir temp;
  Messages messages;
  NullProgress progress;
  std::string errors;
  int reads = 0;
};

TEST_F(ImportHtmlCommandTest, AddsThePageToTheProjectAtTheSelectionAndSavesItAnew) {
  const fs::path base = MakeProject({Node(1, 0, "A"), Node(2, 0, "B"), Risk(3, 2, "r", 1, 1, 1)});
  const fs::path page = WritePage(RiskRow("&nbsp;", "S", "5") + RiskRow("A / C", "S", "2"));
  ASSERT_EQ(Run({"--import-html", page.string(), "--project", base.string(), "--select", "3",
                 "--output", (temp / "New").string()}),
            0)
      << errors;
  const std::vector<Row> rows = ReadProject(temp / "New.RSK");
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[3].upLink, 2) << "no path: beside the selected risk";
  EXPECT_EQ(rows[3].p, 5);
  EXPECT_EQ(rows[4], Node(5, 1, "C"));
  EXPECT_EQ(rows[5].upLink, 5);
  EXPECT_EQ(ReadProject(base).size(), 3u) << "the base project is left as it was";
  EXPECT_TRUE(fs::is_empty(temp / "tmp")) << "no working files are left behind";

  // Without a base: an empty project. An existing target is not replaced.
  ASSERT_EQ(Run({"--import-html", page.string(), "--output", (temp / "Empty.RSK").string()}), 0);
  EXPECT_EQ(ReadProject(temp / "Empty.RSK").size(), 4u);
  EXPECT_EQ(Run({"--import-html", page.string(), "--output", (temp / "Empty.RSK").string()}), 1);
  EXPECT_THAT(errors, HasSubstr("už existuje"));
}

TEST_F(ImportHtmlCommandTest, WritesNothingWhenTheImportFails) {
  const fs::path base = MakeProject({Node(1, 0, "A")});
  const std::string out = (temp / "Out.RSK").string();
  const fs::path bad = WritePage(RiskRow("A", "S", "1") + RiskRow("A", "S", "x"));
  EXPECT_EQ(Run({"--import-html", bad.string(), "--output", out}), 1);
  EXPECT_THAT(errors, HasSubstr("2. řádku rizika"));
  EXPECT_EQ(Run({"--import-html", (temp / "none.htm").string(), "--output", out}), 1);
  EXPECT_THAT(errors, HasSubstr("none.htm"));
  EXPECT_EQ(Run({"--import-html", bad.string(), "--project", base.string(), "--select", "9",
                 "--output", out}),
            1);
  EXPECT_THAT(errors, HasSubstr("indexem 9"));
  EXPECT_FALSE(fs::exists(out));
  EXPECT_TRUE(fs::is_empty(temp / "tmp"));

  EXPECT_EQ(Run({"--import-html", bad.string()}), 2);
  EXPECT_EQ(Run({"--import-html", bad.string(), "--output", out, "--select", "x"}), 2);
  EXPECT_THAT(errors, HasSubstr("usage:"));
}

}  // namespace
}  // namespace orvenda::test
