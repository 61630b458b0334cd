// The preview window's commands without a window: printing and page setup through a recording
// browser, saving a copy, and the layout dialog's OK and Storno.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/cp1250.h"
#include "base/settings.h"
#include "report_fixture.h"
#include "reports/nahled_form.h"
#include "reports/print_setup.h"
#include "reports/vzhled_rep_form.h"
#include "support/fakes.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Records what the form asks of the browser; the page-setup dialog answers with `userSetup`.
class RecordingBrowser : public ReportBrowser {
 public:
  std::vector<fs::path> navigated;
  std::vector<PrintSetup> printed;
  std::vector<PrintSetup> setupShown;
  std::optional<PrintSetup> userSetup;

  void Navigate(const fs::path& page) override { navigated.push_back(page); }
  std::function<void()> onPrint;

  bool Print(const PrintSetup& setup) override {
    if (onPrint) onPrint();
    printed.push_back(setup);
    return true;
  }
  std::optional<PrintSetup> ShowPageSetup(const PrintSetup& setup) override {
    setupShown.push_back(setup);
    return userSetup;
  }
};

class PreviewCommandsTest : public ::testing::Test {
 protected:
  PreviewCommandsTest()
      : project(projectDir.path()), form(project.table, messages, progress, temp.path()) {
    project.Node(1, 0, "Dílna");
    project.Risk(2, 1);
    form.browser = &browser;
    form.dialogs = &dialogs;
    form.pageSettings = &settings;
    settings.CreateKey(kPageSetupKey);
  }

  TempDir projectDir, temp, out;
  test::ProjectFixture project;
  Messages messages;
  NullProgress progress;
  NahledForm form;
  RecordingBrowser browser;
  test::ScriptedDialogs dialogs;
  test::MemorySettingsStore settings;
};

TEST_F(PreviewCommandsTest, DesignedOptionsApplyBeforeTheFirstPrintOnlyAndTheUsersSetupHolds) {
  // What the browser had before (another program's, or an earlier run's) gives way once.
  settings.WriteString(kPageSetupKey, "footer", "&b&d");
  settings.WriteString(kPageSetupKey, "margin_left", "0.750000");
  form.FormShow(std::nullopt);
  form.BitBtn2Click();
  ASSERT_EQ(browser.printed.size(), 1u);
  EXPECT_EQ(browser.printed[0], DesignedPrintSetup());
  EXPECT_EQ(settings.ReadString(kPageSetupKey, "margin_left"), "0.394000");
  EXPECT_EQ(settings.ReadString(kPageSetupKey, "header"), "&w");

  // The user's changes in between are not overwritten by the second print.
  settings.WriteString(kPageSetupKey, "margin_top", "1.000000");
  form.BitBtn2Click();
  ASSERT_EQ(browser.printed.size(), 2u);
  EXPECT_NEAR(browser.printed[1].marginTopMm, 25.4, 1e-6);
  EXPECT_NEAR(browser.printed[1].marginLeftMm, 10.0076, 1e-3);
}

TEST_F(PreviewCommandsTest, PageSetupFirstThenPrintUsesTheUsersValues) {
  form.FormShow(std::nullopt);
  PrintSetup chosen = DesignedPrintSetup();
  chosen.marginLeftMm = 30;
  chosen.portrait = false;
  chosen.footer = "&p";
  browser.userSetup = chosen;
  form.Vzhledstrnky1Click();
  ASSERT_EQ(browser.setupShown.size(), 1u);
  EXPECT_EQ(browser.setupShown[0], DesignedPrintSetup());  // the dialog opens on the design
  form.BitBtn2Click();
  ASSERT_EQ(browser.printed.size(), 1u);
  EXPECT_NEAR(browser.printed[0].marginLeftMm, 30, 1e-3);
  EXPECT_FALSE(browser.printed[0].portrait);
  EXPECT_EQ(browser.printed[0].footer, "&p");

  // A cancelled page setup changes nothing.
  browser.userSetup.reset();
  form.Vzhledstrnky1Click();
  form.BitBtn2Click();
  EXPECT_EQ(browser.printed.back(), browser.printed.front());
}

TEST_F(PreviewCommandsTest, SaveAsCompletesTheNameAsksForTheCompletedNameAndReportsFailure) {
  EXPECT_EQ(NahledForm::CompletedSaveName("a/zprava"), fs::path("a/zprava.htm"));
  EXPECT_EQ(NahledForm::CompletedSaveName("a/zprava.html"), fs::path("a/zprava.html"));
  EXPECT_EQ(NahledForm::CompletedSaveName("a/zprava.txt"), fs::path("a/zprava.txt"));
  EXPECT_EQ(NahledForm::CompletedSaveName("a/zprava", ".pdf"), fs::path("a/zprava.pdf"));

  form.FormShow(std::nullopt);
  const std::string page = test::ReadFileBytes(form.ReportPagePath());
  dialogs.saveAnswers.push_back(out / "zprava");
  form.Export1Click();
  EXPECT_EQ(test::ReadFileBytes(out / "zprava.htm"), page);
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_EQ(dialogs.saveRequests.at(0).filter, "Soubory HTML|*.HTM; *.HTML");

  // The completed name exists: asked, and "No" keeps the old file.
  test::WriteFileBytes(out / "zprava.htm", "old");
  dialogs.saveAnswers.push_back(out / "zprava");
  dialogs.answers.push_back(false);
  form.Export1Click();
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_NE(dialogs.questions[0].text.find("zprava.htm"), std::string::npos);
  EXPECT_EQ(test::ReadFileBytes(out / "zprava.htm"), "old");
  // The dialog itself asked for a name given in full: no second question.
  dialogs.saveAnswers.push_back(out / "zprava.htm");
  form.Export1Click();
  EXPECT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(test::ReadFileBytes(out / "zprava.htm"), page);

  // A folder that does not exist: an error, not silence; the page stays.
  dialogs.saveAnswers.push_back(out / "missing" / "x.htm");
  EXPECT_NE(test::ErrorText([&] { form.Export1Click(); }), "");
  EXPECT_FALSE(fs::exists(out / "missing"));
  EXPECT_EQ(test::ReadFileBytes(form.ReportPagePath()), page);
}

