// The table's files as a whole: creating, renaming and packing them, and the index file.
#include "model/table_internal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "base/messages.h"
#include "model/dbf_files.h"

namespace orvenda {

namespace fs = std::filesystem;
using dbf::Cell;
using dbf::Kind;
using namespace table_detail;

namespace table_detail {

[[noreturn]] void Fail(const std::string& what, const fs::path& file, int err) {
  throw Error(what + " " + PathToText(file) + ": " + Utf8ToCp1250(std::strerror(err)));
}

void WriteAt(int fd, const char* data, size_t size, uint64_t offset, const fs::path& file) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(Msg(193), file, errno);
    }
    data += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
}

FileStamp StampOf(int fd) {
  struct stat st {};
  FileStamp s;
  if (fd < 0 || ::fstat(fd, &st) != 0) return s;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  s.ctimeNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return s;
}

uint64_t& WriteCount(const FileStamp& file) {
  static std::map<std::pair<dev_t, ino_t>, uint64_t> counts;
  return counts[{file.dev, file.ino}];
}

std::map<std::string, std::vector<IndexDef>>& CreatedIndexes() {
  static std::map<std::string, std::vector<IndexDef>> created;
  return created;
}

std::string PathKey(const fs::path& p) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(p, ec);
  return (ec ? p : absolute).lexically_normal().string();
}

[[noreturn]] void Busy(const fs::path& file) { throw Error(Msg(200, {PathToText(file)})); }

}  // namespace table_detail

void Table::Impl::WriteIndexFile() {
  if (indexes.empty() || readOnly) return;
  std::vector<dbf::IndexTag> tags;
  for (const IndexDef& def : indexes) {
    const auto it = fieldByName.find(UpperAscii(def.field));
    if (it == fieldByName.end()) continue;
    dbf::IndexTag tag;
    tag.def = def;
    tag.field = &layout.fields[it->second];
    tag.numeric = kinds[it->second] == Kind::Integer;
    for (uint32_t rec = 0; rec < rows.size(); ++rec) {
      if (rows[rec].deleted) continue;
      const Cell& c = rows[rec].cells[it->second];
      tag.keys.push_back({IntAt(rec, it->second), c.text, rec + 1});
    }
    tags.push_back(std::move(tag));
  }
  const fs::path indexPath = dbf::FindOnDisk(dbf::IndexPath(dbfPath));
  if (CreatedIndexes().count(PathKey(dbfPath))) {
    dbf::WriteIndex(indexPath, dbfPath, tags);
    return;
  }
  // A foreign table's tags may not fit our index file (long character keys). Its old index
  // file no longer matches the rows then: drop it and say so in the table header, so that
  // other programs do not use it.
  try {
    dbf::WriteIndex(indexPath, dbfPath, tags);
  } catch (const Error&) {
    dbf::RemoveCompanion(indexPath);
    header[28] = 0;
    WriteAt(dbfFd, header.data() + 28, 1, 28, dbfPath);
  }
}

