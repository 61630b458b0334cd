// The find bar under the main window's tree and the category colours of the tree's items.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextCursor>
#include <QToolButton>

#include "base/cp1250.h"
#include "find_bar_widget.h"
#include "model/project_table.h"
#include "select_tree_form_window.h"
#include "tree_images.h"
#include "ui_support.h"

namespace orvenda {
namespace {

using test::WindowEnv;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

void Press(QWidget* widget, const QKeySequence& keys) {
  ASSERT_FALSE(keys.isEmpty());
  QTest::keyClick(widget, keys[0].key(), keys[0].keyboardModifiers());
}

void Press(QWidget* widget, QKeySequence::StandardKey key) {
  const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
  ASSERT_FALSE(bindings.isEmpty());
  Press(widget, bindings.first());
}

void AddRow(Table& table, int32_t index, int32_t type, int32_t up, const char* text, int rating) {
  table.Append();
  table.Edit();
  table.SetInt(fld::kIndex, index);
  table.SetInt(fld::kType, type);
  table.SetInt(fld::kUpLink, up);
  table.SetText(fld::kText, W(text));
  if (rating != 0) {
    table.SetInt(fld::kPravdep, rating);
    table.SetInt(fld::kNasledky, rating);
    table.SetInt(fld::kHodnocen, rating);
  }
  table.Post();
}

class FindBarWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env.Start();
    MainForm& form = env.W().Form();
    Table& table = form.DataTable;
    AddRow(table, 1, kNodeType, 0, "Dílna", 0);
    AddRow(table, 2, kRiskType, 1, "Řezání", 5);  // 125: unacceptable
    AddRow(table, 3, kNodeType, 0, "Sklad", 0);
    AddRow(table, 4, kRiskType, 3, "Pád", 1);        // 1: insignificant
    AddRow(table, 5, kRiskType, 3, "řez prstu", 0);  // unrated
    AddRow(table, 6, kNodeType, 0, "Kancelář", 0);
    form.BuildTree();
    QApplication::setActiveWindow(&env.W());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&env.W()));
    env.Tree()->setFocus();
    QApplication::processEvents();
  }
  int32_t SelectedIndex() {
    TreeControl::Item item = env.W().Tree().Selected();
    return item == nullptr ? 0 : env.W().Tree().Data(item);
  }
  // The count follows the found item from the event loop.
  QString Count() {
    QApplication::processEvents();
    return env.Find<QWidget>("FindPanel")->findChild<QLabel*>()->text();
  }

  WindowEnv env;
};

TEST_F(FindBarWindowTest, CtrlFTypingF3AndShiftF3SelectTheMatches) {
  auto* bar = env.Find<QWidget>("FindPanel");
  auto* edit = env.Find<QLineEdit>("FindEdit");
  EXPECT_FALSE(bar->isVisible());
  Press(env.Tree(), QKeySequence::Find);
  ASSERT_TRUE(bar->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), edit);

  test::TypeText(edit, "rez");
  EXPECT_EQ(SelectedIndex(), 2);
  EXPECT_TRUE(env.Tree()->isExpanded(env.W().Tree().IndexOf(env.W().Tree().FindByData(1))));
  EXPECT_EQ(env.Find<QStackedWidget>("PageControl1")->currentWidget()->objectName(),
            "RizikoTabSheet");
  EXPECT_EQ(Count(), U("1 z 2"));
  Press(edit, QKeySequence::FindNext);
  EXPECT_EQ(SelectedIndex(), 5);  // below a collapsed node: shown
  EXPECT_EQ(Count(), U("2 z 2"));
  Press(edit, QKeySequence::FindNext);  // around the end
  EXPECT_EQ(SelectedIndex(), 2);
  Press(edit, QKeySequence::FindPrevious);
  EXPECT_EQ(SelectedIndex(), 5);
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(SelectedIndex(), 2);
  EXPECT_EQ(QApplication::focusWidget(), edit);  // typing goes on

  // With diacritics only the plain "rez" would do: nothing.
  env.Find<QCheckBox>("DiacriticsCheckBox")->click();
  EXPECT_EQ(Count(), U("Nenalezeno"));
  EXPECT_EQ(SelectedIndex(), 2);

  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), env.Tree());
}

