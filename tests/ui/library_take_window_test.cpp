// Taking ticked library items into the project through the real windows.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
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

// Runs `work` in the next library window; it closes it itself.
void InNextLibraryWindow(const std::function<void(SelectTreeFormWindow*)>& work, bool* ran) {
  test::OnNextModal([work, ran](QWidget* modal) {
    auto* window = qobject_cast<SelectTreeFormWindow*>(modal);
    ASSERT_NE(window, nullptr);
    work(window);
    *ran = true;
  });
}

TEST(LibraryTakeWindow, TickedItemsLandUnderTheSelectedNodeWhenOkIsPressed) {
  WindowEnv env;
  test::WriteFileBytes(env.AdminMarker(), "");
  env.Start();
  EXPECT_TRUE(env.Find<QAction>("Aktu1")->isEnabled());

  // The administrator fills the built-in library: a node with a risk, and a risk on its own.
  bool ran = false;
  InNextLibraryWindow(
      [](SelectTreeFormWindow* w) {
        In<QToolButton>(w, "AddNodeSpeedButton")->click();
        test::TypeText(In<QLineEdit>(w, "TextEdit"), U("Stroje"));
        In<QPushButton>(w, "StoreBitBtn")->click();
        In<QToolButton>(w, "AddRiskSpeedButton")->click();
        test::TypeText(In<QLineEdit>(w, "DescrEdit"), U("Pila"));
        In<QPushButton>(w, "StoreBitBtn")->click();
        w->BuildInTree().Widget()->setCurrentIndex(QModelIndex());
        In<QToolButton>(w, "AddRiskSpeedButton")->click();
        test::TypeText(In<QLineEdit>(w, "DescrEdit"), U("Hluk"));
        In<QPlainTextEdit>(w, "RiskMemo")->setPlainText(U("Hlučný stroj"));
        In<QPushButton>(w, "StoreBitBtn")->click();
        In<QPushButton>(w, "CloseBitBtn")->click();
      },
      &ran);
  env.Find<QAction>("Edituj1")->trigger();
  ASSERT_TRUE(ran);

  env.Find<QToolButton>("AddNodeSpeedButton")->click();
  test::TypeText(env.Find<QLineEdit>("TextEdit"), U("Dílna"));
  env.Find<QPushButton>("StoreBitBtn")->click();

  ran = false;
  InNextLibraryWindow(
      [](SelectTreeFormWindow* w) {
        EXPECT_TRUE(In<QWidget>(w, "OKPanel")->isVisible());
        OrvendaTreeWidget* tree = w->BuildInTree().Widget();
        ASSERT_EQ(test::Rows(tree), 2);
        tree->model()->setData(test::At(tree, {0}), Qt::Checked,
                               Qt::CheckStateRole);  // Stroje, without Pila
        tree->model()->setData(test::At(tree, {1}), Qt::Checked, Qt::CheckStateRole);  // Hluk
        if (std::getenv("ORVENDA_SCREENSHOTS") != nullptr) {
          w->grab().save(QString::fromUtf8(ORVENDA_SOURCE_DIR "/docs/library-window-ticked.png"));
        }
        In<QPushButton>(w, "OKBitBtn")->click();
        EXPECT_FALSE(w->isVisible());
        EXPECT_EQ(test::At(tree, {1}).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
      },
      &ran);
  env.Find<QToolButton>("AddFromLibSpeedButton")->click();
  ASSERT_TRUE(ran);

  OrvendaTreeWidget* tree = env.Tree();
  ASSERT_EQ(test::Rows(tree), 1);
  QModelIndex workshop = test::At(tree, {0});
  ASSERT_EQ(test::Rows(tree, workshop), 2);
  EXPECT_EQ(test::At(tree, {0, 0}).data().toString(), U("Stroje"));
  EXPECT_EQ(test::Rows(tree, test::At(tree, {0, 0})), 0);
  EXPECT_EQ(test::At(tree, {0, 1}).data().toString(), U("Hluk"));
  test::ClickItem(tree, test::At(tree, {0, 1}));
  EXPECT_EQ(env.Find<QPlainTextEdit>("RiskMemo")->toPlainText(), U("Hlučný stroj"));
  if (std::getenv("ORVENDA_SCREENSHOTS") != nullptr) {
    env.W().grab().save(QString::fromUtf8(ORVENDA_SOURCE_DIR "/docs/project-after-library-ok.png"));
  }
}

TEST(LibraryTakeWindow, ExportedBranchAppliedWithAktualizaceShowsAtTheNextStart) {
  WindowEnv env;
  test::WriteFileBytes(env.AdminMarker(), "");
  env.Start();
  bool ran = false;
  InNextLibraryWindow(
      [](SelectTreeFormWindow* w) {
        In<QToolButton>(w, "AddNodeSpeedButton")->click();
        test::TypeText(In<QLineEdit>(w, "TextEdit"), U("Stroje"));
        In<QPushButton>(w, "StoreBitBtn")->click();
        In<QAction>(w, "Export1")->trigger();  // the selected node, into Zaloha/Data.akt
        In<QPushButton>(w, "CloseBitBtn")->click();
      },
      &ran);
  env.Find<QAction>("Edituj1")->trigger();
  ASSERT_TRUE(ran);
  const std::filesystem::path akt = env.ProgramDir() / "Zaloha" / "Data.akt";
  ASSERT_TRUE(std::filesystem::exists(akt));

  env.dialogs.openFiles.push_back(akt);
  env.Find<QAction>("Aktu1")->trigger();
  EXPECT_TRUE(env.dialogs.errors.empty());
  env.Stop();
  env.Start();
  ran = false;
  InNextLibraryWindow(
      [](SelectTreeFormWindow* w) {
        OrvendaTreeWidget* tree = w->BuildInTree().Widget();
        ASSERT_EQ(test::Rows(tree), 1);
        ASSERT_EQ(test::Rows(tree, test::At(tree, {0})), 1);
        EXPECT_EQ(test::At(tree, {0, 0}).data().toString(), U("Stroje"));
        In<QPushButton>(w, "CloseBitBtn")->click();
      },
      &ran);
  env.Find<QAction>("Edituj1")->trigger();
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace orvenda
