// The web export entries of the main window, driven through its menus.
#include <gtest/gtest.h>

#include <QMenu>

#include "ui_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::WindowEnv;

TEST(WebExportWindow, SwitchShowsTheEntryWhichExportsTheSiteAndTheFlatPageIsWritten) {
  WindowEnv env;
  test::WriteFileBytes(env.AdminMarker(), "");
  env.Start();
  auto* exportHtm = env.Find<QAction>("Export1");
  auto* separator = env.Find<QAction>("N6");
  ASSERT_TRUE(exportHtm && separator);
  EXPECT_FALSE(exportHtm->isVisible());
  EXPECT_FALSE(separator->isVisible());

  env.Find<QAction>("Switchexport1")->trigger();
  EXPECT_TRUE(exportHtm->isVisible());
  EXPECT_TRUE(separator->isVisible());
  EXPECT_TRUE(exportHtm->isEnabled());

  env.Find<QToolButton>("AddNodeSpeedButton")->click();
  test::TypeText(env.Find<QLineEdit>("TextEdit"), QString::fromUtf8("Dílna"));
  env.Find<QPushButton>("StoreBitBtn")->click();

  const fs::path site = env.Dir() / "site";
  fs::create_directory(site);
  env.dialogs.saveFiles = {site / "index.htm", site / "flat.htm"};
  exportHtm->trigger();
  EXPECT_TRUE(fs::is_regular_file(site / "tree.htm"));
  EXPECT_TRUE(fs::is_regular_file(site / "data" / "00000001.htm"));

  ASSERT_TRUE(env.Find<QAction>("ExportnaWEB1")->isEnabled());
  env.Find<QAction>("ExportnaWEB1")->trigger();
  EXPECT_NE(test::ReadFileBytes(site / "flat.htm").find("<li><b>D\xEDlna</b>"), std::string::npos);
  EXPECT_TRUE(env.dialogs.errors.empty());

  env.Find<QAction>("Switchexport1")->trigger();
  EXPECT_FALSE(exportHtm->isVisible());
  EXPECT_FALSE(separator->isVisible());
}

}  // namespace
}  // namespace orvenda
