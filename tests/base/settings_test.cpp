// The three settings, administrator mode and the kept page setup.
#include "base/settings.h"

#include <gtest/gtest.h>

#include "support/fakes.h"
#include "support/test_support.h"

namespace orvenda::test {
namespace {

TEST(Settings, EmptyStoreGivesAllOnAndCreatesTheKey) {
  MemorySettingsStore store;
  const Settings read = LoadSettings(store);
  EXPECT_TRUE(read.AskDelete);
  EXPECT_TRUE(read.AskExit);
  EXPECT_TRUE(read.CountAverage);
  EXPECT_TRUE(store.KeyExists("\\Software\\Tumbek\\Orvenda\\SetUp"));
  EXPECT_TRUE(store.Values("\\Software\\Tumbek\\Orvenda\\SetUp").empty());
}

TEST(Settings, StoredNumbersReadAsFlagsAndMissingValuesStayOn) {
  MemorySettingsStore store;
  store.WriteInteger("Software\\Tumbek\\Orvenda\\SetUp", "AskDelete", 0);
  store.WriteInteger("Software\\Tumbek\\Orvenda\\SetUp", "AskExit", 7);  // any non-zero
  const Settings read = LoadSettings(store);
  EXPECT_FALSE(read.AskDelete);
  EXPECT_TRUE(read.AskExit);
  EXPECT_TRUE(read.CountAverage);
}

TEST(Settings, SavedAsZeroOrOneAndReadBack) {
  MemorySettingsStore store;
  SaveSettings(store, Settings{false, true, false});
  const auto values = store.Values(kSetUpKey);
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(std::get<int32_t>(values.at("AskDelete")), 0);
  EXPECT_EQ(std::get<int32_t>(values.at("AskExit")), 1);
  EXPECT_EQ(std::get<int32_t>(values.at("CountAverage")), 0);
  EXPECT_EQ(LoadSettings(store), (Settings{false, true, false}));
}

TEST(AdministratorMode, FollowsTheMarkerFile) {
  TempDir temp;
  const auto marker = temp / "Admin.set";
  EXPECT_FALSE(IsAdministratorMode(marker));
  WriteFileBytes(marker, "");  // contents do not matter
  EXPECT_TRUE(IsAdministratorMode(marker));
  std::filesystem::remove(marker);
  EXPECT_FALSE(IsAdministratorMode(marker));
  EXPECT_FALSE(IsAdministratorMode({}));
#ifdef _WIN32
  EXPECT_EQ(DefaultAdminMarkerPath(), std::filesystem::path("C:\\Admin.set"));
#else
  EXPECT_EQ(DefaultAdminMarkerPath(), std::filesystem::path("/Admin.set"));
#endif
}

TEST(PageSetup, KeptValuesGoBackAndAMissingOneComesBackEmpty) {
  MemorySettingsStore store;
  store.WriteString(kPageSetupKey, "header", "&w&bStrana &p z &P");
  store.WriteString(kPageSetupKey, "margin_top", "0.75");
  const PageSetup saved = SavePageSetup(store);
  EXPECT_EQ(saved.values[0], "&w&bStrana &p z &P");
  EXPECT_EQ(saved.values[1], "");
  EXPECT_EQ(saved.values[2], "0.75");

  // The preview changes the values during the run.
  store.WriteString(kPageSetupKey, "header", "changed");
  store.WriteString(kPageSetupKey, "footer", "added");
  store.WriteString(kPageSetupKey, "margin_right", "2");
  RestorePageSetup(store, saved);

  const auto values = store.Values(kPageSetupKey);
  ASSERT_EQ(values.size(), 6u);
  EXPECT_EQ(std::get<std::string>(values.at("header")), "&w&bStrana &p z &P");
  EXPECT_EQ(std::get<std::string>(values.at("footer")), "");
  EXPECT_EQ(std::get<std::string>(values.at("margin_top")), "0.75");
  EXPECT_EQ(std::get<std::string>(values.at("margin_left")), "");
  EXPECT_EQ(std::get<std::string>(values.at("margin_bottom")), "");
  EXPECT_EQ(std::get<std::string>(values.at("margin_right")), "");
}

TEST(PageSetup, WithoutTheKeyNothingIsReadNorWrittenNorCreated) {
  MemorySettingsStore store;
  const PageSetup saved = SavePageSetup(store);
  EXPECT_EQ(saved, PageSetup{});
  EXPECT_FALSE(store.KeyExists(kPageSetupKey));
  RestorePageSetup(store, saved);
  EXPECT_FALSE(store.KeyExists(kPageSetupKey));
  EXPECT_EQ(store.writes, 0);

  // A key that appears during the run gets the (empty) values kept at the start.
  store.CreateKey(kPageSetupKey);
  store.WriteString(kPageSetupKey, "header", "new");
  RestorePageSetup(store, saved);
  EXPECT_EQ(std::get<std::string>(store.Values(kPageSetupKey).at("header")), "");
}

}  // namespace
}  // namespace orvenda::test
