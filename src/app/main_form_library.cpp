// The main form's part in the risk libraries: opening them at the first show, packing the user
// library at exit.
#include "app/main_form.h"
#include "app/select_tree_form.h"
#include "base/error.h"

namespace orvenda {

void MainForm::OpenLibraries() {
  StateScope scope(*this);
  Libs.ProgramDir = ProgramDir;
  Libs.UserDir = UserDir;
  for (const std::string& warning : Libs.OpenLibraries(TempDir, progress, MessagesBox)) {
    dialogs.Warning(warning);
  }
}

void MainForm::CloseLibraries() {
  StateScope scope(*this);
  Libs.CloseLibraries(progress, MessagesBox);
}

void MainForm::Knihovnyrizik1Click() {
  StateScope scope(*this);
  if (!selectTreeForm) throw Error("The library window is not available.");
  selectTreeForm->Execute(LibraryMode::Edit);
}

}  // namespace orvenda
