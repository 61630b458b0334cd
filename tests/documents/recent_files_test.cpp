// The recent-file list with its registry form, and the working directories.
#include "documents/recent_files.h"

#include <gtest/gtest.h>

#include <set>

#include "base/cp1250.h"
#include "base/error.h"
#include "documents/working_directory.h"
#include "support/fakes.h"
#include "support/test_support.h"

namespace orvenda::test {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<fs::path>;
constexpr const char* kKey = "\\Software\\Tumbek\\Orvenda\\TMainForm.MRUManager1";

TEST(RecentFiles, NewestFirstAndAListedNameMovesUpInsteadOfRepeating) {
  MRUManager list;
  int changes = 0;
  list.OnChange = [&] { ++changes; };
  list.Add("/p/a.RSK");
  list.Add("/p/b.RSK");
  list.Add("/p/c.RSK");
  EXPECT_EQ(list.Items(), (Paths{"/p/c.RSK", "/p/b.RSK", "/p/a.RSK"}));
  // Letter case aside, also in Czech letters, the same name.
  list.Add("/P/A.rsk");
  EXPECT_EQ(list.Items(), (Paths{"/P/A.rsk", "/p/c.RSK", "/p/b.RSK"}));
  list.Add(u8"/p/Dílna.RSK");
  list.Add(u8"/p/DÍLNA.RSK");
  EXPECT_EQ(list.Items(), (Paths{u8"/p/DÍLNA.RSK", "/P/A.rsk", "/p/c.RSK", "/p/b.RSK"}));
  EXPECT_EQ(changes, 6);
}

TEST(RecentFiles, TheEleventhNameDropsTheOldest) {
  MRUManager list;
  for (int i = 0; i < 11; ++i) list.Add("/p/f" + std::to_string(i) + ".RSK");
  ASSERT_EQ(list.Items().size(), 10u);
  EXPECT_EQ(list.Items().front(), fs::path("/p/f10.RSK"));
  EXPECT_EQ(list.Items().back(), fs::path("/p/f1.RSK"));
  // Moving a listed name to the top at full length drops nothing.
  list.Add("/p/f1.RSK");
  ASSERT_EQ(list.Items().size(), 10u);
  EXPECT_EQ(list.Items().front(), fs::path("/p/f1.RSK"));
  EXPECT_EQ(list.Items().back(), fs::path("/p/f2.RSK"));
}

TEST(RecentFiles, SavedAsItemsNewestFirstAfterDeletingTheKey) {
  MemorySettingsStore store;
  store.WriteString(kKey, "Item_7", "stale");
  store.WriteInteger(kKey, "User_0", 3);
  store.WriteString("\\Software\\Tumbek\\Orvenda\\SetUp", "Other", "stays");
  MRUManager list;
  list.Add("/p/old.RSK");
  list.Add(u8"/p/Dílna.RSK");
  list.Save(store);
  const auto values = store.Values(kKey);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(std::get<std::string>(values.at("Item_0")), W("/p/Dílna.RSK"));
  EXPECT_EQ(std::get<std::string>(values.at("Item_1")), "/p/old.RSK");
  EXPECT_EQ(store.Values("\\Software\\Tumbek\\Orvenda\\SetUp").size(), 1u);
}

TEST(RecentFiles, ReadFromNineDownToZeroSkippingEmptyValues) {
  MemorySettingsStore store;
  store.WriteString(kKey, "Item_0", "/p/newest.RSK");
  store.WriteString(kKey, "Item_1", "");
  store.WriteString(kKey, "Item_2", W("/p/Dílna.RSK"));
  store.WriteString(kKey, "Item_9", "/p/oldest.RSK");
  store.WriteString(kKey, "Item_10", "/p/beyond.RSK");  // only ten are read
  MRUManager list;
  list.Add("/p/already.RSK");
  list.Load(store);
  EXPECT_EQ(list.Items(),
            (Paths{"/p/newest.RSK", u8"/p/Dílna.RSK", "/p/oldest.RSK", "/p/already.RSK"}));

  // What is saved reads back the same.
  MemorySettingsStore other;
  list.Save(other);
  MRUManager again;
  again.Load(other);
  EXPECT_EQ(again.Items(), list.Items());
}

TEST(RecentFiles, NothingStoredReadsAsEmptyAndCreatesNothing) {
  MemorySettingsStore store;
  MRUManager list;
  list.Load(store);
  EXPECT_TRUE(list.Items().empty());
  EXPECT_FALSE(store.KeyExists(kKey));
}

TEST(WorkingDirectory, UniqueEmptyDirectoriesWithThePrefixRemovedWithTheirFiles) {
  TempDir temp;
  std::set<fs::path> made;
  for (int i = 0; i < 20; ++i) {
    const fs::path dir = MakeWorkingDirectory(temp.path());
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_TRUE(fs::is_empty(dir));
    EXPECT_EQ(dir.parent_path(), temp.path());
    const std::string name = dir.filename().string();
    EXPECT_EQ(name.substr(0, 3), "RZK");
    EXPECT_EQ(name.substr(name.size() - 4), ".TMP");
    EXPECT_TRUE(made.insert(dir).second) << "made twice: " << dir;
  }
  const fs::path clr = MakeWorkingDirectory(temp.path(), "CLR");
  EXPECT_EQ(clr.filename().string().substr(0, 3), "CLR");

  const fs::path dir = *made.begin();
  WriteFileBytes(dir / "RiskData.dbf", "x");
  fs::create_directories(dir / "sub");
  WriteFileBytes(dir / "sub" / "other", "y");
  RemoveWorkingDirectory(dir);
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_TRUE(fs::exists(clr));
  RemoveWorkingDirectory(dir);  // twice does no harm
}

TEST(WorkingDirectory, NoTemporaryDirectoryIsAnError) {
  TempDir temp;
  EXPECT_THROW(MakeWorkingDirectory(temp / "missing"), Error);
  WriteFileBytes(temp / "file", "");
  EXPECT_THROW(MakeWorkingDirectory(temp / "file"), Error);
}

}  // namespace
}  // namespace orvenda::test
