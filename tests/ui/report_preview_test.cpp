// The report preview and its layout dialog driven through their widgets, printing through
// Qt's print system, and the PDF batch command end to end.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QPrintDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <sstream>

#include "archive/zlb_archive.h"
#include "base/cp1250.h"
#include "base/settings.h"
#include "nahled_form_window.h"
#include "page_setup_dialog.h"
#include "report_page_view.h"
#include "report_pdf_command.h"
#include "reports/report_fixture.h"
#include "reports/vzhled_rep_form.h"
#include "ui_support.h"
#include "vzhled_rep_form_window.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// A project with `risks` risks under three nodes: enough rows for several pages.
void FillProject(test::ProjectFixture& project, int risks) {
  project.Node(1, 0, "Dílna");
  project.Node(2, 1, "Lis");
  project.Node(3, 0, "Sklad");
  for (int i = 0; i < risks; ++i) {
    const int p = 1 + i % 5, n = 1 + (i / 5) % 5;
    project.Risk(10 + i, 1 + i % 3,
                 {.text = "riziko " + std::to_string(i),
                  .p = p,
                  .n = n,
                  .h = 2,
                  .ident = "Nebezpečí číslo " + std::to_string(i),
                  .opatreni = "Opatření číslo " + std::to_string(i),
                  .comment = "pozn" + std::to_string(i)});
  }
}

