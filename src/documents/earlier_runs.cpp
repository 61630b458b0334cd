#include "documents/earlier_runs.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <system_error>

#include "archive/zlb_archive.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "documents/project_file.h"
#include "documents/working_directory.h"
#include "model/table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

bool OwnedByUs(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && info.st_uid == ::geteuid();
}

// Our own directories with the prefix, neither links nor other users' (the temporary directory
// may be shared).
std::vector<fs::path> OwnDirectories(const fs::path& tempDir, const std::string& prefix) {
  std::vector<fs::path> dirs;
  std::error_code ec;
  for (fs::directory_iterator it(tempDir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_directory(typeError) || it->is_symlink(typeError)) continue;
    if (it->path().filename().string().rfind(prefix, 0) != 0) continue;
    if (OwnedByUs(it->path())) dirs.push_back(it->path());
  }
  return dirs;
}

struct FileDigest {
  std::uintmax_t size = 0;
  uint32_t crc = 0;
};

std::optional<FileDigest> DigestOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  FileDigest digest;
  uLong crc = crc32(0L, Z_NULL, 0);
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer), static_cast<uInt>(got));
    digest.size += static_cast<std::uintmax_t>(got);
  }
  if (in.bad()) return std::nullopt;
  digest.crc = static_cast<uint32_t>(crc);
  return digest;
}

// True when the archive holds the table and memo file of `dir` byte for byte. The index file is
// left out: it is derived from the table and rewritten only when the table closes.
bool ArchiveHoldsTable(const fs::path& projectFile, const fs::path& dir) {
  TZLBArchive archive;
  try {
    archive.OpenArchive(projectFile);
  } catch (const Error&) {
    return false;  // a damaged project file holds none of the work
  }
  for (const char* name : {kWorkingTableFiles[0], kWorkingTableFiles[1]}) {
    std::optional<TZLBFileEntry> member;
    for (int32_t i = 0; i < archive.FileCount(); ++i) {
      TZLBFileEntry entry = archive.GetFileEntry(i);
      // The last of equal names is the one that extraction leaves in place.
      if (Cp1250Upper(entry.FileName) == Cp1250Upper(name)) member = std::move(entry);
    }
    const auto working = DigestOf(dir / name);
    if (!member || !working) {
      if (member.has_value() != working.has_value()) return false;
      continue;
    }
    if (member->UncompressedSize < 0 ||
        static_cast<std::uintmax_t>(member->UncompressedSize) != working->size ||
        member->Crc != working->crc) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::vector<DeadWorkingDirectory> FindDeadWorkingDirectories(const fs::path& tempDir,
                                                             const std::string& prefix) {
  std::vector<DeadWorkingDirectory> dead;
  for (const fs::path& dir : OwnDirectories(tempDir, prefix)) {
    RunLock lock = RunLock::TakeFree(dir / kRunLockName);
    if (!lock.Held()) continue;  // a live run's, or not ours at all
    DeadWorkingDirectory found;
    found.dir = dir;
    found.lock = std::move(lock);
    std::error_code ec;
    const fs::path table = dir / kWorkingTableName;
    if (fs::is_regular_file(table, ec)) found.projectFile = ReadProjectFileName(dir);
    found.lastChange = fs::last_write_time(found.projectFile ? table : dir, ec);
    dead.push_back(std::move(found));
  }
  std::stable_sort(dead.begin(), dead.end(),
                   [](const auto& a, const auto& b) { return a.lastChange > b.lastChange; });
  return dead;
}

EarlierWorkCheck CheckEarlierWork(const DeadWorkingDirectory& dead) {
  if (!dead.projectFile) return {};
  int records = 0;
  try {
    Table table;
    OpenWorkingTable(table, dead.dir);
    records = table.RecordCount();
    table.Close();
  } catch (const Error& e) {
    return {EarlierWork::Damaged, e.what()};
  }
  const fs::path& file = *dead.projectFile;
  std::error_code ec;
  if (file.empty() || !fs::is_regular_file(file, ec)) {
    // Nothing to lose in a new project that was left empty.
    return {records > 0 ? EarlierWork::Unsaved : EarlierWork::None, {}};
  }
  if (ProjectFileKindOf(file) != ProjectFileKind::Rsk || !ArchiveHoldsTable(file, dead.dir)) {
    return {EarlierWork::Unsaved, {}};
  }
  return {};
}

int RemoveDeadReportFolders(const fs::path& tempDir) {
  int removed = 0;
  for (const fs::path& dir : OwnDirectories(tempDir, "RPT")) {
    const RunLock lock = RunLock::TakeFree(dir / kRunLockName);
    if (!lock.Held()) continue;
    RemoveWorkingDirectory(dir);
    ++removed;
  }
  return removed;
}

int RemoveDeadRunLeftovers(const fs::path& tempDir) {
  int removed = RemoveDeadReportFolders(tempDir);
  for (DeadWorkingDirectory& dead : FindDeadWorkingDirectories(tempDir)) {
    if (dead.projectFile) continue;
    RemoveWorkingDirectory(dead.dir);
    ++removed;
  }
  return removed;
}

int RemoveStaleArchiveTemporaries(const fs::path& dir) {
  static constexpr std::string_view kMark = ".ZLB";
  const auto isTemporary = [](const std::string& name) {
    if (name.size() < kMark.size() + 7) return false;
    const size_t at = name.size() - 6 - kMark.size();
    if (name.compare(at, kMark.size(), kMark) != 0) return false;
    return std::all_of(name.end() - 6, name.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); });
  };
  std::vector<fs::path> candidates;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError) || it->is_symlink(typeError)) continue;
    if (isTemporary(it->path().filename().string()) && OwnedByUs(it->path())) {
      candidates.push_back(it->path());
    }
  }
  int removed = 0;
  for (const fs::path& file : candidates) {
    // A save in progress holds its temporary file locked until it has renamed it into place.
    const RunLock lock = RunLock::TakeFree(file);
    if (lock.Held() && ::unlink(file.c_str()) == 0) ++removed;
  }
  return removed;
}

}  // namespace orvenda
