#pragma once

#include "app/command_line.h"
#include "app/report_command.h"

namespace orvenda {

// `orvenda --report-pdf PROJECT --output FILE.pdf [the layout options of --report]`: the
// report built as --report builds it, printed into a PDF with the preview's designed options
// (A4 portrait, title at the top, address and "Strana p z P" at the bottom of every page).
// It needs Qt's painting, so it makes its own application object; without a display it runs
// on the offscreen platform. Returns the exit status (0, or 1 on failure).
int RunReportPdfCommand(const ReportOptions& options, const BatchContext& context);
BatchCommand ReportPdfCommand();

}  // namespace orvenda