fs::path MakeRsk(const fs::path& dir, int risks) {
  const fs::path source = dir / "rsk";
  fs::create_directories(source);
  {
    test::ProjectFixture project(source);
    FillProject(project, risks);
    project.table.Close();
  }
  TZLBArchive archive;
  archive.CreateArchive(dir / "Projekt.RSK");
  archive.AddFiles({source / "RiskData.dbf", source / "RiskData.dbt", source / "RiskData.mdx"});
  archive.CloseArchive();
  return dir / "Projekt.RSK";
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

// The text of each page of a PDF, as pdftotext lays it out.
std::vector<std::string> PdfPages(const fs::path& pdf) {
  std::string info;
  EXPECT_EQ(test::RunCommand("pdfinfo " + Quote(pdf), &info), 0);
  const QRegularExpressionMatch match =
      QRegularExpression("Pages:\\s+(\\d+)").match(QString::fromStdString(info));
  EXPECT_TRUE(match.hasMatch()) << info;
  const int count = match.captured(1).toInt();
  std::vector<std::string> pages;
  for (int page = 1; page <= count; ++page) {
    std::string text;
    EXPECT_EQ(test::RunCommand("pdftotext -layout -f " + std::to_string(page) + " -l " +
                                   std::to_string(page) + " " + Quote(pdf) + " -",
                               &text),
              0);
    pages.push_back(text);
  }
  return pages;
}

// Non-empty lines of a page's text.
std::vector<QString> Lines(const std::string& text) {
  std::vector<QString> lines;
  for (const QString& line : QString::fromStdString(text).split('\n')) {
    if (!line.trimmed().isEmpty()) lines.push_back(line.trimmed());
  }
  return lines;
}

// Every page: the title first, the address and "Strana p z N" last, N the page count.
void ExpectNumberedPages(const std::vector<std::string>& pages, const std::string& what) {
  ASSERT_GE(pages.size(), 2u) << what;
  const QString count = QString::number(pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    const std::vector<QString> lines = Lines(pages[i]);
    ASSERT_GE(lines.size(), 2u) << what << " page " << i + 1;
    EXPECT_TRUE(lines.front().startsWith("Orvenda")) << what << ": " << lines.front().toStdString();
    // pdftotext gives the "fi" of "file" as its ligature.
    EXPECT_TRUE(QString(lines.back()).replace(QChar(0xFB01), "fi").startsWith("file://"))
        << what << ": " << lines.back().toStdString();
    EXPECT_TRUE(lines.back().endsWith(U("Strana %1 z %2").arg(i + 1).arg(count)))
        << what << ": " << lines.back().toStdString();
  }
}

TEST(ReportPdfCommand, PrintsEveryPageWithTitleAndPageNumbersWithoutADisplay) {
  TempDir dir;
  const fs::path rsk = MakeRsk(dir.path(), 120);
  const fs::path pdf = dir / "Sestava.pdf";
  const std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";
  std::string out;
  ASSERT_EQ(test::RunCommand(env + Quote(ORVENDA_EXECUTABLE) + " --report-pdf " + Quote(rsk) +
                                 " --output " + Quote(pdf) + " --sorted --tree 2>&1",
                             &out),
            0)
      << out;
  const std::vector<std::string> pages = PdfPages(pdf);
  ExpectNumberedPages(pages, "--report-pdf");
  // Searchable text: the table, sorted (a risk of level 50 first), and the outline and legend.
  EXPECT_NE(pages.front().find("Nebezpečí číslo 24"), std::string::npos);
  std::string all;
  for (const auto& page : pages) all += page;
  EXPECT_NE(all.find("Vysvětlivky"), std::string::npos);
  EXPECT_NE(all.find("R - Míra rizika"), std::string::npos);  // after its list, as in a browser
  EXPECT_EQ(pages.front().find("Sklad\n"), std::string::npos);
  EXPECT_NE(all.find("Sklad\n"), std::string::npos);  // the outline's last node

  // A failure leaves no PDF and says why.
  const fs::path missing = dir / "none.pdf";
  EXPECT_NE(
      test::RunCommand(env + Quote(ORVENDA_EXECUTABLE) + " --report-pdf " +
                           Quote(dir / "missing.RSK") + " --output " + Quote(missing) + " 2>&1",
                       &out),
      0);
  EXPECT_NE(out.find("Soubor nenalezen."), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(missing));

  // A write that fails half way (here the file size limit, as a full disk would) fails the
  // command, and the PDF written before stays whole. A small project: its table files are far
  // smaller than its PDF.
  fs::create_directories(dir / "small");
  const fs::path small = MakeRsk(dir / "small", 2);
  ASSERT_EQ(test::RunCommand(env + Quote(ORVENDA_EXECUTABLE) + " --report-pdf " + Quote(small) +
                                 " --output " + Quote(pdf) + " 2>&1",
                             &out),
            0)
      << out;
  const std::string before = test::ReadFileBytes(pdf);
  const std::size_t blocks = (before.size() - 1024) / 512;
  for (const auto& entry : fs::directory_iterator(dir / "small" / "rsk")) {
    ASSERT_LT(entry.file_size(), blocks * 512) << entry.path();
  }
  EXPECT_NE(test::RunCommand("trap '' XFSZ; ulimit -f " + std::to_string(blocks) + "; " + env +
                                 Quote(ORVENDA_EXECUTABLE) + " --report-pdf " + Quote(small) +
                                 " --output " + Quote(pdf) + " 2>&1",
                             &out),
            0);
  EXPECT_NE(out.find("PDF"), std::string::npos) << out;
  EXPECT_EQ(test::ReadFileBytes(pdf), before);
}

// The PDF command takes the report's options under its own name and joins the core's help.
TEST(ReportPdfCommand, ParsesTheReportsOptionsAndShowsInTheHelp) {
  std::vector<BatchCommand> commands = CoreBatchCommands();
  commands.push_back(ReportPdfCommand());
  std::ostringstream out, err;
  const CommandLine line = ParseCommandLine(
      {"--report-pdf", "Dilna.RSK", "--output", "Dilna.pdf", "--sorted", "--hide-column", "8"},
      commands, out, err);
  ASSERT_TRUE(line.command.has_value()) << err.str();
  EXPECT_EQ(line.command->name, "--report-pdf");
  ReportOptions expected;
  expected.project = "Dilna.RSK";
  expected.output = "Dilna.pdf";
  expected.sorted = true;
  expected.hiddenColumns = {8};
  EXPECT_EQ(std::any_cast<ReportOptions>(line.command->options), expected);

  EXPECT_EQ(ParseCommandLine({"--help"}, commands, out, err).status, 0);
  EXPECT_NE(out.str().find("orvenda --report-pdf PROJECT --output REPORT.pdf [--sorted]"),
            std::string::npos)
      << out.str();
  EXPECT_EQ(
      ParseCommandLine({"--report-pdf", "Dilna.RSK", "--output", "D.pdf", "--web-export", "x"},
                       commands, out, err)
          .status,
      2);
}

// The preview and the layout dialog on a real project table, as the main window makes them.
class PreviewTest : public ::testing::Test {
 protected:
  PreviewTest() : project(dir / "RiskData.dbf") {
    FillProject(project, 100);
    fs::create_directories(dir / "tmp");
    form = std::make_unique<NahledForm>(project.table, messages, progress, dir / "tmp");
    form->pageSettings = &settings;
    window = std::make_unique<NahledFormWindow>(*form, dialogs, progress, dir / "none.lng");
    layoutForm = std::make_unique<VzhledRepForm>(messages, form->Layout());
    layoutWindow = std::make_unique<VzhledRepFormWindow>(*layoutForm, dir / "none.lng");
    form->vzhledRepForm = layoutForm.get();
  }
  ~PreviewTest() override {
    window->close();
    layoutWindow.reset();
    window.reset();
  }

  std::string Page() const { return test::ReadFileBytes(form->ReportPagePath()); }
  template <typename T>
  T* Find(const char* name) {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) ADD_FAILURE() << "no widget " << name;
    return found;
  }
  QAction* Action(const char* name) { return Find<QAction>(name); }

  // Opens the layout dialog from the menu and runs `choose` in it before it closes.
  void EditLayout(const std::function<void(VzhledRepFormWindow&)>& choose) {
    test::OnNextModal([this, choose](QWidget*) { choose(*layoutWindow); });
    Action("Upravit1")->trigger();
  }

  TempDir dir;
  test::ProjectFixture project;
  Messages messages;
  NullProgress progress;
  test::ScriptedDialogs dialogs;
  QtSettingsStore settings{QString::fromStdString((dir / "user.ini").string())};
  std::unique_ptr<NahledForm> form;
  std::unique_ptr<NahledFormWindow> window;
  std::unique_ptr<VzhledRepForm> layoutForm;
  std::unique_ptr<VzhledRepFormWindow> layoutWindow;
};

