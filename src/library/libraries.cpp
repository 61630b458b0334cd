#include "library/libraries.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <fstream>
#include <optional>
#include <system_error>

#include "archive/zlb_archive.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/run_lock.h"
#include "documents/earlier_runs.h"
#include "documents/working_directory.h"
#include "model/project_table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

constexpr LibraryNames kNames[2] = {
    {"RiskLib", "RiskLib.LIB", "RiskLib.dbf", "RiskLib.dbt", "RiskLib.mdx"},
    {"UserLib", "UserLib.LIB", "UserLib.dbf", "UserLib.dbt", "UserLib.mdx"},
};

// A damaged library's successor is written under this name beside it.
std::string ReplacementName(int which) { return std::string(kNames[which].base) + "-new.LIB"; }

std::string UpperName(const fs::path& path) { return Cp1250Upper(PathToText(path)); }

// The file of `dir` named `name` without regard to letter case, the exact name first.
std::optional<fs::path> FindNoCase(const fs::path& dir, const std::string& name) {
  if (dir.empty()) return std::nullopt;
  std::error_code ec;
  if (fs::is_regular_file(dir / name, ec)) return dir / name;
  const std::string wanted = Cp1250Upper(name);
  std::vector<fs::path> found;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_regular_file(typeError) && UpperName(it->path().filename()) == wanted) {
      found.push_back(it->path());
    }
  }
  if (found.empty()) return std::nullopt;
  return *std::min_element(found.begin(), found.end());
}

class ProgressWindow {
 public:
  ProgressWindow(Progress& progress, const std::string& text, int maximum) : progress_(progress) {
    progress_.ShowProgress(text, maximum);
  }
  ~ProgressWindow() { progress_.HideProgress(); }
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

 private:
  Progress& progress_;
};

void PrepareArchive(TZLBArchive& archive, Progress* progress) {
  archive.CompressionLevel = TFileCompressionLevel::fcMaximum;
  archive.CheckCRC = true;
  if (progress != nullptr) {
    archive.OnProgress = [progress](const std::string&, int percentage) {
      progress->SetProgress(percentage);
    };
  }
}

// Gives the library's files in `dir` their working names, whatever case the archive or the
// loose files used.
void NormalizeNames(const fs::path& dir, const LibraryNames& names) {
  for (const char* name : {names.table, names.memo, names.index}) {
    const auto found = FindNoCase(dir, name);
    if (!found || found->filename() == name) continue;
    std::error_code ec;
    fs::rename(*found, dir / name, ec);
    if (ec) throw Error("Unable to rename file (" + PathToText(*found) + "): " + ec.message());
  }
}

void RemoveWorkingFiles(const fs::path& dir, const LibraryNames& names) {
  std::error_code ec;
  for (const char* name : {names.table, names.memo, names.index}) {
    while (const auto found = FindNoCase(dir, name)) {
      if (!fs::remove(*found, ec)) break;
    }
  }
}

}  // namespace

const LibraryNames& NamesOf(int which) { return kNames[which == kBuiltInLibrary ? 0 : 1]; }

bool IsDirectoryWritable(const fs::path& dir) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return false;
  // mkstemp picks a fresh name itself: runs probing the same folder at once (even forked
  // ones that share a generator's state) must not take each other's probe for a refusal.
  std::string probe = (dir / ".orvenda-XXXXXX").string();
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::close(fd);
  fs::remove(probe, ec);
  return true;
}

Libraries::Libraries() : CanWrite(IsDirectoryWritable) {}

Libraries::~Libraries() = default;

void Libraries::OpenTable(int which) {
  Table& table = TableOf(which);
  ClearFilter(table);
  table.Close();
  table.SetPath(WorkDir / NamesOf(which).table);
  table.SetIndexName("");  // record order: the order the records were appended in
  table.Open();
  for (const FieldDef& wanted : ProjectTableFields()) {
    const auto& fields = table.Fields();
    const bool present = std::any_of(fields.begin(), fields.end(), [&](const FieldDef& f) {
      return Cp1250Upper(f.name) == Cp1250Upper(wanted.name);
    });
    if (!present) {
      table.Close();
      throw Error(Msg(151, {wanted.name}));
    }
  }
}

