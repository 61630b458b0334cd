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

  // ORVENDA_BENCH_CLIENT_RISKS=30000 and more: to see that the time grows linearly.
  // Such a run measures the client report's PDF and ODT alone, once.
  const int wanted = qEnvironmentVariableIntValue("ORVENDA_BENCH_CLIENT_RISKS");
  const bool scaled = wanted > 0;
  const int kRisks = scaled ? wanted : 3000;
  const int kNodes = std::max(1, kRisks / 10);
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
  for (int round = 0; round < (scaled ? 1 : 2); ++round) {
    Measure(model, [&] { BuildClientReport(table, messages, options, "Bench.RSK"); });
    Measure(pdf, [&] {
      const ClientReport report = BuildClientReport(table, messages, options, "Bench.RSK");
      pages = WriteClientReportPdf(report, scratch / "client.pdf", progress);
    });
    Measure(odt, [&] {
      const ClientReport report = BuildClientReport(table, messages, options, "Bench.RSK");
      WriteClientReportOdt(report, scratch / "client.odt", progress);
    });
    if (scaled) continue;
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
  if (!scaled) {
    // The one document the ODT is written from, laid out as the PDF once was: the register's
    // table cells are what made that slow, so the PDF paints the register itself.
    const ClientReport report = BuildClientReport(table, messages, options, "Bench.RSK");
    QTextDocument document;
    Report("  ODT's document built", TimeMs([&] { BuildClientReportDocument(document, report); }));
    QPdfWriter writer((scratch / "layout.pdf").c_str());
    writer.setPageLayout(ClientReportPageLayout(report.options));
    int documentPages = 0;
    const double layout = TimeMs([&] {
      document.documentLayout()->setPaintDevice(&writer);
      document.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
      documentPages = document.pageCount();
    });
    Report("  ODT's document laid out for a PDF, " + std::to_string(documentPages) + " pages",
           layout);
  }
  Report("client report: model alone", model.wall);
  Report("  processor time", model.cpu);
  Report("client report: PDF, " + std::to_string(pages) + " pages (target 5000)", pdf.wall);
  Report("  processor time", pdf.cpu);
  Report("client report: ODT (target 3000)", odt.wall);
  Report("  processor time", odt.cpu);
  if (!scaled) Report("--report-pdf of the same project", preview.wall);
  std::printf("  PDF %.1f MB, ODT %.1f MB\n",
              std::filesystem::file_size(scratch / "client.pdf") / 1048576.0,
              std::filesystem::file_size(scratch / "client.odt") / 1048576.0);
}

const RegisterSection kSection("client", Run);

}  // namespace
}  // namespace orvenda::bench