TEST_F(PreviewTest, CheckBoxesRebuildOrRewriteAndTheLayoutDialogRebuildsOnlyOnOk) {
  window->show();
  EXPECT_EQ(window->windowTitle(), U("Náhled sestavy"));
  EXPECT_GE(window->minimumWidth(), 400);
  EXPECT_EQ(window->View()->contextMenuPolicy(), Qt::NoContextMenu);
  const std::string first = Page();
  EXPECT_NE(first.find(W("Vysvětlivky:")), std::string::npos);
  EXPECT_TRUE(window->View()->toPlainText().contains(U("Nebezpečí číslo 39")));
  // The legend's text after a list stays out of the list's last item, as in a browser.
  const QString shown = window->View()->toPlainText();
  EXPECT_TRUE(shown.contains(QRegularExpression(U("Trvalá\\s*\\nN - "))));

  Find<QCheckBox>("SortedCheckBox")->click();
  const std::string sorted = Page();
  EXPECT_NE(sorted, first);
  EXPECT_EQ(sorted.find("colspan=\"9\"><font size=\"1\">\r"), std::string::npos);  // no object rows
  Find<QCheckBox>("SortedCheckBox")->click();
  EXPECT_EQ(Page(), first);

  // "Pouze vybraná větev" builds the branch of the selection the window was opened with.
  window->close();
  std::string branch;
  test::OnNextModal([&](QWidget*) {
    Find<QCheckBox>("OnlySelectCheckBox")->click();
    branch = Page();
    window->close();
  });
  form->Execute(2);  // "Lis" selected in the main tree
  EXPECT_NE(branch.find(W("\rNebezpečí číslo 1\r")), std::string::npos);
  EXPECT_EQ(branch.find(W("\rNebezpečí číslo 0\r")), std::string::npos);
  EXPECT_NE(first.find(W("\rNebezpečí číslo 0\r")), std::string::npos);
}

