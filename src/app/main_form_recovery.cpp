// The main window's recovery of work that runs which ended without closing (a crash, a kill, a
// power cut) left in their working directories, and the removal of their other leftovers.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "base/cp1250.h"
#include "base/messages.h"
#include "documents/earlier_runs.h"
#include "documents/project_file.h"
#include "documents/recent_files.h"
#include "documents/working_directory.h"
#include "model/project_table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

// "8. 12. 2026 9:41" in local time.
std::string LocalTimeText(fs::file_time_type time) {
  const auto system = std::chrono::file_clock::to_sys(time);
  const std::time_t seconds = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(system));
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return "?";
  char text[64];
  std::snprintf(text, sizeof text, "%d. %d. %d %d:%02d", local.tm_mday, local.tm_mon + 1,
                local.tm_year + 1900, local.tm_hour, local.tm_min);
  return text;
}

std::string RecoveryQuestion(const DeadWorkingDirectory& dead) {
  const fs::path& file = *dead.projectFile;
  const std::string when = Msg(141, {LocalTimeText(dead.lastChange)});
  if (file.empty()) return Msg(142, {when});
  return Msg(143, {PathToText(file.stem()), PathToText(file), when});
}

const char* kRecoveryCaption = "Obnovit";

}  // namespace

bool MainForm::RecoverEarlierWork() {
  std::vector<DeadWorkingDirectory> dead = FindDeadWorkingDirectories(TempDir);
  std::vector<std::string> damaged;
  std::vector<fs::path> projectFiles;
  bool recovered = false, kept = false;
  for (DeadWorkingDirectory& earlier : dead) {
    if (!earlier.projectFile) {
      // Library working copies, an open that never finished: nothing of the user's.
      RemoveWorkingDirectory(earlier.dir);
      continue;
    }
    if (!earlier.projectFile->empty()) projectFiles.push_back(*earlier.projectFile);
    const EarlierWorkCheck check = CheckEarlierWork(earlier);
    if (check.work == EarlierWork::None) {
      RemoveWorkingDirectory(earlier.dir);
    } else if (check.work == EarlierWork::Damaged) {
      // Left where it is, for whoever can still read something out of it.
      damaged.push_back(PathToText(earlier.dir / kWorkingTableName) + "\n(" + check.problem + ")");
    } else if (recovered) {
      kept = true;  // one project at a time; the next start offers it again
    } else if (const Dialogs::Answer answer =
                   dialogs.AskYesNoCancel(RecoveryQuestion(earlier), W(kRecoveryCaption));
               answer == Dialogs::Answer::Cancel) {
      kept = true;  // Storno decides nothing: the next start asks again
    } else if (answer == Dialogs::Answer::Yes) {
      ClearFilter(DataTable);
      DataTable.Close();
      try {
        OpenWorkingTable(DataTable, earlier.dir);
      } catch (...) {
        OpenWorkingTable(DataTable, ProjectDir);
        throw;
      }
      RemoveWorkingDirectory(ProjectDir);
      ProjectDir = earlier.dir;
      ProjectDirMark = WorkingDirectoryMark::Adopt(earlier.dir, std::move(earlier.lock));
      ProjectFileName = *earlier.projectFile;
      // Another run may have the file open by now: then Save asks for a new name.
      if (!ProjectFileName.empty()) ProjectLock = FileLock::Take(ProjectFileName);
      ReadOnlyProject = !ProjectFileName.empty() && !ProjectLock.Held();
      ShowFileName(ProjectFileName);
      if (!ProjectFileName.empty()) MRUManager1.Add(ProjectFileName);
      Modified = true;
      StatusBar1.Panels[0] = " *";
      // Records that the dead run deleted still wait in the table, and its index file is as
      // old as the last close: the next save packs both.
      PackPending = true;
      recovered = true;
    } else {
      RemoveWorkingDirectory(earlier.dir);
    }
  }
  RemoveDeadReportFolders(TempDir);
  for (const fs::path& file : projectFiles) {
    RemoveStaleArchiveTemporaries(file.parent_path().empty() ? fs::path(".") : file.parent_path());
  }

  if (!damaged.empty() || kept) {
    std::string text;
    if (!damaged.empty()) {
      text = Msg(damaged.size() == 1 ? 144 : 145);
      for (const std::string& table : damaged) text += "\n" + table;
    }
    if (kept) {
      if (!text.empty()) text += "\n\n";
      text += Msg(146);
    }
    dialogs.Warning(text);
  }
  return recovered;
}

}  // namespace orvenda
