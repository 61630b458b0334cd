// The starter library that the build makes, as a fresh installation shows it.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <cstdlib>
#include <sstream>

#include "select_tree_form_window.h"
#include "ui_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;

struct SourceLine {
  std::string index, type, upLink, text, ident, opatreni, pravdep, nasledky;
};

// The records of the shipped source as they stand in the file (only texts without escapes are
// compared below).
std::vector<SourceLine> ShippedSource() {
  std::istringstream in(
      test::ReadFileBytes(fs::path(ORVENDA_SOURCE_DIR) / "data" / "risk_library.tsv"));
  std::vector<SourceLine> lines;
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    f.resize(11);
    lines.push_back({f[0], f[1], f[2], f[3], f[6], f[7], f[8], f[9]});
  }
  return lines;
}

TEST(ShippedLibrary, FreshInstallationShowsTheStarterLibraryOnTheBuiltInPage) {
  test::WindowEnv env;
  fs::copy_file(ORVENDA_BUILT_LIBRARY, env.ProgramDir() / "RiskLib.LIB");
  const std::vector<SourceLine> source = ShippedSource();
  QStringList groups;
  const SourceLine* risk = nullptr;  // the first risk with a one-line description
  for (const SourceLine& r : source) {
    if (r.type == "0" && r.upLink == "0") groups << QString::fromStdString(r.text);
    if (risk == nullptr && r.type == "1" && r.ident.find('\\') == std::string::npos) risk = &r;
  }
  ASSERT_GE(groups.size(), 12);
  ASSERT_NE(risk, nullptr);

  env.Start();
  bool shown = false;
  test::OnNextModal([&](QWidget* modal) {
    auto* w = qobject_cast<SelectTreeFormWindow*>(modal);
    ASSERT_NE(w, nullptr);
    auto* pages = w->findChild<QTabWidget*>("PageControl1");
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_EQ(pages->tabText(0), QString::fromUtf8("Základní knihovna"));
    OrvendaTreeWidget* tree = w->BuildInTree().Widget();
    QStringList shownGroups;
    for (int i = 0; i < test::Rows(tree); ++i) shownGroups << test::At(tree, {i}).data().toString();
    EXPECT_EQ(shownGroups, groups);

    QModelIndex item =
        w->BuildInTree().IndexOf(w->BuildInTree().FindByData(std::stoi(risk->index)));
    ASSERT_TRUE(item.isValid());
    test::ClickItem(tree, item);
    EXPECT_EQ(w->findChild<QLineEdit*>("DescrEdit")->text(), QString::fromStdString(risk->text));
    EXPECT_EQ(w->findChild<QPlainTextEdit*>("RiskMemo")->toPlainText(),
              QString::fromStdString(risk->ident));
    EXPECT_TRUE(w->findChild<QPlainTextEdit*>("OpatreniMemo")->toPlainText().startsWith("- "));
    EXPECT_EQ(w->findChild<QSpinBox*>("ExistenceSpinEdit")->value(), std::stoi(risk->pravdep));
    EXPECT_EQ(w->findChild<QSpinBox*>("NasledkySpinEdit")->value(), std::stoi(risk->nasledky));
    if (std::getenv("ORVENDA_SCREENSHOTS") != nullptr) {
      w->grab().save(
          QString::fromUtf8(ORVENDA_SOURCE_DIR "/docs/library-window-starter-library.png"));
    }
    shown = true;
    w->findChild<QPushButton*>("CloseBitBtn")->click();
  });
  env.Find<QAction>("Edituj1")->trigger();
  EXPECT_TRUE(shown);
  // Opening the library did not rewrite the shipped archive.
  EXPECT_EQ(test::ReadFileBytes(env.ProgramDir() / "RiskLib.LIB"),
            test::ReadFileBytes(ORVENDA_BUILT_LIBRARY));
}

}  // namespace
}  // namespace orvenda
