#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "base/cp1250.h"
#include "base/error.h"
#include "model/table.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

using test::ReadFileBytes;
using test::TempDir;

std::vector<FieldDef> TreeFields() {
  return {{"Index", FieldType::Integer, 0},
          {"Type", FieldType::Integer, 0},
          {"Text", FieldType::String, 20},
          {"Comment", FieldType::Memo, 0},
          {"UpLink", FieldType::Integer, 0}};
}

// Appends a record and stores its fields as the program does: append, edit, set, post.
void Add(Table& t, int32_t index, int32_t type, int32_t uplink, const std::string& text = "",
         const std::string& comment = "") {
  t.Append();
  t.Edit();
  t.SetInt("Index", index);
  t.SetInt("Type", type);
  t.SetInt("UpLink", uplink);
  if (!text.empty()) t.SetText("Text", text);
  if (!comment.empty()) t.SetText("Comment", comment);
  t.Post();
}

std::vector<int32_t> Walk(Table& t) {
  std::vector<int32_t> out;
  for (t.First(); !t.Eof(); t.Next()) out.push_back(t.GetInt("Index"));
  return out;
}

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.SetPath(dir / "Tree.dbf");
    table.Create(TreeFields(), {{"Index", "Index", false}});
    table.SetIndexName("Index");
    table.Open();
  }
  TempDir dir;
  Table table;
};

TEST_F(TableTest, AppendEditPostKeepTheRecordCurrentAndReadBackAfterReopen) {
  int posts = 0;
  table.AfterPost = [&] { ++posts; };
  EXPECT_TRUE(table.IsEmpty());
  EXPECT_TRUE(table.Eof());
  table.Append();
  EXPECT_EQ(posts, 1);
  EXPECT_TRUE(table.IsNull("Index"));
  EXPECT_EQ(table.GetInt("index"), 0);
  EXPECT_EQ(table.GetText("TEXT"), "");
  table.Edit();
  table.SetInt("Index", 7);
  table.SetText("Text", W("Žluťoučký kůň a dlouhý text"));  // cut to 20
  table.SetText("Comment", W("Poznámka\r\ns háčky"));
  table.Post();
  EXPECT_EQ(posts, 2);
  EXPECT_EQ(table.GetInt("Index"), 7);
  EXPECT_EQ(table.GetText("Text"), W("Žluťoučký kůň a dlou"));
  Add(table, 3, 0, 0, "three");
  EXPECT_EQ(table.GetInt("Index"), 3);  // new record current
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{3, 7}));
  table.Close();

  table.Open();
  EXPECT_EQ(table.RecordCount(), 2);
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{3, 7}));
  ASSERT_TRUE(table.Locate("INDEX", 7));
  EXPECT_EQ(table.GetText("Text"), W("Žluťoučký kůň a dlou"));
  EXPECT_EQ(table.GetText("comment"), W("Poznámka\r\ns háčky"));
  EXPECT_TRUE(table.IsNull("UpLink"));
}

TEST_F(TableTest, FiltersSelectChildrenAndIgnoreCaseAndBlanks) {
  Add(table, 1, 0, 0);
  Add(table, 2, 1, 1);
  Add(table, 3, 0, 1);
  Add(table, 4, 1, 1);
  Add(table, 5, 0, 3);
  Add(table, 6, 1, -2);
  table.SetFilter("Type=1 AND Uplink=1");
  table.SetFiltered(true);
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{2, 4}));
  EXPECT_EQ(table.RecordCount(), 2);
  table.SetFilter("  type = 0   and   UpLink =1 ");  // applies at once
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{3}));
  table.SetFilter("Uplink=1");
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{2, 3, 4}));
  table.SetFilter("Uplink=-2");
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{6}));
  table.SetFilter("Uplink=99");
  EXPECT_TRUE(table.IsEmpty());
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(table.RecordCount(), 0);
  EXPECT_FALSE(table.Locate("Index", 1));

  // Locate respects the filter; a record that leaves the filter by a post stays current.
  table.SetFilter("Type=0 AND Uplink=1");
  EXPECT_FALSE(table.Locate("Index", 1));
  ASSERT_TRUE(table.Locate("Index", 3));
  table.Edit();
  table.SetInt("UpLink", 5);
  table.Post();
  EXPECT_EQ(table.GetInt("Index"), 3);
  EXPECT_EQ(table.RecordCount(), 0);
  table.SetFilter("Type=0 AND Uplink=5");
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{3}));

  table.SetFiltered(false);
  EXPECT_EQ(table.RecordCount(), 6);
}

