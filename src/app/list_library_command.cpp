#include "app/list_library_command.h"

#include <cstdlib>
#include <exception>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/progress.h"
#include "documents/recent_files.h"
#include "library/libraries.h"
#include "library/library_cipher.h"
#include "model/project_table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

fs::path ArgumentPath(const std::string& arg) {
  return fs::path(std::u8string_view(reinterpret_cast<const char8_t*>(arg.data()), arg.size()));
}

std::string Escaped(const std::string& cp1250) {
  std::string out;
  for (const char c : Cp1250ToUtf8(cp1250)) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Number(const Table& table, const char* field) {
  return table.IsNull(field) ? std::string() : std::to_string(table.GetInt(field));
}

constexpr const char kUsage[] = "usage: orvenda --list-library builtin|user [--program-dir DIR]\n";

}  // namespace

fs::path DefaultUserDataDir() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
    return fs::path(data) / "Tumbek" / "Orvenda";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return fs::path(home) / ".local" / "share" / "Tumbek" / "Orvenda";
  }
  return {};
}

int RunListLibraryCommand(const std::vector<std::string>& args, std::ostream& out,
                          std::ostream& err, const fs::path& programDir, const fs::path& userDir) {
  size_t at = !args.empty() && args[0] == "--list-library" ? 1 : 0;
  int which = -1;
  fs::path dir = programDir;
  for (; at < args.size(); ++at) {
    if (args[at] == "builtin" && which < 0) {
      which = kBuiltInLibrary;
    } else if (args[at] == "user" && which < 0) {
      which = kUserLibrary;
    } else if (args[at] == "--program-dir" && at + 1 < args.size()) {
      dir = ArgumentPath(args[++at]);
    } else {
      err << kUsage;
      return 2;
    }
  }
  if (which < 0) {
    err << kUsage;
    return 2;
  }

  Libraries libs;
  try {
    const Messages messages;
    NullProgress progress;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw Error(W("Adresář neexistuje: ") + PathToText(dir));
    libs.ProgramDir = dir;
    libs.UserDir = userDir;
    for (const std::string& warning :
         libs.OpenLibraries(fs::temp_directory_path(), progress, messages)) {
      err << Cp1250ToUtf8(warning) << "\n";
    }
    // A library that could not be read is listed as nothing, which no check may take for its
    // contents.
    if (!libs.DamagedFile(which).empty()) {
      libs.DiscardLibraries();
      return 1;
    }
    Table& table = libs.TableOf(which);
    ClearFilter(table);
    std::string listing =
        "Index\tType\tUpLink\tText\tComment\tSource\tIdent\tOpatreni\tPravdep\tNasledky\t"
        "Hodnocen\n";
    for (table.First(); !table.Eof(); table.Next()) {
      listing += Number(table, fld::kIndex) + '\t' + Number(table, fld::kType) + '\t' +
                 Number(table, fld::kUpLink) + '\t' + Escaped(table.GetText(fld::kText)) + '\t' +
                 Escaped(table.GetText(fld::kComment)) + '\t' +
                 Escaped(table.GetText(fld::kSource)) + '\t' +
                 Escaped(DecryptLibraryText(table.GetText(fld::kIdent))) + '\t' +
                 Escaped(DecryptLibraryText(table.GetText(fld::kOpatreni))) + '\t' +
                 Number(table, fld::kPravdep) + '\t' + Number(table, fld::kNasledky) + '\t' +
                 Number(table, fld::kHodnocen) + '\n';
    }
    libs.DiscardLibraries();
    out << listing;
    out.flush();
    return 0;
  } catch (const std::exception& e) {
    libs.DiscardLibraries();
    err << Cp1250ToUtf8(e.what()) << "\n";
    return 1;
  }
}

}  // namespace orvenda
