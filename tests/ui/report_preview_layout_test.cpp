// A long report in the preview: its first rows at once, the rest from the event loop, and
// the printed pages painted page by page. Both must give exactly what painting the whole
// document at once gives.
#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTextFrame>
#include <QTextTable>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

#include "base/cp1250.h"
#include "nahled_form_window.h"
#include "report_printing.h"
#include "reports/report_fixture.h"
#include "storno_progress.h"
#include "ui_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

void FillProject(test::ProjectFixture& project, int risks, bool longWords = true) {
  project.Node(1, 0, "Dílna");
  project.Node(2, 1, "Lis");
  project.Node(3, 0, "Sklad");
  for (int i = 0; i < risks; ++i) {
    // Every 50th text has a long word, so that columns widen below the first screen.
    const std::string ident = longWords && i % 50 == 49
                                  ? "Nebezpečí " + std::string(30 + i % 7, 'x')
                                  : "Nebezpečí číslo " + std::to_string(i);
    project.Risk(10 + i, 1 + i % 3,
                 {.text = "riziko " + std::to_string(i),
                  .p = 1 + i % 5,
                  .n = 1 + (i / 5) % 5,
                  .h = 2,
                  .ident = ident,
                  .opatreni = "Opatření číslo " + std::to_string(i) +
                              std::string(i % 4 == 0 ? " a ještě jedno delší opatření" : ""),
                  .comment = "pozn" + std::to_string(i)});
  }
}

int PageCount(const fs::path& pdf) {
  std::string info;
  EXPECT_EQ(test::RunCommand("pdfinfo " + Quote(pdf), &info), 0);
  const size_t at = info.find("Pages:");
  return at == std::string::npos ? 0 : std::atoi(info.c_str() + at + 6);
}

std::string PdfText(const fs::path& pdf) {
  std::string text;
  EXPECT_EQ(test::RunCommand("pdftotext -layout " + Quote(pdf) + " -", &text), 0);
  return text;
}

// The page rendered in grey at a low resolution.
std::string PageImage(const fs::path& pdf, int page) {
  const fs::path image = pdf.parent_path() / ("page" + std::to_string(page));
  const std::string p = std::to_string(page);
  EXPECT_EQ(test::RunCommand("pdftoppm -r 60 -gray -singlefile -f " + p + " -l " + p + " " +
                             Quote(pdf) + " " + Quote(image)),
            0);
  const std::string bytes = test::ReadFileBytes(image.string() + ".pgm");
  EXPECT_GT(bytes.size(), 1000u);
  return bytes;
}

// Prints the whole document at once on every page, clipped to the page, as the preview has
// always painted it: the reference for what the pages must look like.
int PrintWholeDocumentPerPage(const QTextDocument& source, const PrintSetup& setup,
                              const fs::path& target) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(target.string()));
  ApplyPrintSetup(printer, setup);
  QPainter painter(&printer);
  std::unique_ptr<QTextDocument> document(source.clone());
  document->documentLayout()->setPaintDevice(&printer);
  QTextFrameFormat frame = document->rootFrame()->frameFormat();
  frame.setMargin(0);
  document->rootFrame()->setFrameFormat(frame);
  const QRectF paint = printer.pageLayout().paintRectPixels(printer.resolution());
  document->setPageSize(paint.size());
  const int pages = document->pageCount();
  for (int page = 1; page <= pages; ++page) {
    if (page > 1) printer.newPage();
    painter.save();
    painter.setPen(Qt::black);
    const QRectF slice(0, (page - 1) * paint.height(), paint.width(), paint.height());
    painter.translate(0, -slice.top());
    painter.setClipRect(slice);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = slice;
    context.palette.setColor(QPalette::Text, Qt::black);
    document->documentLayout()->draw(&painter, context);
    painter.restore();
  }
  return pages;
}

