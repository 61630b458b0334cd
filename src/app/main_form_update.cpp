// The main form's commands that take from the libraries: ticked items into the project and
// update files into the built-in library.
#include "app/main_form.h"
#include "app/select_tree_form.h"
#include "base/error.h"
#include "base/messages.h"
#include "documents/working_directory.h"
#include "library/update_file.h"

namespace orvenda {

void MainForm::AddFromLibSpeedButtonClick() {
  StateScope scope(*this);
  if (!selectTreeForm) throw Error("The library window is not available.");
  EditAction action(*this, undo_text::FromLibrary());
  {
    TreeUpdating = true;
    struct ClearAtEnd {
      bool& flag;
      ~ClearAtEnd() { flag = false; }
    } clearAtEnd{TreeUpdating};
    selectTreeForm->Execute(LibraryMode::Selection);
  }
  // The copy leaves the page on the last risk it stored and the tree on the target: the page
  // must show what the tree highlights, or the next store would go to the wrong record.
  ShowSelected();
}

void MainForm::Aktu1Click() {
  StateScope scope(*this);
  const auto file =
      dialogs.OpenFileTitled(OpenDialog2Title, OpenDialog2.Filter,
                             OpenDialog2.InitialDir.empty() ? ProgramDir : OpenDialog2.InitialDir);
  if (!file) return;
  UpdateLibrary(*file);
}

void MainForm::UpdateLibrary(const std::filesystem::path& file) {
  StateScope scope(*this);
  if (!Libs.IsOpen()) throw Error(Msg(115));
  BusyCursor busy(progress);
  const std::filesystem::path dir = orvenda::MakeWorkingDirectory(TempDir, "RZK");
  struct RemoveAtEnd {
    std::filesystem::path dir;
    ~RemoveAtEnd() { RemoveWorkingDirectory(dir); }
  } removeAtEnd{dir};
  {
    Table update;
    ReadUpdateFile(file, dir, update, progress, MessagesBox);
    struct CloseAtEnd {
      Table& table;
      ~CloseAtEnd() {
        if (table.IsOpen()) table.Close();
      }
    } closeAtEnd{update};
    // A library window that has built its trees gets the branch in place.
    TreeControl* tree = nullptr;
    bool unused = false;
    bool* suppressed = &unused;
    if (selectTreeForm != nullptr && selectTreeForm->LoadedMode != LibraryMode::None) {
      tree = &selectTreeForm->BuildInTreeNT;
      suppressed = &selectTreeForm->TreeChangesSuppressed;
    }
    const bool wasSuppressed = *suppressed;
    *suppressed = true;
    struct Restore {
      bool* flag;
      bool value;
      TreeControl* tree;
      ~Restore() {
        if (tree) tree->EndUpdate();
        *flag = value;
      }
    } restore{suppressed, wasSuppressed, tree};
    if (tree) tree->BeginUpdate();
    MergeUpdate(update, Libs.BuildInRisksTable, tree, progress);
  }
  Libs.SaveLibrary(kBuiltInLibrary, progress, MessagesBox.Get(19));
}

}  // namespace orvenda
