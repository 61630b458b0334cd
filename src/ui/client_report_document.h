#pragma once

#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPrinter>
#include <QTextDocument>
#include <filesystem>
#include <ostream>

#include "base/progress.h"
#include "reports/client_report.h"

namespace orvenda {

// The client report as one QTextDocument: the title page, the summary, the risk matrix, the
// register and the legend, every part on a page of its own. The ODT is written from it; print
// and PDF lay out the same parts but paint the register's rows themselves (see
// PaintClientReport). Only the table widths differ by target: Qt's ODF writer understands
// nothing but fixed widths in points, while the layout takes shares of the page.
enum class ClientDocumentTarget { Layout, Odf };
void BuildClientReportDocument(QTextDocument& document, const ClientReport& report,
                               ClientDocumentTarget target = ClientDocumentTarget::Layout);

// A4 in the report's orientation with its margins.
QPageLayout ClientReportPageLayout(const ClientReportOptions& options);

// Paints the report page by page at the device's page size: the title page, summary, matrix
// and legend laid out as documents, the register row by row; every page but the title page
// gets the header (title, object) and the footer (date, assessor, "Strana p z P", the title
// page not counted). Returns the number of pages; throws orvenda::Error when the device cannot
// be painted on.
int PaintClientReport(QPagedPaintDevice& device, const ClientReport& report, Progress& progress);

// Prints on `printer` with its page as it is set up (see ClientReportPageLayout).
int PrintClientReport(QPrinter& printer, const ClientReport& report, Progress& progress);

// Writes the PDF (A4, the report's orientation, fonts embedded, text searchable, title,
// creator and the assessor as author) into a temporary file beside `target` that replaces it
// only when complete. Returns the number of pages.
int WriteClientReportPdf(const ClientReport& report, const std::filesystem::path& target,
                         Progress& progress);

// Writes the document as OpenDocument text the same way, with what Qt's ODF writer leaves out
// put back: cell colours, repeated header rows, A4 in the report's orientation, and the header
// and footer on every page but the title page.
void WriteClientReportOdt(const ClientReport& report, const std::filesystem::path& target,
                          Progress& progress);

// The batch command: loads `project` as Open does, builds the report and writes `output` as
// PDF or ODT by its extension (".pdf", ".odt", letter case aside). Returns 0, or 1 with the
// error on `err` (UTF-8) and nothing written. Makes its own application object when there is
// none, on the offscreen platform unless one is named.
int RunClientReport(const ClientReportOptions& options, const std::filesystem::path& project,
                    const std::filesystem::path& output, std::ostream& err);

}  // namespace orvenda
