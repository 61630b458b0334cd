// Tables written by other programs: dBase III, III with memo, IV with other block sizes,
// level 7; and damaged files, which must fail with a message instead of crashing.
#include <gtest/gtest.h>

#include <cstring>

#include "base/cp1250.h"
#include "base/error.h"
#include "model/table.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

struct ForeignField {
  std::string name;
  char type;
  int length;
  int decimals = 0;
};

void Le16(std::string& s, size_t at, uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}
void Le32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The bytes of a table file. Each record is its field bytes already laid out; a leading '*'
// in `deleted` marks the record deleted.
std::string BuildTable(uint8_t version, const std::vector<ForeignField>& fields,
                       const std::vector<std::string>& records, const std::string& deleted = "",
                       bool level7 = false) {
  const size_t first = level7 ? 68 : 32;
  const size_t descriptor = level7 ? 48 : 32;
  const size_t headerLength = first + descriptor * fields.size() + 1;
  size_t recordLength = 1;
  for (const auto& f : fields) recordLength += f.length;
  std::string h(headerLength, '\0');
  h[0] = static_cast<char>(version);
  h[1] = 99;
  h[2] = 12;
  h[3] = 31;
  Le32(h, 4, static_cast<uint32_t>(records.size()));
  Le16(h, 8, static_cast<uint32_t>(headerLength));
  Le16(h, 10, static_cast<uint32_t>(recordLength));
  if (level7) std::memcpy(&h[32], "DBWINUS0", 8);
  size_t pos = first;
  for (const auto& f : fields) {
    std::memcpy(&h[pos], f.name.data(), f.name.size());
    h[pos + (level7 ? 32 : 11)] = f.type;
    h[pos + (level7 ? 33 : 16)] = static_cast<char>(f.length);
    h[pos + (level7 ? 34 : 17)] = static_cast<char>(f.decimals);
    pos += descriptor;
  }
  h[pos] = '\r';
  for (size_t r = 0; r < records.size(); ++r) {
    EXPECT_EQ(records[r].size() + 1, recordLength);
    h += (r < deleted.size() && deleted[r] == '*') ? '*' : ' ';
    h += records[r];
  }
  h += '\x1A';
  return h;
}

