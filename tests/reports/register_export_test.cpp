// The risk register written as CSV and as a workbook; the workbook is read back by openpyxl,
// as an office program reads it.
#include "reports/register_export.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "reports/report_fixture.h"
#include "support/test_support.h"

namespace orvenda::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kHeader =
    "\xEF\xBB\xBF"
    "Č.;Posuzovaný objekt;Nebezpečí;Subsystém;Popis nebezpečí;P;N;H;R;Kategorie;"
    "Bezpečnostní opatření;Poznámka\r\n";

class RegisterExportTest : public ::testing::Test {
 protected:
  RegisterExportTest() : project(temp / "RiskData.dbf") {}

  // A works (1) with a hall (2) that has a press shop (3): risks under each level, one
  // unrated, one at the top level, and texts that need quoting.
  void MakeProject() {
    project.Node(1, 0, "Závod");
    project.Node(2, 1, "Hala");
    project.Node(3, 2, "Lisovna");
    RiskFields hazard;
    hazard.text = "Pád \"břemene\"";
    hazard.source = "Jeřáb; mostový";
    hazard.ident = "Uvolnění\r\nbřemene";
    hazard.opatreni = "Kontrola vázání";
    hazard.comment = "";
    hazard.p = 3, hazard.n = 4, hazard.h = 2;
    project.Risk(10, 3, hazard);
    RiskFields unrated;
    unrated.text = "Nový";
    unrated.p = std::nullopt, unrated.n = std::nullopt, unrated.h = std::nullopt;
    project.Risk(11, 1, unrated);
    RiskFields worst;
    worst.text = "Výbuch";
    worst.p = 5, worst.n = 5, worst.h = 5;
    project.Risk(12, 2, worst);
    RiskFields top;
    top.text = "Nahoře";
    top.p = 1, top.n = 1, top.h = 2;
    project.Risk(13, 0, top);
  }