void Table::Impl::DoPack() {
  // The new files are written in full before either replaces its old one, and the rows in
  // memory change only after both are in place: a failure leaves table and memory as they were.
  const bool memo = memoFd >= 0;
  const bool dbase3 = layout.Dbase3Memo();
  const auto blocksOf = [&](const std::string& text) {
    const uint64_t bytes = text.size() + (dbase3 ? 2 : 9);
    return (bytes + memoBlockSize - 1) / memoBlockSize;
  };
  // Memo blocks of deleted records and of replaced memos are reclaimed once they make up
  // more than half the memo file; until then the records keep their blocks.
  uint64_t liveBlocks = 1;
  if (memo) {
    for (const Row& row : rows) {
      if (row.deleted) continue;
      for (size_t i = 0; i < kinds.size(); ++i)
        if (kinds[i] == Kind::Memo && !row.cells[i].text.empty())
          liveBlocks += blocksOf(row.cells[i].text);
    }
  }
  const bool compact = memo && memoNextBlock > 2 * liveBlocks;
  if (compact && liveBlocks > INT32_MAX) throw Error(Msg(201, {PathToText(memoPath)}));

  std::vector<int32_t> newBlocks;  // of every memo cell of the live rows, in order
  std::unique_ptr<dbf::ReplacementFile> memoOut;
  if (compact) {
    memoOut = std::make_unique<dbf::ReplacementFile>(memoPath);
    memoOut->Write(dbf::BuildMemoHeader(static_cast<uint32_t>(liveBlocks), memoBlockSize, dbase3,
                                        dbfPath.stem().string()));
    uint64_t next = 1;
    for (const Row& row : rows) {
      if (row.deleted) continue;
      for (size_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i] != Kind::Memo) continue;
        const std::string& text = row.cells[i].text;
        if (text.empty()) {
          newBlocks.push_back(0);
          continue;
        }
        const std::string encoded = dbf::EncodeMemo(text, memoBlockSize, dbase3);
        newBlocks.push_back(static_cast<int32_t>(next));
        next += encoded.size() / memoBlockSize;
        memoOut->Write(encoded);
      }
    }
  }

  uint32_t liveCount = 0;
  for (const Row& row : rows) liveCount += row.deleted ? 0 : 1;
  std::string newHeader = header;
  dbf::StampHeader(newHeader.data(), liveCount);
  dbf::ReplacementFile dbfOut(dbfPath);
  dbfOut.Write(newHeader);
  {
    std::string record(layout.recordLength, ' ');
    size_t memoCell = 0;
    Cell moved;
    for (const Row& row : rows) {
      if (row.deleted) continue;
      record[0] = ' ';
      for (size_t i = 0; i < layout.fields.size(); ++i) {
        const Cell* c = &row.cells[i];
        if (compact && kinds[i] == Kind::Memo) {
          moved.num = newBlocks[memoCell++];
          c = &moved;
        }
        dbf::EncodeCell(layout.fields[i], *c, record.data());
      }
      dbfOut.Write(record);
    }
  }
  dbfOut.Write("\x1A");

  if (memoOut) memoOut->Commit();
  dbfOut.Commit();

  // Lock the new files before letting go of the old ones.
  const int newFd = ::open(dbfPath.c_str(), O_RDWR | O_CLOEXEC);
  if (newFd < 0) Fail(Msg(196), dbfPath, errno);
  if (::flock(newFd, LOCK_EX | LOCK_NB) != 0) {
    ::close(newFd);
    Busy(dbfPath);
  }
  int newMemo = -1;
  if (memo) {
    newMemo = ::open(memoPath.c_str(), O_RDWR | O_CLOEXEC);
    if (newMemo < 0) {
      ::close(newFd);
      Fail(Msg(197), memoPath, errno);
    }
  }
  CloseFiles();
  dbfFd = newFd;
  openDbf = StampOf(dbfFd);
  memoFd = newMemo;

  size_t kept = 0, memoCell = 0;
  for (size_t r = 0; r < rows.size(); ++r) {
    if (rows[r].deleted) continue;
    if (compact) {
      for (size_t i = 0; i < kinds.size(); ++i)
        if (kinds[i] == Kind::Memo) rows[r].cells[i].num = newBlocks[memoCell++];
    }
    if (kept != r) rows[kept] = std::move(rows[r]);
    ++kept;
  }
  rows.resize(kept);
  header = newHeader;
  headerWritten = true;
  layout.recordCount = static_cast<uint32_t>(rows.size());
  if (compact) memoNextBlock = liveBlocks;
  Rebuild();
  WriteIndexFile();
  changed = false;
}

void Table::PackAndClose() {
  Impl& t = *impl_;
  if (!t.open) return;
  t.RequireWritable();
  if (t.editing) Post();
  t.FlushBulk();
  if (!t.exclusive && ::flock(t.dbfFd, LOCK_EX | LOCK_NB) != 0) {
    // A refused upgrade may have let go of the shared lock.
    ::flock(t.dbfFd, LOCK_SH | LOCK_NB);
    Busy(t.dbfPath);
  }
  try {
    t.DoPack();  // writes the index file too
  } catch (...) {
    if (!t.exclusive) ::flock(t.dbfFd, LOCK_SH | LOCK_NB);
    throw;
  }
  Close();
}