class LongPreviewTest : public ::testing::Test {
 protected:
  void Open(int risks, bool longWords = true) {
    window.reset();
    form.reset();
    project.reset();
    const fs::path where = dir / std::to_string(risks);
    fs::create_directories(where / "tmp");
    project = std::make_unique<test::ProjectFixture>(where / "RiskData.dbf");
    FillProject(*project, risks, longWords);
    form = std::make_unique<NahledForm>(project->table, messages, progress, where / "tmp");
    window = std::make_unique<NahledFormWindow>(*form, dialogs, progress, dir / "none.lng");
    window->resize(900, 640);
    window->show();
  }
  ~LongPreviewTest() override {
    if (window) window->close();
  }

  // The page loaded all at once, as the preview did before it showed the first rows early.
  std::unique_ptr<QTextDocument> WholePage() const {
    auto document = std::make_unique<QTextDocument>();
    LoadReportDocument(*document, form->ReportPagePath());
    return document;
  }

  TempDir dir;
  std::unique_ptr<test::ProjectFixture> project;
  Messages messages;
  NullProgress progress;
  test::ScriptedDialogs dialogs;
  std::unique_ptr<NahledForm> form;
  std::unique_ptr<NahledFormWindow> window;
};

TEST(ReportPageHead, CutsAfterWholeRowsOfTheFirstTableOnly) {
  const QByteArray page =
      "<html><body><table>\r\n  <tr><td>a</td></tr>\r\n  <tr><td>b</td></tr>\r\n"
      "  <tr><td>c</td></tr>\r\n</table>\r\n<table><tr><td>legend</td></tr></table>\r\n";
  const QByteArray head = ReportPageHead(page, 2);
  EXPECT_TRUE(head.contains("<td>b</td></tr>\r\n</table>"));
  EXPECT_FALSE(head.contains("<td>c</td>"));
  EXPECT_TRUE(head.endsWith("</html>\r\n"));
  // Nothing to cut: every row of the first table fits, the legend's rows do not count.
  EXPECT_TRUE(ReportPageHead(page, 3).isEmpty());
  EXPECT_TRUE(ReportPageHead(page, 10).isEmpty());
  EXPECT_EQ(ReportPageRows(page), 3);
  EXPECT_EQ(ReportPageRows(head), 2);
  EXPECT_EQ(ReportPageRows("<html><body><p>no table</p></body></html>"), 0);
}

// Runs the event loop one pass at a time until `done`: a step scheduled by another step runs
// in a later pass, so each step of the layout can be seen on its own, however fast it is.
// The layout thread's work is waited for up to a minute, for a busy machine.
template <typename Done>
bool PassUntil(Done done) {
  QElapsedTimer waited;
  waited.start();
  while (!done() && waited.elapsed() < 60000) {
    QCoreApplication::processEvents();
    if (!done()) QThread::msleep(2);
  }
  return done();
}

TEST_F(LongPreviewTest, FirstRowsAtOnceThenTheSamePageAsLoadingItWhole) {
  for (const int risks : {120, 450, 1200}) {
    SCOPED_TRACE(risks);
    Open(risks);
    const QString last = QString::fromUtf8("pozn%1").arg(risks - 1);
    const bool cut = risks > NahledFormWindow::kFirstScreenRows;
    EXPECT_EQ(window->LayoutComplete(), !cut);
    // The first screen is the beginning of the whole page.
    const QString first = window->View()->toPlainText().left(2000);
    EXPECT_EQ(first.size(), 2000);
    EXPECT_TRUE(WholePage()->toPlainText().startsWith(first));
    EXPECT_EQ(window->View()->toPlainText().contains(last), !cut);
    PassUntil([&] { return window->LayoutComplete(); });
    ASSERT_TRUE(window->LayoutComplete());
    QTextDocument& shown = *window->View()->document();
    const std::unique_ptr<QTextDocument> whole = WholePage();
    EXPECT_EQ(shown.toHtml(), whole->toHtml());
    EXPECT_EQ(shown.defaultTextOption().wrapMode(), QTextOption::WordWrap);
    // Laid out at the view's width, both give the same height and the same print pages.
    whole->setTextWidth(shown.textWidth());
    EXPECT_EQ(shown.size(), whole->size());
    std::unique_ptr<QTextDocument> shownCopy(shown.clone());
    shownCopy->setPageSize(QSizeF(700, 900));
    whole->setPageSize(QSizeF(700, 900));
    EXPECT_EQ(shownCopy->pageCount(), whole->pageCount());
    window->close();
  }
}