TEST_F(FindBarWindowTest, ItemsShowTheirCategoryAndNodesTheHighestBelow) {
  const auto iconOf = [&](int32_t index) {
    QtTreeControl& tree = env.W().Tree();
    return qvariant_cast<QIcon>(tree.IndexOf(tree.FindByData(index)).data(Qt::DecorationRole))
        .cacheKey();
  };
  const int collapsed = TreeControl::kCollapsedNode;
  EXPECT_EQ(iconOf(1), BandTreeImage(collapsed, 5).cacheKey());  // one unacceptable risk
  EXPECT_EQ(iconOf(2), BandTreeImage(TreeControl::kRisk, 5).cacheKey());
  EXPECT_EQ(iconOf(3), BandTreeImage(collapsed, 1).cacheKey());  // unrated is lowest
  EXPECT_EQ(iconOf(4), BandTreeImage(TreeControl::kRisk, 1).cacheKey());
  EXPECT_EQ(iconOf(5), BandTreeImage(TreeControl::kRisk, 0).cacheKey());
  EXPECT_EQ(iconOf(6), TreeImages()[collapsed].cacheKey());  // no risk: the plain folder
  EXPECT_NE(BandTreeImage(collapsed, 5).cacheKey(), BandTreeImage(collapsed, 1).cacheKey());

  // A stored rating recolours the risk and its node at once.
  MainForm& form = env.W().Form();
  ASSERT_TRUE(form.DataTable.Locate(fld::kIndex, 5));
  form.DataTable.Edit();
  form.DataTable.SetInt(fld::kPravdep, 5);
  form.DataTable.SetInt(fld::kNasledky, 4);
  form.DataTable.SetInt(fld::kHodnocen, 4);
  form.DataTable.Post();
  EXPECT_EQ(iconOf(5), BandTreeImage(TreeControl::kRisk, 4).cacheKey());
  EXPECT_EQ(iconOf(3), BandTreeImage(collapsed, 4).cacheKey());
}

TEST_F(FindBarWindowTest, ZobrazitFiltersTheTreeAndTheStatusBarSaysSo) {
  auto* combo = env.Find<QComboBox>("ShowComboBox");
  ASSERT_EQ(combo->count(), 7);
  const auto filterStatus = [&] {
    for (QLabel* label : env.W().statusBar()->findChildren<QLabel*>())
      if (label->isVisible() && label->text().startsWith(U("Zobrazeno:"))) return label->text();
    return QString();
  };
  EXPECT_EQ(test::Rows(env.Tree()), 3);
  EXPECT_EQ(filterStatus(), "");
  combo->setCurrentIndex(5);
  emit combo->activated(5);
  EXPECT_EQ(test::Rows(env.Tree()), 1);  // Dílna with its unacceptable risk
  EXPECT_EQ(test::Rows(env.Tree(), env.W().Tree().IndexOf(env.W().Tree().FindByData(1))), 1);
  EXPECT_TRUE(filterStatus().contains(U("Nepřijatelné riziko"))) << filterStatus().toStdString();
  combo->setCurrentIndex(0);
  emit combo->activated(0);
  EXPECT_EQ(test::Rows(env.Tree()), 3);
  EXPECT_EQ(filterStatus(), "");
}

TEST_F(FindBarWindowTest, TheFoundTextIsSelectedInItsFieldWithoutChangingTheRecord) {
  MainForm& form = env.W().Form();
  const auto setText = [&](int32_t index, const char* field, const char* text) {
    ASSERT_TRUE(form.DataTable.Locate(fld::kIndex, index));
    form.DataTable.Edit();
    form.DataTable.SetText(field, W(text));
    form.DataTable.Post();
  };
  setText(4, fld::kOpatreni, "Zábradlí\r\nSíť pod lešením");
  setText(6, fld::kComment, "Židle a\r\nstoly\r\nOdpadkový koš");
  form.Modified = false;
  auto* edit = env.Find<QLineEdit>("FindEdit");
  Press(env.Tree(), QKeySequence::Find);
  const auto memoSelection = [&](const char* name) {
    auto* memo = env.Find<QPlainTextEdit>(name);
    const QTextCursor cursor = memo->textCursor();
    return std::pair{cursor.selectionStart(), cursor.selectedText()};
  };

  // In a memo after a line break: the break is one character there.
  test::TypeText(edit, U("sit pod"));
  EXPECT_EQ(SelectedIndex(), 4);
  EXPECT_EQ(memoSelection("OpatreniMemo"), (std::pair{9, U("Síť pod")}));
  // In the risk's name, as the field writes it.
  edit->clear();
  test::TypeText(edit, U("ŘEZ"));
  EXPECT_EQ(SelectedIndex(), 5);  // typing on from the selection
  auto* name = env.Find<QLineEdit>("DescrEdit");
  EXPECT_EQ(name->selectionStart(), 0);
  EXPECT_EQ(name->selectedText(), U("řez"));
  Press(edit, QKeySequence::FindNext);
  EXPECT_EQ(SelectedIndex(), 2);
  EXPECT_EQ(name->selectedText(), U("Řez"));
  // A node's note, past two line breaks; "ko" of "Odpadkový" is not the whole query.
  edit->clear();
  test::TypeText(edit, U("koš"));
  EXPECT_EQ(SelectedIndex(), 6);
  EXPECT_EQ(memoSelection("TextCommentMemo"), (std::pair{24, U("koš")}));
  EXPECT_EQ(env.Find<QStackedWidget>("PageControl1")->currentWidget()->objectName(),
            "UzelTabSheet");

  // Nothing changed: not the record, not the project, no edit open.
  EXPECT_FALSE(form.Modified);
  EXPECT_FALSE(form.EditState);
  ASSERT_TRUE(form.DataTable.Locate(fld::kIndex, 6));
  EXPECT_EQ(form.DataTable.GetText(fld::kComment), W("Židle a\r\nstoly\r\nOdpadkový koš"));
  EXPECT_EQ(QApplication::focusWidget(), edit);  // typing goes on in the bar
}

