// The keyboard shortcuts of the main window, the library window and the preview, pressed as a
// user presses them.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>

#include "base/cp1250.h"
#include "find_bar_widget.h"
#include "nahled_form_window.h"
#include "select_tree_form_window.h"
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

// Keys go to the focus widget of the active window, as on a desktop.
void Focus(QWidget* widget) {
  QApplication::setActiveWindow(widget->window());
  ASSERT_TRUE(QTest::qWaitForWindowActive(widget->window()));
  widget->setFocus();
  QApplication::processEvents();
  ASSERT_EQ(QApplication::focusWidget(), widget);
}

void AddNode(WindowEnv& env, const QString& name) {
  env.Find<QToolButton>("AddNodeSpeedButton")->click();
  test::TypeText(env.Find<QLineEdit>("TextEdit"), name);
  env.Find<QPushButton>("StoreBitBtn")->click();
}

TEST(Shortcuts, FileMenuKeysWorkAndWaitWhileAnEditIsOpen) {
  WindowEnv env;
  env.Start();
  // Where the desktop defines no key for a command, the usual one stands in.
  struct Shown {
    const char* action;
    QKeySequence::StandardKey key;
    QKeySequence otherwise;
  };
  const Shown shown[] = {{"New1", QKeySequence::New, {}},
                         {"Open1", QKeySequence::Open, {}},
                         {"Save1", QKeySequence::Save, {}},
                         {"SaveAs1", QKeySequence::SaveAs, Qt::CTRL | Qt::SHIFT | Qt::Key_S},
                         {"Konec1", QKeySequence::Quit, Qt::CTRL | Qt::Key_Q},
                         {"Delete1", QKeySequence::Delete, {}}};
  for (const Shown& s : shown) {
    const QList<QKeySequence> bindings = QKeySequence::keyBindings(s.key);
    auto* action = env.Find<QAction>(s.action);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->shortcut(), bindings.isEmpty() ? s.otherwise : bindings.first()) << s.action;
    EXPECT_FALSE(action->shortcut().isEmpty()) << s.action;
  }
  const QKeySequence saveAs = env.Find<QAction>("SaveAs1")->shortcut();

  AddNode(env, U("Dílna"));
  OrvendaTreeWidget* tree = env.Tree();
  ASSERT_EQ(test::Rows(tree), 1);
  Focus(tree);
  env.dialogs.saveFiles.push_back(env.Dir() / "Dílna");
  Press(tree, saveAs);
  EXPECT_TRUE(std::filesystem::exists(env.Dir() / "Dílna.RSK"));
  EXPECT_EQ(env.dialogs.saveFilters.size(), 1u);

  // An open edit: the keys of the disabled menu do nothing, Delete deletes a character.
  auto* text = env.Find<QLineEdit>("TextEdit");
  Focus(text);
  test::TypeText(text, "xy");
  ASSERT_TRUE(env.Find<QPushButton>("StoreBitBtn")->isEnabled());
  Press(text, saveAs);
  Press(text, QKeySequence::New);
  EXPECT_EQ(env.dialogs.saveFilters.size(), 1u);
  EXPECT_EQ(test::Rows(tree), 1);
  text->setCursorPosition(0);
  Press(text, QKeySequence::Delete);
  EXPECT_EQ(text->text(), U("ílnaxy"));
  EXPECT_TRUE(env.dialogs.questions.empty());
  Press(tree, QKeySequence::Delete);  // the tree is disabled while editing
  EXPECT_TRUE(env.dialogs.questions.empty());
  QTest::keyClick(text, Qt::Key_Escape);

  // Delete in the tree asks as the button does; No keeps the node, Yes deletes it.
  tree->setCurrentIndex(test::At(tree, {0}));
  Focus(tree);
  env.dialogs.yesNo = {false, true};
  Press(tree, QKeySequence::Delete);
  ASSERT_EQ(env.dialogs.questions.size(), 1u);
  EXPECT_EQ(env.dialogs.questions[0].text, W("Opravdu vymazat?"));
  EXPECT_EQ(test::Rows(tree), 1);
  Press(tree, QKeySequence::Delete);
  EXPECT_EQ(env.dialogs.questions.size(), 2u);
  EXPECT_EQ(test::Rows(tree), 0);

  // New with the change unsaved asks about it first (answered No: nothing saved).
  env.dialogs.yesNo = {false};
  Press(tree, QKeySequence::New);
  EXPECT_EQ(env.dialogs.questions.size(), 3u);
  EXPECT_EQ(env.W().windowTitle(), "Orvenda");
}

