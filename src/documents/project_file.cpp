#include "documents/project_file.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#include "archive/zlb_archive.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "documents/earlier_runs.h"
#include "model/project_table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

std::string UpperName(const fs::path& path) { return Cp1250Upper(PathToText(path)); }

// File-system failures reach the user as our own error with a windows-1250 text.
[[noreturn]] void FileError(const std::string& what, const fs::path& file,
                            const std::error_code& ec) {
  throw Error(what + " (" + PathToText(file) + "): " + ec.message());
}

// Hides the progress window also when the work fails.
class ProgressWindow {
 public:
  ProgressWindow(Progress& progress, const std::string& text) : progress_(progress) {
    progress_.ShowProgress(text, 100);
  }
  ~ProgressWindow() { progress_.HideProgress(); }
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

 private:
  Progress& progress_;
};

void PrepareArchive(TZLBArchive& archive, Progress& progress) {
  archive.CompressionLevel = TFileCompressionLevel::fcMaximum;
  archive.CheckCRC = true;
  archive.OnProgress = [&progress](const std::string&, int percentage) {
    progress.SetProgress(percentage);
  };
}

void ExtractArchive(const fs::path& file, const fs::path& dir, Progress& progress,
                    const Messages& messages) {
  ProgressWindow window(progress, messages.Get(7));
  TZLBArchive archive;
  PrepareArchive(archive, progress);
  archive.OpenArchive(file);
  archive.ExtractAll(dir);
  archive.CloseArchive();
}

// Files of `dir` in name order, so that "the first" is the same on every system.
std::vector<fs::path> FilesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (ec) FileError("Unable to read the directory", dir, ec);
  std::sort(files.begin(), files.end());
  return files;
}

// The file of `dir` named `name` without regard to letter case, the exact name first.
std::optional<fs::path> FindNoCase(const fs::path& dir, const fs::path& name) {
  std::error_code ec;
  if (fs::is_regular_file(dir / name, ec)) return dir / name;
  const std::string wanted = UpperName(name);
  for (const auto& file : FilesIn(dir)) {
    if (UpperName(file.filename()) == wanted) return file;
  }
  return std::nullopt;
}

// Archives written elsewhere may name the members in another letter case.
void NormalizeWorkingNames(const fs::path& dir) {
  for (const char* name : kWorkingTableFiles) {
    const auto found = FindNoCase(dir, name);
    if (!found || found->filename() == name) continue;
    std::error_code ec;
    fs::rename(*found, dir / name, ec);
    if (ec) FileError("Unable to rename file", *found, ec);
  }
}

// Renames an old project's table files (any extensions) to RiskData.dbf/.dbt/.mdx.
void RenameToWorkingTable(const fs::path& table, const fs::path& dir) {
  Table old;
  old.SetPath(table);
  old.Rename(dir / kWorkingTableName);
}

void LoadOldProject(const fs::path& file, const fs::path& dir) {
  // The memo and index files are optional here: a table that needs them fails to open.
  const fs::path source = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  for (const char* ext : {".RZK", ".RZT", ".RZX"}) {
    const auto found = FindNoCase(source, fs::path(file.stem()).concat(ext));
    if (!found) continue;
    std::error_code ec;
    fs::copy_file(*found, dir / found->filename(), fs::copy_options::overwrite_existing, ec);
    if (ec) FileError("Unable to copy file", *found, ec);
  }
  const auto table = FindNoCase(dir, fs::path(file.stem()).concat(".RZK"));
  if (!table) throw Error(W("Soubor nenalezen.") + " " + PathToText(file));
  RenameToWorkingTable(*table, dir);
}

void LoadBackup(const fs::path& file, const fs::path& dir, Progress& progress,
                const Messages& messages) {
  ExtractArchive(file, dir, progress, messages);
  for (const auto& member : FilesIn(dir)) {
    if (UpperName(member.extension()) == ".RZK") {
      RenameToWorkingTable(member, dir);
      return;
    }
  }
  throw Error(Msg(110, {PathToText(file)}));
}

}  // namespace

std::optional<ProjectFileKind> ProjectFileKindOf(const fs::path& file) {
  const std::string ext = UpperName(file.extension());
  if (ext == ".RSK") return ProjectFileKind::Rsk;
  if (ext == ".RZK") return ProjectFileKind::Rzk;
  if (ext == ".ZLB") return ProjectFileKind::Zlb;
  return std::nullopt;
}