TEST_F(PreviewTest, LayoutDialogOkRebuildsStornoDoesNotAndReopeningShowsTheDefaults) {
  window->show();
  const std::string first = Page();
  EditLayout([](VzhledRepFormWindow& dialog) {
    // Hide the note column, object in its own row, outline on.
    dialog.ColumnList()->item(8)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(dialog.Grid()->columnWidth(8), 0);
    dialog.Radio(0)->click();
    EXPECT_EQ(dialog.Grid()->columnWidth(0), 0);
    dialog.findChild<QCheckBox*>("CheckBox1")->click();
    EXPECT_TRUE(dialog.findChild<QCheckBox*>("CheckBox2")->isEnabled());
    // The user drags a border: column 2 gets wider.
    dialog.Grid()->horizontalHeader()->resizeSection(2, 222);
    dialog.findChild<QPushButton*>("BitBtn1")->click();
  });
  const ReportLayout& layout = form->Layout();
  EXPECT_TRUE(layout.ObjectInOwnRow);
  EXPECT_TRUE(layout.TreeSection);
  EXPECT_EQ(layout.ColumnPercent[0], 0);
  EXPECT_EQ(layout.ColumnPercent[8], 0);
  EXPECT_GT(layout.ColumnPercent[2], 29);  // the dragged width counts
  const std::string rebuilt = Page();
  EXPECT_NE(rebuilt.find("&#9516; " + W("Dílna")), std::string::npos);
  EXPECT_EQ(rebuilt.find(W(">Poznámka<")), std::string::npos);
  EXPECT_NE(rebuilt.find(W("<font size=\"1\">\rDílna\r")), std::string::npos);

  // Reopened: the defaults again; Storno stores nothing and builds nothing.
  fs::last_write_time(form->ReportPagePath(),
                      fs::file_time_type::clock::now() - std::chrono::hours(1));
  const auto stamp = fs::last_write_time(form->ReportPagePath());
  EditLayout([](VzhledRepFormWindow& dialog) {
    for (int i = 0; i < kReportColumns; ++i) {
      EXPECT_EQ(dialog.ColumnList()->item(i)->checkState(), Qt::Checked) << i;
      EXPECT_EQ(dialog.Grid()->columnWidth(i), VzhledRepForm::kDesignColumnWidths[i]) << i;
    }
    EXPECT_TRUE(dialog.Radio(1)->isChecked());
    EXPECT_FALSE(dialog.findChild<QCheckBox*>("CheckBox1")->isChecked());
    EXPECT_FALSE(dialog.findChild<QCheckBox*>("CheckBox2")->isEnabled());
    EXPECT_EQ(dialog.Grid()->horizontalHeaderItem(0)->text(), U("Pos. objekt"));
    dialog.ColumnList()->item(1)->setCheckState(Qt::Unchecked);
    dialog.findChild<QPushButton*>("BitBtn2")->click();
  });
  EXPECT_TRUE(form->Layout().TreeSection);
  EXPECT_EQ(fs::last_write_time(form->ReportPagePath()), stamp);

  // A new showing of the preview starts from its own starting layout.
  window->close();
  EXPECT_FALSE(fs::exists(form->ReportPagePath()));
  window->show();
  EXPECT_EQ(form->Layout(), ReportLayout());
  EXPECT_EQ(Page(), first);
}

