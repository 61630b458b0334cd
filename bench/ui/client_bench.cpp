// Figures of the client report on a generated project of 3 000 risks: the PDF and the ODT,
// each from the project table to the finished file, beside the preview report's PDF of the
// same project as --report-pdf makes it.
#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>
#include <filesystem>
#include <string>

#include "../bench.h"
#include "../project_generator.h"
#include "client_report_document.h"
#include "model/project_table.h"
#include "report_printing.h"
#include "reports/client_report.h"
#include "reports/nahled_form.h"

namespace orvenda::bench {
namespace {

void Run(const std::filesystem::path& scratch) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "orvenda_bench";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QGuiApplication(argc, argv);

  constexpr int kRisks = 3000;
  constexpr int kNodes = 300;
  Table table;
  table.SetPath(scratch / "RiskData.dbf");
  CreateProjectTable(table);
  GenerateProject(table, kNodes, kRisks, 42);
  std::printf(" %d risks under %d nodes\n", kRisks, kNodes);

  const Messages messages;
  NullProgress progress;
  ClientReportOptions options;
  options.assessor = "Bench";
  Timing model, pdf, odt, preview;
  int pages = 0;
  for (int round = 0; round < 2; ++round) {
    Measure(model, [&] { BuildClientReport(table, messages, options, "Bench.RSK"); });
    Measure(pdf, [&] {
      const ClientReport report = BuildClientReport(table, messages, options, "Bench.RSK");
      pages = WriteClientReportPdf(report, scratch / "client.pdf", progress);
    });
    Measure(odt, [&] {
      const ClientReport report = BuildClientReport(table, messages, options, "Bench.RSK");
      WriteClientReportOdt(report, scratch / "client.odt", progress);
    });
    // What --report-pdf does after loading the project: build, parse, print.
    Measure(preview, [&] {
      NahledForm form(table, messages, progress, scratch);
      form.BuildReport(std::nullopt);
      QTextDocument document;
      LoadReportDocument(document, form.ReportPagePath());
      WriteReportPdf(document, DesignedPrintSetup(), PageAddress(form.ReportPagePath()),
                     scratch / "preview.pdf", progress);
    });
  }
  {
    // Where the PDF's time goes: the document built, laid out for the PDF, and the rest.
    const ClientReport report = BuildClientReport(table, messages, options, "Bench.RSK");
    QTextDocument document;
    Report("  of which: document built",
           TimeMs([&] { BuildClientReportDocument(document, report); }));
    QPdfWriter writer((scratch / "layout.pdf").c_str());
    writer.setPageLayout(ClientReportPageLayout(report.options));
    Report("  of which: document laid out (one page size)", TimeMs([&] {
             document.documentLayout()->setPaintDevice(&writer);
             document.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
             document.pageCount();
           }));
  }
  Report("client report: model alone", model.wall);
  Report("client report: PDF, " + std::to_string(pages) + " pages (target 5000)", pdf.wall);
  Report("client report: ODT (target 3000)", odt.wall);
  Report("--report-pdf of the same project", preview.wall);
  std::printf("  PDF %.1f MB, ODT %.1f MB\n",
              std::filesystem::file_size(scratch / "client.pdf") / 1048576.0,
              std::filesystem::file_size(scratch / "client.odt") / 1048576.0);
}

const RegisterSection kSection("client", Run);

}  // namespace
}  // namespace orvenda::bench