void Libraries::WriteArchive(int which, const fs::path& archive) {
  const LibraryNames& names = NamesOf(which);
  std::error_code ec;
  if (!archive.parent_path().empty()) fs::create_directories(archive.parent_path(), ec);
  std::vector<fs::path> members;
  for (const char* name : {names.table, names.memo, names.index}) {
    // A loose table may come without its memo or index file; the table itself is a must.
    if (fs::is_regular_file(WorkDir / name, ec)) {
      members.push_back(WorkDir / name);
    } else if (name == names.table) {
      throw Error("Unable to open file (" + PathToText(WorkDir / name) + ")");
    }
  }
  RemoveStaleArchiveTemporaries(archive.parent_path());
  TZLBArchive zlb;
  PrepareArchive(zlb, nullptr);
  zlb.OnErrorLogged = [](const std::string& message) { throw Error(message); };
  // The old archive stays intact until the new one is complete.
  zlb.CreateArchive(archive, /*replaceExisting=*/true);
  zlb.AddFiles(members);
  zlb.CloseArchive();
}

Libraries::FileStamp Libraries::StampOf(const fs::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return {};
  return {true, static_cast<unsigned long long>(st.st_dev),
          static_cast<unsigned long long>(st.st_ino), static_cast<unsigned long long>(st.st_size),
          static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

unsigned long Libraries::WorkingChecksum(int which) const {
  const LibraryNames& names = NamesOf(which);
  unsigned long sum = ::crc32(0L, Z_NULL, 0);
  for (const char* name : {names.table, names.memo}) {
    std::ifstream in(WorkDir / name, std::ios::binary);
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
      sum = ::crc32(sum, reinterpret_cast<const Bytef*>(buffer), static_cast<uInt>(in.gcount()));
    }
    sum = ::crc32(sum, reinterpret_cast<const Bytef*>("|"), 1);
  }
  return sum;
}

void Libraries::Remember(int which) {
  state_[which].archive = StampOf(state_[which].target);
  state_[which].working = WorkingChecksum(which);
}

std::string Libraries::WriteBack(int which, bool onlyWhenChanged) {
  State& state = state_[which];
  if (onlyWhenChanged && WorkingChecksum(which) == state.working) return {};
  FileLock lock;
  if (!state.lock.Held()) lock = FileLock::TakeOrFail(state.target, std::chrono::seconds(10));
  std::error_code ec;
  if (fs::is_regular_file(state.target, ec) && StampOf(state.target) != state.archive) {
    // Another run wrote the library after this one read it: its work stays where it is, and
    // this run's goes beside it.
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "-%Y%m%d-%H%M%S", std::localtime(&now));
    const fs::path aside =
        state.target.parent_path() / (std::string(NamesOf(which).base) + stamp + ".LIB");
    WriteArchive(which, aside);
    Remember(which);
    return Msg(152, {PathToText(state.target), PathToText(aside)});
  }
  WriteArchive(which, state.target);
  Remember(which);
  return {};
}

