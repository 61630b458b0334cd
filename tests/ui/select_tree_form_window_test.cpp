// The library window driven through its widgets.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <cstdlib>

#include "base/cp1250.h"
#include "select_tree_form_window.h"
#include "ui_support.h"

namespace orvenda {
namespace {

using test::WindowEnv;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

template <typename T>
T* In(QWidget* window, const char* name) {
  T* found = window->findChild<T*>(QString::fromLatin1(name));
  if (found == nullptr) ADD_FAILURE() << "no widget " << name;
  return found;
}

// Saves a picture of the window into docs/ when ORVENDA_SCREENSHOTS is set.
void Screenshot(QWidget* window, const char* name) {
  if (std::getenv("ORVENDA_SCREENSHOTS") == nullptr) return;
  window->grab().save(QString::fromUtf8(ORVENDA_SOURCE_DIR "/docs/") + name);
}

// Opens "Knihovny" -> "Editace..." and runs `work` in the library window, which then closes.
void InLibraryWindow(WindowEnv& env, const std::function<void(SelectTreeFormWindow*)>& work) {
  bool ran = false;
  test::OnNextModal([&](QWidget* modal) {
    auto* window = qobject_cast<SelectTreeFormWindow*>(modal);
    ASSERT_NE(window, nullptr);
    work(window);
    ran = true;
    In<QPushButton>(window, "CloseBitBtn")->click();
  });
  env.Find<QAction>("Edituj1")->trigger();
  EXPECT_TRUE(ran);
}

TEST(LibraryWindow, EditTheUserLibraryFindAWordAndFindItAgainAfterARestart) {
  WindowEnv env;
  env.Start();
  ASSERT_TRUE(env.Find<QAction>("Edituj1")->isEnabled());
  InLibraryWindow(env, [&](SelectTreeFormWindow* w) {
    EXPECT_EQ(w->windowTitle(), U("Knihovna rizik"));
    auto* pages = In<QTabWidget>(w, "PageControl1");
    EXPECT_EQ(pages->tabText(0), U("Základní knihovna"));
    EXPECT_EQ(pages->tabText(1), U("Uživatelská knihovna"));
    // The built-in library is read-only without the administrator's file.
    EXPECT_FALSE(In<QToolButton>(w, "AddNodeSpeedButton")->isVisible());
    EXPECT_EQ(In<QToolButton>(w, "FindSpeedButton")->toolTip(), U("Najít"));
    EXPECT_FALSE(In<QWidget>(w, "OKPanel")->isVisible());

    pages->setCurrentIndex(1);
    EXPECT_EQ(w->Form().ActiveLibrary, kUserLibrary);
    In<QToolButton>(w, "AddNodeSpeedButton")->click();
    auto* right = In<QStackedWidget>(w, "PageControl2");
    EXPECT_EQ(right->currentWidget()->objectName(), "UzelTabSheet");
    test::TypeText(In<QLineEdit>(w, "TextEdit"), U("Dílna"));
    EXPECT_FALSE(pages->isEnabled());
    EXPECT_FALSE(In<QPushButton>(w, "CloseBitBtn")->isEnabled());
    In<QPushButton>(w, "StoreBitBtn")->click();
    EXPECT_TRUE(pages->isEnabled());

    In<QToolButton>(w, "AddRiskSpeedButton")->click();
    EXPECT_EQ(right->currentWidget()->objectName(), "RizikoTabSheet");
    // The button panel moved onto the risk page.
    EXPECT_TRUE(right->currentWidget()->isAncestorOf(In<QWidget>(w, "EditButtonPanel")));
    test::TypeText(In<QLineEdit>(w, "DescrEdit"), U("Pád"));
    In<QPlainTextEdit>(w, "RiskMemo")->setPlainText(U("Pád z výšky\nna schodech"));
    In<QSpinBox>(w, "ExistenceSpinEdit")->setValue(4);
    In<QPushButton>(w, "StoreBitBtn")->click();
    OrvendaTreeWidget* user = w->UserTree().Widget();
    ASSERT_EQ(test::Rows(user), 1);
    ASSERT_EQ(test::Rows(user, test::At(user, {0})), 1);
    EXPECT_EQ(test::At(user, {0, 0}).data().toString(), U("Pád"));
    Screenshot(w, "library-window.png");

    // Find: the dialog of our own, searching the deciphered description.
    user->setCurrentIndex(QModelIndex());
    In<QToolButton>(w, "FindSpeedButton")->click();
    LibraryFindDialog* find = w->FindDialog();
    ASSERT_TRUE(find->isVisible());
    EXPECT_EQ(find->windowTitle(), U("Najít"));
    EXPECT_EQ(find->WholeWord()->text(), U("Pouze &celá slova"));
    EXPECT_FALSE(find->FindNext()->isEnabled());
    test::TypeText(find->FindEdit(), U("schodech"));
    find->WholeWord()->setChecked(true);
    find->FindNext()->click();
    EXPECT_EQ(user->currentIndex(), test::At(user, {0, 0}));
    Screenshot(find, "library-find-dialog.png");
    find->FindNext()->click();
    ASSERT_EQ(env.dialogs.warnings.size(), 1u);
    EXPECT_EQ(env.dialogs.warnings[0], W("Nebyl nalezen další odpovídající záznam."));
    find->Cancel()->click();
    EXPECT_FALSE(find->isVisible());
    EXPECT_FALSE(w->Form().FindDialogOpen);
  });

  env.Stop();
  env.Start();
  InLibraryWindow(env, [&](SelectTreeFormWindow* w) {
    In<QTabWidget>(w, "PageControl1")->setCurrentIndex(1);
    OrvendaTreeWidget* user = w->UserTree().Widget();
    ASSERT_EQ(test::Rows(user), 1);
    EXPECT_EQ(test::At(user, {0}).data().toString(), U("Dílna"));
    user->setCurrentIndex(test::At(user, {0, 0}));
    EXPECT_EQ(In<QPlainTextEdit>(w, "RiskMemo")->toPlainText(), U("Pád z výšky\nna schodech"));
    EXPECT_EQ(In<QSpinBox>(w, "ExistenceSpinEdit")->value(), 4);
  });
}

TEST(LibraryWindow, CopiedBranchPastesIntoTheProjectTree) {
  WindowEnv env;
  test::WriteFileBytes(env.AdminMarker(), "");
  test::WriteFileBytes(env.ProgramDir() / "Language.lng",
                       W("[Translations]\r\nSelectTreeForm.UserTabSheet.Caption=Moje rizika\r\n"
                         "SelectTreeForm.Copy1.Caption=Kopie\r\n"));
  env.Start();
  InLibraryWindow(env, [&](SelectTreeFormWindow* w) {
    EXPECT_EQ(In<QTabWidget>(w, "PageControl1")->tabText(1), U("Moje rizika"));
    EXPECT_EQ(In<QAction>(w, "Copy1")->text(), U("Kopie"));
    // The administrator edits the built-in library too.
    EXPECT_TRUE(In<QToolButton>(w, "SaveLibSpeedButton")->isVisible());
    In<QToolButton>(w, "AddNodeSpeedButton")->click();
    test::TypeText(In<QLineEdit>(w, "TextEdit"), U("Stroje"));
    In<QPushButton>(w, "StoreBitBtn")->click();
    In<QToolButton>(w, "AddRiskSpeedButton")->click();
    test::TypeText(In<QLineEdit>(w, "DescrEdit"), U("Pila"));
    In<QPlainTextEdit>(w, "RiskMemo")->setPlainText(U("Řez"));
    In<QPushButton>(w, "StoreBitBtn")->click();
    OrvendaTreeWidget* builtIn = w->BuildInTree().Widget();
    builtIn->setCurrentIndex(test::At(builtIn, {0}));
    w->Form().Copy1Click();
    builtIn->expandAll();
    Screenshot(w, "library-window-built-in.png");
  });
  env.W().Form().Insert1Click();
  // CreateLang writes the library window's texts with the others.
  env.W().CreateLang1Click();
  const std::string language = test::ReadFileBytes(env.ProgramDir() / "Language.lng");
  EXPECT_NE(language.find(W("SelectTreeForm.Caption=Knihovna rizik")), std::string::npos);
  EXPECT_NE(language.find(W("SelectTreeForm.BuildInTabSheet.Caption=Základní knihovna")),
            std::string::npos);
  EXPECT_NE(language.find("SelectTreeForm.FindSpeedButton.Hint="), std::string::npos);
  OrvendaTreeWidget* tree = env.Tree();
  ASSERT_EQ(test::Rows(tree), 1);
  EXPECT_EQ(test::At(tree, {0}).data().toString(), U("Stroje"));
  test::ClickItem(tree, test::At(tree, {0}));
  tree->expandAll();
  test::ClickItem(tree, test::At(tree, {0, 0}));
  EXPECT_EQ(env.Find<QPlainTextEdit>("RiskMemo")->toPlainText(), U("Řez"));
}

}  // namespace
}  // namespace orvenda