TEST(LibraryFindBarTest, CtrlFTypingF3AndShiftF3SelectTheLibrarysItems) {
  WindowEnv env;
  env.Start();
  bool ran = false;
  test::OnNextModal([&](QWidget* modal) {
    // A failed assertion returns early: the window still closes, so the test ends.
    struct CloseAtEnd {
      QWidget* window;
      ~CloseAtEnd() {
        if (window->isVisible()) window->close();
      }
    } closeAtEnd{modal};
    auto* w = qobject_cast<SelectTreeFormWindow*>(modal);
    ASSERT_NE(w, nullptr);
    // The shortcuts need the window active, which a busy machine may take a while to report.
    QApplication::setActiveWindow(w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    w->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);
    OrvendaTreeWidget* user = w->UserTree().Widget();
    // Risks at the top level: their descriptions are kept enciphered, and found plain.
    // (two lines each)
    const char* risks[][3] = {
        {"Pád z výšky", "Práce na", "střeše"},
        {"Hluk", "Stroje v dílně", "bez krytů"},
        {"Pořezání", "Ostré hrany", "plechů"},
    };
    for (const auto& [text, first, second] : risks) {
      user->setCurrentIndex(QModelIndex());
      w->findChild<QToolButton*>("AddRiskSpeedButton")->click();
      test::TypeText(w->findChild<QLineEdit*>("DescrEdit"), U(text));
      auto* description = w->findChild<QPlainTextEdit*>("RiskMemo");
      test::TypeText(description, U(first));
      QTest::keyClick(description, Qt::Key_Return);
      test::TypeText(description, U(second));
      w->findChild<QPushButton*>("StoreBitBtn")->click();
    }
    ASSERT_EQ(test::Rows(user), 3);
    const auto selected = [&] { return user->currentIndex().data().toString(); };

    user->setCurrentIndex(test::At(user, {0}));
    user->setFocus();
    Press(user, QKeySequence::Find);
    auto* edit = w->FindBar()->findChild<QLineEdit*>("FindEdit");
    ASSERT_TRUE(edit->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), edit);
    EXPECT_FALSE(w->FindDialog()->isVisible());
    test::TypeText(edit, U("kryt"));  // in an enciphered description only
    EXPECT_EQ(selected(), U("Hluk"));
    auto* memo = w->findChild<QPlainTextEdit*>("RiskMemo");
    EXPECT_EQ(memo->textCursor().selectedText(), U("kryt"));
    EXPECT_EQ(memo->textCursor().selectionStart(), 19);
    EXPECT_FALSE(w->Form().EditState);  // the selection is no edit

    edit->clear();
    test::TypeText(edit, U("re"));         // "střeše" and "Pořezání", "Ostré"
    EXPECT_EQ(selected(), U("Pořezání"));  // on from the selection
    Press(edit, QKeySequence::FindNext);
    EXPECT_EQ(selected(), U("Pád z výšky"));  // around the end
    Press(edit, QKeySequence::FindPrevious);
    EXPECT_EQ(selected(), U("Pořezání"));
    QApplication::processEvents();  // the count
    EXPECT_EQ(w->FindBar()->findChild<QWidget*>("FindPanel")->findChild<QLabel*>()->text(),
              U("2 z 2"));

    // The bar searches the library of the page shown: the built-in one is empty here.
    auto* pages = w->findChild<QTabWidget*>("PageControl1");
    pages->setCurrentIndex(0);
    edit->clear();
    test::TypeText(edit, U("Pořezání"));
    QApplication::processEvents();
    EXPECT_EQ(w->FindBar()->findChild<QWidget*>("FindPanel")->findChild<QLabel*>()->text(),
              U("Nenalezeno"));
    EXPECT_EQ(w->BuildInTree().Selected(), nullptr);
    pages->setCurrentIndex(1);
    user->setCurrentIndex(test::At(user, {0}));
    Press(edit, QKeySequence::FindNext);
    EXPECT_EQ(selected(), U("Pořezání"));
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_FALSE(edit->isVisible());
    EXPECT_TRUE(w->isVisible());
    ran = true;
    w->findChild<QPushButton*>("CloseBitBtn")->click();
  });
  env.Find<QAction>("Edituj1")->trigger();
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace orvenda