TEST_F(TableTest, BadFilterTextFailsQuotingIt) {
  for (const std::string bad : {"Type=0", "Text=1", "Uplink=1 OR Type=0", "Uplink=x",
                                "Uplink=1 AND Uplink=2", "Uplink=99999999999", "Uplink=1.5"}) {
    table.SetFiltered(false);
    table.SetFilter(bad);
    try {
      table.SetFiltered(true);
      ADD_FAILURE() << bad;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("\"" + bad + "\""), std::string::npos) << e.what();
      EXPECT_FALSE(table.Filtered());
    }
  }
  table.SetFilter("Uplink=1");
  table.SetFiltered(true);
  EXPECT_THROW(table.SetFilter("Uplink="), Error);
  EXPECT_EQ(table.Filter(), "Uplink=1");  // the old filter stays
}

TEST_F(TableTest, NavigationEdgesAndDeleteMovesToFollowingOrPrevious) {
  for (int32_t i : {5, 1, 4, 2, 3}) Add(table, i, 0, 0);
  table.First();
  EXPECT_FALSE(table.Eof());
  EXPECT_EQ(table.GetInt("Index"), 1);
  table.Prior();
  EXPECT_TRUE(table.Bof());
  EXPECT_EQ(table.GetInt("Index"), 1);
  table.Last();
  EXPECT_EQ(table.GetInt("Index"), 5);
  table.Next();
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(table.GetInt("Index"), 5);  // stays on the last
  std::vector<int32_t> back;
  for (table.Last(); !table.Bof(); table.Prior()) back.push_back(table.GetInt("Index"));
  EXPECT_EQ(back, (std::vector<int32_t>{5, 4, 3, 2, 1}));

  ASSERT_TRUE(table.Locate("Index", 3));
  table.Delete();
  EXPECT_EQ(table.GetInt("Index"), 4);
  table.Last();
  table.Delete();
  EXPECT_EQ(table.GetInt("Index"), 4);  // the last went: the previous one
  EXPECT_EQ(table.MaxOf("Index", -1), 4);
  table.SetIndexName("");  // file order
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{1, 4, 2}));
  table.SetIndexName("Index");
  table.First();
  table.Delete();
  table.Delete();
  table.Delete();
  EXPECT_TRUE(table.IsEmpty());
  EXPECT_TRUE(table.Eof() && table.Bof());
  EXPECT_EQ(table.MaxOf("Index", -1), -1);
  EXPECT_THROW(table.Delete(), Error);
  EXPECT_THROW(table.Edit(), Error);
}

TEST_F(TableTest, DeletedRecordsStayHiddenAfterReopenAndPackDropsThem) {
  Add(table, 1, 0, 0, "a", "memo one");
  Add(table, 2, 0, 0, "b", std::string(1500, 'x'));
  Add(table, 3, 0, 0, "c", "memo three");
  Add(table, 4, 0, 0, "d", std::string(3000, 'y'));
  ASSERT_TRUE(table.Locate("Index", 2));
  table.Delete();
  table.Close();
  const auto dbtSize = [&] { return std::filesystem::file_size(dir / "Tree.dbt"); };
  const auto sizeBefore = dbtSize();
  table.Open();
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{1, 3, 4}));
  EXPECT_THROW(table.Pack(), Error);  // shared open
  table.Close();
  table.Open(true);
  EXPECT_TRUE(table.IsExclusive());
  table.Pack();
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{1, 3, 4}));
  // Three dead blocks beside nine live ones stay in the memo file for now.
  EXPECT_EQ(dbtSize(), sizeBefore);
  ASSERT_TRUE(table.Locate("Index", 4));
  table.Delete();  // now most of the memo file is dead: the pack reclaims it
  table.Pack();
  table.Close();
  const std::string dbf = ReadFileBytes(dir / "Tree.dbf");
  uint32_t count;
  std::memcpy(&count, dbf.data() + 4, 4);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(dbf.size(), 32 + 5 * 32 + 1 + 2 * 64 + 1u);
  EXPECT_EQ(dbtSize(), 3 * 512u);
  for (bool fresh : {false, true}) {
    Table reader;
    Table& t = fresh ? reader : table;  // this object reuses its rows, a new one reads the files
    t.SetPath(dir / "Tree.dbf");
    t.Open();
    EXPECT_EQ(t.RecordCount(), 2);
    ASSERT_TRUE(t.Locate("Index", 3));
    EXPECT_EQ(t.GetText("Comment"), "memo three");
    ASSERT_TRUE(t.Locate("Index", 1));
    EXPECT_EQ(t.GetText("Comment"), "memo one");
    t.Close();
  }
}