void Libraries::OpenOne(int which, Progress& progress, const Messages& messages,
                        std::vector<std::string>& warnings) {
  const LibraryNames& names = NamesOf(which);
  Table& table = TableOf(which);
  ClearFilter(table);
  table.Close();
  table.SetPath(WorkDir / names.table);
  State& state = state_[which];
  state = State{};

  auto userArchive = FindNoCase(UserDir, names.archive);
  auto programArchive = FindNoCase(ProgramDir, names.archive);
  if (!userArchive && !programArchive) {
    // The damaged archive is gone: the library saved beside it takes its place, under the
    // archive's own name from now on.
    userArchive = FindNoCase(UserDir, ReplacementName(which));
    if (!userArchive) programArchive = FindNoCase(ProgramDir, ReplacementName(which));
  }
  const fs::path writableDir = programDirWritable_ || UserDir.empty() ? ProgramDir : UserDir;
  if (userArchive) {
    state.target = userArchive->parent_path() / names.archive;
    if (userArchive->filename() != ReplacementName(which)) state.target = *userArchive;
  } else if (programArchive && programDirWritable_) {
    state.target = programArchive->parent_path() / names.archive;
    if (programArchive->filename() != ReplacementName(which)) state.target = *programArchive;
  } else {
    state.target = writableDir / names.archive;
  }
  // Read under the lock, so that what is read is what the last writer left.
  if (HoldLocks) state.lock = FileLock::TakeOrFail(state.target, std::chrono::seconds(10));

  auto extract = [&](const fs::path& archive) {
    ProgressWindow window(progress, messages.Get(17), 100);
    progress.ProcessEvents();
    TZLBArchive zlb;
    PrepareArchive(zlb, &progress);
    zlb.OpenArchive(archive);
    zlb.ExtractAll(WorkDir);
    zlb.CloseArchive();
    NormalizeNames(WorkDir, names);
    std::error_code ec;
    if (!fs::is_regular_file(WorkDir / names.table, ec)) {
      throw Error(W("Archiv neobsahuje tabulku ") + names.table + ".");
    }
    OpenTable(which);
  };

  bool pack = false;
  std::optional<fs::path> source = userArchive ? userArchive : programArchive;
  try {
    if (source) {
      extract(*source);
    } else if ((source = FindNoCase(ProgramDir, std::string(names.base) + ".DBF"))) {
      // Loose tables of a fresh installation: read, never written.
      const std::string exts[3] = {".DBF", ".DBT", ".MDX"};
      const char* targets[3] = {names.table, names.memo, names.index};
      for (int i = 0; i < 3; ++i) {
        const auto found = FindNoCase(ProgramDir, names.base + exts[i]);
        if (!found) continue;
        std::error_code ec;
        fs::copy_file(*found, WorkDir / targets[i], fs::copy_options::overwrite_existing, ec);
        if (ec) throw Error("Unable to copy file (" + PathToText(*found) + "): " + ec.message());
      }
      OpenTable(which);
      pack = true;
    } else {
      CreateProjectTable(table);
      pack = true;
    }
  } catch (const Error& e) {
    if (!source) throw;  // nothing was read: the working directory itself failed
    // Keep the damaged file for the user; the run goes on with an empty library, or with the
    // replacement an earlier such run wrote, and saves under the replacement's name.
    state.damaged = *source;
    const fs::path dir =
        source->parent_path() == UserDir && !UserDir.empty() ? UserDir : writableDir;
    state.target = dir / ReplacementName(which);
    std::string warning = Msg(153, {PathToText(*source), e.what()});
    ClearFilter(table);
    table.Close();
    RemoveWorkingFiles(WorkDir, names);
    bool replaced = false;
    std::error_code ec;
    if (fs::is_regular_file(state.target, ec)) {
      try {
        extract(state.target);
        replaced = true;
      } catch (const Error& again) {
        // The replacement is kept too; it is written anew from the empty library only if it
        // could not be read either, so it is renamed out of the way first.
        ClearFilter(table);
        table.Close();
        RemoveWorkingFiles(WorkDir, names);
        warning += "\n" + Msg(154, {PathToText(state.target), again.what()});
        state.target = dir / (std::string(names.base) + "-new2.LIB");
      }
    }
    if (!replaced) CreateProjectTable(table);
    warning += "\n" + Msg(replaced ? 155 : 156, {PathToText(state.target)});
    warnings.push_back(warning);
  }

  if (pack) {
    ClearFilter(table);
    table.Close();
    try {
      WriteArchive(which, state.target);
    } catch (const Error& e) {
      warnings.push_back(Msg(157, {PathToText(state.target), e.what()}));
    }
  }
  OpenTable(which);
  Remember(which);
}