// The rows of the report table shown.
int ShownTableRows(ReportPageView& view) {
  const QList<QTextFrame*> frames = view.document()->rootFrame()->childFrames();
  auto* table = frames.isEmpty() ? nullptr : qobject_cast<QTextTable*>(frames.first());
  return table == nullptr ? 0 : table->rows();
}

// The form writes the first rows alone at first; the first step from the event loop builds
// the whole page, whose first rows are those shown, byte for byte, and they stay shown.
TEST_F(LongPreviewTest, FirstRowsFromAPageOfTheirOwnThenTheWholePageBehindThem) {
  Open(1700);
  ASSERT_FALSE(form->PageComplete());
  ASSERT_FALSE(window->LayoutComplete());
  const QByteArray headPage = ReadReportPage(form->ReportPagePath());
  EXPECT_LT(ReportPageRows(headPage), 300);
  EXPECT_EQ(ShownTableRows(*window->View()), NahledFormWindow::kFirstScreenRows);
  EXPECT_FALSE(window->LayoutStatus()->isVisibleTo(window.get()));
  const QTextDocument* first = window->View()->document();
  const QString firstText = first->toPlainText();

  PassUntil([&] { return form->PageComplete(); });
  ASSERT_TRUE(form->PageComplete());
  const QByteArray wholePage = ReadReportPage(form->ReportPagePath());
  const QByteArray head = ReportPageHead(wholePage, NahledFormWindow::kFirstScreenRows);
  ASSERT_FALSE(head.isEmpty());
  EXPECT_EQ(ReportPageHead(headPage, NahledFormWindow::kFirstScreenRows), head);
  EXPECT_EQ(window->View()->document(), first);
  EXPECT_EQ(first->toPlainText(), firstText);
  QTextDocument fromWhole;
  SetReportDocument(fromWhole, head);
  EXPECT_EQ(first->toHtml(), fromWhole.toHtml());
  EXPECT_EQ(window->PageRows(), ReportPageRows(wholePage));
  EXPECT_TRUE(window->LayoutStatus()->isVisibleTo(window.get()));

  PassUntil([&] { return window->LayoutComplete(); });
  ASSERT_TRUE(window->LayoutComplete());
  EXPECT_EQ(window->View()->document()->toHtml(), WholePage()->toHtml());

  // Closed before the whole page is built: nothing is left to build, nothing is shown.
  Open(900);
  ASSERT_FALSE(window->LayoutComplete());
  window->close();
  EXPECT_TRUE(form->PageComplete());
  EXPECT_TRUE(window->LayoutComplete());
  QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_TRUE(form->ReportPagePath().empty());
}

TEST_F(LongPreviewTest, LongPageGrowsInStepsWithTheStatusThenTheSameAsLoadingItWhole) {
  Open(1700);
  // The first step builds the whole page.
  PassUntil([&] { return form->PageComplete(); });
  ASSERT_TRUE(form->PageComplete());
  const int rows = window->PageRows();
  ASSERT_GT(rows, NahledFormWindow::kFirstScreenRows * NahledFormWindow::kLayoutGrowth);
  EXPECT_EQ(ShownTableRows(*window->View()), NahledFormWindow::kFirstScreenRows);
  ASSERT_TRUE(window->LayoutStatus()->isVisibleTo(window.get()));
  EXPECT_TRUE(window->LayoutStatus()->text().contains(QString::number(rows)));
  const QString whole = WholePage()->toPlainText();
  // One step from the event loop: eight times the rows, the beginning of the same page.
  PassUntil([&] { return window->ShownRows() != NahledFormWindow::kFirstScreenRows; });
  const int step = NahledFormWindow::kFirstScreenRows * NahledFormWindow::kLayoutGrowth;
  ASSERT_FALSE(window->LayoutComplete());
  EXPECT_EQ(window->ShownRows(), step);
  EXPECT_EQ(ShownTableRows(*window->View()), step);
  EXPECT_TRUE(window->LayoutStatus()->text().contains(QString::number(step)));
  QString shown = window->View()->toPlainText();
  while (!shown.isEmpty() && shown.back().isSpace()) shown.chop(1);
  EXPECT_GT(shown.size(), 20000);
  EXPECT_TRUE(whole.startsWith(shown));
  // The PDF asked for now waits for the whole page.
  dialogs.saveFiles.push_back(dir / "sestava");
  window->findChild<QAction*>("ExportPdf1")->trigger();
  EXPECT_TRUE(window->LayoutComplete());
  EXPECT_FALSE(window->LayoutStatus()->isVisibleTo(window.get()));
  EXPECT_EQ(ShownTableRows(*window->View()), rows);
  EXPECT_EQ(window->View()->document()->toHtml(), WholePage()->toHtml());
  const int pages =
      WriteReportPdf(*WholePage(), form->CurrentPrintSetup(), PageAddress(form->ReportPagePath()),
                     dir / "whole.pdf", progress);
  EXPECT_EQ(PageCount(dir / "sestava.pdf"), pages);
  const std::string text = PdfText(dir / "sestava.pdf");
  EXPECT_NE(text.find("pozn1699"), std::string::npos);
  EXPECT_EQ(text, PdfText(dir / "whole.pdf"));
}

