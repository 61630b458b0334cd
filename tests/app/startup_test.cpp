// The main window's start and end: the order of creation and first showing, a project named
// on the command line, the close questions, the kept page setup, settings and administrator
// mode.
#include <gtest/gtest.h>

#include "app/documents_fixture.h"
#include "app/setup_form.h"
#include "base/error.h"

namespace orvenda::test {
namespace {

constexpr const char* kRecentKey = "\\Software\\Tumbek\\Orvenda\\TMainForm.MRUManager1";
constexpr const char* kSetUp = "\\Software\\Tumbek\\Orvenda\\SetUp";

class StartupTest : public DocumentsTest {};

TEST_F(StartupTest, FirstShowPreparesAnEmptyProject) {
  form->FormCreate();
  EXPECT_TRUE(fs::is_directory(userDir));
  EXPECT_TRUE(form->FirstShow);
  EXPECT_TRUE(form->TreeUpdating);
  EXPECT_FALSE(form->DataTable.IsOpen());
  for (const char* name : {"New1", "Open1", "Save1", "SaveAs1", "SetUp1", "AdminLabel",
                           "ProgNameLabel", "AppTitleLabel"}) {
    EXPECT_NE(form->FindControl(name), nullptr) << name;
  }
  EXPECT_EQ(form->FindControl("Open1")->text, W("Otevři..."));

  form->FormShow();
  EXPECT_FALSE(form->FirstShow);
  EXPECT_FALSE(form->TreeUpdating);
  EXPECT_TRUE(form->PageReady);
  EXPECT_TRUE(form->DataTable.IsOpen());
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(form->DataTable.Path(), form->ProjectDir / "RiskData.dbf");
  EXPECT_EQ(form->ProjectDir.parent_path(), tempDir);
  EXPECT_EQ(form->ProjectDir.filename().string().substr(0, 3), "RZK");
  EXPECT_FALSE(form->ClipboardDir.empty());
  EXPECT_EQ(form->ProjectFileName, fs::path());
  EXPECT_EQ(form->AppTitleLabel.text, "");
  EXPECT_EQ(form->Caption, "Orvenda");
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(form->ActivePage, Page::NoneTabSheet);
  EXPECT_EQ(form->OpenDialog1.InitialDir, programDir);
  EXPECT_EQ(form->SaveDialog1.InitialDir, programDir);
  EXPECT_TRUE(store.KeyExists(kSetUp));
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_TRUE(dialogs.warnings.empty());

  // A second showing repeats none of it.
  const fs::path dir = form->ProjectDir;
  AddNode("x");
  form->FormShow();
  EXPECT_EQ(form->ProjectDir, dir);
  EXPECT_EQ(Rows().size(), 1u);
}

TEST_F(StartupTest, AProjectOnTheCommandLineIsOpenAndOnTopOfTheRecentList) {
  store.WriteString(kRecentKey, "Item_0", "/p/a.RSK");
  store.WriteString(kRecentKey, "Item_1", "/p/b.RSK");
  const fs::path file = MakeProject("Dílna.RSK", SampleRows());
  Start(file);
  EXPECT_EQ(Rows(), SampleRows());
  EXPECT_EQ(tree.Count(), 5u);
  EXPECT_EQ(form->ProjectFileName, file);
  EXPECT_EQ(form->Caption, W("Dílna - Orvenda"));
  EXPECT_EQ(form->MRUManager1.Items(), (std::vector<fs::path>{file, "/p/a.RSK", "/p/b.RSK"}));
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], "");
}

TEST_F(StartupTest, AnOldProjectOnTheCommandLineStartsUnchanged) {
  const fs::path old = MakeOldProject("Stara", SampleRows(), files);
  Start(old);
  EXPECT_EQ(Rows(), SampleRows());
  EXPECT_EQ(form->ProjectFileName, old);
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], "");
}

TEST_F(StartupTest, AMissingCommandLineFileIsIgnoredSilently) {
  Start(files / "nic.RSK");
  EXPECT_TRUE(dialogs.warnings.empty());
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_TRUE(Rows().empty());
  EXPECT_TRUE(form->MRUManager1.Items().empty());
  EXPECT_FALSE(form->TreeUpdating);
}

