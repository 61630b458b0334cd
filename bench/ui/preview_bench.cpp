// Figures of the report preview on generated projects of 1 000, 10 000 and 100 000 records:
// from "Vytvořit..." to the first screen painted, to the whole page laid out, and the PDF,
// each with its own peak memory; beside them headless Chromium loading and printing the same
// page. ORVENDA_BENCH_PREVIEW_SIZES (e.g. "1000,10000") picks other sizes;
// ORVENDA_BENCH_PREVIEW_SHOW_ONLY leaves out the PDFs, ORVENDA_BENCH_PREVIEW_PDF_ONLY the
// whole page's layout in the window; ORVENDA_BENCH_PRINT_PARTS=3000 prints every page longer
// than that in parts of that many rows.
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QApplication>
#include <QThread>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "../bench.h"
#include "../project_generator.h"
#include "model/project_table.h"
#include "nahled_form_window.h"
#include "report_printing.h"
#include "reports/nahled_form.h"
#include "support/fakes.h"

extern char** environ;

namespace orvenda::bench {
namespace {

constexpr const char* kPagePdfJob = "ORVENDA_BENCH_PAGE_PDF";

// The process's peak resident memory since the last ResetPeak, in MB.
double PeakMb() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
  }
  std::fclose(status);
  return kb / 1024.0;
}

// Starts the high-water mark anew, so that each step's peak is its own. Memory freed by an
// earlier step goes back to the system first; kept by the allocator, it would count again.
void ResetPeak() {
  malloc_trim(0);
  if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", refs);
    std::fclose(refs);
  }
}

// Runs a program and waits for it; its peak memory in MB, or -1 when it failed. A small
// Python parent starts it and reads its peak: a child of this process would carry our own
// high-water mark with it (Linux keeps it across fork and exec).
double RunChild(const std::vector<std::string>& program, const std::filesystem::path& peakFile) {
  std::vector<std::string> args = {
      "python3", "-c",
      "import resource,subprocess,sys\n"
      "r=subprocess.run(sys.argv[2:],stdout=subprocess.DEVNULL,stderr=subprocess.DEVNULL)\n"
      "open(sys.argv[1],'w').write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))\n"
      "sys.exit(r.returncode)",
      peakFile.string()};
  args.insert(args.end(), program.begin(), program.end());
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return -1;
  }
  FILE* file = std::fopen(peakFile.c_str(), "r");
  if (file == nullptr) return -1;
  long kb = -1;
  if (std::fscanf(file, "%ld", &kb) != 1) kb = -1;
  std::fclose(file);
  return kb < 0 ? -1 : kb / 1024.0;
}

// The page count pdfinfo gives, or 0.
int PdfPages(const std::filesystem::path& pdf) {
  const std::string command = "pdfinfo '" + pdf.string() + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return 0;
  char line[256];
  int pages = 0;
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    if (std::sscanf(line, "Pages: %d", &pages) == 1) break;
  }
  pclose(pipe);
  return pages;
}

void Figure(const std::string& what, double ms, double mb) {
  std::printf("  %-46s %10.0f ms %8.0f MB peak\n", what.c_str(), ms, mb);
  std::fflush(stdout);
}

// With the processor time beside the wall-clock time: the machine may be shared.
void Figure(const std::string& what, double ms, double cpuMs, double mb) {
  std::printf("  %-46s %10.0f ms %8.0f MB peak %8.0f ms processor\n", what.c_str(), ms, mb, cpuMs);
  std::fflush(stdout);
}

