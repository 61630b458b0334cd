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
        w->BuildInTree().Widget()->setCurrentItem(nullptr);
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
        QTreeWidget* tree = w->BuildInTree().Widget();
        ASSERT_EQ(tree->topLevelItemCount(), 2);
        tree->topLevelItem(0)->setCheckState(0, Qt::Checked);  // Stroje, without Pila
        tree->topLevelItem(1)->setCheckState(0, Qt::Checked);  // Hluk
        if (std::getenv("ORVENDA_SCREENSHOTS") != nullptr) {
          w->grab().save(QString::fromUtf8(ORVENDA_SOURCE_DIR "/docs/library-window-ticked.png"));
        }
        In<QPushButton>(w, "OKBitBtn")->click();
        EXPECT_FALSE(w->isVisible());
        EXPECT_EQ(tree->topLevelItem(1)->checkState(0), Qt::Unchecked);
      },
      &ran);
  env.Find<QToolButton>("AddFromLibSpeedButton")->click();
  ASSERT_TRUE(ran);

  QTreeWidget* tree = env.Tree();
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  QTreeWidgetItem* workshop = tree->topLevelItem(0);
  ASSERT_EQ(workshop->childCount(), 2);
  EXPECT_EQ(workshop->child(0)->text(0), U("Stroje"));
  EXPECT_EQ(workshop->child(0)->childCount(), 0);
  EXPECT_EQ(workshop->child(1)->text(0), U("Hluk"));
  test::ClickItem(tree, workshop->child(1));
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
        QTreeWidget* tree = w->BuildInTree().Widget();
        ASSERT_EQ(tree->topLevelItemCount(), 1);
        ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
        EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), U("Stroje"));
        In<QPushButton>(w, "CloseBitBtn")->click();
      },
      &ran);
  env.Find<QAction>("Edituj1")->trigger();
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace orvenda