// The page view shows a document exactly as Qt's own text view does at the same width, also
// one laid out on the layout thread; a new width lays the page out anew there, while the one
// shown stays until the new layout comes.
TEST_F(LongPreviewTest, TheViewShowsWhatQtsTextViewShowsAndFollowsTheWidth) {
  Open(450);
  ASSERT_TRUE(PassUntil([&] { return window->LayoutComplete(); }));
  QTextBrowser reference;
  reference.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  reference.setFont(ReportFont());
  reference.setWordWrapMode(QTextOption::WordWrap);
  reference.resize(window->View()->size());
  reference.show();
  ASSERT_EQ(reference.viewport()->width(), window->View()->Width());
  auto copy = WholePage();
  reference.setDocument(copy.get());
  reference.document()->size();  // laid out to the end, as the preview's page is
  QCoreApplication::processEvents();
  for (const int y : {0, 3000}) {
    reference.verticalScrollBar()->setValue(y);
    window->View()->verticalScrollBar()->setValue(y);
    EXPECT_EQ(window->View()->viewport()->grab().toImage(), reference.viewport()->grab().toImage())
        << "at " << y;
  }
  reference.setDocument(nullptr);

  const QTextDocument* before = window->View()->document();
  const qreal height = before->size().height();
  window->resize(700, 640);
  QCoreApplication::processEvents();
  const int width = window->View()->Width();
  ASSERT_LT(width, 800);
  ASSERT_TRUE(PassUntil([&] { return window->View()->document() != before; }));
  QTextDocument& shown = *window->View()->document();
  EXPECT_EQ(shown.textWidth(), width);
  EXPECT_GT(shown.size().height(), height);  // narrower, so longer
  EXPECT_EQ(shown.toHtml(), WholePage()->toHtml());

  // Selected all and copied: the clipboard holds the page's text.
  window->View()->setFocus();
  QTest::keyClick(window->View(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(window->View(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), shown.toPlainText());

  // Another page (the other order) starts at its top.
  window->View()->verticalScrollBar()->setValue(2000);
  window->findChild<QCheckBox*>("SortedCheckBox")->click();
  EXPECT_EQ(window->View()->verticalScrollBar()->value(), 0);
}

TEST_F(LongPreviewTest, PdfAndPrintDuringTheLayoutWaitForTheWholePage) {
  Open(900);
  ASSERT_FALSE(form->PageComplete());  // only the first rows are written yet
  ASSERT_FALSE(window->LayoutComplete());
  dialogs.saveFiles.push_back(dir / "sestava");
  window->findChild<QAction*>("ExportPdf1")->trigger();
  EXPECT_TRUE(window->LayoutComplete());
  const fs::path pdf = dir / "sestava.pdf";
  const fs::path whole = dir / "whole.pdf";
  const int pages = WriteReportPdf(*WholePage(), form->CurrentPrintSetup(),
                                   PageAddress(form->ReportPagePath()), whole, progress);
  EXPECT_GE(pages, 10);
  EXPECT_EQ(PageCount(pdf), pages);
  const std::string text = PdfText(pdf);
  EXPECT_NE(text.find("pozn899"), std::string::npos);
  EXPECT_EQ(text, PdfText(whole));

  // Print as soon as the page is shown again (the sorted order).
  window->execDialog = [&](QDialog& dialog) {
    if (auto* print = qobject_cast<QPrintDialog*>(&dialog)) {
      print->printer()->setOutputFileName(QString::fromStdString((dir / "print.pdf").string()));
      return true;
    }
    return false;
  };
  window->findChild<QCheckBox*>("SortedCheckBox")->click();
  EXPECT_FALSE(window->LayoutComplete());
  window->findChild<QPushButton*>("BitBtn2")->click();
  EXPECT_TRUE(window->LayoutComplete());
  EXPECT_EQ(PageCount(dir / "print.pdf"), pages);
  EXPECT_NE(PdfText(dir / "print.pdf").find("pozn899"), std::string::npos);
}

TEST_F(LongPreviewTest, PagesPaintedOneByOneLookExactlyAsTheWholeDocumentPainted) {
  Open(700);
  window->CompleteLayout();
  PrintSetup setup = form->CurrentPrintSetup();
  // Without the header and footer lines both give only the body, so that the pictures of
  // the pages can be compared as they are.
  setup.header.clear();
  setup.footer.clear();
  const fs::path culled = dir / "culled.pdf", reference = dir / "reference.pdf";
  const int pages =
      WriteReportPdf(*window->View()->document(), setup, std::string(), culled, progress);
  EXPECT_EQ(PrintWholeDocumentPerPage(*window->View()->document(), setup, reference), pages);
  ASSERT_GE(pages, 8);
  EXPECT_EQ(PageCount(culled), pages);
  EXPECT_EQ(PdfText(culled), PdfText(reference));
  for (const int page : {1, 2, pages / 2, pages - 1, pages}) {
    EXPECT_TRUE(PageImage(culled, page) == PageImage(reference, page)) << "page " << page;
  }
  // What no page shows is left out: the table's border of every other page.
  EXPECT_LT(fs::file_size(culled), fs::file_size(reference));
}

// Every page of the PDF in grey at a low resolution.
std::vector<std::string> PageImages(const fs::path& pdf) {
  const fs::path stem = pdf.parent_path() / (pdf.stem().string() + "-page");
  EXPECT_EQ(test::RunCommand("pdftoppm -r 60 -gray " + Quote(pdf) + " " + Quote(stem)), 0);
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(pdf.parent_path())) {
    if (entry.path().filename().string().starts_with(stem.filename().string())) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> images;
  for (const fs::path& file : files) images.push_back(test::ReadFileBytes(file));
  return images;
}

struct PdfWord {
  int page = 0;
  double x = 0, y = 0;
  std::string text;
};

// Every word of the PDF with its page and where it starts.
std::vector<PdfWord> PdfWords(const fs::path& pdf) {
  std::string boxes;
  EXPECT_EQ(test::RunCommand("pdftotext -bbox " + Quote(pdf) + " -", &boxes), 0);
  std::vector<PdfWord> words;
  int page = 0;
  static const std::regex kWord(R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)"[^>]*>([^<]*)<)re");
  std::istringstream lines(boxes);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("<page ") != std::string::npos) ++page;
    std::smatch match;
    if (!std::regex_search(line, match, kWord)) continue;
    words.push_back({page, std::stod(match[1]), std::stod(match[2]), match[3].str()});
  }
  return words;
}

