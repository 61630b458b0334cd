#include "model/project_table.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/cp1250.h"
#include "model/risk.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

using test::ReadFileBytes;
using test::TempDir;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class ProjectTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.SetPath(dir / "RiskData.dbf");
    CreateProjectTable(table);
  }
  // Adds a record the way every creation does: MaxIndex + 1, then append and store.
  int32_t AddRecord(int32_t type, int32_t uplink) {
    const int32_t index = MaxIndex(table) + 1;
    table.Append();
    table.SetInt(fld::kIndex, index);
    table.SetInt(fld::kType, type);
    table.SetInt(fld::kUpLink, uplink);
    table.Post();
    return index;
  }
  TempDir dir;
  Table table;
};

TEST_F(ProjectTableTest, SchemaFieldOrderSizesAndIndex) {
  ASSERT_TRUE(table.IsOpen());
  EXPECT_EQ(table.IndexName(), "Index");
  const std::vector<FieldDef> expected = ProjectTableFields();
  const std::vector<std::string> names = {"Index",   "Type",     "Text",    "Comment",
                                          "UpLink",  "Source",   "Ident",   "Opatreni",
                                          "Pravdep", "Nasledky", "Hodnocen"};
  ASSERT_EQ(table.Fields().size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(Upper(table.Fields()[i].name), Upper(names[i]));
    EXPECT_EQ(table.Fields()[i].type, expected[i].type);
  }
  EXPECT_EQ(table.Fields()[2].size, 100);
  EXPECT_EQ(table.Fields()[5].size, 250);
  ASSERT_EQ(ProjectTableIndexes().size(), 1u);
  EXPECT_EQ(ProjectTableIndexes()[0].field, "Index");
  EXPECT_FALSE(ProjectTableIndexes()[0].descending);

  // The file itself: integers N(11,0), strings C(n), memos M(10), dBase IV with memo.
  const std::string dbf = ReadFileBytes(dir / "RiskData.dbf");
  EXPECT_EQ(static_cast<unsigned char>(dbf[0]), 0x8B);
  const std::string types = "NNCMNCMMNNN";
  const int lengths[] = {11, 11, 100, 10, 11, 250, 10, 10, 11, 11, 11};
  for (size_t i = 0; i < types.size(); ++i) {
    EXPECT_EQ(dbf[32 + 32 * i + 11], types[i]) << i;
    EXPECT_EQ(static_cast<unsigned char>(dbf[32 + 32 * i + 16]), lengths[i]) << i;
  }
  EXPECT_EQ(dbf[32 + 31], 1);  // Index has a tag in the production index
  EXPECT_TRUE(std::filesystem::exists(dir / "RiskData.dbt"));
  EXPECT_TRUE(std::filesystem::exists(dir / "RiskData.mdx"));
}

TEST_F(ProjectTableTest, IdentifiersStartAtOneAndReuseOnlyTheTopEnd) {
  EXPECT_EQ(MaxIndex(table), 0);
  EXPECT_EQ(AddRecord(kNodeType, 0), 1);
  EXPECT_EQ(AddRecord(kNodeType, 1), 2);
  EXPECT_EQ(AddRecord(kRiskType, 2), 3);
  EXPECT_EQ(AddRecord(kRiskType, 2), 4);

  ASSERT_TRUE(table.Locate(fld::kIndex, 2));
  table.Delete();  // a lower Index is not given out again
  EXPECT_EQ(MaxIndex(table), 4);
  ASSERT_TRUE(table.Locate(fld::kIndex, 4));
  table.Delete();  // the top one is
  EXPECT_EQ(AddRecord(kRiskType, 1), 4);
  EXPECT_EQ(AddRecord(kRiskType, 1), 5);

  // MaxIndex switches the filter off and leaves the cursor on the last record.
  table.SetFilter(ChildRisksFilter(1));
  table.SetFiltered(true);
  EXPECT_EQ(MaxIndex(table), 5);
  EXPECT_FALSE(table.Filtered());
  EXPECT_EQ(table.Filter(), "");
  EXPECT_EQ(table.GetInt(fld::kIndex), 5);

  // Survives a reopen: the maximum comes from the rows, not from a stored counter.
  table.Close();
  table.Open();
  EXPECT_EQ(MaxIndex(table), 5);
}

TEST_F(ProjectTableTest, LongTextsAreCutAndNewRecordsAreEmpty) {
  AddRecord(kRiskType, 0);
  EXPECT_TRUE(table.IsNull(fld::kText));
  EXPECT_TRUE(table.IsNull(fld::kPravdep));
  EXPECT_EQ(RiskLevel(table), 0);
  const std::string text = W("Č") + std::string(150, 't');
  const std::string source = std::string(300, 's');
  table.Edit();
  table.SetText(fld::kText, text);
  table.SetText(fld::kSource, source);
  table.SetText(fld::kIdent, std::string(5000, 'i'));
  table.Post();
  EXPECT_EQ(table.GetText(fld::kText), text.substr(0, 100));
  EXPECT_EQ(table.GetText(fld::kSource), source.substr(0, 250));
  table.Close();
  table.Open();
  table.First();
  EXPECT_EQ(table.GetText(fld::kText), text.substr(0, 100));
  EXPECT_EQ(table.GetText(fld::kSource), source.substr(0, 250));
  EXPECT_EQ(table.GetText(fld::kIdent).size(), 5000u);
}

TEST_F(ProjectTableTest, RecreatingEmptiesTheTable) {
  AddRecord(kNodeType, 0);
  AddRecord(kRiskType, 1);
  table.SetFilter(ChildRisksFilter(1));
  table.SetFiltered(true);
  CreateProjectTable(table);
  EXPECT_TRUE(table.IsOpen());
  EXPECT_FALSE(table.Filtered());
  EXPECT_EQ(table.RecordCount(), 0);
  EXPECT_EQ(MaxIndex(table), 0);
  EXPECT_EQ(ChildNodesFilter(12), "Type=0 AND Uplink=12");
  EXPECT_EQ(ChildRisksFilter(-3), "Type=1 AND Uplink=-3");
}

}  // namespace
}  // namespace orvenda