void CheckProjectFile(const fs::path& file, const Messages& messages) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) throw Error(PathToText(file) + ": " + messages.Get(8));
  if (!ProjectFileKindOf(file)) {
    throw Error(Msg(111, {PathToText(file)}));
  }
}

namespace {

bool LoadChecked(const fs::path& file, const fs::path& dir, Progress& progress,
                 const Messages& messages) {
  const auto kind = ProjectFileKindOf(file);
  std::error_code ec;
  for (const char* name : kWorkingTableFiles) fs::remove(dir / name, ec);
  switch (*kind) {
    case ProjectFileKind::Rsk:
      ExtractArchive(file, dir, progress, messages);
      NormalizeWorkingNames(dir);
      return false;
    case ProjectFileKind::Rzk:
      LoadOldProject(file, dir);
      return true;
    case ProjectFileKind::Zlb:
      LoadBackup(file, dir, progress, messages);
      return true;
  }
  return false;
}

}  // namespace

std::string InProjectTerms(std::string text, const fs::path& dir, const fs::path& file) {
  // The working copy's folder means nothing to the user: its files are the project's.
  const std::string working = PathToText(dir / "");
  const std::string project = PathToText(file) + ": ";
  for (std::size_t at = text.find(working); at != std::string::npos;
       at = text.find(working, at + project.size())) {
    text.replace(at, working.size(), project);
  }
  // The archive's own texts name no file.
  if (text.find(PathToText(file)) == std::string::npos) text = project + text;
  return text;
}

bool LoadProjectFile(const fs::path& file, const fs::path& dir, Progress& progress,
                     const Messages& messages) {
  CheckProjectFile(file, messages);
  try {
    return LoadChecked(file, dir, progress, messages);
  } catch (const Error& error) {
    throw Error(InProjectTerms(error.what(), dir, file));
  }
}

void OpenWorkingTable(Table& table, const fs::path& dir, const fs::path& file) {
  try {
    OpenWorkingTable(table, dir);
  } catch (const Error& error) {
    throw Error(InProjectTerms(error.what(), dir, file));
  }
}

void OpenWorkingTable(Table& table, const fs::path& dir) {
  ClearFilter(table);
  table.Close();
  table.SetPath(dir / kWorkingTableName);
  table.SetIndexName(fld::kIndex);
  table.Open();
  // The tree needs these; any other table would fail later, half-way through building it.
  for (const char* needed : {fld::kIndex, fld::kType, fld::kUpLink, fld::kText}) {
    const auto& fields = table.Fields();
    const bool present = std::any_of(fields.begin(), fields.end(), [&](const FieldDef& f) {
      return Cp1250Upper(f.name) == Cp1250Upper(needed);
    });
    if (!present) {
      table.Close();
      throw Error(Msg(112, {PathToText(dir / kWorkingTableName), needed}));
    }
  }
}

fs::path WithProjectExtension(const fs::path& file) {
  if (UpperName(file.extension()) == ".RSK") return file;
  fs::path named = file;
  named += ".RSK";
  return named;
}

void SaveProjectFile(const fs::path& dir, const fs::path& file, Progress& progress,
                     const Messages& messages) {
  ProgressWindow window(progress, messages.Get(14) + " " + PathToText(file.stem()));
  // What killed saves left beside the file goes first; a live save's file is locked.
  RemoveStaleArchiveTemporaries(file.parent_path().empty() ? fs::path(".") : file.parent_path());
  TZLBArchive archive;
  PrepareArchive(archive, progress);
  // The archive only logs a member it cannot read; a project file without it is no project.
  archive.OnErrorLogged = [](const std::string& message) { throw Error(message); };
  archive.CreateArchive(file, /*replaceExisting=*/true);
  std::vector<fs::path> members;
  for (const char* name : kWorkingTableFiles) {
    // The archive would drop a directory from the list without a word.
    std::error_code ec;
    if (!fs::is_regular_file(dir / name, ec)) {
      throw Error("Unable to open file (" + PathToText(dir / name) + ")");
    }
    members.push_back(dir / name);
  }
  archive.AddFiles(members);
  archive.CloseArchive();
}

}  // namespace orvenda