TEST_F(TableTest, PackAndCloseFromASharedOpenLeavesOnlyThePackedFiles) {
  Add(table, 1, 0, 0, "a", "memo one");
  Add(table, 2, 0, 0, "b", "memo two");
  Add(table, 3, 0, 0, "c");
  ASSERT_TRUE(table.Locate("Index", 2));
  table.Delete();
  ASSERT_TRUE(table.Locate("Index", 3));
  table.Edit();
  table.SetText("Text", "C");  // still being edited
  {
    Table other;
    other.SetPath(dir / "Tree.dbf");
    other.Open();
    EXPECT_THROW(table.PackAndClose(), Error);
    EXPECT_TRUE(table.IsOpen());
    EXPECT_EQ(Walk(table), (std::vector<int32_t>{1, 3}));
    // The refused pack kept the table's own lock: nobody gets it for himself.
    other.Close();
    Table third;
    third.SetPath(dir / "Tree.dbf");
    EXPECT_THROW(third.Open(true), Error);
  }
  ASSERT_TRUE(table.Locate("Index", 3));
  table.Edit();
  table.SetText("Text", "C");
  table.PackAndClose();
  EXPECT_FALSE(table.IsOpen());
  const std::string dbf = ReadFileBytes(dir / "Tree.dbf");
  uint32_t count;
  std::memcpy(&count, dbf.data() + 4, 4);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(dbf.size(), 32 + 5 * 32 + 1 + 2 * 64 + 1u);
  for (bool fresh : {false, true}) {
    Table reader;
    Table& t = fresh ? reader : table;
    t.SetPath(dir / "Tree.dbf");
    t.SetIndexName("Index");
    t.Open(true);  // every lock was let go
    EXPECT_EQ(Walk(t), (std::vector<int32_t>{1, 3}));
    ASSERT_TRUE(t.Locate("Index", 3));
    EXPECT_EQ(t.GetText("Text"), "C");
    ASSERT_TRUE(t.Locate("Index", 1));
    EXPECT_EQ(t.GetText("Comment"), "memo one");
    t.Close();
  }
}

TEST_F(TableTest, ReopenSeesChangesMadeByAnotherTableObject) {
  Add(table, 1, 0, 0, "one");
  table.Close();
  Table other;
  other.SetPath(dir / "Tree.dbf");
  other.Open();
  ASSERT_TRUE(other.Locate("Index", 1));
  other.Edit();
  other.SetText("Text", "uno");  // same file size
  other.Post();
  other.Close();
  table.Open();
  ASSERT_TRUE(table.Locate("Index", 1));
  EXPECT_EQ(table.GetText("Text"), "uno");
}

TEST_F(TableTest, ExclusiveAndSharedOpensExcludeEachOther) {
  Table other;
  other.SetPath(dir / "Tree.dbf");
  other.Open();  // two shared opens are fine
  table.Close();
  try {
    table.Open(true);
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("Tree.dbf"), std::string::npos);
  }
  other.Close();
  table.Open(true);
  EXPECT_THROW(other.Open(), Error);
  EXPECT_THROW(other.Create(TreeFields(), {}), Error);
  table.Close();
  other.Open();
  EXPECT_TRUE(other.IsOpen());
}

