#include "app/table_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "app/main_form_fixture.h"
#include "documents/project_file.h"

namespace orvenda::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class TableCommandsTest : public ::testing::Test {
 protected:
  TableCommandsTest() { fs::create_directories(temp / "tmp"); }

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

  int Export(const ExportTableOptions& options) {
    std::ostringstream err;
    const int result = RunExportTable(options, err, temp / "tmp");
    errors = err.str();
    return result;
  }

  int Import(const ImportTableOptions& options) {
    std::ostringstream err;
    const int result = RunImportTable(options, err, temp / "tmp");
    errors = err.str();
    return result;
  }

  TempDir temp;
  Messages messages;
  NullProgress progress;
  std::string errors;
  int reads = 0;
};

TEST_F(TableCommandsTest, ExportWritesTheRegisterOfTheProjectOrABranch) {
  const fs::path project = MakeProject({Node(1, 0, "A"), Node(2, 1, "B"), Risk(3, 2, "r", 1, 2, 3),
                                        Risk(4, 1, "s", 5, 5, 5), Risk(5, 0, "t", 1, 1, 1)});
  ASSERT_EQ(Export({project, temp / "all.csv", std::nullopt}), 0) << errors;
  const std::string all = ReadFileBytes(temp / "all.csv");
  EXPECT_THAT(all, HasSubstr("\r\n3;A / B;r;;;1;2;3;6;Akceptovatelné riziko;;\r\n4;A;s;"));
  EXPECT_THAT(all, HasSubstr("\r\n5;;t;"));
  ASSERT_EQ(Export({project, temp / "b.xlsx", 2}), 0) << errors;
  EXPECT_EQ(ReadFileBytes(temp / "b.xlsx").substr(0, 2), "PK");
  ASSERT_EQ(Export({project, temp / "b.csv", 2}), 0) << errors;
  EXPECT_EQ(ReadFileBytes(temp / "b.csv").find("\r\n4;"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(temp / "tmp")) << "no working files are left behind";

  // Failures: status 1, the reason on err, nothing written.
  EXPECT_EQ(Export({project, temp / "x.csv", 99}), 1);
  EXPECT_THAT(errors, HasSubstr("není položka s indexem 99"));
  EXPECT_EQ(Export({temp / "Missing.RSK", temp / "x.csv", std::nullopt}), 1);
  EXPECT_EQ(Export({project, temp / "x.ods", std::nullopt}), 1);
  EXPECT_THAT(errors, HasSubstr(".xlsx nebo .csv"));
  fs::create_symlink(project, temp / "same.xlsx");
  EXPECT_EQ(Export({project, temp / "same.xlsx", std::nullopt}), 1);
  EXPECT_THAT(errors, HasSubstr("soubor projektu"));
  EXPECT_FALSE(fs::exists(temp / "x.csv"));
  EXPECT_EQ(ReadProject(project).size(), 5u) << "the project is left as it was";
  EXPECT_TRUE(fs::is_empty(temp / "tmp"));
}

TEST_F(TableCommandsTest, ImportAddsTheRegisterAtTheSelectionAndSavesTheProjectAnew) {
  const fs::path project = MakeProject({Node(1, 0, "A"), Risk(2, 1, "r", 1, 1, 1)});
  WriteFileBytes(temp / "in.csv",
                 "\xEF\xBB\xBFPosuzovaný objekt;Nebezpečí;P;N;H\r\nC;new;2;3;4\r\n;top;1;1;1\r\n");
  ASSERT_EQ(Import({temp / "in.csv", temp / "New", project, 2}), 0) << errors;
  const std::vector<Row> rows = ReadProject(temp / "New.RSK");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[2], Node(3, 1, "C")) << "beside the selected risk: under its node";
  EXPECT_EQ(rows[3], Risk(4, 3, "new", 2, 3, 4));
  EXPECT_EQ(rows[4], Risk(5, 1, "top", 1, 1, 1));
  EXPECT_EQ(ReadProject(project).size(), 2u) << "the base project is left as it was";
  EXPECT_TRUE(fs::is_empty(temp / "tmp"));

  // Without a base: an empty project. An existing output is not replaced.
  ASSERT_EQ(Import({temp / "in.csv", temp / "Empty.RSK", {}, std::nullopt}), 0) << errors;
  EXPECT_EQ(ReadProject(temp / "Empty.RSK").size(), 3u);
  EXPECT_EQ(Import({temp / "in.csv", temp / "Empty.RSK", {}, std::nullopt}), 1);
  EXPECT_THAT(errors, HasSubstr("už existuje"));

  // A refused register, a missing item: status 1, nothing written.
  WriteFileBytes(temp / "bad.csv", "Posuzovaný objekt;Nebezpečí;P;N;H\r\nC;x;1;1;0\r\n");
  EXPECT_EQ(Import({temp / "bad.csv", temp / "Bad.RSK", project, std::nullopt}), 1);
  EXPECT_THAT(errors, HasSubstr("bad.csv, řádek 2, sloupec H"));
  EXPECT_EQ(Import({temp / "in.csv", temp / "Bad.RSK", project, 42}), 1);
  EXPECT_THAT(errors, HasSubstr("indexem 42"));
  EXPECT_FALSE(fs::exists(temp / "Bad.RSK"));
  EXPECT_TRUE(fs::is_empty(temp / "tmp"));
}

}  // namespace
}  // namespace orvenda::test