TEST_F(StartupTest, ADamagedCommandLineFileIsShownAndTheWindowStillStarts) {
  const fs::path file = MakeProject("Vadny.RSK", SampleRows());
  std::string bytes = ReadFileBytes(file);
  bytes[10] = static_cast<char>(bytes[10] ^ 1);
  WriteFileBytes(file, bytes);
  Start(file);
  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_EQ(dialogs.errors[0], PathToText(file) + ": The archive file appears to be corrupted");
  EXPECT_FALSE(form->FirstShow);
  EXPECT_FALSE(form->TreeUpdating);
  EXPECT_TRUE(form->DataTable.IsOpen());
  EXPECT_EQ(form->ProjectFileName, fs::path());
  AddNode("funguje");
  EXPECT_EQ(tree.Count(), 1u);
}

TEST_F(StartupTest, WithAskExitOffAnUnchangedProjectClosesWithoutAQuestion) {
  store.WriteInteger(kSetUp, "AskExit", 0);
  Start();
  EXPECT_FALSE(form->AskExit);
  EXPECT_TRUE(form->FormCloseQuery());
  EXPECT_TRUE(dialogs.questions.empty());
}

TEST_F(StartupTest, TheExitQuestionDecidesAndOnlyAnAllowedCloseSavesTheRecentList) {
  const fs::path file = MakeProject("P.RSK", SampleRows());
  Start(file);
  dialogs.answers = {false};
  EXPECT_FALSE(form->FormCloseQuery());
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text, W("Opravdu ukončit program?"));
  EXPECT_EQ(dialogs.questions[0].caption, "Konec");
  EXPECT_FALSE(store.KeyExists(kRecentKey));

  dialogs.answers = {true};
  EXPECT_TRUE(form->FormCloseQuery());
  EXPECT_EQ(std::get<std::string>(store.Values(kRecentKey).at("Item_0")), PathToText(file));
}

TEST_F(StartupTest, TheExitQuestionComesBeforeUnsavedChangesAndStornoKeepsThem) {
  Start();
  AddNode("x");
  // No to quitting: nothing saved, nothing discarded, nothing else asked.
  dialogs.answers = {false};
  EXPECT_FALSE(form->FormCloseQuery());
  EXPECT_EQ(dialogs.questions.size(), 1u);
  EXPECT_TRUE(form->Modified);

  // Yes to quitting, Storno (Esc) at the save question: the window stays, the work stays marked.
  dialogs.answers = {true};
  dialogs.cancelAnswers = {Dialogs::Answer::Cancel};
  EXPECT_FALSE(form->FormCloseQuery());
  EXPECT_TRUE(form->Modified);
  EXPECT_FALSE(store.KeyExists(kRecentKey));

  // Yes to saving, then cancelling Save as: the window stays open too.
  dialogs.answers = {true, true};
  dialogs.saveAnswers = {std::nullopt};
  EXPECT_FALSE(form->FormCloseQuery());
  EXPECT_TRUE(form->Modified);

  // Yes to quitting, No to saving: the changes go and the window closes.
  dialogs.answers = {true, false};
  EXPECT_TRUE(form->FormCloseQuery());
  ASSERT_EQ(dialogs.questions.size(), 7u);
  EXPECT_EQ(dialogs.questions[5].caption, "Konec");
  EXPECT_EQ(dialogs.questions[6].caption, W("Uložit"));
}

TEST_F(StartupTest, AFailedSaveWhileClosingKeepsTheWindowOpen) {
  store.WriteInteger(kSetUp, "AskExit", 0);
  Start();
  AddNode("x");
  dialogs.answers = {true};
  dialogs.saveAnswers = {files / "chybi" / "P.RSK"};
  EXPECT_THROW(form->FormCloseQuery(), Error);
  EXPECT_TRUE(form->Modified);
  EXPECT_FALSE(store.KeyExists(kRecentKey));
}

TEST_F(StartupTest, ClosingRemovesTheWorkingFilesAndDestroySavesAListNotYetSaved) {
  const fs::path file = MakeProject("P.RSK", SampleRows());
  Start(file);
  const fs::path dir = form->ProjectDir;
  form->FormClose();
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_FALSE(form->DataTable.IsOpen());
  EXPECT_FALSE(store.KeyExists(kRecentKey));
  form->FormDestroy();
  EXPECT_EQ(std::get<std::string>(store.Values(kRecentKey).at("Item_0")), PathToText(file));
  form.reset();
  EXPECT_TRUE(WorkingDirs().empty());
}