TEST_F(TableTest, CreateReplacesATableWithRecordsAndRenameMovesAllFiles) {
  Add(table, 1, 0, 0, "x", "y");
  table.Close();
  table.Create(TreeFields(), {{"Index", "Index", false}});
  EXPECT_FALSE(table.IsOpen());
  table.Open();
  EXPECT_EQ(table.RecordCount(), 0);
  Add(table, 9, 0, 0, "x", "memo");
  EXPECT_THROW(table.Rename(dir / "New.imp"), Error);  // open
  table.Close();
  table.Rename(dir / "New.imp");
  EXPECT_EQ(table.Path(), dir / "New.imp");
  EXPECT_FALSE(std::filesystem::exists(dir / "Tree.dbf"));
  EXPECT_FALSE(std::filesystem::exists(dir / "Tree.dbt"));
  EXPECT_TRUE(std::filesystem::exists(dir / "New.imt"));
  EXPECT_TRUE(std::filesystem::exists(dir / "New.imx"));
  table.Open();
  ASSERT_TRUE(table.Locate("Index", 9));
  EXPECT_EQ(table.GetText("Comment"), "memo");
}

TEST_F(TableTest, PendingEditsArePostedByNavigationAndCloseButNotByCancel) {
  int posts = 0;
  table.AfterPost = [&] { ++posts; };
  Add(table, 1, 0, 0, "one");
  Add(table, 2, 0, 0, "two");
  posts = 0;
  table.Post();  // nothing pending: no post
  EXPECT_EQ(posts, 0);
  ASSERT_TRUE(table.Locate("Index", 1));
  table.SetText("Text", "edited");  // edits without an explicit Edit
  EXPECT_EQ(table.GetText("Text"), "edited");
  table.Next();
  EXPECT_EQ(posts, 1);
  EXPECT_EQ(table.GetInt("Index"), 2);
  table.SetText("Text", "dropped");
  table.Cancel();
  EXPECT_EQ(table.GetText("Text"), "two");
  table.SetText("Text", "kept at close");
  table.Close();
  EXPECT_EQ(posts, 2);
  table.Open();
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{1, 2}));
  table.Last();
  EXPECT_EQ(table.GetText("Text"), "kept at close");
  table.First();
  EXPECT_EQ(table.GetText("Text"), "edited");
}

TEST_F(TableTest, TextIntoIntegerFieldsAndUnknownNames) {
  table.Append();
  table.SetText("Index", " 12 ");
  EXPECT_EQ(table.GetInt("Index"), 12);
  table.SetText("Type", "");
  EXPECT_TRUE(table.IsNull("Type"));
  EXPECT_THROW(table.SetText("UpLink", "abc"), Error);
  table.SetInt("Text", 345);
  EXPECT_EQ(table.GetText("Text"), "345");
  EXPECT_EQ(table.GetInt("Text"), 345);
  table.Post();
  EXPECT_THROW(table.GetInt("Missing"), Error);
  EXPECT_THROW(table.Locate("Missing", 1), Error);
  EXPECT_THROW(table.SetIndexName("Missing"), Error);
  EXPECT_EQ(table.IndexName(), "Index");
  table.Close();
  EXPECT_THROW(table.First(), Error);
  EXPECT_THROW(table.GetInt("Index"), Error);
  EXPECT_TRUE(table.Eof());
}

TEST(TableOrder, DescendingIndexKeepsAppendOrderForEqualKeysInEveryTableObject) {
  TempDir dir;
  Table t;
  t.SetPath(dir / "_Sestava.dbf");
  t.Create({{"Typ", FieldType::Integer, 0}, {"Mira", FieldType::Integer, 0}},
           {{"Mira", "Mira", true}});
  t.Open();
  int typ = 0;
  for (int32_t level : {5, 100, 5, 125, 0}) {
    t.Append();
    t.SetInt("Typ", ++typ);
    t.SetInt("Mira", level);
    t.Post();
  }
  const auto walk = [](Table& table) {
    std::vector<int32_t> out;
    for (table.First(); !table.Eof(); table.Next()) out.push_back(table.GetInt("Typ"));
    return out;
  };
  EXPECT_EQ(walk(t), (std::vector<int32_t>{1, 2, 3, 4, 5}));  // no index: append order
  t.SetIndexName("mira");
  EXPECT_EQ(walk(t), (std::vector<int32_t>{4, 2, 1, 3, 5}));
  t.Close();
  t.Rename(dir / "Report.dbf");
  Table other;
  other.SetPath(dir / "Report.dbf");
  other.SetIndexName("Mira");
  other.Open();
  EXPECT_EQ(walk(other), (std::vector<int32_t>{4, 2, 1, 3, 5}));
  ASSERT_TRUE(other.Locate("Mira", 5));
  EXPECT_EQ(other.GetInt("Typ"), 1);
}