// Print, PDF and "Uložit jako" asked for while only the first rows are written get the whole
// page; a dialog left with Storno builds nothing.
TEST_F(PreviewCommandsTest, PrintPdfAndSaveAsOnAPageOfTheFirstRowsWaitForTheWholePage) {
  project.Risk(3, 1);
  project.Risk(4, 0);
  form.FormShow(std::nullopt);
  const std::string whole = test::ReadFileBytes(form.ReportPagePath());
  const auto restart = [&] {
    form.FirstRows = 1;
    form.BuildReport();
    ASSERT_FALSE(form.PageComplete());
    ASSERT_LT(test::ReadFileBytes(form.ReportPagePath()).size(), whole.size());
  };
  std::vector<std::string> pagesSeen;
  browser.onPrint = [&] { pagesSeen.push_back(test::ReadFileBytes(form.ReportPagePath())); };
  form.WritePdf = [&](const fs::path&) {
    pagesSeen.push_back(test::ReadFileBytes(form.ReportPagePath()));
  };

  restart();
  form.BitBtn2Click();
  restart();
  dialogs.saveAnswers.push_back(out / "zprava");
  form.ExportPdf1Click();
  restart();
  dialogs.saveAnswers.push_back(out / "zprava");
  form.Export1Click();
  EXPECT_THAT(pagesSeen, ::testing::ElementsAre(whole, whole));
  EXPECT_EQ(test::ReadFileBytes(out / "zprava.htm"), whole);

  restart();
  dialogs.saveAnswers.push_back(std::nullopt);
  form.Export1Click();
  EXPECT_FALSE(form.PageComplete());
}

TEST_F(PreviewCommandsTest, LayoutDialogOkRebuildsTheReportStornoDoesNot) {
  VzhledRepForm dialog(messages, form.Layout());
  form.vzhledRepForm = &dialog;
  int writes = 0;
  form.OnPageWritten = [&](const fs::path&) { ++writes; };
  form.FormShow(std::nullopt);
  ASSERT_EQ(writes, 1);

  dialog.ShowModal = [&] {
    dialog.CheckListBox1.Checked[kCommentColumn] = false;
    dialog.CheckListBox1ClickCheck();
    dialog.BitBtn2Click();
  };
  form.Upravit1Click();
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(form.Layout(), ReportLayout());

  dialog.ShowModal = [&] {
    EXPECT_TRUE(dialog.CheckListBox1.Checked[kCommentColumn]);  // reopened on the defaults
    dialog.CheckListBox1.Checked[kCommentColumn] = false;
    dialog.CheckListBox1ClickCheck();
    dialog.BitBtn1Click();
  };
  form.Upravit1Click();
  EXPECT_EQ(writes, 2);
  EXPECT_EQ(form.Layout().ColumnPercent[kCommentColumn], 0);
  EXPECT_EQ(test::ReadFileBytes(form.ReportPagePath()).find(W(">Poznámka<")), std::string::npos);

  dialog.ShowModal = [] {};  // the window closed without a button
  form.Upravit1Click();
  EXPECT_EQ(writes, 2);
}

TEST(PrintSetup, PageCodesAndStoredValues) {
  PageCodeValues values;
  values.title = "Orvenda";
  values.address = "file:///tmp/_sestava.htm";
  values.page = 3;
  values.pages = 12;
  EXPECT_EQ(ExpandPageCodes("&u&b&bStrana &p z &P", values),
            (PageLine{"file:///tmp/_sestava.htm", "", "Strana 3 z 12"}));
  EXPECT_EQ(ExpandPageCodes("&w", values), (PageLine{"Orvenda", "", ""}));
  EXPECT_EQ(ExpandPageCodes("a&&b&bmid&bright&bmore&x&", values),
            (PageLine{"a&b", "mid", "rightmore&x&"}));

  test::MemorySettingsStore store;
  PrintSetup setup;
  setup.marginTopMm = 25.4;
  setup.header = W("Záhlaví &w");
  // No key: nothing is read (the browser's key is the user's, never made by reading).
  EXPECT_EQ(ReadPageSetup(store, setup), setup);
  EXPECT_FALSE(store.KeyExists(kPageSetupKey));
  WritePageSetup(store, setup);
  EXPECT_EQ(store.ReadString(kPageSetupKey, "margin_top"), "1.000000");
  PrintSetup read = ReadPageSetup(store, PrintSetup());
  EXPECT_NEAR(read.marginTopMm, 25.4, 1e-6);
  EXPECT_EQ(read.header, setup.header);
  // Unreadable or empty values keep the base.
  store.WriteString(kPageSetupKey, "margin_left", "0,5");
  store.WriteString(kPageSetupKey, "margin_right", "-1");
  store.WriteString(kPageSetupKey, "footer", "");
  read = ReadPageSetup(store, PrintSetup());
  EXPECT_NEAR(read.marginLeftMm, 10.0076, 1e-6);
  EXPECT_NEAR(read.marginRightMm, 10.0076, 1e-6);
  EXPECT_EQ(read.footer, PrintSetup().footer);
}

}  // namespace
}  // namespace orvenda
