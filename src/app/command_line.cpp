#include "app/command_line.h"

#include <iostream>
#include <string>
#include <vector>

#include "app/convert_command.h"
#include "app/report_command.h"
#include "app/web_export_command.h"

namespace orvenda {

std::optional<int> RunBatchCommand(int argc, char** argv) {
  if (argc < 2) return std::nullopt;
  const std::string command = argv[1];
  if (command.rfind("--", 0) != 0) return std::nullopt;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (command == "--report") return RunReportCommand(args, std::cerr);
  if (command == "--convert") return RunConvertCommand(args, std::cerr);
  if (command == "--web-export") return RunWebExportCommand(args, std::cerr);
  if (command == "--flat-export") return RunFlatExportCommand(args, std::cerr);
  std::cerr << "orvenda: unknown option " << command << "\n"
            << "usage: orvenda [PROJECT]\n"
            << "       orvenda --report PROJECT --output PAGE.htm [--sorted] [--branch INDEX]\n"
            << "               [--object-row] [--hide-column N]... [--tree] [--tree-risks]\n"
            << "       orvenda --convert SOURCE TARGET.RSK\n"
            << "       orvenda --web-export PROJECT --output DIR\n"
            << "       orvenda --flat-export PROJECT --output FILE.htm\n";
  return 2;
}

}  // namespace orvenda
