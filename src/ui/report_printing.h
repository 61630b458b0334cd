#pragma once

#include <QFont>
#include <QPrinter>
#include <QString>
#include <QTextDocument>
#include <QTextFormat>
#include <filesystem>
#include <memory>

#include "base/progress.h"
#include "reports/print_setup.h"

namespace orvenda {

// The report page as Qt's HTML engine gets it: decoded from windows-1250 and mended where
// Qt lays it out unlike a browser. The file itself is never changed.
QString ReportHtmlForQt(const QByteArray& page);
// Loads the page file into `document` with the report's fonts. Throws orvenda::Error when the
// file cannot be read.
void LoadReportDocument(QTextDocument& document, const std::filesystem::path& page);
// The bytes of the page file. Throws orvenda::Error when the file cannot be read.
QByteArray ReadReportPage(const std::filesystem::path& page);
// The browser's default font for pages (a serif of 12 points), used for view and print alike.
QFont ReportFont();
// Fills `document` with the page's bytes as LoadReportDocument does. Away from the GUI thread
// `font` is ReportFont() as taken there.
void SetReportDocument(QTextDocument& document, const QByteArray& page,
                       const QFont& font = ReportFont());
// The page cut after its first `rows` table rows (the header rows count), closed as a page
// of its own; empty when the page has no more rows than that.
QByteArray ReportPageHead(const QByteArray& page, int rows);
// The number of table rows of the page's first table (the header rows count).
int ReportPageRows(const QByteArray& page);

// A copy of `source` laid out for `device` in pages of `page` (device pixels), without the
// root frame's margin: the document that printing paints page by page. `first` is the format
// of its first block, where the source's is not wanted.
std::unique_ptr<QTextDocument> PrintLayout(const QTextDocument& source, QPaintDevice& device,
                                           const QSizeF& page,
                                           const QTextBlockFormat* first = nullptr);

// Paper, orientation and margins of `setup` onto the printer, and back.
void ApplyPrintSetup(QPrinter& printer, const PrintSetup& setup);
PrintSetup PrintSetupFromPrinter(const QPrinter& printer, PrintSetup base);

// Prints `document` on the printer as laid out for its page: every page with the header at
// the top and the footer at the bottom (the browser's codes of `setup`), the body between
// them. `address` is the page address for &u. Steps `progress` once per page. Returns the
// number of pages; throws orvenda::Error when the printer cannot be painted on, and
// ProgressCanceled, with the print aborted, when `progress` is canceled.
int PrintReportDocument(const QTextDocument& document, QPrinter& printer, const PrintSetup& setup,
                        const std::string& address, Progress& progress);

// How PrintReportPage cuts a long page: a page of more than `wholeRows` table rows is printed
// a part of about `partRows` rows at a time. Qt lays a table out as one piece, and paints a
// page of it in time that grows with the table's pages. Each part is laid out once to count
// the pages; the layouts of the first `keptRows` rows are kept for the print, the others laid
// out again, so that memory stays bounded (some 50 KB a row kept).
struct PrintParts {
  int partRows = 3000;
  int wholeRows = 3000;
  int keptRows = 20000;
};

// Whether PrintReportPage prints `page` in parts.
bool ReportPrintedInParts(const QByteArray& page, const PrintParts& parts = {});
// The page's title, as a document of it would have it.
QString ReportPageTitle(const QByteArray& page);

// Prints the page file's bytes as PrintReportDocument prints the page's document; a long
// page in parts, which give the same pages. A page that does not print alike in parts is
// printed whole.
int PrintReportPage(const QByteArray& page, QPrinter& printer, const PrintSetup& setup,
                    const std::string& address, Progress& progress, const PrintParts& parts = {});

// The parts the last PrintReportPage of this thread printed in; 0 when it printed whole.
int LastPrintParts();

// The same onto a printer that prints into the file `target` (a PDF): written beside it and
// renamed over it when complete; an error or "Storno" removes the unfinished file and leaves
// an earlier `target` as it was. The printer's output file name is kept.
int PrintReportIntoFile(const QTextDocument& document, QPrinter& printer, const PrintSetup& setup,
                        const std::string& address, const std::filesystem::path& target,
                        Progress& progress);

// The same into a new PDF file with the printer settings of `setup`.
int WriteReportPdf(const QTextDocument& document, const PrintSetup& setup,
                   const std::string& address, const std::filesystem::path& target,
                   Progress& progress);

// Both of them for the page file's bytes, printed as PrintReportPage prints.
int PrintReportPageIntoFile(const QByteArray& page, QPrinter& printer, const PrintSetup& setup,
                            const std::string& address, const std::filesystem::path& target,
                            Progress& progress, const PrintParts& parts = {});
int WriteReportPagePdf(const QByteArray& page, const PrintSetup& setup, const std::string& address,
                       const std::filesystem::path& target, Progress& progress,
                       const PrintParts& parts = {});

}  // namespace orvenda