std::string Pad(const std::string& s, size_t n) { return s + std::string(n - s.size(), ' '); }
std::string Right(const std::string& s, size_t n) { return std::string(n - s.size(), ' ') + s; }
std::string Long(uint32_t v) {  // level 7 long integer: big-endian, top bit flipped
  v ^= 0x80000000u;
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::vector<int32_t> Walk(Table& t, const std::string& field) {
  std::vector<int32_t> out;
  for (t.First(); !t.Eof(); t.Next()) out.push_back(t.GetInt(field));
  return out;
}

std::string ErrorOf(Table& t, bool exclusive = false) {
  try {
    t.Open(exclusive);
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

class FormatsTest : public ::testing::Test {
 protected:
  TempDir dir;
  Table table;
};

TEST_F(FormatsTest, DbaseThreeFieldsReadAndWriteBackInTheirOwnFormat) {
  const std::vector<ForeignField> fields = {{"NAME", 'C', 10},    {"NUM", 'N', 5},
                                            {"PRICE", 'N', 8, 2}, {"OK", 'L', 1},
                                            {"DAY", 'D', 8},      {"RATE", 'F', 10, 3}};
  const std::string czech = W("Čáp");
  WriteFileBytes(
      dir / "old.dbf",
      BuildTable(0x03, fields,
                 {Pad(czech, 10) + Right("-42", 5) + Right("12.50", 8) + "T" + "20240131" +
                      Right("-1.250", 10),
                  Pad("gone", 10) + Right("1", 5) + Right("", 8) + " " + "        " + Right("", 10),
                  std::string(10, ' ') + "     " + Right("99999.99", 8) + "?" + "        " +
                      Right("2.5e3", 10)},
                 " * "));
  table.SetPath(dir / "old.dbf");
  table.Open();
  ASSERT_EQ(table.Fields().size(), 6u);
  EXPECT_EQ(table.Fields()[0].type, FieldType::String);
  EXPECT_EQ(table.Fields()[0].size, 10);
  EXPECT_EQ(table.Fields()[1].type, FieldType::Integer);
  EXPECT_EQ(table.RecordCount(), 2);  // the deleted one is hidden
  table.First();
  EXPECT_EQ(table.GetText("name"), czech);
  EXPECT_EQ(table.GetInt("Num"), -42);
  EXPECT_EQ(table.GetInt("Price"), 12);
  EXPECT_EQ(table.GetText("Price"), "12.50");
  EXPECT_EQ(table.GetText("OK"), "T");
  EXPECT_EQ(table.GetText("DAY"), "20240131");
  EXPECT_EQ(table.GetInt("RATE"), -1);
  table.Next();
  EXPECT_TRUE(table.IsNull("NAME"));
  EXPECT_TRUE(table.IsNull("NUM"));
  EXPECT_EQ(table.GetInt("NUM"), 0);
  EXPECT_EQ(table.GetInt("PRICE"), 99999);
  EXPECT_TRUE(table.IsNull("OK"));
  EXPECT_EQ(table.GetInt("RATE"), 2500);

  table.Edit();
  table.SetInt("NUM", 12345);
  table.SetText("NAME", "abcdefghijklmnop");
  table.Post();
  table.Edit();
  table.SetInt("NUM", 123456);  // does not fit N(5,0)
  EXPECT_THROW(table.Post(), Error);
  table.Cancel();
  table.Close();
  const std::string bytes = ReadFileBytes(dir / "old.dbf");
  EXPECT_EQ(bytes[0], 0x03);
  table.Open();
  table.Last();
  EXPECT_EQ(table.GetInt("NUM"), 12345);
  EXPECT_EQ(table.GetText("NAME"), "abcdefghij");
}

TEST_F(FormatsTest, DbaseThreeMemosEndAtOneA) {
  const std::vector<ForeignField> fields = {{"ID", 'N', 4}, {"NOTE", 'M', 10}};
  const std::string longText(700, 'q');  // spans two blocks
  std::string dbt(512, '\0');
  Le32(dbt, 0, 4);
  dbt[16] = 3;
  std::string block1 = W("Příliš žluťoučký") + "\x1A\x1A";
  block1.resize(512, '\0');
  std::string blocks23 = longText + "\x1A\x1A";
  blocks23.resize(1024, '\0');
  dbt += block1 + blocks23;
  WriteFileBytes(dir / "memo3.dbf",
                 BuildTable(0x83, fields,
                            {Right("1", 4) + Right("1", 10), Right("2", 4) + "0000000002",
                             Right("3", 4) + std::string(10, ' ')}));
  WriteFileBytes(dir / "memo3.dbt", dbt);
  table.SetPath(dir / "memo3.dbf");
  table.Open();
  ASSERT_TRUE(table.Locate("ID", 1));
  EXPECT_EQ(table.GetText("NOTE"), W("Příliš žluťoučký"));
  ASSERT_TRUE(table.Locate("ID", 2));
  EXPECT_EQ(table.GetText("NOTE"), longText);
  ASSERT_TRUE(table.Locate("ID", 3));
  EXPECT_TRUE(table.IsNull("NOTE"));
  table.Edit();
  table.SetText("NOTE", "new memo");
  table.Post();
  table.Close();
  const std::string after = ReadFileBytes(dir / "memo3.dbt");
  ASSERT_EQ(after.size(), 2560u);
  EXPECT_EQ(after.substr(2048, 10), "new memo\x1A\x1A");  // dBase III style, block 4
  EXPECT_EQ(after[0], 5);                                 // next free block
  table.Open();
  ASSERT_TRUE(table.Locate("ID", 3));
  EXPECT_EQ(table.GetText("NOTE"), "new memo");
}

TEST_F(FormatsTest, DbaseFourMemoBlockSizeComesFromTheMemoHeader) {
  const std::vector<ForeignField> fields = {{"ID", 'N', 4}, {"NOTE", 'M', 10}};
  std::string dbt(64, '\0');
  Le16(dbt, 20, 64);
  const std::string text(150, 'z');  // 8 + 150 bytes: three 64-byte blocks
  std::string memo = std::string("\xFF\xFF\x08\x00", 4) + std::string(4, '\0') + text;
  Le32(memo, 4, static_cast<uint32_t>(text.size() + 8));
  memo.resize(192, '\0');
  dbt += memo;
  Le32(dbt, 0, 4);
  for (uint8_t version : {0x8B, 0x8E}) {
    SCOPED_TRACE(version);
    WriteFileBytes(dir / "memo4.dbf",
                   BuildTable(version, fields, {Right("1", 4) + Right("1", 10)}));
    WriteFileBytes(dir / "memo4.dbt", dbt);
    table.SetPath(dir / "memo4.dbf");
    table.Open();
    table.First();
    EXPECT_EQ(table.GetText("NOTE"), text);
    table.Edit();
    table.SetText("NOTE", "short");
    table.Post();
    table.Close();
    const std::string after = ReadFileBytes(dir / "memo4.dbt");
    EXPECT_EQ(after.size(), 256u + 64u);  // appended as one 64-byte block
    table.Open();
    table.First();
    EXPECT_EQ(table.GetText("NOTE"), "short");
    table.Close();
  }
}

TEST_F(FormatsTest, LevelSevenLongIntegersAndMemos) {
  const std::vector<ForeignField> fields = {
      {"Identifier", 'I', 4}, {"Name", 'C', 6}, {"Note", 'M', 10}, {"Count", 'N', 6}};
  std::string dbt(512, '\0');
  Le16(dbt, 20, 512);
  std::string memo = std::string("\xFF\xFF\x08\x00", 4) + std::string(4, '\0') + "level seven";
  Le32(memo, 4, 8 + 11);
  memo.resize(512, '\0');
  dbt += memo;
  for (uint8_t version : {0x04, 0x8C}) {
    SCOPED_TRACE(version);
    WriteFileBytes(
        dir / "seven.dbf",
        BuildTable(version, fields,
                   {Long(0) + Pad("zero", 6) + Right("1", 10) + Right("7", 6),
                    Long(static_cast<uint32_t>(-1)) + Pad("minus", 6) + std::string(10, ' ') +
                        Right("", 6),
                    std::string(4, '\0') + Pad("empty", 6) + std::string(10, ' ') + Right("", 6),
                    Long(2000000000) + Pad("big", 6) + std::string(10, ' ') + Right("", 6)},
                   "", true));
    WriteFileBytes(dir / "seven.dbt", dbt);
    table.SetPath(dir / "seven.dbf");
    table.SetIndexName("Identifier");  // a tag named after its field
    table.Open();
    EXPECT_EQ(Walk(table, "IDENTIFIER"), (std::vector<int32_t>{-1, 0, 0, 2000000000}));
    table.SetIndexName("");
    table.First();
    EXPECT_FALSE(table.IsNull("Identifier"));
    EXPECT_EQ(table.GetText("Identifier"), "0");
    EXPECT_EQ(table.GetText("Note"), "level seven");
    EXPECT_EQ(table.GetInt("Count"), 7);
    table.Next();
    table.Next();
    EXPECT_TRUE(table.IsNull("Identifier"));
    EXPECT_EQ(table.GetText("Identifier"), "");
    table.Edit();
    table.SetInt("Identifier", 5);
    table.Post();
    table.Close();
    const std::string bytes = ReadFileBytes(dir / "seven.dbf");
    const size_t third = 68 + 48 * 4 + 1 + 2 * 27;
    EXPECT_EQ(bytes.substr(third + 1, 4), Long(5));
    EXPECT_EQ(static_cast<uint8_t>(bytes[0]), version);
    table.SetIndexName("");
  }
}

TEST_F(FormatsTest, MissingMemoFileIsNamed) {
  WriteFileBytes(dir / "nomemo.dbf",
                 BuildTable(0x8B, {{"ID", 'N', 4}, {"NOTE", 'M', 10}}, {"   1" + Right("", 10)}));
  table.SetPath(dir / "nomemo.dbf");
  const std::string message = ErrorOf(table);
  EXPECT_NE(message.find("nomemo.dbt"), std::string::npos) << message;
  EXPECT_FALSE(table.IsOpen());
  // Without memo fields the table needs no memo file.
  WriteFileBytes(dir / "plain.dbf", BuildTable(0x03, {{"ID", 'N', 4}}, {"   1"}));
  table.SetPath(dir / "plain.dbf");
  EXPECT_EQ(ErrorOf(table), "");
}

TEST_F(FormatsTest, CompanionFilesAreFoundWhateverTheirLetterCase) {
  const std::vector<ForeignField> fields = {{"INDEX", 'N', 11}, {"NOTE", 'M', 10}};
  std::string dbt(512, '\0');
  std::string memo = std::string("\xFF\xFF\x08\x00", 4) + std::string(4, '\0') + "found";
  Le32(memo, 4, 13);
  memo.resize(512, '\0');
  WriteFileBytes(dir / "RISKDATA.DBF", BuildTable(0x8B, fields, {Right("4", 11) + Right("1", 10)}));
  WriteFileBytes(dir / "riskdata.DBT", dbt + memo);
  table.SetPath(dir / "RiskData.dbf");
  table.Open();
  table.First();
  EXPECT_EQ(table.GetText("Note"), "found");
  table.Close();
  table.Rename(dir / "Moved.dbf");
  EXPECT_TRUE(std::filesystem::exists(dir / "Moved.dbt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "riskdata.DBT"));
}

TEST_F(FormatsTest, IndexFileIsNeverTrusted) {
  table.SetPath(dir / "t.dbf");
  table.Create({{"Index", FieldType::Integer, 0}, {"Text", FieldType::String, 10}},
               {{"Index", "Index", false}});
  table.SetIndexName("Index");
  table.Open();
  for (int32_t i : {3, 1, 2}) {
    table.Append();
    table.SetInt("Index", i);
    table.Post();
  }
  table.Close();
  const std::string mdx = ReadFileBytes(dir / "t.mdx");
  EXPECT_NE(mdx.find("INDEX"), std::string::npos);
  WriteFileBytes(dir / "t.mdx", "garbage");
  table.Open();
  EXPECT_EQ(Walk(table, "Index"), (std::vector<int32_t>{1, 2, 3}));
  table.Close();
  std::filesystem::remove(dir / "t.mdx");
  table.Open();
  EXPECT_EQ(Walk(table, "Index"), (std::vector<int32_t>{1, 2, 3}));
  table.Append();
  table.Close();  // a changed table gets its index file back
  EXPECT_TRUE(std::filesystem::exists(dir / "t.mdx"));
}

TEST_F(FormatsTest, ForeignIndexThatCannotBeRewrittenIsDropped) {
  std::string bytes = BuildTable(0x03, {{"NAME", 'C', 150}, {"N", 'N', 3}},
                                 {Pad("beta", 150) + "  1", Pad("alpha", 150) + "  2"});
  bytes[28] = 1;       // production index present
  bytes[32 + 31] = 1;  // NAME has a tag
  WriteFileBytes(dir / "long.dbf", bytes);
  WriteFileBytes(dir / "long.mdx", "old index");
  table.SetPath(dir / "long.dbf");
  table.SetIndexName("NAME");
  table.Open();
  EXPECT_EQ(Walk(table, "N"), (std::vector<int32_t>{2, 1}));
  table.Close();  // unchanged: the old index file stays
  EXPECT_TRUE(std::filesystem::exists(dir / "long.mdx"));
  table.Open();
  table.Append();
  table.SetText("NAME", "gamma");
  table.Close();  // a 150-byte key does not fit an index file
  EXPECT_FALSE(std::filesystem::exists(dir / "long.mdx"));
  EXPECT_EQ(ReadFileBytes(dir / "long.dbf")[28], 0);
}

// --- damaged files -----------------------------------------------------------------------------

class DamagedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string dbt(512, '\0');
    Le16(dbt, 20, 512);
    std::string memo = std::string("\xFF\xFF\x08\x00", 4) + std::string(4, '\0') + "memo text";
    Le32(memo, 4, 17);
    memo.resize(512, '\0');
    goodMemo = dbt + memo;
    good =
        BuildTable(0x8B, {{"ID", 'N', 4}, {"NAME", 'C', 5}, {"NOTE", 'M', 10}},
                   {"   1" + Pad("a", 5) + Right("1", 10), "   2" + Pad("b", 5) + Right("", 10)});
  }
  // Opens the table made of these bytes; returns the error text, "" when it opened.
  std::string Try(const std::string& dbf, const std::string& dbt) {
    WriteFileBytes(dir / "d.dbf", dbf);
    WriteFileBytes(dir / "d.dbt", dbt);
    Table t;
    t.SetPath(dir / "d.dbf");
    try {
      t.Open();
      for (t.First(); !t.Eof(); t.Next())
        for (const FieldDef& f : t.Fields()) t.GetText(f.name);
    } catch (const Error& e) {
      return e.what();
    }
    return "";
  }
  TempDir dir;
  std::string good, goodMemo;
};

TEST_F(DamagedTest, EachKindOfDamageFailsWithAMessageNamingTheFile) {
  ASSERT_EQ(Try(good, goodMemo), "");
  std::vector<std::pair<std::string, std::string>> cases;
  cases.push_back({good.substr(0, 20), goodMemo});  // shorter than a header
  std::string b = good;
  Le32(b, 4, 1000);  // more records than the file holds
  cases.push_back({b, goodMemo});
  b = good;
  Le16(b, 8, 60000);  // header longer than the file
  cases.push_back({b, goodMemo});
  b = good;
  b[32 + 16] = static_cast<char>(200);  // first field overruns the record
  cases.push_back({b, goodMemo});
  b = good;
  b[32 + 3 * 32] = 'X';  // no terminator: descriptors run into the records
  Le16(b, 8, 32 + 3 * 32 + 20);
  cases.push_back({b, goodMemo});
  b = good;
  b[0] = 0x30;  // Visual FoxPro: not ours to read
  cases.push_back({b, goodMemo});
  b = good;
  b.replace(good.size() - 1 - 19 - 10, 10, Right("77", 10));  // memo pointer past the end
  cases.push_back({b, goodMemo});
  b = good;
  b.replace(good.size() - 1 - 19 - 10, 10, "12x4567890");  // memo pointer not a number
  cases.push_back({b, goodMemo});
  std::string m = goodMemo;
  Le32(m, 516, 5000);  // memo length past the end of the memo file
  cases.push_back({good, m});
  // Records sharing one long memo: more text than the memo file holds.
  b = BuildTable(0x8B, {{"ID", 'N', 4}, {"NAME", 'C', 5}, {"NOTE", 'M', 10}},
                 {"   1" + Pad("a", 5) + Right("1", 10), "   2" + Pad("b", 5) + Right("1", 10),
                  "   3" + Pad("c", 5) + Right("1", 10)});
  m = goodMemo;
  Le32(m, 516, 512);
  cases.push_back({b, m});
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string message = Try(cases[i].first, cases[i].second);
    EXPECT_NE(message, "") << "case " << i;
    EXPECT_TRUE(message.find("d.dbf") != std::string::npos ||
                message.find("d.dbt") != std::string::npos)
        << "case " << i << ": " << message;
  }
}

TEST_F(DamagedTest, EveryTruncationEitherOpensOrFailsCleanly) {
  for (size_t n = 0; n < good.size(); ++n) Try(good.substr(0, n), goodMemo);
  for (size_t n = 0; n < goodMemo.size(); n += 7) Try(good, goodMemo.substr(0, n));
  // A memo file cut inside the memo block is damage, not a short text.
  EXPECT_NE(Try(good, goodMemo.substr(0, 520)), "");
  // The table may end without its 1A end mark.
  EXPECT_EQ(Try(good.substr(0, good.size() - 1), goodMemo), "");
}

}  // namespace
}  // namespace orvenda