// The words that differ in page or text, or lie a device pixel (1/1200 inch) or more apart:
// Qt rounds some positions to whole pixels from the table's top, which lies elsewhere in a
// part.
int OtherWords(const std::vector<PdfWord>& a, const std::vector<PdfWord>& b) {
  int other = std::abs(static_cast<int>(a.size()) - static_cast<int>(b.size()));
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    if (a[i].page != b[i].page || a[i].text != b[i].text || std::abs(a[i].x - b[i].x) >= 0.06 ||
        std::abs(a[i].y - b[i].y) >= 0.06) {
      ++other;
    }
  }
  return other;
}

// Records the progress windows shown: their maximum, in order.
struct ShownProgress : NullProgress {
  void ShowProgress(const std::string&, int maximum) override { shown.push_back(maximum); }
  std::vector<int> shown;
};

// A long page printed a part at a time gives the pages of the whole page, the header and
// footer counting all pages. A long word widens its column for the whole table: the parts are
// laid out again with its row. Where the page's height is whole device pixels (without
// header and footer), the pages are alike picture for picture; otherwise every word is in its
// place to a device pixel. The parts kept from the counting of the pages, and those laid out
// again, print alike.
TEST_F(LongPreviewTest, APagePrintedInPartsIsThePagePrintedWhole) {
  struct Case {
    const char* name;
    bool longWords;
    bool lines;    // header and footer
    int keptRows;  // of the layouts from the counting of the pages
  };
  for (const Case& c : {Case{"short", false, true, 20000}, Case{"long", true, true, 0},
                        Case{"bare", false, false, 300}}) {
    SCOPED_TRACE(c.name);
    Open(900, c.longWords);
    window->CompleteLayout();
    const QByteArray page = ReadReportPage(form->ReportPagePath());
    PrintSetup setup = form->CurrentPrintSetup();
    if (!c.lines) setup.header = setup.footer = "";
    const fs::path out = dir / c.name;
    fs::create_directories(out);
    const int pages = WriteReportPdf(*WholePage(), setup, "adresa", out / "whole.pdf", progress);
    ASSERT_GE(pages, 12);
    ShownProgress recorded;
    EXPECT_EQ(WriteReportPagePdf(page, setup, "adresa", out / "parts.pdf", recorded,
                                 {40, 40, c.keptRows}),
              pages);
    EXPECT_GE(LastPrintParts(), pages / 2);
    // The rows are laid out first, to count the pages; then the pages are printed.
    EXPECT_EQ(recorded.shown, std::vector<int>({ReportPageRows(page), pages}));
    EXPECT_EQ(PdfText(out / "parts.pdf"), PdfText(out / "whole.pdf"));
    if (c.lines) {
      const std::vector<PdfWord> words = PdfWords(out / "whole.pdf");
      EXPECT_GT(words.size(), 1000u);
      EXPECT_EQ(OtherWords(PdfWords(out / "parts.pdf"), words), 0);
    } else {
      const std::vector<std::string> images = PageImages(out / "whole.pdf");
      ASSERT_EQ(images.size(), static_cast<size_t>(pages));
      EXPECT_TRUE(PageImages(out / "parts.pdf") == images);
    }
  }
}

