// The main window driven through its widgets, as a user works with it.
#include <gtest/gtest.h>

#include <algorithm>

#include <QSplitter>

#include <QScreen>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QToolButton>

#include "about_form_window.h"
#include "base/cp1250.h"
#include "base/settings.h"
#include "help_window.h"
#include "setup_form_window.h"
#include "ui_support.h"

namespace orvenda {
namespace {

using test::ClickItem;
using test::WindowEnv;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QString CurrentPage(WindowEnv& env) {
  return env.Find<QStackedWidget>("PageControl1")->currentWidget()->objectName();
}

// The recent-file items that follow the last separator of the "Soubor" menu.
std::vector<QAction*> RecentItems(WindowEnv& env) {
  std::vector<QAction*> items;
  for (QAction* action : env.Find<QMenu>("Soubor1")->actions()) {
    if (action->isSeparator()) {
      items.clear();
    } else if (action->objectName().isEmpty() && action->isVisible()) {
      items.push_back(action);
    }
  }
  return items;
}

TEST(MainWindow, BuildRateSaveNewAndReopenFromTheRecentList) {
  WindowEnv env;
  env.Start();
  OrvendaTreeWidget* tree = env.Tree();
  EXPECT_EQ(env.W().windowTitle(), "Orvenda");
  EXPECT_EQ(CurrentPage(env), "NoneTabSheet");
  EXPECT_EQ(env.Find<QToolButton>("AddNodeSpeedButton")->toolTip(), U("Přidat uzel"));
  EXPECT_EQ(env.Find<QToolButton>("DeleteSpeedButton")->toolTip(), U("Vymazat"));

  // A node: typed, then stored with Enter in the one-line field.
  env.Find<QToolButton>("AddNodeSpeedButton")->click();
  ASSERT_EQ(test::Rows(tree), 1);
  EXPECT_EQ(CurrentPage(env), "UzelTabSheet");
  auto* textEdit = env.Find<QLineEdit>("TextEdit");
  test::TypeText(textEdit, U("Dílna"));
  EXPECT_TRUE(env.Find<QPushButton>("StoreBitBtn")->isEnabled());
  EXPECT_FALSE(env.Find<QWidget>("ObjectPanel")->isEnabled());
  EXPECT_FALSE(env.Find<QMenu>("Soubor1")->menuAction()->isEnabled());
  EXPECT_FALSE(env.Find<QAction>("Obsahnpovdy1")->isEnabled());  // F1 waits too
  QTest::keyClick(textEdit, Qt::Key_Return);
  EXPECT_FALSE(env.Find<QPushButton>("StoreBitBtn")->isEnabled());
  EXPECT_TRUE(env.Find<QWidget>("ObjectPanel")->isEnabled());
  EXPECT_EQ(test::At(tree, {0}).data().toString(), U("Dílna"));
  EXPECT_EQ(env.W().StatusPanel(0)->text(), " *");

  // A risk under it: texts, a memo of two lines (Enter there is a new line), ratings.
  env.Find<QToolButton>("AddRiskSpeedButton")->click();
  EXPECT_EQ(CurrentPage(env), "RizikoTabSheet");
  EXPECT_EQ(env.W().focusWidget(), env.Find<QWidget>("RiskSourceEdit"));
  test::TypeText(env.Find<QLineEdit>("RiskSourceEdit"), U("Lis"));
  test::TypeText(env.Find<QLineEdit>("DescrEdit"), U("Přiskřípnutí ruky"));
  auto* riskMemo = env.Find<QPlainTextEdit>("RiskMemo");
  test::TypeText(riskMemo, U("první"));
  QTest::keyClick(riskMemo, Qt::Key_Return);
  test::TypeText(riskMemo, U("druhá"));
  EXPECT_TRUE(env.Find<QPushButton>("StoreBitBtn")->isEnabled());  // still editing
  env.Find<QSpinBox>("ExistenceSpinEdit")->setValue(3);
  env.Find<QSpinBox>("NasledkySpinEdit")->setValue(4);
  env.Find<QSpinBox>("NazorSpinEdit")->setValue(2);
  EXPECT_TRUE(env.Find<QPushButton>("StoreBitBtn")->isEnabled());
  EXPECT_TRUE(env.Find<QSpinBox>("ExistenceSpinEdit")->toolTip().startsWith(U("1. Nahodilá\n")));
  // Enter in a rating control stores too.
  QTest::keyClick(env.Find<QSpinBox>("NazorSpinEdit"), Qt::Key_Return);
  EXPECT_FALSE(env.Find<QPushButton>("StoreBitBtn")->isEnabled());
  QModelIndex node = test::At(tree, {0});
  ASSERT_EQ(test::Rows(tree, node), 1);
  EXPECT_EQ(test::At(tree, {0, 0}).data().toString(), U("Přiskřípnutí ruky"));
  EXPECT_EQ(env.W().StatusPanel(1)->text(), U("Míra rizika: 24 Mírné riziko"));

  // Save as: the name comes from the dialog, the extension is added.
  env.dialogs.saveFiles.push_back(env.Dir() / "Dílna");
  env.Find<QAction>("SaveAs1")->trigger();
  const std::filesystem::path saved = env.Dir() / "Dílna.RSK";
  EXPECT_TRUE(std::filesystem::exists(saved));
  EXPECT_EQ(env.W().windowTitle(), U("Dílna - Orvenda"));
  EXPECT_EQ(env.W().StatusPanel(0)->text(), "");
  ASSERT_EQ(RecentItems(env).size(), 1u);
  EXPECT_EQ(RecentItems(env)[0]->text(), QString::fromStdString(saved.string()));

  // New: an empty tree and the empty page.
  env.Find<QAction>("New1")->trigger();
  EXPECT_EQ(test::Rows(tree), 0);
  EXPECT_EQ(CurrentPage(env), "NoneTabSheet");
  EXPECT_EQ(env.W().windowTitle(), "Orvenda");

  // Reopened from the recent list, everything is there.
  RecentItems(env)[0]->trigger();
  ASSERT_EQ(test::Rows(tree), 1);
  EXPECT_EQ(env.W().windowTitle(), U("Dílna - Orvenda"));
  tree->expandAll();
  ClickItem(tree, test::At(tree, {0, 0}));
  EXPECT_EQ(CurrentPage(env), "RizikoTabSheet");
  EXPECT_EQ(env.Find<QLineEdit>("RiskSourceEdit")->text(), U("Lis"));
  EXPECT_EQ(riskMemo->toPlainText(), U("první\ndruhá"));
  EXPECT_EQ(env.Find<QSpinBox>("NasledkySpinEdit")->value(), 4);
  EXPECT_FALSE(env.Find<QPushButton>("StoreBitBtn")->isEnabled());  // showing is no edit

  // Esc discards an edit.
  test::TypeText(env.Find<QLineEdit>("DescrEdit"), "xyz");
  QTest::keyClick(env.Find<QLineEdit>("DescrEdit"), Qt::Key_Escape);
  EXPECT_EQ(env.Find<QLineEdit>("DescrEdit")->text(), U("Přiskřípnutí ruky"));
  EXPECT_FALSE(env.Find<QPushButton>("CancelBitBtn")->isEnabled());

  // The exit question, then the recent list is kept for the next run.
  env.Stop();
  ASSERT_FALSE(env.dialogs.questions.empty());
  EXPECT_EQ(env.dialogs.questions.back().text, W("Opravdu ukončit program?"));
  env.Start();
  ASSERT_EQ(RecentItems(env).size(), 1u);
}

TEST(MainWindow, DraggingABranchMovesItUnderTheTargetAndRefusesItsOwnDescendants) {
  WindowEnv env;
  env.Start();
  OrvendaTreeWidget* tree = env.Tree();
  const auto addNode = [&](const char* name) {
    env.Find<QToolButton>("AddNodeSpeedButton")->click();
    test::TypeText(env.Find<QLineEdit>("TextEdit"), name);
    env.Find<QPushButton>("StoreBitBtn")->click();
  };
  addNode("A");   // top level
  addNode("A1");  // under A (A was selected)
  ClickItem(tree, test::At(tree, {0}));
  env.W().Tree().Select(nullptr);
  addNode("B");  // nothing selected: top level
  ASSERT_EQ(test::Rows(tree), 2);
  QtTreeControl& control = env.W().Tree();
  TreeControl::Item a = control.Children(nullptr)[0];
  TreeControl::Item b = control.Children(nullptr)[1];
  ASSERT_EQ(control.Children(a).size(), 1u);
  TreeControl::Item a1 = control.Children(a)[0];

  OrvendaTreeWidget* widget = tree;
  ClickItem(tree, control.IndexOf(a));  // the dragged item is the selected one
  EXPECT_FALSE(widget->OnDragOver(a));
  EXPECT_FALSE(widget->OnDragOver(a1));
  EXPECT_FALSE(widget->OnDragOver(nullptr));
  ASSERT_TRUE(widget->OnDragOver(b));
  widget->OnDragDrop(b);
  EXPECT_EQ(test::Rows(tree), 1);
  EXPECT_EQ(control.Parent(a), b);
  EXPECT_EQ(control.Parent(a1), a);
  EXPECT_EQ(QtTreeControl::ItemOf(tree->currentIndex()), a);
  EXPECT_EQ(env.W().StatusPanel(0)->text(), " *");

  // The move is in the table: after saving and reopening, A stands under B.
  env.dialogs.saveFiles.push_back(env.Dir() / "moved.RSK");
  env.Find<QAction>("Save1")->trigger();
  env.Find<QAction>("New1")->trigger();
  env.dialogs.openFiles.push_back(env.Dir() / "moved.RSK");
  env.Find<QAction>("Open1")->trigger();
  ASSERT_EQ(test::Rows(tree), 1);
  EXPECT_EQ(test::At(tree, {0}).data().toString(), "B");
  ASSERT_EQ(test::Rows(tree, test::At(tree, {0})), 1);
  EXPECT_EQ(test::At(tree, {0, 0}).data().toString(), "A");
  EXPECT_EQ(test::At(tree, {0, 0, 0}).data().toString(), "A1");
}

TEST(MainWindow, ContextMenuSelectsTheItemAndCopyPasteMakesASecondBranch) {
  WindowEnv env;
  env.Start();
  OrvendaTreeWidget* tree = env.Tree();
  env.Find<QToolButton>("AddNodeSpeedButton")->click();
  test::TypeText(env.Find<QLineEdit>("TextEdit"), "N");
  env.Find<QPushButton>("StoreBitBtn")->click();
  env.Find<QToolButton>("AddRiskSpeedButton")->click();
  test::TypeText(env.Find<QLineEdit>("DescrEdit"), "R");
  env.Find<QPushButton>("StoreBitBtn")->click();
  env.W().Tree().Select(nullptr);

  // Opens the context menu at a point of the tree and closes it again.
  auto* menu = env.Find<QMenu>("PopupMenu1");
  const auto openMenu = [&](QPoint at) {
    QTimer::singleShot(50, menu, &QMenu::close);
    emit tree->customContextMenuRequested(at);
  };

  // Right-click on the node: it becomes selected, "Vymaž" and "Kopírovat" are enabled, and
  // "Vložit" is not while the clipboard is empty.
  openMenu(tree->visualRect(test::At(tree, {0})).center());
  EXPECT_EQ(tree->currentIndex(), test::At(tree, {0}));
  EXPECT_TRUE(env.Find<QAction>("Copy1")->isEnabled());
  EXPECT_TRUE(env.Find<QAction>("Delete1")->isEnabled());
  EXPECT_FALSE(env.Find<QAction>("Insert1")->isEnabled());
  EXPECT_TRUE(env.Find<QAction>("InsertFromLibrary1")->isEnabled());
  env.Find<QAction>("Copy1")->trigger();

  // Right-click below the items: nothing selected, the empty page, "Vložit" enabled.
  openMenu(QPoint(10, tree->viewport()->height() - 5));
  EXPECT_FALSE(tree->currentIndex().isValid());
  EXPECT_EQ(CurrentPage(env), "NoneTabSheet");
  EXPECT_FALSE(env.Find<QAction>("Copy1")->isEnabled());
  EXPECT_TRUE(env.Find<QAction>("Insert1")->isEnabled());
  env.Find<QAction>("Insert1")->trigger();
  ASSERT_EQ(test::Rows(tree), 2);
  EXPECT_EQ(test::At(tree, {1}).data().toString(), "N");
  ASSERT_EQ(test::Rows(tree, test::At(tree, {1})), 1);
  EXPECT_EQ(test::At(tree, {1, 0}).data().toString(), "R");

  // Deleting asks first (AskDelete is on) and removes the branch.
  ClickItem(tree, test::At(tree, {1}));
  env.Find<QToolButton>("DeleteSpeedButton")->click();
  EXPECT_EQ(env.dialogs.questions.back().text, W("Opravdu vymazat?"));
  EXPECT_EQ(test::Rows(tree), 1);
  env.dialogs.yesNo = {false, true};  // keep the changes unsaved: "No", then exit "Yes"
}

TEST(MainWindow, OptionsDialogWritesTheSettingsOnOkOnly) {
  WindowEnv env;
  env.Start();
  auto* setup = env.W().SetupFormWin();
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(setup->windowTitle(), U("Nastavení"));

  // "Storno" changes nothing.
  test::OnNextModal([](QWidget* dialog) {
    dialog->findChild<QCheckBox*>("AskExitCheckBox")->click();
    dialog->findChild<QPushButton*>("StornoBitBtn")->click();
  });
  env.Find<QAction>("SetUp1")->trigger();
  EXPECT_FALSE(env.Settings().ReadInteger(kSetUpKey, "AskExit").has_value() &&
               env.Settings().ReadInteger(kSetUpKey, "AskExit") == 0);
  EXPECT_TRUE(env.W().Form().AskExit);

  // OK writes all three values; the box shows the current state when opened again.
  test::OnNextModal([](QWidget* dialog) {
    auto* box = dialog->findChild<QCheckBox*>("AskExitCheckBox");
    EXPECT_TRUE(box->isChecked());
    box->click();
    dialog->findChild<QPushButton*>("OKBitBtn")->click();
  });
  env.Find<QAction>("SetUp1")->trigger();
  EXPECT_EQ(env.Settings().ReadInteger(kSetUpKey, "AskExit"), 0);
  EXPECT_EQ(env.Settings().ReadInteger(kSetUpKey, "AskDelete"), 1);
  EXPECT_EQ(env.Settings().ReadInteger(kSetUpKey, "CountAverage"), 1);
  EXPECT_FALSE(env.W().Form().AskExit);

  // With AskExit off an unchanged project closes without a question.
  env.dialogs.questions.clear();
  env.Stop();
  EXPECT_TRUE(env.dialogs.questions.empty());
}

TEST(MainWindow, AdministratorMenuAndLabelFollowTheMarkerFile) {
  WindowEnv env;
  env.Start();
  EXPECT_FALSE(env.Find<QMenu>("Administrator1")->menuAction()->isVisible());
  EXPECT_FALSE(env.Find<QLabel>("AdminLabel")->isVisible());
  env.Stop();

  test::WriteFileBytes(env.AdminMarker(), "");
  env.Start();
  EXPECT_TRUE(env.Find<QMenu>("Administrator1")->menuAction()->isVisible());
  EXPECT_TRUE(env.Find<QLabel>("AdminLabel")->isVisible());
  EXPECT_EQ(env.Find<QLabel>("AdminLabel")->text(), "Administrator Mode");
  EXPECT_TRUE(env.Find<QAction>("ExportnaWEB1")->isEnabled());
  EXPECT_TRUE(env.Find<QAction>("ImportHTML1")->isEnabled());
  EXPECT_TRUE(env.Find<QAction>("CreateLang1")->isEnabled());
}

TEST(MainWindow, ACommandLineProjectIsOpenAtTheFirstShowAndTopsTheRecentList) {
  std::filesystem::path project;
  test::TempDir keep;
  {
    WindowEnv env;
    env.Start();
    env.Find<QToolButton>("AddNodeSpeedButton")->click();
    test::TypeText(env.Find<QLineEdit>("TextEdit"), "Sklad");
    env.Find<QPushButton>("StoreBitBtn")->click();
    project = keep / "Sklad.RSK";
    env.dialogs.saveFiles.push_back(project);
    env.Find<QAction>("SaveAs1")->trigger();
  }
  WindowEnv env;
  env.Start(project);
  ASSERT_EQ(test::Rows(env.Tree()), 1);
  EXPECT_EQ(test::At(env.Tree(), {0}).data().toString(), "Sklad");
  EXPECT_EQ(env.W().windowTitle(), "Sklad - Orvenda");
  EXPECT_EQ(env.W().StatusPanel(0)->text(), "");
  ASSERT_FALSE(RecentItems(env).empty());
  EXPECT_EQ(RecentItems(env)[0]->text(), QString::fromStdString(project.string()));
  env.Stop();

  // A name that is no file is ignored without a message.
  env.Start(keep / "missing.RSK");
  EXPECT_EQ(test::Rows(env.Tree()), 0);
  EXPECT_TRUE(env.dialogs.warnings.empty());
  EXPECT_TRUE(env.dialogs.errors.empty());
}

TEST(MainWindow, HelpShowsTheShippedPageAndAMissingFileIsOnlyReported) {
  WindowEnv env;
  env.Start();
  // No help file in the program directory: a message box, and the program goes on.
  bool reported = false;
  test::OnNextModal([&](QWidget* box) {
    reported = qobject_cast<QMessageBox*>(box) != nullptr &&
               static_cast<QMessageBox*>(box)->text().contains("Hanvik.htm");
    static_cast<QMessageBox*>(box)->accept();
  });
  env.Find<QAction>("Obsahnpovdy1")->trigger();
  EXPECT_TRUE(reported);
  EXPECT_TRUE(env.Find<QAction>("Obsahnpovdy1")->shortcut() == QKeySequence(Qt::Key_F1));

  std::filesystem::copy_file(
      std::filesystem::path(ORVENDA_SOURCE_DIR) / "src/ui/resources/Hanvik.htm",
      env.ProgramDir() / "Hanvik.htm");
  env.Find<QAction>("Obsahnpovdy1")->trigger();
  ASSERT_NE(env.W().Help(), nullptr);
  EXPECT_TRUE(env.W().Help()->isVisible());
  EXPECT_TRUE(env.W().Help()->Browser()->toPlainText().contains(U("Míra rizika")));
}

TEST(MainWindow, FirstStartTakesTwoThirdsOfTheScreenLaterStartsTheSizeAndSplitterLeft) {
  test::WindowEnv env;
  MainFormWindow& first = env.Start();
  QApplication::processEvents();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  // Two thirds of the screen, never below what the window's widgets need (the test's screen is
  // small).
  const QSize least = first.minimumSizeHint();
  EXPECT_NEAR(first.width(), std::max(screen.width() * 2 / 3, least.width()), 2);
  EXPECT_NEAR(first.height(), std::max(screen.height() * 2 / 3, least.height()), 2);

  const QSize chosen(std::max(700, least.width() + 10), std::max(500, least.height() + 10));
  first.resize(chosen);
  auto* splitter = first.findChild<QSplitter*>("Splitter1");
  ASSERT_NE(splitter, nullptr);
  splitter->setSizes({180, 500});
  QApplication::processEvents();
  const int tree = splitter->sizes().first();
  env.Stop();

  MainFormWindow& second = env.Start();
  QApplication::processEvents();
  EXPECT_EQ(second.size(), chosen);
  // The test screen is narrower than the window needs, so the splitter may move a little.
  EXPECT_NEAR(second.findChild<QSplitter*>("Splitter1")->sizes().first(), tree, 40);
}

TEST(MainWindow, AboutShowsTheProductAndVersion) {
  WindowEnv env;
  env.Start();
  QString product, version, title;
  test::OnNextModal([&](QWidget* dialog) {
    title = dialog->windowTitle();
    product = dialog->findChild<QLabel*>("ProductName")->text();
    version = dialog->findChild<QLabel*>("Version")->text();
    static_cast<QDialog*>(dialog)->accept();
  });
  env.Find<QAction>("Oprogramu1")->trigger();
  EXPECT_EQ(title, U("O programu"));
  EXPECT_EQ(product, "Orvenda");
  EXPECT_EQ(version, "Verze 2.9");
}

}  // namespace
}  // namespace orvenda
