// The Qt seams on their own: text conversion, settings, the tree control, the progress
// window, file-dialog filters, the error handler, the version text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>

#include "app/version_text.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "command_guard.h"
#include "progress_form_window.h"
#include "qt_dialogs.h"
#include "qt_progress.h"
#include "qt_settings_store.h"
#include "qt_text.h"
#include "qt_tree_control.h"
#include "support/test_support.h"
#include "ui_support.h"

namespace orvenda {
namespace {

TEST(QtText, CzechRoundTripAndUnmappableCharactersBecomeQuestionMarks) {
  const std::string czech = W("Příliš žluťoučký kůň – €");
  EXPECT_EQ(FromCp1250(czech), QString::fromUtf8("Příliš žluťoučký kůň – €"));
  EXPECT_EQ(ToCp1250(FromCp1250(czech)), czech);
  // The encoder alone would write 0x1A, which ends a dBase memo.
  const std::string mixed = ToCp1250(QString::fromUtf8("a→b日😀č"));
  EXPECT_EQ(mixed, "a?b??\xE8");
  EXPECT_EQ(mixed.find('\x1A'), std::string::npos);
}

TEST(QtSettingsStore, RegistryPathsMapOntoGroupsAndKeysExistOnceCreatedOrFilled) {
  test::TempDir dir;
  const QString file = QString::fromStdString((dir / "s.ini").string());
  EXPECT_EQ(QtSettingsStore::GroupOf("\\Software\\Tumbek\\Orvenda\\SetUp"), "SetUp");
  EXPECT_EQ(QtSettingsStore::GroupOf("Software\\Tumbek\\Orvenda\\TMainForm.MRUManager1"),
            "TMainForm.MRUManager1");
  EXPECT_EQ(QtSettingsStore::GroupOf("Software\\Microsoft\\Internet Explorer\\PageSetup"),
            "Software/Microsoft/Internet Explorer/PageSetup");
  {
    QtSettingsStore store(file);
    EXPECT_FALSE(store.KeyExists("\\Software\\Tumbek\\Orvenda\\SetUp"));
    EXPECT_FALSE(store.ReadInteger("\\Software\\Tumbek\\Orvenda\\SetUp", "AskExit"));
    store.CreateKey("\\Software\\Tumbek\\Orvenda\\SetUp");
    EXPECT_TRUE(store.KeyExists("\\Software\\Tumbek\\Orvenda\\SetUp"));
    store.WriteInteger("\\Software\\Tumbek\\Orvenda\\SetUp", "AskExit", 0);
    store.WriteString("\\Software\\Tumbek\\Orvenda\\TMainForm.MRUManager1", "Item_0",
                      W("/tmp/Dílna.RSK"));
  }
  QtSettingsStore again(file);  // what was written is in the file
  EXPECT_TRUE(again.KeyExists("\\Software\\Tumbek\\Orvenda\\SetUp"));
  EXPECT_EQ(again.ReadInteger("\\Software\\Tumbek\\Orvenda\\SetUp", "AskExit"), 0);
  EXPECT_EQ(again.ReadString("\\Software\\Tumbek\\Orvenda\\TMainForm.MRUManager1", "Item_0"),
            W("/tmp/Dílna.RSK"));
  EXPECT_FALSE(again.KeyExists("Software\\Microsoft\\Internet Explorer\\PageSetup"));
  again.DeleteKey("\\Software\\Tumbek\\Orvenda\\TMainForm.MRUManager1");
  EXPECT_FALSE(again.KeyExists("\\Software\\Tumbek\\Orvenda\\TMainForm.MRUManager1"));
  EXPECT_FALSE(again.ReadString("\\Software\\Tumbek\\Orvenda\\TMainForm.MRUManager1", "Item_0"));
  EXPECT_EQ(again.ReadInteger("\\Software\\Tumbek\\Orvenda\\SetUp", "AskExit"), 0);
}

class TreeControlTest : public ::testing::Test {
 protected:
  OrvendaTreeWidget widget;
  QtTreeControl tree{&widget};
};

TEST_F(TreeControlTest, FindByDataFollowsAddsMovesAndDeletes) {
  auto* a = tree.Add(nullptr, "A", TreeControl::kCollapsedNode, 1);
  auto* b = tree.Add(a, "B", TreeControl::kCollapsedNode, 2);
  auto* r = tree.Add(b, "R", TreeControl::kRisk, 3);
  auto* c = tree.Add(nullptr, "C", TreeControl::kCollapsedNode, 4);
  EXPECT_EQ(tree.FindByData(3), r);
  EXPECT_EQ(tree.Parent(r), b);
  EXPECT_EQ(tree.Image(r), TreeControl::kRisk);

  tree.Move(b, c);
  EXPECT_EQ(tree.Parent(b), c);
  EXPECT_EQ(tree.FindByData(3), r);
  EXPECT_EQ(tree.Children(c), std::vector<TreeControl::Item>{b});

  tree.Delete(c);  // takes B and R with it
  EXPECT_EQ(tree.FindByData(4), nullptr);
  EXPECT_EQ(tree.FindByData(2), nullptr);
  EXPECT_EQ(tree.FindByData(3), nullptr);
  EXPECT_EQ(tree.FindByData(1), a);
  EXPECT_EQ(tree.IndexedItems(), 1u);
  EXPECT_EQ(widget.model()->rowCount(), 1);

  tree.Clear();
  EXPECT_EQ(tree.FindByData(1), nullptr);
  EXPECT_EQ(tree.IndexedItems(), 0u);
}

TEST_F(TreeControlTest, EqualDataFindsTheFirstItemInTreeOrder) {
  auto* top = tree.Add(nullptr, "top", TreeControl::kCollapsedNode, 1);
  auto* late = tree.Add(nullptr, "late", TreeControl::kCollapsedNode, 7);
  auto* early = tree.Add(top, "early", TreeControl::kCollapsedNode, 7);
  EXPECT_EQ(tree.FindByData(7), early);
  tree.Delete(early);
  EXPECT_EQ(tree.FindByData(7), late);
}

TEST_F(TreeControlTest, SortsCzechCaptionsOneLevelOrAll) {
  // Czech collation: "ch" after "h", "č" after "c", "ř" after "r".
  auto* root = tree.Add(nullptr, "root", TreeControl::kCollapsedNode, 1);
  int data = 10;
  for (const char* caption : {"chodba", "hala", "čerpadlo", "cesta", "řezačka", "rampa"}) {
    auto* item = tree.Add(root, W(caption), TreeControl::kCollapsedNode, data++);
    tree.Add(item, "z", TreeControl::kRisk, data++);
    tree.Add(item, "a", TreeControl::kRisk, data++);
  }
  const auto captions = [&](TreeControl::Item parent) {
    std::vector<std::string> out;
    for (auto* item : tree.Children(parent)) out.push_back(tree.Caption(item));
    return out;
  };
  tree.SortChildren(root, false);
  EXPECT_EQ(captions(root), (std::vector<std::string>{"cesta", W("čerpadlo"), "hala", "chodba",
                                                      "rampa", W("řezačka")}));
  // One level only: the risks below keep their order.
  EXPECT_EQ(captions(tree.Children(root)[0]), (std::vector<std::string>{"z", "a"}));
  tree.SortChildren(nullptr, true);
  EXPECT_EQ(captions(tree.Children(root)[0]), (std::vector<std::string>{"a", "z"}));
  EXPECT_EQ(tree.FindByData(10), tree.Children(root)[3]);  // "chodba" still found by data
}

TEST_F(TreeControlTest, ExpandingFiresForNodesWithChildrenAndMoveKeepsTheSelection) {
  std::vector<TreeControl::Item> expanded, collapsed;
  tree.OnExpanded = [&](TreeControl::Item item) { expanded.push_back(item); };
  tree.OnCollapsed = [&](TreeControl::Item item) { collapsed.push_back(item); };
  int changes = 0;
  tree.OnChange = [&] { ++changes; };
  auto* a = tree.Add(nullptr, "A", TreeControl::kCollapsedNode, 1);
  auto* b = tree.Add(a, "B", TreeControl::kCollapsedNode, 2);
  auto* empty = tree.Add(nullptr, "E", TreeControl::kCollapsedNode, 3);
  tree.Add(b, "R", TreeControl::kRisk, 4);

  tree.Expand(nullptr, true);
  EXPECT_EQ(expanded, (std::vector<TreeControl::Item>{a, b}));
  EXPECT_FALSE(tree.IsExpanded(empty));
  tree.Collapse(a, true);
  EXPECT_EQ(collapsed, (std::vector<TreeControl::Item>{a, b}));

  // The view's "*" key expands every descendant, childless ones too; those stay closed.
  expanded.clear();
  widget.setCurrentIndex(tree.IndexOf(a));
  QTest::keyClick(&widget, Qt::Key_Asterisk);
  EXPECT_EQ(expanded, (std::vector<TreeControl::Item>{a, b}));
  widget.setCurrentIndex(tree.IndexOf(empty));
  QTest::keyClick(&widget, Qt::Key_Asterisk);
  EXPECT_FALSE(tree.IsExpanded(empty));
  EXPECT_EQ(expanded.size(), 2u);
  tree.Select(nullptr);
  changes = 0;

  tree.Select(b);
  EXPECT_EQ(changes, 1);
  tree.Select(b);  // no change, no event
  EXPECT_EQ(changes, 1);
  tree.Move(b, empty);
  EXPECT_EQ(tree.Selected(), b);
  EXPECT_EQ(changes, 1);
  tree.Select(nullptr);
  EXPECT_EQ(tree.Selected(), nullptr);
  EXPECT_EQ(changes, 2);
}

TEST_F(TreeControlTest, FocusAloneSelectsNothing) {
  int changes = 0;
  tree.OnChange = [&] { ++changes; };
  tree.Add(nullptr, "A", TreeControl::kCollapsedNode, 1);
  QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
  QApplication::sendEvent(&widget, &focus);
  EXPECT_EQ(tree.Selected(), nullptr);
  EXPECT_EQ(changes, 0);
  // The keyboard still reaches the items.
  QTest::keyClick(&widget, Qt::Key_Down);
  EXPECT_NE(tree.Selected(), nullptr);
  EXPECT_EQ(changes, 1);
}

TEST_F(TreeControlTest, CheckBoxesComeAndGo) {
  auto* a = tree.Add(nullptr, "A", TreeControl::kCollapsedNode, 1);
  tree.SetChecked(a, true);  // no boxes yet: ignored
  EXPECT_FALSE(tree.Checked(a));
  tree.SetCheckBoxes(true);
  auto* b = tree.Add(a, "B", TreeControl::kRisk, 2);
  tree.SetChecked(b, true);
  EXPECT_TRUE(tree.Checked(b));
  EXPECT_FALSE(tree.Checked(a));
  tree.SetCheckBoxes(false);
  EXPECT_FALSE(tree.Checked(b));
  EXPECT_FALSE(tree.IndexOf(b).data(Qt::CheckStateRole).isValid());
}

TEST(QtProgress, ShowsOnTopWithHourglassAndRationsRepaints) {
  ProgressFormWindow window;
  EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
  QtProgress progress(&window);

  progress.SetRepaintInterval(0);
  progress.ShowProgress(W("Vytvářím strom"), 10);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.TextLabel()->text(), QString::fromUtf8("Vytvářím strom"));
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  for (int i = 0; i < 3; ++i) progress.StepProgress();
  EXPECT_EQ(window.ProgressGauge()->value(), 3);
  progress.SetProgress(50);  // beyond the maximum: the bar stops at its end
  EXPECT_EQ(window.ProgressGauge()->value(), 10);
  EXPECT_EQ(progress.Repaints(), 5);
  progress.HideProgress();
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // With a long interval, a hundred thousand steps repaint nothing beyond the first showing.
  progress.SetRepaintInterval(3'600'000);
  progress.ShowProgress("x", 100'000);
  const int before = progress.Repaints();
  for (int i = 0; i < 100'000; ++i) progress.StepProgress();
  EXPECT_EQ(progress.Repaints(), before);
  progress.HideProgress();

  // Busy cursors nest and are all given back.
  progress.BeginBusy();
  progress.BeginBusy();
  progress.EndBusy();
  EXPECT_NE(QApplication::overrideCursor(), nullptr);
  progress.EndBusy();
  progress.EndBusy();  // one too many is harmless
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtDialogs, WindowsFiltersBecomeQtFilters) {
  EXPECT_EQ(QtDialogs::QtFilter(W("Projekt rizik (*.RSK)|*.RSK|Záloha rizik verze 1.xx "
                                  "(*.ZLB)|*.ZLB")),
            QString::fromUtf8("Projekt rizik (*.RSK);;Záloha rizik verze 1.xx (*.ZLB)"));
  EXPECT_EQ(QtDialogs::QtFilter("Tables|*.dbf;*.DBF"), "Tables (*.dbf *.DBF)");
  EXPECT_EQ(QtDialogs::QtFilter(""), "");
}

TEST(CommandGuard, AnEscapingErrorIsShownAndTheProgramGoesOn) {
  test::ScriptedDialogs dialogs;
  SetErrorDialogs(&dialogs);
  EXPECT_FALSE(RunCommand([] { throw Error(W("Soubor je poškozen: ř")); }));
  EXPECT_FALSE(RunCommand([] { throw std::runtime_error("plain"); }));
  bool ran = false;
  EXPECT_TRUE(RunCommand([&] { ran = true; }));
  SetErrorDialogs(nullptr);
  EXPECT_TRUE(ran);
  EXPECT_EQ(dialogs.errors, (std::vector<std::string>{W("Soubor je poškozen: ř"), "plain"}));
}

TEST(VersionText, DropsTheLastTwoParts) {
  EXPECT_EQ(ShortVersion("2.9.0.0"), "2.9");
  EXPECT_EQ(ShortVersion("3.10.2"), "3");
  EXPECT_EQ(ShortVersion("7"), "7");
  EXPECT_EQ(ProgramVersion(), "2.9");
}

}  // namespace
}  // namespace orvenda