// The window prints a long page in parts from the page file, once the page is built.
TEST_F(LongPreviewTest, TheWindowPrintsALongPageInParts) {
  Open(900);
  window->printParts = {40, 40};
  dialogs.saveFiles.push_back(dir / "sestava");
  window->findChild<QAction*>("ExportPdf1")->trigger();
  EXPECT_TRUE(form->PageComplete());
  EXPECT_GT(LastPrintParts(), 1);
  const int pages =
      WriteReportPdf(*WholePage(), form->CurrentPrintSetup(), PageAddress(form->ReportPagePath()),
                     dir / "whole.pdf", progress);
  EXPECT_EQ(PageCount(dir / "sestava.pdf"), pages);
  EXPECT_EQ(PdfText(dir / "sestava.pdf"), PdfText(dir / "whole.pdf"));
}

// Presses "Storno" once `cancelAtStep` steps were made; counts the steps and the questions.
class StornoAfter : public NullProgress {
 public:
  explicit StornoAfter(int cancelAtStep) : cancelAtStep_(cancelAtStep) {}
  void ShowProgress(const std::string&, int) override { shown = true; }
  void HideProgress() override { shown = false; }
  void SetProgress(int) override { ++steps; }
  void StepProgress() override { ++steps; }
  bool Canceled() override {
    ++asked;
    return cancelAtStep_ >= 0 && steps >= cancelAtStep_;
  }
  int steps = 0;
  int asked = 0;
  bool shown = false;