  std::string Dump(const fs::path& workbook) {
    if (access("/usr/bin/python3", X_OK) != 0 ||
        RunCommand("/usr/bin/python3 -c 'import openpyxl' 2>/dev/null") != 0) {
      return "";
    }
    std::string output;
    EXPECT_EQ(RunCommand("/usr/bin/python3 " ORVENDA_SOURCE_DIR "/tests/reports/dump_xlsx.py '" +
                             workbook.string() + "'",
                         &output),
              0);
    return output;
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  TempDir temp;
  ProjectFixture project;
  Messages messages;
};

TEST_F(RegisterExportTest, CsvHasOneQuotedRowPerRiskInReportOrder) {
  MakeProject();
  const fs::path csv = temp / "rizika.CSV";
  WriteRegister(project.table, csv, std::nullopt, messages, {});
  // Branches of child nodes before a node's own risks; the top-level risks last with an empty
  // path; quotes doubled, memo line breaks kept inside the quoted field; unrated ratings empty.
  EXPECT_EQ(ReadFileBytes(csv),
            std::string(kHeader) +
                "10;Závod / Hala / Lisovna;\"Pád \"\"břemene\"\"\";\"Jeřáb; mostový\";"
                "\"Uvolnění\r\nbřemene\";3;4;2;24;Mírné riziko;Kontrola vázání;\r\n"
                "12;Závod / Hala;Výbuch;source;hazard;5;5;5;125;Nepřijatelné riziko;measure;"
                "note\r\n"
                "11;Závod;Nový;source;hazard;;;;0;nehodnoceno;measure;note\r\n"
                "13;;Nahoře;source;hazard;1;1;2;2;Bezvýznamné riziko;measure;note\r\n");

  // A branch: its risks only, their paths from the top level.
  WriteRegister(project.table, csv, 2, messages, {});
  const std::string branch = ReadFileBytes(csv);
  EXPECT_THAT(branch, HasSubstr("\r\n10;Závod / Hala / Lisovna;"));
  EXPECT_THAT(branch, HasSubstr("\r\n12;Závod / Hala;"));
  EXPECT_EQ(branch.find("Nový"), std::string::npos);
  EXPECT_EQ(branch.find("Nahoře"), std::string::npos);
  EXPECT_FALSE(project.table.Filtered()) << "the project's filter is left off";
}

TEST_F(RegisterExportTest, RefusalsAndFailuresLeaveTheOutputAsItWas) {
  MakeProject();
  const fs::path projectFile = temp / "Dilna.RSK";
  WriteFileBytes(projectFile, "project");
  WriteFileBytes(temp / "old.csv", "old");

  // Neither a workbook nor CSV.
  EXPECT_THAT(ErrorText([&] {
                WriteRegister(project.table, temp / "rizika.txt", std::nullopt, messages, {});
              }),
              HasSubstr(".xlsx"));
  EXPECT_FALSE(fs::exists(temp / "rizika.txt"));

  // The project file under another name, and the working table itself.
  fs::create_symlink(projectFile, temp / "link.csv");
  EXPECT_THAT(ErrorText([&] {
                WriteRegister(project.table, temp / "link.csv", std::nullopt, messages,
                              projectFile);
              }),
              HasSubstr("soubor projektu"));
  EXPECT_EQ(ReadFileBytes(projectFile), "project");
  fs::create_symlink(project.table.Path(), temp / "table.xlsx");
  EXPECT_THAT(ErrorText([&] {
                WriteRegister(project.table, temp / "table.xlsx", std::nullopt, messages, {});
              }),
              HasSubstr("soubor projektu"));

  // A write that fails half way (as on a full disk): the old file stays, no temporary is left.
  {
    FileSizeLimit limit(200);
    EXPECT_NE(ErrorText([&] {
                WriteRegister(project.table, temp / "old.csv", std::nullopt, messages, {});
              }),
              "");
    EXPECT_NE(ErrorText([&] {
                WriteRegister(project.table, temp / "old.xlsx", std::nullopt, messages, {});
              }),
              "");
  }
  EXPECT_EQ(ReadFileBytes(temp / "old.csv"), "old");
  EXPECT_FALSE(fs::exists(temp / "old.xlsx"));
  for (const auto& entry : fs::directory_iterator(temp.path())) {
    EXPECT_NE(entry.path().extension(), ".tmp") << "left behind: " << entry.path();
  }
}

TEST_F(RegisterExportTest, WorkbookIsReadByOfficeProgramsWithTypesLayoutAndSummary) {
  MakeProject();
  const fs::path xlsx = temp / "Rizika.XLSX";
  WriteRegister(project.table, xlsx, std::nullopt, messages, temp / "Dilna.RSK");
  const std::string dump = Dump(xlsx);
  if (dump.empty()) GTEST_SKIP() << "python3-openpyxl is not installed";
  // The facts of each sheet apart, since both have cells of the same names.
  const size_t summaryAt = dump.find("sheet Souhrn\n");
  ASSERT_NE(summaryAt, std::string::npos) << dump;
  const std::vector<std::string> lines = Lines(dump.substr(0, summaryAt));
  const std::vector<std::string> summary = Lines(dump.substr(summaryAt));
  const auto has = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  const auto sums = [&](const std::string& line) {
    return std::find(summary.begin(), summary.end(), line) != summary.end();
  };

  // Properties: what, of which project, by which program.
  EXPECT_TRUE(has("props title Hodnocení rizik"));
  EXPECT_TRUE(has("props subject Dilna.RSK"));
  EXPECT_THAT(dump, HasSubstr("props description Zpracováno programem Orvenda"));
  EXPECT_THAT(dump, HasSubstr("Orvenda " ORVENDA_VERSION));

  // The register: header bold and frozen, the filter over every row, A4 landscape with the
  // header on every page.
  EXPECT_TRUE(has("sheet Rizika"));
  EXPECT_TRUE(has("freeze A2"));
  EXPECT_TRUE(has("filter A1:L5"));
  EXPECT_TRUE(has("print landscape 9 $1:$1 True"));
  EXPECT_TRUE(has("cell A1 s Č. bold wrap"));
  EXPECT_TRUE(has("cell L1 s Poznámka bold wrap"));
  // Numbers are numbers, texts wrap, memo lines stay lines.
  EXPECT_TRUE(has("cell A2 n 10"));
  EXPECT_TRUE(has("cell B2 s Závod / Hala / Lisovna wrap"));
  EXPECT_TRUE(has("cell C2 s Pád \"břemene\" wrap"));
  EXPECT_TRUE(has("cell E2 s Uvolnění\\nbřemene wrap"));
  EXPECT_TRUE(has("cell F2 n 3"));
  EXPECT_TRUE(has("cell I2 n 24"));
  // The category filled with its band's colour; white text on the dark ones.
  EXPECT_TRUE(has("cell J2 s Mírné riziko fill FFFD8D3C"));
  EXPECT_TRUE(has("cell J3 s Nepřijatelné riziko fill FF800026 font FFFFFFFF"));
  EXPECT_TRUE(has("cell J4 s nehodnoceno fill FFD9D9D9"));
  // Unrated: no P, N, H, and R = 0.
  EXPECT_EQ(dump.substr(0, summaryAt).find("cell F4 "), std::string::npos);
  EXPECT_TRUE(has("cell I4 n 0"));
  EXPECT_TRUE(has("cell C5 s Nahoře wrap"));
  EXPECT_EQ(dump.substr(0, summaryAt).find("cell B5 "), std::string::npos)
      << "a top-level risk has no path";
  // Widths fit the content (in characters, plus the margin office programs add).
  EXPECT_TRUE(has("width B 24.7109375"));  // "Závod / Hala / Lisovna" and 2
  EXPECT_TRUE(has("width A 4.7109375"));   // "Č." and the numbers, and 2

  // The summary: formulas over the register, their values stored for viewers that do not
  // calculate; the matrix cells coloured by their highest category.
  EXPECT_TRUE(sums("cell A1 s Kategorie bold wrap"));
  EXPECT_TRUE(sums("cell A2 s Bezvýznamné riziko fill FFFFFFB2"));
  EXPECT_TRUE(
      sums("cell B2 f =COUNTIFS('Rizika'!$I$2:$I$5,\">=1\",'Rizika'!$I$2:$I$5,\"<=3\") "
           "= 1"));
  EXPECT_TRUE(
      sums("cell B3 f =COUNTIFS('Rizika'!$I$2:$I$5,\">=4\",'Rizika'!$I$2:$I$5,"
           "\"<=10\") = 0"));
  EXPECT_TRUE(
      sums("cell B4 f =COUNTIFS('Rizika'!$I$2:$I$5,\">=11\",'Rizika'!$I$2:$I$5,"
           "\"<=50\") = 1"));
  EXPECT_TRUE(
      sums("cell B6 f =COUNTIFS('Rizika'!$I$2:$I$5,\">=101\",'Rizika'!$I$2:$I$5,"
           "\"<=125\") = 1"));
  EXPECT_TRUE(sums("cell A7 s nehodnoceno fill FFD9D9D9"));
  EXPECT_TRUE(
      sums("cell B7 f =COUNTIFS('Rizika'!$I$2:$I$5,\"<1\")+COUNTIFS('Rizika'!$I$2:$I$5,"
           "\">125\") = 1"));
  EXPECT_TRUE(sums("cell B8 f =SUM(B2:B7) = 4 bold wrap"));
  // P down, N across: P = 3, N = 4 holds the one risk of level 24; P = 5, N = 5 the one of
  // 125; P = 1, N = 1 the one of level 2; the unrated risk is in no cell.
  EXPECT_TRUE(sums("cell A13 n 3 bold wrap"));
  EXPECT_TRUE(sums("cell E10 n 4 bold wrap"));
  EXPECT_TRUE(
      sums("cell E13 f =COUNTIFS('Rizika'!$F$2:$F$5,3,'Rizika'!$G$2:$G$5,4) = 1 fill "
           "FFFD8D3C"));
  EXPECT_TRUE(
      sums("cell F15 f =COUNTIFS('Rizika'!$F$2:$F$5,5,'Rizika'!$G$2:$G$5,5) = 1 fill "
           "FF800026 font FFFFFFFF"));
  EXPECT_TRUE(
      sums("cell B11 f =COUNTIFS('Rizika'!$F$2:$F$5,1,'Rizika'!$G$2:$G$5,1) = 1 fill "
           "FFFFFFB2"));
  EXPECT_TRUE(sums("cell C11 f =COUNTIFS('Rizika'!$F$2:$F$5,1,'Rizika'!$G$2:$G$5,2) = 0"));
  EXPECT_TRUE(sums("print landscape 9 None True"));
}

TEST_F(RegisterExportTest, EmptyProjectGivesHeadersAndZeroCounts) {
  const fs::path xlsx = temp / "prazdny.xlsx";
  WriteRegister(project.table, xlsx, std::nullopt, messages, {});
  WriteRegister(project.table, temp / "prazdny.csv", std::nullopt, messages, {});
  EXPECT_EQ(ReadFileBytes(temp / "prazdny.csv"), kHeader);
  const std::string dump = Dump(xlsx);
  if (dump.empty()) GTEST_SKIP() << "python3-openpyxl is not installed";
  EXPECT_THAT(dump, HasSubstr("filter A1:L1"));
  EXPECT_THAT(dump, HasSubstr("cell B8 f =SUM(B2:B7) = 0"));
  EXPECT_EQ(dump.find("cell A2 n"), std::string::npos);
}

TEST(CsvField, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(CsvField("plain text", ';'), "plain text");
  EXPECT_EQ(CsvField("a,b", ';'), "a,b");
  EXPECT_EQ(CsvField("a,b", ','), "\"a,b\"");
  EXPECT_EQ(CsvField("a;b", ';'), "\"a;b\"");
  EXPECT_EQ(CsvField("say \"hi\"", ';'), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\r\nlines", ';'), "\"two\r\nlines\"");
  EXPECT_EQ(CsvField("", ';'), "");
}

TEST(RegisterFormat, ChosenByExtensionInAnyCase) {
  EXPECT_EQ(RegisterFormatOf("a.xlsx"), RegisterFormat::Xlsx);
  EXPECT_EQ(RegisterFormatOf("a.XlSx"), RegisterFormat::Xlsx);
  EXPECT_EQ(RegisterFormatOf("dir.csv/a.CSV"), RegisterFormat::Csv);
  EXPECT_EQ(RegisterFormatOf("a.xls"), std::nullopt);
  EXPECT_EQ(RegisterFormatOf("xlsx"), std::nullopt);
}

}  // namespace
}  // namespace orvenda::test