void RunSize(const std::filesystem::path& scratch, int records) {
  const int nodes = records / 10;
  const int risks = records - nodes;
  const std::filesystem::path dir = scratch / std::to_string(records);
  std::filesystem::create_directories(dir);
  Table table;
  table.SetPath(dir / "RiskData.dbf");
  CreateProjectTable(table);
  GenerateProject(table, nodes, risks, 42);

  Messages messages;
  NullProgress progress;
  test::ScriptedDialogs dialogs;
  NahledForm form(table, messages, progress, dir);
  NahledFormWindow window(form, dialogs, progress, dir / "none.lng");
  window.resize(1280, 1024);

  std::printf(" %d records (%d nodes, %d risks)\n", records, nodes, risks);
  if (records <= 10000) {
    // Where the time goes: the report build alone, the page parsed into a document, laid out.
    NahledForm alone(table, messages, progress, dir / "alone");
    std::filesystem::create_directories(dir / "alone");
    Report("  of which: report build and page write",
           TimeMs([&] { alone.BuildReport(std::nullopt); }));
    QTextDocument document;
    Report("  of which: page parsed (away from the view)",
           TimeMs([&] { LoadReportDocument(document, alone.ReportPagePath()); }));
    document.setTextWidth(1240);
    Report("  of which: page laid out (away from the view)", TimeMs([&] { document.size(); }));
  }
  // "Vytvořit...": the window shows, builds the report, loads the page and paints its first
  // screen; the rest of a long page is laid out on a thread afterwards.
  ResetPeak();
  double cpu = CpuMs();
  const double shown = TimeMs([&] {
    window.show();
    window.View()->viewport()->repaint();
  });
  Figure("Orvenda: Vytvořit... to the first screen painted", shown, CpuMs() - cpu, PeakMb());
  {
    // The page of the first rows alone, once the project's groups are built (by the above).
    NahledForm first(table, messages, progress, dir / "first");
    std::filesystem::create_directories(dir / "first");
    first.FirstRows = NahledFormWindow::kFirstScreenRows;
    Report("  of which: the first rows' page written",
           TimeMs([&] { first.BuildReport(std::nullopt); }));
  }
  ResetPeak();
  cpu = CpuMs();
  if (qEnvironmentVariableIsSet("ORVENDA_BENCH_PREVIEW_PDF_ONLY")) {
    form.CompletePage();
  } else {
    // The longest the window does not answer meanwhile: one pass of its event loop.
    double longestPass = 0;
    const double complete = TimeMs([&] {
      while (!window.LayoutComplete()) {
        longestPass = std::max(longestPass, TimeMs([] { QCoreApplication::processEvents(); }));
        QThread::msleep(1);
      }
      window.View()->viewport()->repaint();
    });
    Figure("Orvenda: then the whole page built and laid out", complete, CpuMs() - cpu, PeakMb());
    Report("  of which: the longest the window did not answer", longestPass);
  }
  const std::filesystem::path page = dir / "page.htm";
  std::filesystem::copy_file(form.ReportPagePath(), page);
  std::printf("  page %.1f MB\n", std::filesystem::file_size(page) / 1048576.0);
  if (qEnvironmentVariableIsSet("ORVENDA_BENCH_PREVIEW_SHOW_ONLY")) {
    window.close();
    return;
  }
  window.close();
  // The PDF as the window writes it, from the page file, in a process of its own.
  const std::filesystem::path pdf = dir / "orvenda.pdf";
  qputenv(kPagePdfJob, (page.string() + "|" + pdf.string()).c_str());
  double pdfMb = -1;
  const double pdfMs = TimeMs([&] {
    pdfMb = RunChild({std::filesystem::read_symlink("/proc/self/exe").string(), "page-pdf"},
                     dir / "peak");
  });
  qunsetenv(kPagePdfJob);
  if (pdfMb < 0) {
    std::printf("  the PDF failed\n");
  } else {
    int parts = 0;
    std::ifstream(pdf.string() + ".parts") >> parts;
    Figure("Orvenda: PDF written, " + std::to_string(PdfPages(pdf)) + " pages, " +
               std::to_string(std::filesystem::file_size(pdf) / 1048576) + " MB, " +
               (parts > 0 ? "in " + std::to_string(parts) + " parts" : "whole"),
           pdfMs, pdfMb);
  }

  const std::string url = "file://" + page.string();
  double chromeMb = 0;
  const double load = TimeMs([&] {
    chromeMb = RunChild(
        {"timeout", "300", "chromium", "--headless", "--no-sandbox", "--disable-gpu",
         "--window-size=1280,1024", "--screenshot=" + (dir / "chromium.png").string(), url},
        dir / "peak");
  });
  if (chromeMb < 0) {
    std::printf("  chromium not available or failed\n");
    return;
  }
  Figure("Chromium: load and show (--screenshot)", load, chromeMb);
  const double print = TimeMs([&] {
    chromeMb = RunChild({"timeout", "300", "chromium", "--headless", "--no-sandbox",
                         "--disable-gpu", "--print-to-pdf=" + (dir / "chromium.pdf").string(), url},
                        dir / "peak");
  });
  const int chromePages = PdfPages(dir / "chromium.pdf");
  Figure("Chromium: --print-to-pdf, " +
             (chromePages > 0 ? std::to_string(chromePages) + " pages" : "no readable PDF"),
         print, chromeMb);
}

// The PDF of a page file, for the preview section in a process of its own: the job names
// the page and the PDF; without it, nothing. The parts printed in go beside the PDF.
void RunPagePdf(const std::filesystem::path&) {
  const QByteArray job = qgetenv(kPagePdfJob);
  const qsizetype bar = job.indexOf('|');
  if (bar < 0) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "orvenda_bench";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  const std::filesystem::path page = job.left(bar).toStdString();
  const std::filesystem::path pdf = job.mid(bar + 1).toStdString();
  NullProgress progress;
  PrintParts parts;
  // The same parts for every size, to see the time grow with the page.
  if (const int rows = qEnvironmentVariableIntValue("ORVENDA_BENCH_PRINT_PARTS"); rows > 0) {
    parts = {rows, rows};
  }
  WriteReportPagePdf(ReadReportPage(page), DesignedPrintSetup(), PageAddress(page), pdf, progress,
                     parts);
  std::ofstream(pdf.string() + ".parts") << LastPrintParts();
}

const RegisterSection kPagePdfSection("page-pdf", RunPagePdf);

void Run(const std::filesystem::path& scratch) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "orvenda_bench";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  std::printf(" peak memory is each step's own high-water mark\n");
  std::vector<int> sizes = {1000, 10000, 100000};
  if (const QByteArray chosen = qgetenv("ORVENDA_BENCH_PREVIEW_SIZES"); !chosen.isEmpty()) {
    sizes.clear();
    for (const QByteArray& size : chosen.split(',')) sizes.push_back(size.toInt());
  }
  for (const int records : sizes) RunSize(scratch, records);
}

const RegisterSection kSection("preview", Run);

}  // namespace
}  // namespace orvenda::bench