void Table::Create(const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes) {
  Impl& t = *impl_;
  Close();
  if (t.path.empty()) throw Error(Msg(202));
  const fs::path target = dbf::FindOnDisk(t.path);
  const std::string name = PathToText(target);
  if (fields.empty()) throw Error(Msg(203, {name}));

  dbf::Layout layout;
  layout.languageDriver = dbf::kLanguageDriverCp1250;
  std::set<std::string> names;
  for (const FieldDef& def : fields) {
    const std::string upper = UpperAscii(def.name);
    const bool valid =
        !upper.empty() && upper.size() <= dbf::kMaxFieldName &&
        std::all_of(
            upper.begin(), upper.end(),
            [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; }) &&
        upper[0] >= 'A' && upper[0] <= 'Z';
    if (!valid || !names.insert(upper).second) throw Error(Msg(204, {def.name, name}));
    dbf::Field f;
    f.name = upper;
    switch (def.type) {
      case FieldType::Integer:
        f.type = 'N';
        f.length = dbf::kIntegerWidth;
        break;
      case FieldType::String:
        if (def.size < 1 || def.size > dbf::kMaxStringSize) throw Error(Msg(205, {def.name, name}));
        f.type = 'C';
        f.length = static_cast<uint32_t>(def.size);
        break;
      case FieldType::Memo:
        f.type = 'M';
        f.length = 10;
        break;
    }
    layout.fields.push_back(f);
  }
  for (const IndexDef& def : indexes) {
    if (!names.count(UpperAscii(def.field)) || def.name.empty() || def.name.size() > 10)
      throw Error(Msg(206, {def.name, name}));
    for (dbf::Field& f : layout.fields)
      if (f.name == UpperAscii(def.field)) {
        if (f.type == 'M') throw Error(Msg(206, {def.name, name}));
        f.indexed = true;
      }
  }
  const bool memo = layout.HasMemo();
  layout.version = memo ? dbf::kVersionDbase4Memo : dbf::kVersionNoMemo;
  layout.productionIndex = !indexes.empty();
  dbf::LayOut(layout);
  std::string table = dbf::BuildHeader(layout);
  table += '\x1A';

  // Nobody else may have the old table open while it is replaced.
  int lockFd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
  if (lockFd >= 0 && ::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
    ::close(lockFd);
    Busy(target);
  }
  try {
    const fs::path memoPath = dbf::MemoPath(target);
    const fs::path indexPath = dbf::IndexPath(target);
    // Companions of the old table under another letter case would be found instead of ours.
    for (const fs::path& p : {memoPath, indexPath})
      if (const fs::path old = dbf::FindOnDisk(p); old != p) dbf::RemoveCompanion(old);
    std::vector<dbf::IndexTag> tags;
    for (const IndexDef& def : indexes) {
      dbf::IndexTag tag;
      tag.def = def;
      for (const dbf::Field& f : layout.fields)
        if (f.name == UpperAscii(def.field)) {
          tag.field = &f;
          tag.numeric = f.type == 'N';
        }
      tags.push_back(std::move(tag));
    }
    if (!tags.empty()) {
      dbf::WriteIndex(indexPath, target, tags);
    } else {
      dbf::RemoveCompanion(indexPath);
    }
    if (memo) {
      dbf::ReplaceFile(memoPath,
                       dbf::BuildMemoHeader(1, dbf::kMemoBlockSize, false, target.stem().string()));
    } else {
      dbf::RemoveCompanion(memoPath);
    }
    dbf::ReplaceFile(target, table);
  } catch (...) {
    if (lockFd >= 0) ::close(lockFd);
    throw;
  }
  if (lockFd >= 0) ::close(lockFd);
  CreatedIndexes()[PathKey(target)] = indexes;
  t.Reset();
  t.fieldDefs.clear();
  for (const dbf::Field& f : layout.fields) {
    const Kind k = dbf::KindOf(f);
    t.fieldDefs.push_back({f.name,
                           k == Kind::Integer ? FieldType::Integer
                           : k == Kind::Memo  ? FieldType::Memo
                                              : FieldType::String,
                           f.type == 'C' ? static_cast<int>(f.length) : 0});
  }
}

void Table::Rename(const fs::path& newDbf) {
  Impl& t = *impl_;
  if (t.open) throw Error(Msg(207, {t.TableName()}));
  const fs::path from = dbf::FindOnDisk(t.path);
  dbf::RenameTable(from, newDbf);
  auto& created = CreatedIndexes();
  if (auto known = created.find(PathKey(from)); known != created.end()) {
    auto defs = std::move(known->second);
    created.erase(known);
    created[PathKey(newDbf)] = std::move(defs);
  }
  if (t.cachedPath == from) t.cachedPath = newDbf;
  t.path = newDbf;
}

void Table::Pack() {
  Impl& t = *impl_;
  t.RequireWritable();
  if (!t.exclusive) throw Error(Msg(208, {t.TableName()}));
  t.CheckBrowse();
  t.FlushBulk();
  t.DoPack();
  t.GoFirst();
}

}  // namespace orvenda