TEST_F(PreviewTest, PrintsThroughThePrintDialogWithTheDesignedOptionsThenTheUsersPageSetup) {
  window->show();
  const fs::path printed = dir / "printed.pdf";
  std::vector<QMarginsF> marginsAtPrint;
  window->execDialog = [&](QDialog& dialog) {
    if (auto* print = qobject_cast<QPrintDialog*>(&dialog)) {
      // The user picks "print to file" in the dialog.
      print->printer()->setOutputFileName(QString::fromStdString(printed.string()));
      marginsAtPrint.push_back(print->printer()->pageLayout().margins(QPageLayout::Millimeter));
      return true;
    }
    if (auto* setup = qobject_cast<PageSetupDialog*>(&dialog)) {
      EXPECT_NEAR(setup->findChild<QDoubleSpinBox*>("MarginTopEdit")->value(), 10.0076, 0.01);
      setup->findChild<QDoubleSpinBox*>("MarginLeftEdit")->setValue(25);
      setup->findChild<QDoubleSpinBox*>("MarginBottomEdit")->setValue(30);
      return true;
    }
    return false;
  };
  Find<QPushButton>("BitBtn2")->click();
  ASSERT_EQ(marginsAtPrint.size(), 1u);
  EXPECT_NEAR(marginsAtPrint[0].left(), 10.0076, 0.01);
  EXPECT_NEAR(marginsAtPrint[0].bottom(), 10.0076, 0.01);
  ExpectNumberedPages(PdfPages(printed), "print dialog");
  // The designed values were put where the page settings live.
  EXPECT_EQ(settings.ReadString(kPageSetupKey, "footer"), "&u&b&bStrana &p z &P");

  // Page setup: the user's margins hold for the next print.
  Action("Vzhledstrnky1")->trigger();
  Find<QPushButton>("BitBtn2")->click();
  ASSERT_EQ(marginsAtPrint.size(), 2u);
  EXPECT_NEAR(marginsAtPrint[1].left(), 25, 0.01);
  EXPECT_NEAR(marginsAtPrint[1].bottom(), 30, 0.01);
  EXPECT_FALSE(form->FirstPrint);
}

TEST_F(PreviewTest, SavesThePageAsHtmlAndAsPdf) {
  window->show();
  dialogs.saveFiles.push_back(dir / "kopie");
  Action("Export1")->trigger();
  EXPECT_EQ(test::ReadFileBytes(dir / "kopie.htm"), Page());
  EXPECT_EQ(dialogs.saveFilters.back(), "Soubory HTML|*.HTM; *.HTML");

  dialogs.saveFiles.push_back(dir / "sestava");
  Action("ExportPdf1")->trigger();
  ExpectNumberedPages(PdfPages(dir / "sestava.pdf"), "Uložit jako PDF");
  EXPECT_TRUE(dialogs.errors.empty());
}

TEST(MainWindowReports, SestavyVytvoritOpensThePreviewOfTheProject) {
  TempDir files;
  const fs::path rsk = MakeRsk(files.path(), 5);
  test::WindowEnv env;
  env.Start(rsk);
  QAction* nahled = env.Find<QAction>("Nahled");
  ASSERT_TRUE(nahled->isEnabled());
  QString shownText, title;
  test::OnNextModal([&](QWidget* modal) {
    title = modal->windowTitle();
    if (auto* view = modal->findChild<ReportPageView*>("EmbeddedWB1"))
      shownText = view->toPlainText();
    modal->close();
  });
  nahled->trigger();
  EXPECT_EQ(title, U("Náhled sestavy"));
  EXPECT_TRUE(shownText.contains(U("Nebezpečí číslo 4"))) << shownText.toStdString();
  EXPECT_TRUE(env.dialogs.errors.empty());
}

}  // namespace
}  // namespace orvenda