 private:
  int cancelAtStep_;
};

// The files in a directory, to see that nothing was left behind.
std::set<std::string> Files(const fs::path& where) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(where)) names.insert(entry.path().filename());
  return names;
}

// The PDF export (whole and in parts) and a print into a file alike: "Storno" stops at the
// next step, leaves no file behind and keeps an earlier one; without it the whole file replaces the
// earlier one.
TEST_F(LongPreviewTest, StornoStopsAFileAtTheNextPageAndKeepsTheEarlierOne) {
  Open(400);
  window->CompleteLayout();
  const QTextDocument& document = *window->View()->document();
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  const QByteArray page = ReadReportPage(form->ReportPagePath());
  using Writer = std::function<int(const fs::path&, Progress&)>;
  const std::pair<const char*, Writer> writers[] = {
      {"pdf in parts",
       [&](const fs::path& target, Progress& progress) {
         return WriteReportPagePdf(page, form->CurrentPrintSetup(), std::string(), target, progress,
                                   {40, 40});
       }},
      {"pdf",
       [&](const fs::path& target, Progress& progress) {
         return WriteReportPdf(document, form->CurrentPrintSetup(), std::string(), target,
                               progress);
       }},
      {"print",
       [&](const fs::path& target, Progress& progress) {
         printer.setOutputFileName(QString::fromStdString(target.string()));
         const int pages = PrintReportIntoFile(document, printer, form->CurrentPrintSetup(),
                                               std::string(), target, progress);
         EXPECT_EQ(printer.outputFileName().toStdString(), target.string());
         return pages;
       }},
  };
  for (const auto& [name, write] : writers) {
    SCOPED_TRACE(name);
    const fs::path out = dir / "out" / name;
    fs::create_directories(out);
    const fs::path earlier = out / "sestava.pdf";
    test::WriteFileBytes(earlier, "the earlier file");
    const std::set<std::string> before = Files(out);
    StornoAfter storno(2);
    EXPECT_THROW(write(earlier, storno), ProgressCanceled);
    EXPECT_EQ(storno.steps, 2);
    EXPECT_FALSE(storno.shown);
    EXPECT_EQ(test::ReadFileBytes(earlier), "the earlier file");
    EXPECT_EQ(Files(out), before);
    // Without an earlier file none is left either.
    StornoAfter stornoAtOnce(0);
    EXPECT_THROW(write(out / "nova.pdf", stornoAtOnce), ProgressCanceled);
    EXPECT_EQ(Files(out), before);
    StornoAfter none(-1);
    const int pages = write(earlier, none);
    EXPECT_EQ(PageCount(earlier), pages);
    EXPECT_GE(none.asked, pages);
    EXPECT_EQ(Files(out), before);
  }
}

TEST(StornoProgress, TheButtonStopsTheNextStepAndTheRestOfTheOperation) {
  QWidget parent;
  struct Busy : NullProgress {
    int depth = 0;
    void BeginBusy() override { ++depth; }
    void EndBusy() override { --depth; }
  } program;
  StornoProgress storno(&parent, program);
  storno.ShowProgress("Tisknu", 10);
  storno.StepProgress();
  storno.SetProgress(5);
  EXPECT_FALSE(storno.Canceled());
  EXPECT_EQ(storno.Dialog()->value(), 5);
  EXPECT_EQ(storno.Dialog()->labelText(), QString("Tisknu"));
  storno.Dialog()->cancel();  // "Storno"
  EXPECT_TRUE(storno.Canceled());
  EXPECT_THROW(storno.StepProgress(), ProgressCanceled);
  storno.HideProgress();
  EXPECT_EQ(storno.Dialog(), nullptr);
  // A later step of the same operation (a print after its layout) stops at once.
  EXPECT_TRUE(storno.Canceled());
  EXPECT_THROW(storno.ShowProgress("Tisknu", 3), ProgressCanceled);
  // The hourglass is the program's.
  storno.BeginBusy();
  EXPECT_EQ(program.depth, 1);
  storno.EndBusy();
  EXPECT_EQ(program.depth, 0);
}

}  // namespace
}  // namespace orvenda
