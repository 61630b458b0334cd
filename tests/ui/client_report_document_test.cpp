// The client report written as PDF and ODT and read back as a user's tools read it:
// pdftotext and pdfinfo for the PDF, LibreOffice for the ODT.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <sstream>

#include "archive/zlb_archive.h"
#include "base/cp1250.h"
#include "client_report_document.h"
#include "reports/report_fixture.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using ::testing::HasSubstr;
using ::testing::Not;

const char* const kCategories[] = {"nehodnoceno",  "Bezvýznamné riziko", "Akceptovatelné riziko",
                                   "Mírné riziko", "Nežádoucí riziko",   "Nepřijatelné riziko"};

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

// Whitespace, line breaks included, folded to single blanks.
std::string Folded(const std::string& text) {
  return QString::fromStdString(text).simplified().toStdString();
}

// A project whose risks cover every category, one unrated, with a memo of two lines and a
// word too long for its column; `risks` risks in all.
struct Project {
  // `tallLines`: risk 0's description has that many lines, more than a page holds.
  explicit Project(const fs::path& dir, int risks = 40, int tallLines = 0) {
    const fs::path source = dir / "rsk";
    fs::create_directories(source);
    {
      test::ProjectFixture project(source);
      project.Node(1, 0, "Dílna");
      project.Node(2, 1, "Lis");
      project.Node(3, 0, "Sklad");
      for (int i = 0; i < risks; ++i) {
        const int p = 1 + i % 5, n = 1 + (i / 5) % 5, h = 1 + (i / 3) % 5;
        test::RiskFields fields{.text = "riziko " + std::to_string(i),
                                .p = p,
                                .n = n,
                                .h = h,
                                .ident = "Nebezpečí číslo " + std::to_string(i),
                                .opatreni = "Opatření číslo " + std::to_string(i),
                                .comment = "pozn" + std::to_string(i)};
        if (i == 7) fields.h = std::nullopt;  // unrated
        if (i == 8) fields.ident = "první řádek\r\ndruhý řádek";
        if (i == 9) fields.comment = std::string(150, 'x') + "konec";
        if (i == 0 && tallLines > 0) {
          fields.ident.clear();
          for (int line = 1; line <= tallLines; ++line) {
            fields.ident += "radek" + std::to_string(line) + "\r\n";
          }
        }
        project.Risk(10 + i, 1 + i % 3, fields);
        hazards.push_back(fields.text);
        idents.push_back(fields.ident);
      }
      project.table.Close();
    }
    rsk = dir / "Projekt.RSK";
    TZLBArchive archive;
    archive.CreateArchive(rsk);
    archive.AddFiles({source / "RiskData.dbf", source / "RiskData.dbt", source / "RiskData.mdx"});
    archive.CloseArchive();
  }
  fs::path rsk;
  std::vector<std::string> hazards, idents;
};

ClientReportOptions Options() {
  ClientReportOptions options;
  options.client = W("Strojírny Vltava a.s.");
  options.assessor = W("Ing. Jana Nováková");
  options.date = "8. 12. 2026";
  return options;
}

int PdfPageCount(const fs::path& pdf) {
  std::string info;
  EXPECT_EQ(test::RunCommand("pdfinfo " + Quote(pdf), &info), 0);
  const QRegularExpressionMatch match =
      QRegularExpression("Pages:\\s+(\\d+)").match(QString::fromStdString(info));
  return match.hasMatch() ? match.captured(1).toInt() : 0;
}

std::string PdfPageText(const fs::path& pdf, int page) {
  std::string text;
  EXPECT_EQ(test::RunCommand("pdftotext -f " + std::to_string(page) + " -l " +
                                 std::to_string(page) + " " + Quote(pdf) + " -",
                             &text),
            0);
  return text;
}