TEST(Shortcuts, EditKeysReachUndoRedoClipboardInsertAndF2) {
  WindowEnv env;
  env.Start();
  MainForm& form = env.W().Form();
  form.AskDelete = false;
  OrvendaTreeWidget* tree = env.Tree();
  // The menu sits between Soubor and Knihovny and shows its keys; Alt reaches it and its
  // entries, while the form's captions stay without the marks.
  const QList<QAction*> menus = env.W().menuBar()->actions();
  ASSERT_GE(menus.size(), 3);
  EXPECT_EQ(menus[0]->text(), U("&Soubor"));
  EXPECT_EQ(menus[1]->text(), U("&Úpravy"));
  EXPECT_EQ(menus[2]->text(), U("&Knihovny"));
  EXPECT_EQ(env.Find<QAction>("Zpet1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_EQ(env.Find<QAction>("Znovu1")->shortcuts(),
            (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Y),
                                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}));
  EXPECT_EQ(env.Find<QAction>("InsertRiziko1")->shortcut(), QKeySequence(Qt::Key_Insert));
  EXPECT_EQ(form.Upravy1.text, W("Úpravy"));
  EXPECT_EQ(form.Vyjmout1.text, W("Vyjmout"));
  EXPECT_TRUE(env.Find<QAction>("Najit1")->isEnabled()) << "it opens the find bar";

  AddNode(env, U("Dílna"));
  ASSERT_EQ(test::Rows(tree), 1);
  EXPECT_EQ(env.Find<QAction>("Zpet1")->text(), U("&Zpět: Uložit 'Dílna'"));
  Focus(tree);
  tree->setCurrentIndex(test::At(tree, {0}));

  // Insert: a risk under the node; F2: its first field.
  Press(tree, QKeySequence(Qt::Key_Insert));
  EXPECT_EQ(form.ActivePage, Page::RizikoTabSheet);
  EXPECT_EQ(test::Rows(tree, test::At(tree, {0})), 1);
  tree->setCurrentIndex(test::At(tree, {0}));
  Focus(tree);
  // Ctrl+Insert: a node under it.
  Press(tree, QKeySequence(Qt::CTRL | Qt::Key_Insert));
  EXPECT_EQ(form.ActivePage, Page::UzelTabSheet);
  EXPECT_EQ(test::Rows(tree, test::At(tree, {0})), 2);
  Focus(tree);
  Press(tree, QKeySequence(Qt::Key_F2));
  EXPECT_EQ(QApplication::focusWidget(), env.Find<QLineEdit>("TextEdit"));

  // Ctrl+Z twice takes both adds back, Ctrl+Y and Ctrl+Shift+Z redo them.
  Focus(tree);
  Press(tree, QKeySequence(Qt::CTRL | Qt::Key_Z));
  Press(tree, QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_EQ(test::Rows(tree, test::At(tree, {0})), 0);
  Press(tree, QKeySequence(Qt::CTRL | Qt::Key_Y));
  Press(tree, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  EXPECT_EQ(test::Rows(tree, test::At(tree, {0})), 2);

  // Ctrl+C on the node, Ctrl+V pastes its copy beside it; Ctrl+X cuts it, one step.
  tree->setCurrentIndex(test::At(tree, {0}));
  Focus(tree);
  Press(tree, QKeySequence(Qt::CTRL | Qt::Key_C));
  tree->setCurrentIndex(QModelIndex());
  form.TreeNT1.Select(nullptr);
  Focus(tree);
  Press(tree, QKeySequence(Qt::CTRL | Qt::Key_V));
  ASSERT_EQ(test::Rows(tree), 2);
  tree->setCurrentIndex(test::At(tree, {1}));
  Focus(tree);
  Press(tree, QKeySequence(Qt::CTRL | Qt::Key_X));
  EXPECT_EQ(test::Rows(tree), 1);
  Press(tree, QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_EQ(test::Rows(tree), 2);

  // In an edit field the keys are the field's: Ctrl+Z undoes typing, not a project step.
  tree->setCurrentIndex(test::At(tree, {0}));
  auto* text = env.Find<QLineEdit>("TextEdit");
  Focus(text);
  test::TypeText(text, "x");
  EXPECT_FALSE(env.Find<QAction>("Zpet1")->isEnabled());
  Press(text, QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_EQ(test::Rows(tree), 2);
  QTest::keyClick(text, Qt::Key_Escape);
}

TEST(Shortcuts, LibraryWindowDeleteFindAndFindNext) {
  WindowEnv env;
  env.Start();
  bool ran = false;
  test::OnNextModal([&](QWidget* modal) {
    auto* w = qobject_cast<SelectTreeFormWindow*>(modal);
    ASSERT_NE(w, nullptr);
    w->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);
    OrvendaTreeWidget* user = w->UserTree().Widget();
    for (const char* name : {"Sklad", "Kancelář", "Sklad venku"}) {
      user->setCurrentIndex(QModelIndex());  // each at the top level
      w->findChild<QToolButton*>("AddNodeSpeedButton")->click();
      test::TypeText(w->findChild<QLineEdit*>("TextEdit"), U(name));
      w->findChild<QPushButton*>("StoreBitBtn")->click();
    }
    ASSERT_EQ(test::Rows(user), 3);
    EXPECT_EQ(w->PopupMenu()->findChild<QAction*>("Delete1")->shortcut(),
              QKeySequence::keyBindings(QKeySequence::Delete).first());

    const auto item = [user](const char* text) {
      return user->model()
          ->match(test::At(user, {0}), Qt::DisplayRole, U(text), 1, Qt::MatchExactly)
          .value(0);
    };
    // Find opens the find bar under the trees, Esc closes it; the find dialog comes from its
    // button. Find next there and in the window goes on to the next match (records in the
    // order made: Sklad, Kancelář, Sklad venku).
    user->setCurrentIndex(item("Kancelář"));
    Focus(user);
    Press(user, QKeySequence::Find);
    auto* barEdit = w->FindBar()->findChild<QLineEdit*>("FindEdit");
    ASSERT_TRUE(barEdit->isVisible());
    LibraryFindDialog* find = w->FindDialog();
    EXPECT_FALSE(find->isVisible());
    QTest::keyClick(barEdit, Qt::Key_Escape);
    EXPECT_FALSE(barEdit->isVisible());
    EXPECT_TRUE(w->isVisible());  // Esc was the bar's
    w->findChild<QToolButton*>("FindSpeedButton")->click();
    ASSERT_TRUE(find->isVisible());
    test::TypeText(find->FindEdit(), U("SKLAD"));
    Focus(find->FindEdit());
    Press(find->FindEdit(), QKeySequence::FindNext);
    EXPECT_EQ(user->currentIndex(), item("Sklad venku"))
        << user->currentIndex().data().toString().toStdString();
    find->Cancel()->click();
    ASSERT_FALSE(find->isVisible());
    user->setCurrentIndex(item("Sklad"));
    Focus(user);
    Press(user, QKeySequence::FindNext);
    EXPECT_EQ(user->currentIndex(), item("Sklad venku"));
    EXPECT_FALSE(find->isVisible());

    // Delete in the tree: the question, then the item goes.
    env.dialogs.yesNo = {true};
    Press(user, QKeySequence::Delete);
    ASSERT_EQ(env.dialogs.questions.size(), 1u);
    EXPECT_EQ(env.dialogs.questions[0].caption, W("Vymazat"));
    EXPECT_EQ(test::Rows(user), 2);

    // While an edit is open neither Delete nor Find does anything.
    test::TypeText(w->findChild<QLineEdit*>("TextEdit"), "z");
    Press(user, QKeySequence::Delete);
    Press(w->findChild<QLineEdit*>("TextEdit"), QKeySequence::Find);
    EXPECT_EQ(env.dialogs.questions.size(), 1u);
    EXPECT_FALSE(find->isVisible());
    w->findChild<QPushButton*>("CancelBitBtn")->click();
    ran = true;
    w->findChild<QPushButton*>("CloseBitBtn")->click();
  });
  env.Find<QAction>("Edituj1")->trigger();
  EXPECT_TRUE(ran);
}

TEST(Shortcuts, PreviewPrintsAndClosesByKey) {
  WindowEnv env;
  env.Start();
  AddNode(env, U("Dílna"));
  int printDialogs = 0;
  bool closedByKey = false;
  test::OnNextModal([&](QWidget* modal) {
    auto* preview = qobject_cast<NahledFormWindow*>(modal);
    ASSERT_NE(preview, nullptr);
    preview->execDialog = [&](QDialog& dialog) {
      if (qobject_cast<QPrintDialog*>(&dialog) != nullptr) ++printDialogs;
      return false;  // the user cancels printing
    };
    QWidget* page = preview->findChild<QWidget*>("EmbeddedWB1");
    ASSERT_NE(page, nullptr);
    Focus(page);
    Press(page, QKeySequence::Print);
    EXPECT_EQ(printDialogs, 1);
    Press(page, QKeySequence::Close);
    closedByKey = !preview->isVisible();
    if (!closedByKey) preview->close();
  });
  env.Find<QAction>("Nahled")->trigger();
  EXPECT_TRUE(closedByKey);
  EXPECT_TRUE(env.dialogs.errors.empty());
}

}  // namespace
}  // namespace orvenda
