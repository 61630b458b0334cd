#include "report_pdf_command.h"

#include <QGuiApplication>
#include <QTextDocument>

#include "base/progress.h"
#include "report_printing.h"

namespace orvenda {

int RunReportPdfCommand(const ReportOptions& options, const BatchContext& context) {
  // A batch command needs no screen: without a platform named, paint offscreen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static char name[] = "orvenda";
  static char* argv[] = {name, nullptr};
  int argc = 1;
  QGuiApplication app(argc, argv);
  QGuiApplication::setApplicationName("Orvenda");
  const auto writePdf = [](const std::filesystem::path& page, const std::filesystem::path& output) {
    NullProgress progress;
    WriteReportPagePdf(ReadReportPage(page), DesignedPrintSetup(), PageAddress(page), output,
                       progress);
  };
  return RunReportCommand(options, context, writePdf);
}

BatchCommand ReportPdfCommand() {
  return MakeBatchCommand<ReportOptions>(
      "--report-pdf",
      "prints the report page into a PDF as the preview prints it (A4, the title at the top, "
      "the address and the page numbers at the bottom)",
      [](CLI::App& group, ReportOptions& options) {
        DeclareReportOptions(group, options, "--report-pdf", "REPORT.pdf", "the PDF written");
      },
      RunReportPdfCommand);
}

}  // namespace orvenda
