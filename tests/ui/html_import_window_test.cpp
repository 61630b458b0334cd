// The "Import HTML" command of the main window and its work page.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QStackedWidget>

#include "base/cp1250.h"
#include "command_guard.h"
#include "library/report_rows.h"
#include "ui_support.h"

namespace orvenda::test {
namespace {

TEST(HtmlImportWindow, ImportsTheChosenPageAndShowsItsTextOnTheWorkPage) {
  WindowEnv env;
  WriteFileBytes(env.AdminMarker(), "");
  env.Start();
  const auto rows = env.Dir() / "rows.htm";
  const auto none = env.Dir() / "none.htm";
  // "Dílna" in windows-1250.
  WriteFileBytes(
      rows, "<html><body><table>\r\n" + RiskRow("D\xEDlna / Lis", "S", "2", "3", "4") + "</table>");
  WriteFileBytes(none, "<html><body>\r\nnic \xE8\x65sk\xE9ho</body></html>");
  env.dialogs.openFiles = {rows, none};

  env.Find<QAction>("ImportHTML1")->trigger();
  OrvendaTreeWidget* tree = env.Tree();
  ASSERT_EQ(test::Rows(tree), 1);
  EXPECT_EQ(test::At(tree, {0}).data().toString(), QString::fromUtf8("Dílna"));
  ASSERT_EQ(test::Rows(tree, test::At(tree, {0})), 1);
  EXPECT_EQ(test::At(tree, {0, 0, 0}).data().toString(), "?S");
  EXPECT_EQ(env.Find<QSpinBox>("NazorSpinEdit")->value(), 4);
  EXPECT_TRUE(
      env.Find<QPlainTextEdit>("Memo1")->toPlainText().contains(QString::fromUtf8("Dílna / Lis")));

  // A page without rows is refused with its name; the page shown before stays.
  env.Find<QAction>("ImportHTML1")->trigger();
  ASSERT_EQ(env.dialogs.errors.size(), 1u);
  EXPECT_NE(env.dialogs.errors[0].find(W("žádný řádek rizika")), std::string::npos);
  EXPECT_TRUE(
      env.Find<QPlainTextEdit>("Memo1")->toPlainText().contains(QString::fromUtf8("Dílna / Lis")));
  EXPECT_EQ(test::Rows(tree), 1);
  EXPECT_EQ(env.dialogs.openFilters.back(), W("Soubory HTML|*.htm"));
}

TEST(HtmlImportWindow, TheLastImportedRiskIsScrolledIntoViewOnceAtTheEnd) {
  WindowEnv env;
  env.Start();
  std::string rows;
  for (int i = 0; i < 300; ++i) rows += RiskRow("Hala / Linka " + std::to_string(i % 3), "S");
  const auto page = env.Dir() / "many.htm";
  WriteFileBytes(page, "<html><body><table>\r\n" + rows + "</table>");
  orvenda::RunCommand([&] { env.W().Form().ImportHtmlFile(page); });
  OrvendaTreeWidget* tree = env.Tree();
  QModelIndex last = test::At(tree, {0, 2, 99});
  ASSERT_TRUE(last.isValid());
  EXPECT_EQ(tree->currentIndex(), last);
  EXPECT_TRUE(tree->viewport()->rect().intersects(tree->visualRect(last)));
  EXPECT_TRUE(tree->hasAutoScroll());
  EXPECT_TRUE(tree->updatesEnabled());
}

}  // namespace
}  // namespace orvenda::test