TEST_F(TableTest, HeaderBytesOfAWrittenTable) {
  Add(table, 1, 0, 0, "abc", "memo");
  Add(table, -2147483647 - 1, 1, 2147483647, "", "");
  const std::string dbf = ReadFileBytes(dir / "Tree.dbf");
  ASSERT_GT(dbf.size(), 32u);
  EXPECT_EQ(static_cast<unsigned char>(dbf[0]), 0x8B);
  EXPECT_EQ(dbf[28], 1);
  EXPECT_EQ(static_cast<unsigned char>(dbf[29]), 0xC8);
  uint32_t count = 0;
  uint16_t headerLength = 0, recordLength = 0;
  std::memcpy(&count, dbf.data() + 4, 4);
  std::memcpy(&headerLength, dbf.data() + 8, 2);
  std::memcpy(&recordLength, dbf.data() + 10, 2);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(headerLength, 32 + 5 * 32 + 1);
  EXPECT_EQ(recordLength, 1 + 11 + 11 + 20 + 10 + 11);
  EXPECT_EQ(dbf.size(), headerLength + 2u * recordLength + 1);
  EXPECT_EQ(dbf.back(), '\x1A');
  EXPECT_EQ(dbf.substr(32, 6), std::string("INDEX\0", 6));
  EXPECT_EQ(dbf[32 + 11], 'N');
  EXPECT_EQ(dbf[32 + 16], 11);
  const std::string second = dbf.substr(headerLength + recordLength, recordLength);
  EXPECT_EQ(second.substr(1, 11), "-2147483648");
  EXPECT_EQ(second.substr(1 + 11 + 11 + 20 + 10, 11), " 2147483647");
  const std::string dbt = ReadFileBytes(dir / "Tree.dbt");
  ASSERT_EQ(dbt.size(), 1024u);
  EXPECT_EQ(dbt.substr(512, 8), std::string("\xFF\xFF\x08\x00\x0C\x00\x00\x00", 8));
  EXPECT_EQ(dbt.substr(520, 4), "memo");
}

}  // namespace
}  // namespace orvenda

namespace orvenda {
namespace {

// A walk under a filter that changes the table as it goes sees what a fresh search from the
// current record would see: new records of the group, not the deleted or moved ones.
TEST_F(TableTest, AFilteredWalkFollowsChangesMadeOnTheWay) {
  for (int32_t i = 1; i <= 6; ++i) Add(table, i, 1, 10);
  Add(table, 7, 1, 20);
  table.SetFilter("Type=1 AND Uplink=10");
  table.SetFiltered(true);
  std::vector<int32_t> seen;
  for (table.First(); !table.Eof(); table.Next()) {
    const int32_t index = table.GetInt("Index");
    seen.push_back(index);
    if (index == 2) {
      Add(table, 8, 1, 10);  // joins the group at its end; the cursor moves to it
      table.Locate("Index", 2);
    } else if (index == 3) {
      table.Edit();
      table.SetInt("UpLink", 20);  // leaves the group
      table.Post();
    } else if (index == 4) {
      table.Next();  // to 5, which goes; the following record becomes current
      table.Delete();
      seen.push_back(table.GetInt("Index"));
    }
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3, 4, 6, 8}));
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{1, 2, 4, 6, 8}));
}

TEST_F(TableTest, FieldsReadByNumberAsByName) {
  Add(table, 5, 1, 3);
  const int uplink = table.FieldNumber("uplink");
  EXPECT_EQ(uplink, 4);
  EXPECT_EQ(table.GetInt(uplink), table.GetInt("UpLink"));
  EXPECT_EQ(table.GetInt(table.FieldNumber("INDEX")), 5);
  EXPECT_THROW(table.FieldNumber("Nasledky"), Error);
  EXPECT_THROW(table.GetInt(11), Error);
  EXPECT_THROW(table.GetInt(-1), Error);
}

}  // namespace
}  // namespace orvenda

