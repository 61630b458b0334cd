#pragma once

#include <filesystem>
#include <string>

#include "base/control.h"

namespace orvenda {

// The main window's web export entries: "Export HTM..." with its separator in the "Soubor"
// menu (hidden until "Switch export" shows them), the two administrator commands, and the
// export save dialog.
struct WebExportMenu {
  WebExportMenu();

  Control Export1, N6, Switchexport1, ExportnaWEB1;

  struct SaveDialog {
    std::string Title;     // windows-1250
    std::string FileName;  // proposed
    std::string Filter;    // "description|pattern"
    std::filesystem::path InitialDir;
  } SaveDialog2;
};

}  // namespace orvenda
