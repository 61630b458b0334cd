// The question that offers a dead run's unsaved work back, as the real window asks it.
#include <gtest/gtest.h>

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "base/cp1250.h"
#include "documents/working_directory.h"
#include "model/project_table.h"
#include "ui_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;

TEST(RecoveryQuestion, AsksInCzechNamingTheProjectAndAnoRecoversIt) {
  test::WindowEnv env;  // for its directories and settings; the boxes here are Qt's own
  const fs::path tempDir = env.Dir() / "tmp";
  const fs::path dead = tempDir / "RZK0000DEAD.TMP";
  fs::create_directories(dead);
  {
    Table table;
    table.SetPath(dead / "RiskData.dbf");
    CreateProjectTable(table);
    table.Append();
    table.Edit();
    table.SetInt(fld::kIndex, 1);
    table.SetInt(fld::kType, kNodeType);
    table.SetText(fld::kText, W("Svařovna"));
    table.Post();
    table.Close();
  }
  WorkingDirectoryMark mark = WorkingDirectoryMark::Mark(dead);
  mark.SetProjectFile(env.Dir() / "Dílna.RSK");  // file names are UTF-8 on disk
  mark.Release();                                // the run that held it is gone

  QString text, title;
  test::OnNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    text = box->text();
    title = box->windowTitle();
    box->button(QMessageBox::Yes)->click();
  });
  MainFormWindow window({env.ProgramDir(), tempDir, env.Dir() / "user"}, env.Settings(), nullptr);
  window.Form().AdminMarker = env.AdminMarker();
  window.CreateOtherWindows();
  window.show();

  EXPECT_EQ(title, QString::fromUtf8("Obnovit"));
  EXPECT_TRUE(text.contains(QString::fromUtf8("v projektu „Dílna“ zůstaly neuložené změny")))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QString::fromUtf8("Obnovit změny? Při odpovědi Ne budou zahozeny.")));
  ASSERT_EQ(window.Tree().Widget()->model()->rowCount(), 1);
  EXPECT_EQ(window.Tree().Widget()->model()->index(0, 0).data().toString(),
            QString::fromUtf8("Svařovna"));
  EXPECT_EQ(window.StatusPanel(0)->text(), " *");
  EXPECT_TRUE(window.windowTitle().startsWith(QString::fromUtf8("Dílna - ")))
      << window.windowTitle().toStdString();
  EXPECT_EQ(window.Form().ProjectDir, dead);
}

}  // namespace
}  // namespace orvenda