namespace orvenda {
namespace {

TEST_F(TableTest, InsertWritesOnceAndBulkRowsReachTheFilesBeforeAnyOtherChange) {
  int posts = 0;
  table.AfterPost = [&] { ++posts; };
  table.Insert();
  table.SetInt("Index", 7);
  table.Delete();  // drops the new record, touches no other
  EXPECT_TRUE(table.IsEmpty());
  table.BeginBulk();
  for (int32_t i = 1; i <= 3000; ++i) {
    table.Insert();
    table.SetInt("Index", i);
    table.SetText("Comment", std::string(i % 700, 'm'));
    table.Post();
    EXPECT_EQ(table.GetInt("Index"), i);  // the posted record is current
  }
  EXPECT_EQ(posts, 3000);
  // A store in the middle of the bulk rows writes them out first.
  table.Locate("Index", 2);
  table.SetText("Text", "B");
  table.Post();
  Table other;  // another table object reads the files alone
  other.SetPath(dir / "Tree.dbf");
  other.Open();
  EXPECT_EQ(other.RecordCount(), 3000);
  other.Close();
  table.Insert();
  table.SetInt("Index", 3001);
  table.SetText("Comment", "last");
  table.EndBulk();  // posts nothing pending by itself
  table.Close();
  table.Open();
  EXPECT_EQ(table.RecordCount(), 3001);
  ASSERT_TRUE(table.Locate("Index", 2));
  EXPECT_EQ(table.GetText("Text"), "B");
  ASSERT_TRUE(table.Locate("Index", 2999));
  EXPECT_EQ(table.GetText("Comment"), std::string(2999 % 700, 'm'));
  ASSERT_TRUE(table.Locate("Index", 3001));
  EXPECT_EQ(table.GetText("Comment"), "last");
}

// A big table opens before its memos are in; every read and change of them must still see them.
TEST_F(TableTest, ABigTableHasEveryMemoAtOnceAndKeepsThemThroughChanges) {
  constexpr int32_t kRows = 30000;
  const auto memo = [](int32_t i) {
    if (i == kRows - 1) return std::string("changed");
    return i % 7 == 0 ? std::string() : "memo " + std::to_string(i) + std::string(i % 300, 'x');
  };
  table.BeginBulk();
  for (int32_t i = 1; i <= kRows; ++i) {
    table.Insert();
    table.SetInt("Index", i);
    table.SetText("Comment", i == kRows - 1 ? std::string("first") : memo(i));
    table.Post();
  }
  table.EndBulk();
  table.Close();

  // Each opened afresh with the memo copy held back a while: the reads and the change below
  // must wait for it rather than see empty memos.
  const auto openHeld = [&](Table& fresh) {
    fresh.SetPath(dir / "Tree.dbf");
    fresh.SetIndexName("Index");
    HoldMemoCopies(true);
    fresh.Open();
    return std::jthread([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      HoldMemoCopies(false);
    });
  };
  {
    Table fresh;
    const std::jthread release = openHeld(fresh);
    fresh.Last();
    EXPECT_EQ(fresh.TextView("Comment"), memo(kRows));
  }
  {
    Table fresh;
    const std::jthread release = openHeld(fresh);
    ASSERT_TRUE(fresh.Locate("Index", kRows - 2));
    EXPECT_EQ(fresh.CurrentImage().values[3].text, memo(kRows - 2));
  }
  {
    Table fresh;
    const std::jthread release = openHeld(fresh);
    ASSERT_TRUE(fresh.Locate("Index", kRows - 1));
    fresh.Edit();
    fresh.SetText("Comment", "changed");
    fresh.Post();
    ASSERT_TRUE(fresh.Locate("Index", kRows));
    EXPECT_EQ(fresh.GetText("Comment"), memo(kRows));
  }
  table.Open();
  int32_t seen = 0;
  for (table.First(); !table.Eof(); table.Next(), ++seen)
    ASSERT_EQ(table.GetText("Comment"), memo(table.GetInt("Index")));
  EXPECT_EQ(seen, kRows);
  table.Close();

  // Memos beyond the end of a cut memo file fail the open itself, naming the file.
  const std::filesystem::path memoFile = dir / "Tree.dbt";
  std::filesystem::resize_file(memoFile, std::filesystem::file_size(memoFile) / 2);
  try {
    table.Open();
    FAIL() << "opened";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("Tree.dbt"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(table.IsOpen());
}

}  // namespace
}  // namespace orvenda
