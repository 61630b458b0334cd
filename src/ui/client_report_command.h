#pragma once

#include "app/command_line.h"

namespace orvenda {

// `orvenda --client-report PROJECT.RSK --output FILE.pdf|FILE.odt [--title T] [--client C]
// [--assessor A] [--date YYYY-MM-DD] [--branch INDEX] [--by-level] [--landscape]`: the client
// report as the dialog writes it with the same choices. It paints with Qt, so it lives here.
BatchCommand ClientReportCommand();

}  // namespace orvenda
