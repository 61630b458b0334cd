#include "report_pdf_command.h"

#include <QGuiApplication>
#include <QTextDocument>
#include <iostream>
#include <string>
#include <vector>

#include "app/report_command.h"
#include "base/progress.h"
#include "report_printing.h"

namespace orvenda {
namespace {

constexpr const char* kUsage =
    "usage: orvenda --report-pdf PROJECT --output FILE.pdf [--sorted] [--branch INDEX]\n"
    "               [--object-row] [--hide-column N]... [--tree] [--tree-risks]\n"
    "  the options as for --report; the page is printed into FILE.pdf\n";

}  // namespace

int RunReportPdfCommand(int argc, char** argv) {
  // A batch command needs no screen: without a platform named, paint offscreen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  QGuiApplication::setApplicationName("Orvenda");
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto writePdf = [](const std::filesystem::path& page, const std::filesystem::path& output) {
    NullProgress progress;
    QTextDocument document;
    LoadReportDocument(document, page);
    WriteReportPdf(document, DesignedPrintSetup(), PageAddress(page), output, progress);
  };
  return RunReportCommand(args, std::cerr, "--report-pdf", writePdf, kUsage);
}

}  // namespace orvenda
