#include "app/command_line.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/build_library_command.h"
#include "app/convert_command.h"
#include "app/list_library_command.h"
#include "app/report_command.h"

namespace orvenda {

std::optional<int> RunBatchCommand(int argc, char** argv) {
  if (argc < 2) return std::nullopt;
  const std::string command = argv[1];
  if (command.rfind("--", 0) != 0) return std::nullopt;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (command == "--report") return RunReportCommand(args, std::cerr);
  if (command == "--convert") return RunConvertCommand(args, std::cerr);
  if (command == "--list-library") {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const auto programDir =
        ec ? std::filesystem::absolute(argv[0], ec).parent_path() : exe.parent_path();
    return RunListLibraryCommand(args, std::cout, std::cerr, programDir, DefaultUserDataDir());
  }
  if (command == "--build-library") {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const auto programDir =
        ec ? std::filesystem::absolute(argv[0], ec).parent_path() : exe.parent_path();
    return RunBuildLibraryCommand(args, std::cout, std::cerr, programDir, DefaultUserDataDir());
  }
  std::cerr << "orvenda: unknown option " << command << "\n"
            << "usage: orvenda [PROJECT]\n"
            << "       orvenda --report PROJECT --output PAGE.htm [--sorted] [--branch INDEX]\n"
            << "               [--object-row] [--hide-column N]... [--tree] [--tree-risks]\n"
            << "       orvenda --convert SOURCE TARGET.RSK\n"
            << "       orvenda --list-library builtin|user [--program-dir DIR]\n"
            << "       orvenda --build-library builtin|user FROM.tsv [--program-dir DIR]\n";
  return 2;
}

}  // namespace orvenda