TEST_F(StartupTest, AWindowNeverShownLeavesTheStoredListAlone) {
  store.WriteString(kRecentKey, "Item_0", "/p/a.RSK");
  form->FormCreate();
  form->FormDestroy();
  EXPECT_EQ(std::get<std::string>(store.Values(kRecentKey).at("Item_0")), "/p/a.RSK");
}

TEST_F(StartupTest, ThePageSetupOfTheStartIsWrittenBackWhenClosing) {
  const char* key = "Software\\Microsoft\\Internet Explorer\\PageSetup";
  store.WriteString(key, "header", "&w");
  store.WriteString(key, "margin_left", "0.5");
  store.WriteInteger(kSetUp, "AskExit", 0);
  Start();
  // The preview's page setup changes them during the run.
  store.WriteString(key, "header", "zmena");
  store.WriteString(key, "footer", "nova");
  ASSERT_TRUE(form->FormCloseQuery());
  const auto values = store.Values(key);
  EXPECT_EQ(std::get<std::string>(values.at("header")), "&w");
  EXPECT_EQ(std::get<std::string>(values.at("footer")), "");
  EXPECT_EQ(std::get<std::string>(values.at("margin_left")), "0.5");
  EXPECT_EQ(std::get<std::string>(values.at("margin_bottom")), "");
}

TEST_F(StartupTest, WithoutAPageSetupKeyNoneIsMade) {
  store.WriteInteger(kSetUp, "AskExit", 0);
  Start();
  ASSERT_TRUE(form->FormCloseQuery());
  EXPECT_FALSE(store.KeyExists("Software\\Microsoft\\Internet Explorer\\PageSetup"));
}

TEST_F(StartupTest, AdministratorModeIsDecidedAtEveryShowing) {
  Start();
  EXPECT_FALSE(form->AdminLabel.visible);
  EXPECT_FALSE(form->Administrator1.visible);
  WriteFileBytes(temp / "Admin.set", "anything");
  form->FormShow();
  EXPECT_TRUE(form->AdminLabel.visible);
  EXPECT_TRUE(form->Administrator1.visible);
  EXPECT_EQ(form->AdminLabel.text, "Administrator Mode");
  fs::remove(temp / "Admin.set");
  form->FormShow();
  EXPECT_FALSE(form->AdminLabel.visible);
  EXPECT_FALSE(form->Administrator1.visible);
}

TEST_F(StartupTest, SettingsAreReadAtTheFirstShowAndWrittenByTheOptionsDialog) {
  store.WriteInteger(kSetUp, "AskDelete", 0);
  Start();
  EXPECT_FALSE(form->AskDelete);
  EXPECT_TRUE(form->AskExit);
  EXPECT_TRUE(form->CountAverage);

  SetupForm setup;
  form->setupForm = &setup;
  // Storno: nothing changes, nothing is written.
  const int writes = store.writes;
  setup.ShowModal = [&] {
    EXPECT_FALSE(setup.AskDeleteCheckBox.checked);
    EXPECT_TRUE(setup.AskExitCheckBox.checked);
    setup.AskExitCheckBox.checked = false;
    setup.StornoBitBtnClick();
  };
  form->SetUp1Click();
  EXPECT_TRUE(form->AskExit);
  EXPECT_EQ(store.writes, writes);

  // OK: all three values are written as 0 or 1 and used from now on.
  setup.ShowModal = [&] {
    setup.AskDeleteCheckBox.checked = true;
    setup.AskExitCheckBox.checked = false;
    setup.OKBitBtnClick();
  };
  form->SetUp1Click();
  EXPECT_TRUE(form->AskDelete);
  EXPECT_FALSE(form->AskExit);
  const auto values = store.Values(kSetUp);
  EXPECT_EQ(std::get<int32_t>(values.at("AskDelete")), 1);
  EXPECT_EQ(std::get<int32_t>(values.at("AskExit")), 0);
  EXPECT_EQ(std::get<int32_t>(values.at("CountAverage")), 1);
  EXPECT_TRUE(form->FormCloseQuery()) << "AskExit is off now";
  EXPECT_TRUE(dialogs.questions.empty());
}

}  // namespace
}  // namespace orvenda::test