// The risks of every register row as the document holds them, for the matrix check: the
// numbers in the 5 × 5 grid of the matrix table, P from 5 down.
std::vector<std::vector<int>> MatrixOf(const QTextDocument& document) {
  for (QTextFrame* frame : document.rootFrame()->childFrames()) {
    auto* table = qobject_cast<QTextTable*>(frame);
    if (table == nullptr || table->rows() != 7 || table->columns() != 7) continue;
    std::vector<std::vector<int>> grid;
    for (int row = 2; row < 7; ++row) {
      std::vector<int> cells;
      for (int column = 2; column < 7; ++column) {
        QTextCursor cursor = table->cellAt(row, column).firstCursorPosition();
        cursor.setPosition(table->cellAt(row, column).lastPosition(), QTextCursor::KeepAnchor);
        cells.push_back(cursor.selectedText().toInt());
      }
      grid.push_back(cells);
    }
    return grid;
  }
  return {};
}

class ClientReportDocumentTest : public ::testing::Test {
 protected:
  ClientReport Report(const ClientReportOptions& options = Options()) {
    Table table;
    table.SetPath(dir / "rsk" / "RiskData.dbf");
    table.Open();
    return BuildClientReport(table, messages, options, "Projekt.RSK");
  }

  TempDir dir;
  Project project{dir.path()};
  Messages messages;
};

