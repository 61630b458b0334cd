// Reads arbitrary bytes as an update file: the archive, the exchange table inside it and the
// branch check; a file that passes is merged into an empty library.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/error.h"
#include "base/messages.h"
#include "base/progress.h"
#include "documents/working_directory.h"
#include "library/update_file.h"
#include "model/project_table.h"
#include "model/table.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Scratch() {
  static const fs::path dir = [] {
    std::string pattern = (fs::temp_directory_path() / "update-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    return fs::path(pattern);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path file = Scratch() / "in.akt";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  orvenda::NullProgress progress;
  const orvenda::Messages messages;
  const fs::path dir = orvenda::MakeWorkingDirectory(Scratch());
  try {
    orvenda::Table update;
    orvenda::ReadUpdateFile(file, dir, update, progress, messages);
    orvenda::Table library;
    library.SetPath(dir / "Lib.dbf");
    orvenda::CreateProjectTable(library);
    orvenda::MergeUpdate(update, library, nullptr, progress);
    library.Close();
    update.Close();
  } catch (const orvenda::Error&) {
  }
  orvenda::RemoveWorkingDirectory(dir);
  return 0;
}