std::vector<std::string> Libraries::OpenLibraries(const fs::path& tempDir, Progress& progress,
                                                  const Messages& messages) {
  if (opened_) return {};
  WorkDir = MakeWorkingDirectory(tempDir, "RZK");
  WorkDirMark = WorkingDirectoryMark::Mark(WorkDir);
  programDirWritable_ = CanWrite ? CanWrite(ProgramDir) : IsDirectoryWritable(ProgramDir);
  std::vector<std::string> warnings;
  try {
    OpenOne(kBuiltInLibrary, progress, messages, warnings);
    OpenOne(kUserLibrary, progress, messages, warnings);
  } catch (...) {
    for (Table* table : {&BuildInRisksTable, &UserRisksTable}) {
      try {
        table->Close();
      } catch (const Error&) {
      }
    }
    WorkDirMark.Release();
    RemoveWorkingDirectory(WorkDir);
    WorkDir.clear();
    for (State& state : state_) state.lock.Release();
    throw;
  }
  opened_ = true;
  return warnings;
}

void Libraries::CloseLibraries(Progress& progress, const Messages& messages) {
  if (!opened_) return;
  opened_ = false;
  std::exception_ptr failure;
  std::string aside;
  {
    ProgressWindow window(progress, messages.Get(20), 100);
    try {
      ClearFilter(UserRisksTable);
      UserRisksTable.Close();
      aside = WriteBack(kUserLibrary, /*onlyWhenChanged=*/true);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  try {
    ClearFilter(BuildInRisksTable);
    BuildInRisksTable.Close();
    UserRisksTable.Close();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  WorkDirMark.Release();
  if (failure) {
    // The working copy is the only complete one now: keep it and say where, and take the mark
    // away so that no later start removes it as a dead run's leftovers.
    std::error_code ec;
    fs::remove(WorkDir / kRunLockName, ec);
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      throw Error(std::string(e.what()) + "\n" + Msg(158, {PathToText(WorkDir)}));
    }
  }
  RemoveWorkingDirectory(WorkDir);
  WorkDir.clear();
  for (State& state : state_) state.lock.Release();
  if (!aside.empty()) throw Error(aside);
}

void Libraries::DiscardLibraries() {
  if (!opened_) return;
  opened_ = false;
  for (Table* table : {&BuildInRisksTable, &UserRisksTable}) {
    try {
      ClearFilter(*table);
      table->Close();
    } catch (const Error&) {
      // Nothing of these copies is kept.
    }
  }
  WorkDirMark.Release();
  RemoveWorkingDirectory(WorkDir);
  WorkDir.clear();
  for (State& state : state_) state.lock.Release();
}

void Libraries::SaveLibrary(int which, Progress& progress, const std::string& text) {
  if (!opened_) throw Error(Msg(159));
  ProgressWindow window(progress, text, 100);
  Table& table = TableOf(which);
  ClearFilter(table);
  table.Close();
  std::string aside;
  try {
    aside = WriteBack(which, /*onlyWhenChanged=*/false);
  } catch (...) {
    OpenTable(which);
    throw;
  }
  OpenTable(which);
  if (!aside.empty()) throw Error(aside);
}

void Libraries::PackTable(int which) {
  Table& table = TableOf(which);
  ClearFilter(table);
  table.Close();
  try {
    table.Open(true);
    table.Pack();
    table.Close();
  } catch (...) {
    table.Close();
    OpenTable(which);
    throw;
  }
  OpenTable(which);
}

void LoadLibraryTree(TreeControl& tree, Table& table, tMyNodeIndexes& lookup, Progress& progress,
                     const Messages& messages) {
  ClearFilter(table);
  table.First();
  BuildTree(tree, table, lookup, progress, messages);
  tree.Repaint();
  progress.ProcessEvents();
}

}  // namespace orvenda