TEST_F(ClientReportDocumentTest, PdfHoldsEveryRiskTheCategoriesAndNumbersAllButTheTitlePage) {
  const fs::path pdf = dir / "Zprava.pdf";
  std::ostringstream err;
  ASSERT_EQ(RunClientReport(Options(), project.rsk, pdf, err), 0) << err.str();
  EXPECT_EQ(err.str(), "");
  const int pages = PdfPageCount(pdf);
  ASSERT_GE(pages, 5);  // title, summary, matrix, register, legend

  std::string all;
  for (int page = 1; page <= pages; ++page) {
    const std::string text = PdfPageText(pdf, page);
    all += text + "\n";
    if (page == 1) {
      // The title page: title, client, object, assessor, file, count, the signature lines.
      EXPECT_THAT(text, Not(HasSubstr("Strana")));
      const std::string folded = Folded(text);
      EXPECT_THAT(folded, HasSubstr("Hodnocení rizik"));
      EXPECT_THAT(folded, HasSubstr("Strojírny Vltava a.s."));
      EXPECT_THAT(folded, HasSubstr("Dílna, Sklad"));
      EXPECT_THAT(folded, HasSubstr("Ing. Jana Nováková"));
      EXPECT_THAT(folded, HasSubstr("Projekt.RSK"));
      EXPECT_THAT(folded, HasSubstr("Počet posuzovaných"));
      EXPECT_THAT(folded, HasSubstr(" 40"));
      EXPECT_THAT(folded, HasSubstr("Zpracoval:"));
      EXPECT_THAT(folded, HasSubstr("Převzal:"));
    } else {
      EXPECT_THAT(
          text, HasSubstr("Strana " + std::to_string(page - 1) + " z " + std::to_string(pages - 1)))
          << "page " << page;
      EXPECT_THAT(text, HasSubstr("8. 12. 2026")) << "page " << page;
    }
  }
  const std::string folded = Folded(all);
  for (size_t i = 0; i < project.hazards.size(); ++i) {
    EXPECT_THAT(folded, HasSubstr(project.hazards[i] + " ")) << i;
    EXPECT_THAT(folded, HasSubstr(Folded(project.idents[i]))) << i;
  }
  for (const char* category : kCategories) EXPECT_THAT(folded, HasSubstr(category));
  EXPECT_THAT(folded, HasSubstr("Dílna / Lis"));
  EXPECT_THAT(folded, HasSubstr("101 - 125"));
  EXPECT_THAT(folded, HasSubstr("Smrtelný úraz"));
  // A word longer than its column is wrapped, never cut.
  std::string joined = all;
  std::erase_if(joined, [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
  EXPECT_THAT(joined, HasSubstr(std::string(150, 'x') + "konec"));

  std::string info, meta;
  ASSERT_EQ(test::RunCommand("pdfinfo " + Quote(pdf), &info), 0);
  EXPECT_THAT(info, HasSubstr("Hodnocení rizik"));
  EXPECT_THAT(info, HasSubstr("Orvenda"));
  EXPECT_THAT(info, ::testing::ContainsRegex("Page size: +595 x 842 pts \\(A4\\)"));
  ASSERT_EQ(test::RunCommand("pdfinfo -meta " + Quote(pdf), &meta), 0);
  EXPECT_THAT(meta, HasSubstr("<dc:creator><rdf:Seq><rdf:li>Ing. Jana Nováková</rdf:li>"));
  // Every font embedded: the column "emb" of pdffonts, fifth from the end.
  std::string fonts;
  ASSERT_EQ(test::RunCommand("pdffonts " + Quote(pdf), &fonts), 0);
  int listed = 0;
  for (const QString& line : QString::fromStdString(fonts).split('\n').mid(2)) {
    const QStringList fields = line.simplified().split(' ');
    if (fields.size() < 6) continue;
    ++listed;
    EXPECT_EQ(fields[fields.size() - 5], "yes") << line.toStdString();
  }
  EXPECT_GE(listed, 1) << fonts;
  // Nothing left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

TEST_F(ClientReportDocumentTest, RegisterSectionsRepeatTheirHeadingOnEveryPageAndLandscapeTurns) {
  TempDir big;
  const Project many(big.path(), 240);
  ClientReportOptions options = Options();
  options.landscape = true;
  options.summary = false;
  options.matrix = false;
  options.legend = false;
  const fs::path pdf = big / "Zprava.pdf";
  std::ostringstream err;
  ASSERT_EQ(RunClientReport(options, many.rsk, pdf, err), 0) << err.str();
  std::string info;
  ASSERT_EQ(test::RunCommand("pdfinfo " + Quote(pdf), &info), 0);
  EXPECT_THAT(info, ::testing::ContainsRegex("Page size: +842 x 595 pts \\(A4\\)"));
  const int pages = PdfPageCount(pdf);
  ASSERT_GE(pages, 5);
  // Every register page starts with a section heading and the column titles.
  const QRegularExpression heading(QString::fromUtf8("^ *[123] +(Dílna|Dílna / Lis|Sklad) *$"),
                                   QRegularExpression::MultilineOption);
  for (int page = 2; page <= pages; ++page) {
    std::string text;
    ASSERT_EQ(test::RunCommand("pdftotext -layout -f " + std::to_string(page) + " -l " +
                                   std::to_string(page) + " " + Quote(pdf) + " -",
                               &text),
              0);
    EXPECT_THAT(text, HasSubstr("Nebezpečí")) << "page " << page;
    EXPECT_TRUE(heading.match(QString::fromStdString(text)).hasMatch()) << "page " << page;
    // No section's header rows stand at the foot of a page without a risk under them.
    const QString pageText = QString::fromStdString(text);
    qsizetype lastHeading = -1;
    for (QRegularExpressionMatchIterator it = heading.globalMatch(pageText); it.hasNext();) {
      lastHeading = it.next().capturedEnd();
    }
    EXPECT_GE(pageText.indexOf(QStringLiteral("riziko "), lastHeading), 0) << "page " << page;
  }
  // Measures and notes are columns of their own; both may be left out.
  EXPECT_THAT(Folded(PdfPageText(pdf, 2)), HasSubstr("Opatření číslo 0"));
  options.measures = false;
  options.notes = false;
  ASSERT_EQ(RunClientReport(options, many.rsk, pdf, err), 0) << err.str();
  const std::string without = Folded(PdfPageText(pdf, 2));
  EXPECT_THAT(without, HasSubstr("Nebezpečí číslo 0"));
  EXPECT_THAT(without, Not(HasSubstr("Opatření číslo 0")));
  EXPECT_THAT(without, Not(HasSubstr("pozn0")));
}

// A row taller than a page goes on over the next pages, every line once and in order, under
// the repeated header rows; the rows after it follow.
TEST_F(ClientReportDocumentTest, RowTallerThanAPageContinuesOnTheNextPages) {
  TempDir tall;
  const Project many(tall.path(), 12, 260);
  ClientReportOptions options = Options();
  options.summary = false;
  options.matrix = false;
  options.legend = false;
  const fs::path pdf = tall / "Zprava.pdf";
  std::ostringstream err;
  ASSERT_EQ(RunClientReport(options, many.rsk, pdf, err), 0) << err.str();
  const int pages = PdfPageCount(pdf);
  ASSERT_GE(pages, 4);  // the title page and the 260 lines over at least three
  std::vector<int> lines;
  for (int page = 2; page <= pages; ++page) {
    const std::string text = PdfPageText(pdf, page);
    EXPECT_THAT(text, HasSubstr("Popis nebezpečí")) << "page " << page;
    EXPECT_THAT(
        text, HasSubstr("Strana " + std::to_string(page - 1) + " z " + std::to_string(pages - 1)));
    const QRegularExpression line("radek(\\d+)");
    QRegularExpressionMatchIterator found = line.globalMatch(QString::fromStdString(text));
    while (found.hasNext()) lines.push_back(found.next().captured(1).toInt());
  }
  ASSERT_EQ(lines.size(), 260u);
  for (int i = 0; i < 260; ++i) ASSERT_EQ(lines[i], i + 1);
  const std::string last = Folded(PdfPageText(pdf, pages));
  EXPECT_THAT(last, HasSubstr("riziko 11"));
}

// Progress over the risks, twice (pages counted, then painted); a stop while painting, as
// "Storno" does, leaves the old file and nothing beside it. The same for the ODT.
TEST_F(ClientReportDocumentTest, ProgressRunsOverTheRisksAndAStopKeepsTheOldFile) {
  struct Stop {};
  struct Recorder : NullProgress {
    void ShowProgress(const std::string&, int maximum) override {
      ++shown;
      this->maximum = maximum;
    }
    void SetProgress(int position) override {
      EXPECT_GT(position, last);
      EXPECT_LE(position, maximum);
      last = position;
      if (stopAt > 0 && position >= stopAt) throw Stop{};
    }
    void HideProgress() override { ++hidden; }
    int shown = 0, hidden = 0, maximum = 0, last = 0, stopAt = 0;
  };
  TempDir big;
  const Project many(big.path(), 300);
  Table table;
  table.SetPath(big / "rsk" / "RiskData.dbf");
  table.Open();
  const ClientReport report = BuildClientReport(table, messages, Options(), "Projekt.RSK");
  const fs::path target = big / "Zprava.pdf";
  Recorder whole;
  const int pages = WriteClientReportPdf(report, target, whole);
  EXPECT_EQ(pages, PdfPageCount(target));
  EXPECT_EQ(whole.maximum, 600);
  EXPECT_GT(whole.last, 300);
  EXPECT_EQ(whole.shown, 1);
  EXPECT_EQ(whole.hidden, 1);

  test::WriteFileBytes(target, "old");
  Recorder stopped;
  stopped.stopAt = 301;
  EXPECT_THROW(WriteClientReportPdf(report, target, stopped), Stop);
  EXPECT_EQ(stopped.hidden, 1);
  EXPECT_EQ(test::ReadFileBytes(target), "old");
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(big.path())) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_THAT(left, ::testing::UnorderedElementsAre("rsk", "Projekt.RSK", "Zprava.pdf"));

  // The ODT's progress moves while its document is built, and a stop there keeps the old file.
  const fs::path odt = big / "Zprava.odt";
  Recorder built;
  WriteClientReportOdt(report, odt, built);
  EXPECT_EQ(built.last, built.maximum);
  EXPECT_GT(built.maximum, 300);
  test::WriteFileBytes(odt, "old");
  Recorder early;
  early.stopAt = 1;
  EXPECT_THROW(WriteClientReportOdt(report, odt, early), Stop);
  EXPECT_LT(early.last, built.maximum / 2);
  EXPECT_EQ(test::ReadFileBytes(odt), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(big.path()), fs::directory_iterator()), 4);
}

TEST_F(ClientReportDocumentTest, DocumentMatrixEqualsTheRegisterAndMemosBreakLines) {
  const ClientReport report = Report();
  QTextDocument document;
  BuildClientReportDocument(document, report);
  const std::vector<std::vector<int>> grid = MatrixOf(document);
  ASSERT_EQ(grid.size(), 5u);
  // Rows from P = 5 down, columns N = 1..5, as counted from the register's risks.
  int total = 0;
  for (int p = 5; p >= 1; --p) {
    for (int n = 1; n <= 5; ++n) {
      int expected = 0;
      for (const ClientSection& section : report.sections) {
        for (const ClientRisk& risk : section.risks) expected += risk.p == p && risk.n == n;
      }
      EXPECT_EQ(grid[5 - p][n - 1], expected) << "P " << p << " N " << n;
      total += grid[5 - p][n - 1];
    }
  }
  EXPECT_EQ(total, 40);
  const QString text = document.toPlainText();
  EXPECT_TRUE(text.contains(QString::fromUtf8("první řádek\ndruhý řádek")));
  EXPECT_FALSE(text.contains(QChar('\r')));
  // A consultant's markup stays text.
  EXPECT_FALSE(text.contains("<b>"));
}

// The ODT as LibreOffice reads it: the same texts as the PDF.
TEST_F(ClientReportDocumentTest, OdtReadByLibreOfficeHoldsTheSameTexts) {
  const fs::path odt = dir / "Zprava.odt";
  std::ostringstream err;
  ASSERT_EQ(RunClientReport(Options(), project.rsk, odt, err), 0) << err.str();
  if (test::RunCommand("command -v soffice >/dev/null") != 0) {
    GTEST_SKIP() << "soffice (libreoffice-writer-nogui) is not installed";
  }
  const fs::path out = dir / "txt";
  fs::create_directories(out);
  std::string log;
  ASSERT_EQ(test::RunCommand("soffice --headless -env:UserInstallation=file://" +
                                 (dir / "lo-profile").string() + " --convert-to txt --outdir " +
                                 Quote(out) + " " + Quote(odt) + " 2>&1",
                             &log),
            0)
      << log;
  const std::string folded = Folded(test::ReadFileBytes(out / "Zprava.txt"));
  ASSERT_FALSE(folded.empty()) << log;
  EXPECT_THAT(folded, HasSubstr("Hodnocení rizik"));
  EXPECT_THAT(folded, HasSubstr("Ing. Jana Nováková"));
  for (size_t i = 0; i < project.hazards.size(); ++i) {
    EXPECT_THAT(folded, HasSubstr(project.hazards[i])) << i;
    EXPECT_THAT(folded, HasSubstr(Folded(project.idents[i]))) << i;
  }
  for (const char* category : kCategories) EXPECT_THAT(folded, HasSubstr(category));
  EXPECT_THAT(folded, HasSubstr("Dílna / Lis"));
  // The colours of the categories are in the package.
  std::string content;
  ASSERT_EQ(test::RunCommand("python3 -c \"import zipfile,sys; "
                             "sys.stdout.write(zipfile.ZipFile(sys.argv[1]).read('content.xml')"
                             ".decode())\" " +
                                 Quote(odt),
                             &content),
            0);
  EXPECT_THAT(content, HasSubstr("#800026"));
  // Widths in points: office programs read no percentages there.
  EXPECT_THAT(content, ::testing::ContainsRegex("column-width=\"[0-9.]+pt\""));
  EXPECT_THAT(content, Not(::testing::ContainsRegex("width=\"[0-9.]+%\"")));
  EXPECT_THAT(content, HasSubstr("#ffffb2"));

  // As LibreOffice prints it: the header and footer on all pages but the title page, counted
  // without it, and the category colours in the cells.
  ASSERT_EQ(test::RunCommand("soffice --headless -env:UserInstallation=file://" +
                                 (dir / "lo-profile").string() + " --convert-to pdf --outdir " +
                                 Quote(out) + " " + Quote(odt) + " 2>&1",
                             &log),
            0)
      << log;
  const fs::path printed = out / "Zprava.pdf";
  const int pages = PdfPageCount(printed);
  ASSERT_GE(pages, 5);
  EXPECT_THAT(PdfPageText(printed, 1), Not(HasSubstr("Strana")));
  for (int page = 2; page <= pages; ++page) {
    const std::string text = Folded(PdfPageText(printed, page));
    EXPECT_THAT(text,
                HasSubstr("Strana " + std::to_string(page - 1) + " z " + std::to_string(pages - 1)))
        << "page " << page;
    EXPECT_THAT(text, HasSubstr("Ing. Jana Nováková")) << "page " << page;
    EXPECT_THAT(text, HasSubstr("Hodnocení rizik")) << "page " << page;
  }
  // The summary's header row has every category's fill: count the pixels of the darkest.
  ASSERT_EQ(test::RunCommand("pdftoppm -r 30 -f 2 -l 2 -singlefile " + Quote(printed) + " " +
                             Quote(out / "summary")),
            0);
  const std::string ppm = test::ReadFileBytes(out / "summary.ppm");
  const QList<QByteArray> head = QByteArray::fromStdString(ppm.substr(0, 40)).split('\n');
  ASSERT_GE(head.size(), 3);
  const size_t pixels = ppm.size() - (head[0].size() + head[1].size() + head[2].size() + 3);
  int dark = 0;
  for (size_t at = ppm.size() - pixels; at + 2 < ppm.size(); at += 3) {
    const auto r = static_cast<unsigned char>(ppm[at]), g = static_cast<unsigned char>(ppm[at + 1]),
               b = static_cast<unsigned char>(ppm[at + 2]);
    dark += std::abs(r - 0x80) < 12 && g < 12 && std::abs(b - 0x26) < 12;
  }
  EXPECT_GE(dark, 20);
}

TEST_F(ClientReportDocumentTest, FailuresWriteNothingAndKeepTheOldFile) {
  std::ostringstream err;
  // A missing project.
  EXPECT_EQ(RunClientReport(Options(), dir / "Chybi.RSK", dir / "a.pdf", err), 1);
  EXPECT_THAT(err.str(), HasSubstr("Soubor nenalezen."));
  EXPECT_FALSE(fs::exists(dir / "a.pdf"));
  // An output that is neither PDF nor ODT.
  err.str("");
  EXPECT_EQ(RunClientReport(Options(), project.rsk, dir / "a.docx", err), 1);
  EXPECT_THAT(err.str(), HasSubstr(".pdf or .odt"));
  EXPECT_FALSE(fs::exists(dir / "a.docx"));
  // A folder that does not exist.
  err.str("");
  EXPECT_EQ(RunClientReport(Options(), project.rsk, dir / "none" / "a.odt", err), 1);
  EXPECT_THAT(err.str(), HasSubstr("a.odt"));
  // A branch that is not in the project.
  ClientReportOptions options = Options();
  options.branch = 999;
  err.str("");
  EXPECT_EQ(RunClientReport(options, project.rsk, dir / "b.pdf", err), 1);
  EXPECT_THAT(err.str(), HasSubstr("999"));
  EXPECT_FALSE(fs::exists(dir / "b.pdf"));

  // A disk that fills up while writing: the old file stays, no temporary file is left.
  const ClientReport report = Report();
  NullProgress progress;
  for (const char* name : {"old.pdf", "old.odt"}) {
    const fs::path target = dir / name;
    test::WriteFileBytes(target, "old");
    const auto write = [&] {
      test::FileSizeLimit limit(4000);
      if (target.extension() == ".pdf") {
        WriteClientReportPdf(report, target, progress);
      } else {
        WriteClientReportOdt(report, target, progress);
      }
    };
    EXPECT_THAT(test::ErrorText(write), HasSubstr(name));
    EXPECT_EQ(test::ReadFileBytes(target), "old") << name;
  }
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_THAT(left, ::testing::UnorderedElementsAre("rsk", "Projekt.RSK", "old.pdf", "old.odt"));
}

}  // namespace
}  // namespace orvenda
