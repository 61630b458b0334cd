#include "app/command_line.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/build_library_command.h"
#include "app/convert_command.h"
#include "app/import_html_command.h"
#include "app/library_commands.h"
#include "app/list_library_command.h"
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
  // The libraries live beside the executable, as for the window.
  const auto programDir = [&] {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::absolute(argv[0], ec).parent_path() : exe.parent_path();
  };
  if (command == "--list-library") {
    return RunListLibraryCommand(args, std::cout, std::cerr, programDir(), DefaultUserDataDir());
  }
  if (command == "--import-html") return RunImportHtmlCommand(args, std::cerr);
  if (IsLibraryCommand(command)) return RunLibraryCommand(args, std::cerr);
  if (command == "--build-library") {
    return RunBuildLibraryCommand(args, std::cout, std::cerr, programDir(), DefaultUserDataDir());
  }
  if (command == "--web-export") return RunWebExportCommand(args, std::cerr);
  if (command == "--flat-export") return RunFlatExportCommand(args, std::cerr);
  std::cerr << "orvenda: unknown option " << command << "\n"
            << "usage: orvenda [PROJECT]\n"
            << "       orvenda --report PROJECT --output PAGE.htm [--sorted] [--branch INDEX]\n"
            << "               [--object-row] [--hide-column N]... [--tree] [--tree-risks]\n"
            << "       orvenda --report-pdf PROJECT --output FILE.pdf [the options of --report]\n"
            << "       orvenda --convert SOURCE TARGET.RSK\n"
            << "       orvenda --list-library builtin|user [--program-dir DIR]\n"
            << "       orvenda --import-html PAGE.htm --output NEW.RSK [--project BASE.RSK]\n"
            << "               [--select INDEX]\n"
            << "       orvenda --update-library FILE.akt [--program-dir DIR]\n"
            << "       orvenda --export-branch builtin|user INDEX --output FILE.akt\n"
            << "       orvenda --import-text FILE --library builtin|user [--select INDEX]\n"
            << "       orvenda --take-from-library builtin|user --tick INDEX[,INDEX...]\n"
            << "               --output NEW.RSK [--project BASE.RSK] [--select INDEX]\n"
            << "       orvenda --build-library builtin|user FROM.tsv [--program-dir DIR]\n"
            << "       orvenda --web-export PROJECT --output DIR\n"
            << "       orvenda --flat-export PROJECT --output FILE.htm\n";
  return 2;
}

}  // namespace orvenda