namespace orvenda {
namespace {

TEST(LibraryWindow, SelectionModeShowsCheckBoxesAndTheOkPanel) {
  WindowEnv env;
  env.Start();
  InLibraryWindow(env, [&](SelectTreeFormWindow* w) {
    In<QTabWidget>(w, "PageControl1")->setCurrentIndex(1);
    In<QToolButton>(w, "AddNodeSpeedButton")->click();
    test::TypeText(In<QLineEdit>(w, "TextEdit"), U("Uzel"));
    In<QPushButton>(w, "StoreBitBtn")->click();
  });
  SelectTreeFormWindow* w = env.W().SelectTreeFormWin();
  bool ran = false;
  test::OnNextModal([&](QWidget*) {
    QModelIndex item = test::At(w->UserTree().Widget(), {0});
    ASSERT_TRUE(item.isValid());
    EXPECT_TRUE(item.data(Qt::CheckStateRole).isValid());
    EXPECT_TRUE(In<QWidget>(w, "OKPanel")->isVisible());
    EXPECT_FALSE(In<QToolButton>(w, "AddNodeSpeedButton")->isVisible());
    EXPECT_TRUE(In<QLineEdit>(w, "TextEdit")->isReadOnly());
    ran = true;
    In<QPushButton>(w, "CloseBitBtn")->click();
  });
  EXPECT_EQ(w->Form().Execute(LibraryMode::Selection), SelectTreeForm::ModalResult::Cancel);
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace orvenda
