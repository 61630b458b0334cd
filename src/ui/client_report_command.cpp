#include "client_report_command.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "base/cp1250.h"
#include "base/messages.h"
#include "client_report_document.h"

namespace orvenda {
namespace {

struct ClientReportLine {
  std::filesystem::path project, output;
  std::string title, client, assessor, date;
  std::optional<int32_t> branch;
  bool byLevel = false, landscape = false;
  bool operator==(const ClientReportLine&) const = default;
};

// "2026-12-08" as the report writes dates, "8. 12. 2026"; anything else is a usage error.
std::string ReportDate(const std::string& iso) {
  int year = 0, month = 0, day = 0;
  char rest = 0;
  if (std::sscanf(iso.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &rest) != 3 || month < 1 ||
      month > 12 || day < 1 || day > 31) {
    throw CLI::ValidationError("--date", "a date is YYYY-MM-DD, not \"" + iso + "\"");
  }
  return std::to_string(day) + ". " + std::to_string(month) + ". " + std::to_string(year);
}

}  // namespace

BatchCommand ClientReportCommand() {
  return MakeBatchCommand<ClientReportLine>(
      "--client-report",
      "the report for the client, as the window writes it (title page, summary, risk matrix, "
      "register, legend) as PDF or ODT",
      [](CLI::App& group, ClientReportLine& line) {
        AddPathOption(group, "--client-report", line.project, "PROJECT.RSK", "the project");
        AddPathOption(group, "--output", line.output, "FILE.pdf|FILE.odt",
                      "the document written (replaced only by a complete one)")
            ->required();
        group.add_option("--title", line.title,
                         "the title (default: message 21, the assessment's title)");
        group.add_option("--client", line.client, "the client");
        group.add_option("--assessor", line.assessor, "the assessor");
        group.add_option("--date", line.date, "the date, YYYY-MM-DD (default today)")
            ->check([](const std::string& value) {
              ReportDate(value);
              return std::string();
            });
        AddNumberOption(group, "--branch", line.branch, "INDEX",
                        "only the branch below the item with this Index", 1);
        group.add_flag("--by-level", line.byLevel, "the register by risk level, highest first");
        group.add_flag("--landscape", line.landscape, "A4 landscape");
      },
      [](const ClientReportLine& line, const BatchContext& context) {
        ClientReportOptions options;
        // Arguments are UTF-8; the report's texts are windows-1250.
        options.title = Utf8ToCp1250(line.title);
        options.client = Utf8ToCp1250(line.client);
        options.assessor = Utf8ToCp1250(line.assessor);
        if (!line.date.empty()) options.date = ReportDate(line.date);
        options.branch = line.branch;
        if (line.byLevel) options.order = ClientReportOrder::ByLevel;
        options.landscape = line.landscape;
        return RunClientReport(options, line.project, line.output, context.err);
      });
}

}  // namespace orvenda
