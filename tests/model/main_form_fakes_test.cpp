// The fakes other tests drive the forms with: they must behave like the real seams, or the
// form tests prove nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "base/cp1250.h"
#include "support/fake_tree_control.h"
#include "support/fakes.h"

namespace orvenda::test {
namespace {

TEST(FakeTreeControlTest, FindByDataPrefersTheFirstItemInTreeOrder) {
  FakeTreeControl tree;
  TreeControl::Item a = tree.Add(nullptr, "a", 0, 1);
  TreeControl::Item b = tree.Add(a, "b", 0, 7);
  TreeControl::Item placeholder = tree.Add(nullptr, "$$", 0, 7);  // added later, stands later
  EXPECT_EQ(tree.FindByData(7), b);
  tree.Move(placeholder, nullptr);
  tree.Move(a, nullptr);  // now the placeholder comes first
  EXPECT_EQ(tree.FindByData(7), placeholder);
  tree.Delete(placeholder);
  EXPECT_EQ(tree.FindByData(7), b);
  EXPECT_EQ(tree.ItemsWithData(7).size(), 1u);
  EXPECT_EQ(tree.FindByData(99), nullptr);
}

TEST(FakeTreeControlTest, DeletingTheSelectionSelectsNextThenPreviousThenParent) {
  FakeTreeControl tree;
  int changes = 0;
  tree.OnChange = [&] { ++changes; };
  TreeControl::Item top = tree.Add(nullptr, "top", 0, 1);
  TreeControl::Item x = tree.Add(top, "x", 2, 2);
  TreeControl::Item y = tree.Add(top, "y", 2, 3);
  TreeControl::Item z = tree.Add(top, "z", 2, 4);
  tree.Select(x);
  EXPECT_TRUE(tree.IsExpanded(top)) << "selecting shows the item";
  tree.Delete(x);
  EXPECT_EQ(tree.Selected(), y);
  tree.Select(z);
  tree.Delete(z);
  EXPECT_EQ(tree.Selected(), y);
  tree.Delete(y);
  EXPECT_EQ(tree.Selected(), top);
  tree.Delete(top);
  EXPECT_EQ(tree.Selected(), nullptr);
  EXPECT_EQ(changes, 6);
  EXPECT_EQ(tree.Count(), 0u);
  EXPECT_THROW(tree.Caption(top), std::logic_error) << "a deleted item is no item";
}

TEST(FakeTreeControlTest, MovingAnItemIntoItsOwnSubtreeIsRefused) {
  FakeTreeControl tree;
  TreeControl::Item a = tree.Add(nullptr, "a", 0, 1);
  TreeControl::Item b = tree.Add(a, "b", 0, 2);
  EXPECT_THROW(tree.Move(a, b), std::logic_error);
  EXPECT_THROW(tree.Move(a, a), std::logic_error);
  EXPECT_EQ(tree.Parent(b), a);
}

TEST(FakeTreeControlTest, CzechCollation) {
  std::vector<std::string> words = {W("Žebřík"), "chodba", "Hala",   W("čerpadlo"), "Cesta",
                                    "dvur",      "10",     "2",      W("Řez"),      "rampa",
                                    W("Šatna"),  "sklad",  W("Zeď"), W("Ábel"),     "Adam"};
  std::sort(words.begin(), words.end(), FakeTreeControl::CzechLess);
  const std::vector<std::string> expected = {
      "10",     "2",     W("Ábel"), "Adam",  "Cesta",    W("čerpadlo"), "dvur",     "Hala",
      "chodba", "rampa", W("Řez"),  "sklad", W("Šatna"), W("Zeď"),      W("Žebřík")};
  EXPECT_EQ(words, expected);
}

TEST(FakeTreeControlTest, ExpandAndCollapseChangeOnlyItemsWithChildren) {
  FakeTreeControl tree;
  std::vector<TreeControl::Item> expanded, collapsed;
  tree.OnExpanded = [&](TreeControl::Item item) { expanded.push_back(item); };
  tree.OnCollapsed = [&](TreeControl::Item item) { collapsed.push_back(item); };
  TreeControl::Item a = tree.Add(nullptr, "a", 0, 1);
  TreeControl::Item b = tree.Add(a, "b", 0, 2);
  TreeControl::Item leaf = tree.Add(b, "leaf", 0, 3);
  tree.Expand(a, true);
  EXPECT_EQ(expanded, (std::vector<TreeControl::Item>{a, b}));
  EXPECT_FALSE(tree.IsExpanded(leaf));
  tree.Collapse(a, false);
  EXPECT_EQ(collapsed, (std::vector<TreeControl::Item>{a}));
  EXPECT_TRUE(tree.IsExpanded(b));
}

TEST(FakesTest, ScriptedDialogsRefuseUnexpectedQuestions) {
  ScriptedDialogs dialogs;
  dialogs.answers = {true};
  EXPECT_TRUE(dialogs.AskYesNo("q", "c"));
  EXPECT_THROW(dialogs.AskYesNo("again", "c"), std::logic_error);
  dialogs.defaultAnswer = false;
  EXPECT_FALSE(dialogs.AskYesNo("third", "c"));
  EXPECT_EQ(dialogs.questions.size(), 3u);
  dialogs.openAnswers.push_back(std::nullopt);
  EXPECT_EQ(dialogs.OpenFile("f", "/"), std::nullopt);
  EXPECT_THROW(dialogs.OpenFile("f", "/"), std::logic_error);
}

TEST(FakesTest, MemorySettingsStoreLooksLikeTheRegistry) {
  MemorySettingsStore store;
  EXPECT_FALSE(store.KeyExists("\\Software\\Tumbek"));
  store.WriteInteger("\\Software\\Tumbek\\Orvenda\\SetUp", "AskDelete", 0);
  EXPECT_TRUE(store.KeyExists("software\\TUMBEK"));
  EXPECT_EQ(store.ReadInteger("Software\\Tumbek\\Orvenda\\setup", "askdelete"), 0);
  EXPECT_EQ(store.ReadString("Software\\Tumbek\\Orvenda\\SetUp", "AskDelete"), std::nullopt);
  store.WriteString("\\Software\\Tumbek\\Orvenda\\X", "Item_0", "a");
  store.DeleteKey("\\Software\\Tumbek\\Orvenda");
  EXPECT_FALSE(store.KeyExists("\\Software\\Tumbek\\Orvenda\\SetUp"));
  EXPECT_EQ(store.ReadString("\\Software\\Tumbek\\Orvenda\\X", "Item_0"), std::nullopt);
  EXPECT_TRUE(store.KeyExists("\\Software\\Tumbek"));
}

}  // namespace
}  // namespace orvenda::test
