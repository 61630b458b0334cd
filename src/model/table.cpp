#include "model/table.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <exception>
#include <map>
#include <set>
#include <thread>
#include <unordered_map>

#include "base/cp1250.h"
#include "base/error.h"
#include "model/dbf_file.h"
#include "model/dbf_files.h"

namespace orvenda {

namespace fs = std::filesystem;
using dbf::Cell;
using dbf::Kind;

namespace {

// From this many records on, a table decodes on two cores while it loads.
constexpr uint32_t kParallelLoadRows = 20000;

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

struct Row {
  std::vector<Cell> cells;
  bool deleted = false;
};

// A parsed filter: "Type=<n> AND Uplink=<n>" or "Uplink=<n>" (either order, any case).
struct Condition {
  bool active = false;  // false: every record passes
  bool hasType = false;
  int32_t type = 0;
  int32_t uplink = 0;
};

Condition ParseFilter(const std::string& text) {
  Condition cond;
  const auto fail = [&]() -> Condition { throw Error(W("Neplatný filtr: \"") + text + "\"."); };
  size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  };
  const auto word = [&] {
    skipBlanks();
    const size_t start = i;
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_'))
      ++i;
    return UpperAscii(text.substr(start, i - start));
  };
  skipBlanks();
  if (i == text.size()) return cond;  // empty text: no condition
  bool seenType = false, seenUplink = false;
  for (;;) {
    const std::string name = word();
    skipBlanks();
    if (i >= text.size() || text[i] != '=') return fail();
    ++i;
    skipBlanks();
    const size_t start = i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    const char* first = text.data() + start + (text[start] == '+' ? 1 : 0);
    const char* last = text.data() + i;
    int32_t value = 0;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (first == last || ec != std::errc() || ptr != last) return fail();
    if (name == "TYPE" && !seenType) {
      seenType = true;
      cond.hasType = true;
      cond.type = value;
    } else if (name == "UPLINK" && !seenUplink) {
      seenUplink = true;
      cond.uplink = value;
    } else {
      return fail();
    }
    skipBlanks();
    if (i == text.size()) break;
    if (word() != "AND") return fail();
  }
  if (!seenUplink) return fail();
  cond.active = true;
  return cond;
}

[[noreturn]] void Fail(const std::string& what, const fs::path& file, int err) {
  throw Error(what + " " + PathToText(file) + ": " + Utf8ToCp1250(std::strerror(err)));
}

void WriteAt(int fd, const char* data, size_t size, uint64_t offset, const fs::path& file) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(W("Zápis do souboru"), file, errno);
    }
    data += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
}

// A whole file mapped for reading while a table loads; copying 100 MB through read() and
// zero-filling the buffer first costs more than decoding the rows.
class MappedFile {
 public:
  MappedFile(int fd, const fs::path& file) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) Fail(W("Čtení souboru"), file, errno);
    size_ = static_cast<size_t>(st.st_size);
    if (size_ == 0) return;
    void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (p == MAP_FAILED) {
      copy_ = ReadWhole(fd, file);
      size_ = copy_.size();
      return;
    }
    map_ = p;
  }
  ~MappedFile() {
    if (map_ != nullptr) ::munmap(map_, size_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  std::string_view bytes() const {
    return map_ != nullptr ? std::string_view(static_cast<const char*>(map_), size_)
                           : std::string_view(copy_);
  }

 private:
  static std::string ReadWhole(int fd, const fs::path& file);
  void* map_ = nullptr;
  size_t size_ = 0;
  std::string copy_;
};

std::string MappedFile::ReadWhole(int fd, const fs::path& file) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) Fail(W("Čtení souboru"), file, errno);
  std::string bytes(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(W("Čtení souboru"), file, errno);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

// What tells that a file is still exactly as we left it.
struct FileStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = -1;
  int64_t mtimeNs = 0;
  int64_t ctimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};

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

// Writes to each table file by any table object of this process, counted. File times tick
// too coarsely to tell two writes a few milliseconds apart.
uint64_t& WriteCount(const FileStamp& file) {
  static std::map<std::pair<dev_t, ino_t>, uint64_t> counts;
  return counts[{file.dev, file.ino}];
}

// The index definitions given to Create, by table file, for every table object of the
// process: the .mdx that holds them is never read back, and a descending tag cannot be told
// from the table file alone.
std::map<std::string, std::vector<IndexDef>>& CreatedIndexes() {
  static std::map<std::string, std::vector<IndexDef>> created;
  return created;
}

std::string PathKey(const fs::path& p) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(p, ec);
  return (ec ? p : absolute).lexically_normal().string();
}

[[noreturn]] void Busy(const fs::path& file) {
  throw Error(W("Tabulka ") + PathToText(file) + W(" je používána jiným programem."));
}

}  // namespace

struct Table::Impl {
  // A set of record numbers kept in the current order of the table.
  struct OrderCmp {
    const Impl* t;
    bool operator()(uint32_t a, uint32_t b) const { return t->Before(a, b); }
  };
  using RecSet = std::set<uint32_t, OrderCmp>;

  Table* self = nullptr;
  RowObserver* observer = nullptr;
  fs::path path;
  fs::path dbfPath, memoPath;  // the files of the open table, as found on disk
  bool open = false, exclusive = false, readOnly = false;
  int dbfFd = -1, memoFd = -1;
  std::string header;  // header bytes of the open table
  dbf::Layout layout;
  std::vector<FieldDef> fieldDefs;
  std::vector<Kind> kinds;
  std::unordered_map<std::string, int> fieldByName;  // upper-case name
  std::vector<Row> rows;
  uint32_t memoBlockSize = dbf::kMemoBlockSize;
  uint64_t memoNextBlock = 1;

  // Index definitions: those given to Create for this file, else one ascending tag per field
  // that the table file marks as indexed.
  std::vector<IndexDef> indexes;
  std::string indexName;
  int orderField = -1;
  bool orderDesc = false;

  RecSet order{OrderCmp{this}};
  std::unordered_map<uint64_t, RecSet> byTypeUplink;
  std::unordered_map<int32_t, RecSet> byUplink;
  bool groupsBuilt = false;
  int builtField = -2;  // the order the sets above were built for; -2: none
  bool builtDesc = false;
  int typeField = -1, uplinkField = -1, indexField = -1;
  std::map<int32_t, std::vector<uint32_t>> byIndexValue;

  std::string filterText;
  bool filtered = false;
  Condition cond;

  int64_t cur = -1;
  bool eof = true, bof = true;
  // Where the last step left the cursor in its view, so that Next costs no search while the
  // orderings stay as they were (any insert or erase bumps orderingsVersion).
  uint64_t orderingsVersion = 0;
  const RecSet* stepView = nullptr;
  RecSet::const_iterator stepAt;
  int64_t stepRec = -1;
  uint64_t stepVersion = 0;

  void RememberStep(const RecSet* view, RecSet::const_iterator at) {
    stepView = view;
    stepAt = at;
    stepRec = *at;
    stepVersion = orderingsVersion;
  }
  bool editing = false;
  bool inserting = false;  // the buffer is a new record, not yet in `rows`
  // Bulk mode: new records and their memos wait here, the header until the flush.
  bool bulk = false;
  std::string bulkDbf, bulkMemo;
  uint64_t bulkDbfAt = 0, bulkMemoAt = 0;
  Row buffer;
  bool changed = false;
  bool headerWritten = false;  // the header on disk carries today's date and the count

  // Rows kept after a close: reopening the same, untouched files needs no reading.
  bool cached = false;
  fs::path cachedPath;
  FileStamp cachedDbf, cachedMemo;
  uint64_t cachedWrites = 0;
  FileStamp openDbf;  // the table file as opened

  void Touched() {
    changed = true;
    ++WriteCount(openDbf);
  }

  // --- values --------------------------------------------------------------------------------
  int32_t IntOf(const Cell& c, Kind k) const {
    if (c.null) return 0;
    if (k == Kind::Integer) return c.num;
    int32_t v = 0;
    return dbf::ParseNumber(c.text, v) ? v : 0;
  }
  int32_t IntAt(uint32_t rec, int field) const {
    return IntOf(rows[rec].cells[field], kinds[field]);
  }

  bool Before(uint32_t a, uint32_t b) const {
    if (orderField >= 0) {
      if (kinds[orderField] == Kind::Integer) {
        const int32_t va = IntAt(a, orderField), vb = IntAt(b, orderField);
        if (va != vb) return orderDesc ? va > vb : va < vb;
      } else {
        const std::string& ta = rows[a].cells[orderField].text;
        const std::string& tb = rows[b].cells[orderField].text;
        const int c = ta.compare(tb);  // byte order, like a character tag
        if (c != 0) return orderDesc ? c > 0 : c < 0;
      }
    }
    return a < b;  // equal keys keep the file order
  }

  static uint64_t GroupKey(int32_t type, int32_t uplink) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(type)) << 32) |
           static_cast<uint32_t>(uplink);
  }

  // --- lookups -------------------------------------------------------------------------------
  std::string TableName() const { return PathToText(open ? dbfPath : path); }

  int FieldIndex(const std::string& name) const {
    const auto it = fieldByName.find(UpperAscii(name));
    if (it == fieldByName.end())
      throw Error(W("Pole ") + name + W(" v tabulce ") + TableName() + W(" neexistuje."));
    return it->second;
  }

  void RequireOpen() const {
    if (!open) throw Error(W("Tabulka ") + TableName() + W(" není otevřená."));
  }

  void RequireWritable() const {
    RequireOpen();
    if (readOnly) throw Error(W("Tabulka ") + TableName() + W(" je jen pro čtení."));
  }

  const Row* CurrentRow() const {
    if (editing) return &buffer;
    if (cur < 0) return nullptr;
    return &rows[static_cast<size_t>(cur)];
  }

  struct RowRef final : RowValues {
    const Impl* t;
    uint32_t rec;
    RowRef(const Impl* table, uint32_t r) : t(table), rec(r) {}
    int32_t Int(int field) const override {
      return field >= 0 && field < static_cast<int>(t->kinds.size()) ? t->IntAt(rec, field) : 0;
    }
  };

  void ResetObserver() {
    if (observer != nullptr) observer->Reset(*self);
  }

  // --- maintained orderings --------------------------------------------------------------------
  void InsertRec(uint32_t rec) {
    ++orderingsVersion;
    if (observer != nullptr) observer->Added(RowRef(this, rec));
    order.insert(order.end(), rec);  // appended records, the most common case, go last
    if (indexField >= 0) byIndexValue[IntAt(rec, indexField)].push_back(rec);
    if (groupsBuilt) {
      const int32_t up = IntAt(rec, uplinkField);
      byUplink.try_emplace(up, OrderCmp{this}).first->second.insert(rec);
      if (typeField >= 0)
        byTypeUplink.try_emplace(GroupKey(IntAt(rec, typeField), up), OrderCmp{this})
            .first->second.insert(rec);
    }
  }

  void RemoveRec(uint32_t rec) {
    ++orderingsVersion;
    if (observer != nullptr) observer->Removed(RowRef(this, rec));
    order.erase(rec);
    if (indexField >= 0) {
      const auto it = byIndexValue.find(IntAt(rec, indexField));
      if (it != byIndexValue.end()) {
        auto& v = it->second;
        v.erase(std::remove(v.begin(), v.end(), rec), v.end());
        if (v.empty()) byIndexValue.erase(it);
      }
    }
    if (groupsBuilt) {
      const int32_t up = IntAt(rec, uplinkField);
      if (const auto it = byUplink.find(up); it != byUplink.end()) {
        it->second.erase(rec);
        if (it->second.empty()) byUplink.erase(it);
      }
      if (typeField >= 0) {
        const auto key = GroupKey(IntAt(rec, typeField), up);
        if (const auto it = byTypeUplink.find(key); it != byTypeUplink.end()) {
          it->second.erase(rec);
          if (it->second.empty()) byTypeUplink.erase(it);
        }
      }
    }
  }

  void BuildGroups() {
    ++orderingsVersion;
    byUplink.clear();
    byTypeUplink.clear();
    groupsBuilt = false;
    if (uplinkField < 0) return;
    for (uint32_t rec : order) {
      const int32_t up = IntAt(rec, uplinkField);
      byUplink.try_emplace(up, OrderCmp{this}).first->second.insert(rec);
      if (typeField >= 0)
        byTypeUplink.try_emplace(GroupKey(IntAt(rec, typeField), up), OrderCmp{this})
            .first->second.insert(rec);
    }
    groupsBuilt = true;
  }

  void Rebuild() {
    ++orderingsVersion;
    builtField = orderField;
    builtDesc = orderDesc;
    ResetObserver();
    order.clear();
    byIndexValue.clear();
    groupsBuilt = false;
    byUplink.clear();
    byTypeUplink.clear();
    // The cells of the rows ahead are fetched while this one is taken in: each row's cells
    // are a memory block of their own, and a big table is mostly waiting for them.
    constexpr uint32_t kAhead = 8;
    for (uint32_t rec = 0; rec < rows.size(); ++rec) {
      if (rec + kAhead < rows.size()) {
        const Cell* cells = rows[rec + kAhead].cells.data();
        for (const int field : {indexField, typeField, uplinkField})
          if (field >= 0) __builtin_prefetch(cells + field);
      }
      if (!rows[rec].deleted) InsertRec(rec);
    }
    if (observer != nullptr) observer->Loaded();
    if (filtered && cond.active) BuildGroups();
  }

  // The records that navigation sees, in order; null when the filter leaves none.
  const RecSet* View() const {
    if (!filtered || !cond.active) return &order;
    if (cond.hasType) {
      const auto it = byTypeUplink.find(GroupKey(cond.type, cond.uplink));
      return it == byTypeUplink.end() ? nullptr : &it->second;
    }
    const auto it = byUplink.find(cond.uplink);
    return it == byUplink.end() ? nullptr : &it->second;
  }

  bool Passes(uint32_t rec) const {
    if (!filtered || !cond.active) return true;
    if (IntAt(rec, uplinkField) != cond.uplink) return false;
    return !cond.hasType || IntAt(rec, typeField) == cond.type;
  }

  // Makes `c` the filter; fails on a text naming a field the table lacks.
  void Activate(const Condition& c, const std::string& text) {
    if (c.active && (uplinkField < 0 || (c.hasType && typeField < 0)))
      throw Error(W("Neplatný filtr: \"") + text + "\".");
    cond = c;
    if (cond.active && !groupsBuilt) BuildGroups();
  }

  void ResolveOrder(const std::string& name) {
    if (name.empty()) {
      orderField = -1;
      orderDesc = false;
      return;
    }
    const std::string upper = UpperAscii(name);
    for (const IndexDef& def : indexes) {
      if (UpperAscii(def.name) == upper) {
        const auto it = fieldByName.find(UpperAscii(def.field));
        if (it == fieldByName.end()) break;
        orderField = it->second;
        orderDesc = def.descending;
        return;
      }
    }
    // Tags of foreign tables are named after their field.
    if (const auto it = fieldByName.find(upper); it != fieldByName.end()) {
      orderField = it->second;
      orderDesc = false;
      return;
    }
    throw Error(W("Index ") + name + W(" v tabulce ") + TableName() + W(" neexistuje."));
  }

  // --- cursor ----------------------------------------------------------------------------------
  void SetCursor(int64_t rec) {
    cur = rec;
    eof = bof = rec < 0;
  }

  void GoFirst() {
    const RecSet* v = View();
    if (v == nullptr || v->empty()) return SetCursor(-1);
    SetCursor(*v->begin());
    RememberStep(v, v->begin());
  }

  void CheckBrowse() {
    if (editing) self->Post();
  }

  // --- writing -------------------------------------------------------------------------------
  std::string EncodeRow(const Row& row) const {
    std::string rec(layout.recordLength, ' ');
    rec[0] = row.deleted ? '*' : ' ';
    for (size_t i = 0; i < layout.fields.size(); ++i)
      dbf::EncodeCell(layout.fields[i], row.cells[i], rec.data());
    return rec;
  }

  uint64_t RecordOffset(uint32_t rec) const {
    return layout.headerLength + static_cast<uint64_t>(rec) * layout.recordLength;
  }

  // Record count and date of the last update; written only when one of them changes.
  void WriteHeaderCount() {
    char stamped[7];
    std::memcpy(stamped, header.data() + 1, 7);
    dbf::StampHeader(header.data(), static_cast<uint32_t>(rows.size()));
    if (headerWritten && std::memcmp(stamped, header.data() + 1, 7) == 0) return;
    WriteAt(dbfFd, header.data() + 1, 7, 1, dbfPath);
    headerWritten = true;
  }

  // Appends the changed memos of a record to the memo file in one write and points their
  // cells at the new blocks; empty memos point nowhere.
  void WriteMemos(const Row* old, Row& next) {
    std::string blocks;
    uint64_t block = memoNextBlock;
    for (size_t i = 0; i < kinds.size(); ++i) {
      if (kinds[i] != Kind::Memo) continue;
      Cell& c = next.cells[i];
      if (old != nullptr && c.text == old->cells[i].text && c.num == old->cells[i].num) continue;
      if (c.text.empty()) {
        c.num = 0;
        continue;
      }
      if (memoFd < 0) throw Error(W("Chybí soubor poznámek tabulky ") + TableName() + ".");
      std::string encoded = dbf::EncodeMemo(c.text, memoBlockSize, layout.Dbase3Memo());
      if (block + encoded.size() / memoBlockSize > INT32_MAX)
        throw Error(W("Soubor poznámek ") + PathToText(memoPath) + W(" je plný."));
      c.num = static_cast<int32_t>(block);
      block += encoded.size() / memoBlockSize;
      if (blocks.empty()) {
        blocks = std::move(encoded);
      } else {
        blocks += encoded;
      }
    }
    if (blocks.empty()) return;
    if (bulk && old == nullptr) {
      if (bulkMemo.empty()) bulkMemoAt = memoNextBlock * memoBlockSize;
      bulkMemo += blocks;
      memoNextBlock = block;
      return;
    }
    WriteAt(memoFd, blocks.data(), blocks.size(), memoNextBlock * memoBlockSize, memoPath);
    memoNextBlock = block;
    char nextFree[4];
    for (int i = 0; i < 4; ++i) nextFree[i] = static_cast<char>((block >> (8 * i)) & 0xFF);
    WriteAt(memoFd, nextFree, 4, 0, memoPath);
  }

  // Writes what bulk mode holds back: memos before the records that point at them, the
  // header's count last.
  void FlushBulk() {
    if (bulkMemo.empty() && bulkDbf.empty()) return;
    if (!bulkMemo.empty()) {
      WriteAt(memoFd, bulkMemo.data(), bulkMemo.size(), bulkMemoAt, memoPath);
      std::string().swap(bulkMemo);
      char nextFree[4];
      for (int i = 0; i < 4; ++i)
        nextFree[i] = static_cast<char>((memoNextBlock >> (8 * i)) & 0xFF);
      WriteAt(memoFd, nextFree, 4, 0, memoPath);
    }
    if (!bulkDbf.empty()) {
      bulkDbf += '\x1A';
      WriteAt(dbfFd, bulkDbf.data(), bulkDbf.size(), bulkDbfAt, dbfPath);
      std::string().swap(bulkDbf);
    }
    WriteHeaderCount();
  }

  // --- open and close ------------------------------------------------------------------------
  void CloseFiles() {
    if (memoFd >= 0) ::close(memoFd);
    if (dbfFd >= 0) ::close(dbfFd);  // also drops the lock
    memoFd = dbfFd = -1;
  }

  // Closes the files. With `keep` the rows stay for a reopen of the unchanged files.
  void Reset(bool keep = false) {
    cached = false;
    if (keep && open) {
      cachedDbf = StampOf(dbfFd);
      cachedWrites = WriteCount(cachedDbf);
      cachedMemo = StampOf(memoFd);
      cachedPath = dbfPath;
      cached = cachedDbf.size >= 0;
    }
    CloseFiles();
    open = exclusive = readOnly = editing = inserting = changed = bulk = false;
    std::string().swap(bulkDbf);
    std::string().swap(bulkMemo);
    buffer = Row();
    SetCursor(-1);
    if (cached) return;
    builtField = -2;
    ++orderingsVersion;
    ResetObserver();
    rows.clear();
    rows.shrink_to_fit();
    order.clear();
    byIndexValue.clear();
    byUplink.clear();
    byTypeUplink.clear();
    groupsBuilt = false;
    buffer = Row();
    SetCursor(-1);
  }

  void Load(bool wantExclusive);
  void WriteIndexFile();
  void DoPack();
};

// ---------------------------------------------------------------------------------------------

void Table::Impl::Load(bool wantExclusive) {
  dbfPath = dbf::FindOnDisk(path);
  int fd = ::open(dbfPath.c_str(), O_RDWR | O_CLOEXEC);
  readOnly = false;
  if (fd < 0 && (errno == EACCES || errno == EROFS)) {
    fd = ::open(dbfPath.c_str(), O_RDONLY | O_CLOEXEC);
    readOnly = true;
  }
  if (fd < 0) {
    if (errno == ENOENT) throw Error(W("Tabulka ") + PathToText(path) + W(" neexistuje."));
    Fail(W("Nelze otevřít tabulku"), dbfPath, errno);
  }
  dbfFd = fd;
  if (::flock(fd, (wantExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    CloseFiles();
    Busy(dbfPath);
  }
  exclusive = wantExclusive;
  headerWritten = false;
  changed = false;
  openDbf = StampOf(dbfFd);

  if (cached && cachedPath == dbfPath && openDbf == cachedDbf &&
      WriteCount(openDbf) == cachedWrites) {
    cached = false;
    if (layout.HasMemo()) {
      memoPath = dbf::FindOnDisk(dbf::MemoPath(dbfPath));
      memoFd = ::open(memoPath.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    }
    if (!layout.HasMemo() || StampOf(memoFd) == cachedMemo) {
      open = true;
      ResolveOrder(indexName);
      if (builtField != orderField || builtDesc != orderDesc) Rebuild();
      if (filtered) Activate(ParseFilter(filterText), filterText);
      GoFirst();
      return;
    }
    if (memoFd >= 0) ::close(memoFd);
    memoFd = -1;
  }
  cached = false;

  const MappedFile dbfFile(dbfFd, dbfPath);
  const std::string_view bytes = dbfFile.bytes();
  const std::string name = PathToText(dbfPath);
  layout = dbf::ParseHeader(bytes, name);
  header.assign(bytes.substr(0, layout.headerLength));

  fieldDefs.clear();
  kinds.clear();
  fieldByName.clear();
  for (size_t i = 0; i < layout.fields.size(); ++i) {
    const dbf::Field& f = layout.fields[i];
    const Kind k = dbf::KindOf(f);
    FieldDef def;
    def.name = f.name;
    def.type = k == Kind::Integer ? FieldType::Integer
               : k == Kind::Memo  ? FieldType::Memo
                                  : FieldType::String;
    def.size = def.type == FieldType::String ? static_cast<int>(f.length) : 0;
    fieldDefs.push_back(def);
    kinds.push_back(k);
    fieldByName.emplace(UpperAscii(f.name), static_cast<int>(i));
  }
  const auto intField = [&](const char* n) {
    const auto it = fieldByName.find(n);
    return it != fieldByName.end() && kinds[it->second] == Kind::Integer ? it->second : -1;
  };
  typeField = intField("TYPE");
  uplinkField = intField("UPLINK");
  indexField = intField("INDEX");

  std::unique_ptr<MappedFile> memoFile;
  std::string_view memoBytes;
  memoFd = -1;
  memoBlockSize = dbf::kMemoBlockSize;
  memoNextBlock = 1;
  if (layout.HasMemo()) {
    const fs::path wanted = dbf::MemoPath(dbfPath);
    memoPath = dbf::FindOnDisk(wanted);
    const int mfd = ::open(memoPath.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (mfd < 0) {
      if (errno == ENOENT)
        throw Error(W("Chybí soubor poznámek ") + PathToText(wanted) + W(" tabulky ") + name + ".");
      Fail(W("Nelze otevřít soubor poznámek"), memoPath, errno);
    }
    memoFd = mfd;
    memoFile = std::make_unique<MappedFile>(memoFd, memoPath);
    memoBytes = memoFile->bytes();
    memoBlockSize =
        dbf::ParseMemoHeader(memoBytes, layout.Dbase3Memo(), PathToText(memoPath)).blockSize;
    memoNextBlock = std::max<uint64_t>(1, (memoBytes.size() + memoBlockSize - 1) / memoBlockSize);
  }

  rows.assign(layout.recordCount, Row());
  const std::string memoName = PathToText(memoPath);
  const std::string overlap = W("Soubor ") + memoName + W(" je poškozený: poznámky se překrývají.");
  // Decodes rows [from, to) and returns the memo text they hold.
  const auto decode = [&](uint32_t from, uint32_t to) {
    uint64_t memoTotal = 0;
    for (uint32_t r = from; r < to; ++r) {
      const char* rec =
          bytes.data() + layout.headerLength + static_cast<uint64_t>(r) * layout.recordLength;
      Row& row = rows[r];
      row.deleted = rec[0] == '*';
      row.cells.resize(layout.fields.size());
      for (size_t i = 0; i < layout.fields.size(); ++i) {
        Cell& cell = row.cells[i];
        dbf::DecodeCell(layout.fields[i], rec, cell, name);
        if (kinds[i] == Kind::Memo && cell.num > 0) {
          cell.text =
              dbf::ReadMemo(memoBytes, memoBlockSize, static_cast<uint32_t>(cell.num), memoName);
          cell.null = cell.text.empty();
          // Memos of a sound file never overlap; more text than the file holds means pointers
          // share blocks, which would let a small file claim huge amounts of memory.
          memoTotal += cell.text.size();
          if (memoTotal > memoBytes.size()) throw Error(overlap);
        }
      }
    }
    return memoTotal;
  };
  // A big table decodes its second half on another core.
  const uint32_t count = layout.recordCount;
  if (count >= kParallelLoadRows && std::thread::hardware_concurrency() >= 2) {
    const uint32_t half = count / 2;
    uint64_t secondTotal = 0;
    std::exception_ptr secondError;
    std::thread second([&] {
      try {
        secondTotal = decode(half, count);
      } catch (...) {
        secondError = std::current_exception();
      }
    });
    uint64_t firstTotal = 0;
    std::exception_ptr firstError;
    try {
      firstTotal = decode(0, half);
    } catch (...) {
      firstError = std::current_exception();
    }
    second.join();
    if (firstError) std::rethrow_exception(firstError);
    if (firstTotal + secondTotal > memoBytes.size()) throw Error(overlap);
    if (secondError) std::rethrow_exception(secondError);
  } else {
    decode(0, count);
  }

  if (const auto known = CreatedIndexes().find(PathKey(dbfPath)); known != CreatedIndexes().end()) {
    indexes = known->second;
  } else {
    indexes.clear();
    for (const dbf::Field& f : layout.fields)
      if (f.indexed) indexes.push_back({f.name, f.name, false});
  }
  open = true;
  ResolveOrder(indexName);
  Rebuild();
  if (filtered) Activate(ParseFilter(filterText), filterText);
  GoFirst();
}

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
  if (compact && liveBlocks > INT32_MAX)
    throw Error(W("Soubor poznámek ") + PathToText(memoPath) + W(" je plný."));

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
  if (newFd < 0) Fail(W("Nelze otevřít tabulku"), dbfPath, errno);
  if (::flock(newFd, LOCK_EX | LOCK_NB) != 0) {
    ::close(newFd);
    Busy(dbfPath);
  }
  int newMemo = -1;
  if (memo) {
    newMemo = ::open(memoPath.c_str(), O_RDWR | O_CLOEXEC);
    if (newMemo < 0) {
      ::close(newFd);
      Fail(W("Nelze otevřít soubor poznámek"), memoPath, errno);
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

// ---------------------------------------------------------------------------------------------

Table::Table() : impl_(std::make_unique<Impl>()) { impl_->self = this; }

Table::~Table() {
  try {
    Close();
  } catch (...) {
    impl_->Reset();
  }
}

void Table::SetPath(const fs::path& dbf) {
  if (impl_->open)
    throw Error(W("Tabulku ") + impl_->TableName() + W(" nelze přejmenovat, je otevřená."));
  impl_->path = dbf;
}

const fs::path& Table::Path() const { return impl_->path; }

void Table::SetRowObserver(RowObserver* observer) {
  Impl& t = *impl_;
  t.observer = observer;
  if (observer == nullptr) return;
  observer->Reset(*this);
  if (!t.open && !t.cached) return;
  for (uint32_t rec = 0; rec < t.rows.size(); ++rec)
    if (!t.rows[rec].deleted) observer->Added(Impl::RowRef(&t, rec));
  observer->Loaded();
}

void Table::Open(bool exclusive) {
  Impl& t = *impl_;
  if (t.open) {
    if (t.exclusive == exclusive) return;
    Close();
  }
  try {
    t.Load(exclusive);
  } catch (...) {
    t.Reset();
    throw;
  }
}

void Table::Close() {
  Impl& t = *impl_;
  if (!t.open) return;
  // A pending edit is kept, not dropped: closing must not lose what was typed.
  if (t.editing) {
    try {
      Post();
    } catch (...) {
      t.Reset();
      throw;
    }
  }
  try {
    t.FlushBulk();
    if (t.changed) t.WriteIndexFile();
  } catch (...) {
    t.Reset();
    throw;
  }
  t.Reset(true);
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

bool Table::IsOpen() const { return impl_->open; }
bool Table::IsExclusive() const { return impl_->open && impl_->exclusive; }

void Table::Create(const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes) {
  Impl& t = *impl_;
  Close();
  if (t.path.empty()) throw Error(W("Tabulka nemá jméno."));
  const fs::path target = dbf::FindOnDisk(t.path);
  const std::string name = PathToText(target);
  if (fields.empty()) throw Error(W("Tabulka ") + name + W(" musí mít aspoň jedno pole."));

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
    if (!valid || !names.insert(upper).second)
      throw Error(W("Neplatné jméno pole ") + def.name + W(" v tabulce ") + name + ".");
    dbf::Field f;
    f.name = upper;
    switch (def.type) {
      case FieldType::Integer:
        f.type = 'N';
        f.length = dbf::kIntegerWidth;
        break;
      case FieldType::String:
        if (def.size < 1 || def.size > dbf::kMaxStringSize)
          throw Error(W("Neplatná délka pole ") + def.name + W(" v tabulce ") + name + ".");
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
      throw Error(W("Neplatný index ") + def.name + W(" v tabulce ") + name + ".");
    for (dbf::Field& f : layout.fields)
      if (f.name == UpperAscii(def.field)) {
        if (f.type == 'M')
          throw Error(W("Neplatný index ") + def.name + W(" v tabulce ") + name + ".");
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

const std::vector<FieldDef>& Table::Fields() const { return impl_->fieldDefs; }

void Table::SetIndexName(const std::string& name) {
  Impl& t = *impl_;
  if (!t.open) {
    t.indexName = name;
    return;
  }
  t.CheckBrowse();
  t.ResolveOrder(name);  // fails before anything changes
  t.indexName = name;
  // Another name for the order the rows already have costs no rebuild.
  if (t.builtField != t.orderField || t.builtDesc != t.orderDesc) t.Rebuild();
  t.GoFirst();
}

const std::string& Table::IndexName() const { return impl_->indexName; }

void Table::SetFilter(const std::string& text) {
  Impl& t = *impl_;
  if (t.open && t.filtered) {
    const Condition c = ParseFilter(text);
    t.CheckBrowse();
    if (text == t.filterText) return;
    t.Activate(c, text);
    t.filterText = text;
    t.GoFirst();
    return;
  }
  if (t.filtered) ParseFilter(text);
  t.filterText = text;
}

const std::string& Table::Filter() const { return impl_->filterText; }

void Table::SetFiltered(bool on) {
  Impl& t = *impl_;
  if (on == t.filtered) return;
  if (!on) {
    if (t.open) t.CheckBrowse();
    t.filtered = false;
    if (t.open) t.GoFirst();
    return;
  }
  const Condition c = ParseFilter(t.filterText);
  if (!t.open) {
    t.filtered = true;
    return;
  }
  t.CheckBrowse();
  t.Activate(c, t.filterText);
  t.filtered = true;
  t.GoFirst();
}

bool Table::Filtered() const { return impl_->filtered; }

void Table::First() {
  Impl& t = *impl_;
  t.RequireOpen();
  t.CheckBrowse();
  t.GoFirst();
}

void Table::Last() {
  Impl& t = *impl_;
  t.RequireOpen();
  t.CheckBrowse();
  const auto* v = t.View();
  t.SetCursor(v == nullptr || v->empty() ? -1 : static_cast<int64_t>(*v->rbegin()));
}

void Table::Next() {
  Impl& t = *impl_;
  t.RequireOpen();
  t.CheckBrowse();
  const auto* v = t.View();
  if (v == nullptr || v->empty()) return t.SetCursor(-1);
  if (t.cur < 0) {
    t.eof = true;
    return;
  }
  const bool stepped = t.stepView == v && t.stepVersion == t.orderingsVersion && t.stepRec == t.cur;
  const auto it = stepped ? std::next(t.stepAt) : v->upper_bound(static_cast<uint32_t>(t.cur));
  if (it == v->end()) {
    t.eof = true;
    return;
  }
  t.cur = *it;
  t.eof = t.bof = false;
  t.RememberStep(v, it);
}

void Table::Prior() {
  Impl& t = *impl_;
  t.RequireOpen();
  t.CheckBrowse();
  const auto* v = t.View();
  if (v == nullptr || v->empty()) return t.SetCursor(-1);
  if (t.cur < 0) {
    t.bof = true;
    return;
  }
  auto it = v->lower_bound(static_cast<uint32_t>(t.cur));
  if (it == v->begin()) {
    t.bof = true;
    return;
  }
  t.cur = *--it;
  t.eof = t.bof = false;
}

bool Table::Eof() const { return !impl_->open || impl_->eof; }
bool Table::Bof() const { return !impl_->open || impl_->bof; }

bool Table::IsEmpty() const {
  if (!impl_->open) return true;
  const auto* v = impl_->View();
  return v == nullptr || v->empty();
}

bool Table::Locate(const std::string& field, int32_t value) {
  Impl& t = *impl_;
  t.RequireOpen();
  const int f = t.FieldIndex(field);
  t.CheckBrowse();
  int64_t found = -1;
  if (f == t.indexField) {
    const auto it = t.byIndexValue.find(value);
    if (it != t.byIndexValue.end()) {
      for (uint32_t rec : it->second) {
        if (!t.Passes(rec)) continue;
        if (found < 0 || t.Before(rec, static_cast<uint32_t>(found))) found = rec;
      }
    }
  } else if (const auto* v = t.View()) {
    for (uint32_t rec : *v) {
      if (t.IntAt(rec, f) == value) {
        found = rec;
        break;
      }
    }
  }
  if (found < 0) return false;
  t.SetCursor(found);
  return true;
}

int Table::RecordCount() const {
  impl_->RequireOpen();
  const auto* v = impl_->View();
  return v == nullptr ? 0 : static_cast<int>(v->size());
}

int32_t Table::GetInt(const std::string& field) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  const int f = t.FieldIndex(field);
  const Row* row = t.CurrentRow();
  return row == nullptr ? 0 : t.IntOf(row->cells[f], t.kinds[f]);
}

int Table::FieldNumber(const std::string& field) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  return t.FieldIndex(field);
}

int32_t Table::GetInt(int fieldNumber) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  if (fieldNumber < 0 || fieldNumber >= static_cast<int>(t.kinds.size()))
    throw Error(W("Pole číslo ") + std::to_string(fieldNumber) + W(" v tabulce ") + t.TableName() +
                W(" neexistuje."));
  const Row* row = t.CurrentRow();
  return row == nullptr ? 0 : t.IntOf(row->cells[fieldNumber], t.kinds[fieldNumber]);
}

std::string Table::GetText(const std::string& field) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  const int f = t.FieldIndex(field);
  const Row* row = t.CurrentRow();
  if (row == nullptr) return std::string();
  const Cell& c = row->cells[f];
  return c.null ? std::string() : c.text;
}

std::string_view Table::TextView(const std::string& field) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  const int f = t.FieldIndex(field);
  const Row* row = t.CurrentRow();
  if (row == nullptr) return {};
  const Cell& c = row->cells[f];
  return c.null ? std::string_view() : std::string_view(c.text);
}

std::string_view Table::TextView(int fieldNumber) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  if (fieldNumber < 0 || fieldNumber >= static_cast<int>(t.kinds.size()))
    throw Error(W("Pole číslo ") + std::to_string(fieldNumber) + W(" v tabulce ") + t.TableName() +
                W(" neexistuje."));
  const Row* row = t.CurrentRow();
  if (row == nullptr) return {};
  const Cell& c = row->cells[fieldNumber];
  return c.null ? std::string_view() : std::string_view(c.text);
}

bool Table::IsNull(const std::string& field) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  const int f = t.FieldIndex(field);
  const Row* row = t.CurrentRow();
  return row == nullptr || row->cells[f].null;
}

void Table::Append() {
  Impl& t = *impl_;
  t.RequireWritable();
  t.CheckBrowse();
  if (t.rows.size() >= UINT32_MAX - 1) throw Error(W("Tabulka ") + t.TableName() + W(" je plná."));
  t.FlushBulk();
  Row row;
  row.cells.resize(t.layout.fields.size());
  const uint32_t rec = static_cast<uint32_t>(t.rows.size());
  std::string bytes = t.EncodeRow(row);
  bytes += '\x1A';
  WriteAt(t.dbfFd, bytes.data(), bytes.size(), t.RecordOffset(rec), t.dbfPath);
  t.rows.push_back(std::move(row));
  t.layout.recordCount = static_cast<uint32_t>(t.rows.size());
  t.WriteHeaderCount();
  t.InsertRec(rec);
  t.SetCursor(rec);
  t.Touched();
  if (AfterPost) AfterPost();
}

void Table::Insert() {
  Impl& t = *impl_;
  t.RequireWritable();
  t.CheckBrowse();
  if (t.rows.size() >= UINT32_MAX - 1) throw Error(W("Tabulka ") + t.TableName() + W(" je plná."));
  t.buffer = Row();
  t.buffer.cells.resize(t.layout.fields.size());
  t.editing = t.inserting = true;
}

void Table::BeginBulk() { impl_->bulk = true; }

void Table::EndBulk() {
  Impl& t = *impl_;
  if (!t.bulk) return;
  t.bulk = false;
  if (t.open) t.FlushBulk();
}

void Table::Edit() {
  Impl& t = *impl_;
  t.RequireWritable();
  if (t.editing) return;
  if (t.cur < 0) throw Error(W("Tabulka ") + t.TableName() + W(" nemá aktuální záznam."));
  t.buffer = t.rows[static_cast<size_t>(t.cur)];
  t.editing = true;
}

void Table::SetInt(const std::string& field, int32_t value) {
  Impl& t = *impl_;
  t.RequireWritable();
  const int f = t.FieldIndex(field);
  Edit();
  Cell& c = t.buffer.cells[f];
  const dbf::Field& def = t.layout.fields[f];
  c.null = false;
  c.num = value;
  c.text = std::to_string(value);
  if (t.kinds[f] == Kind::Text || t.kinds[f] == Kind::Raw) {
    if (c.text.size() > def.length) c.text.resize(def.length);
  }
}

void Table::SetText(const std::string& field, const std::string& value) {
  Impl& t = *impl_;
  t.RequireWritable();
  const int f = t.FieldIndex(field);
  const dbf::Field& def = t.layout.fields[f];
  Cell c;
  switch (t.kinds[f]) {
    case Kind::Integer: {
      const auto first = value.find_first_not_of(' ');
      if (first == std::string::npos) break;  // blank: empty field
      if (!dbf::ParseNumber(value, c.num))
        throw Error(W("\"") + value + W("\" není platné číslo pro pole ") + def.name + ".");
      c.null = false;
      c.text = std::to_string(c.num);
      break;
    }
    case Kind::Text: {
      c.text = value.substr(0, def.length);
      // Stored padded with blanks, so trailing blanks cannot survive a reopen.
      while (!c.text.empty() && (c.text.back() == ' ' || c.text.back() == '\0')) c.text.pop_back();
      c.null = c.text.empty();
      break;
    }
    case Kind::Memo:
      c.text = value;
      c.null = value.empty();
      break;
    case Kind::Raw:
      c.text = value.substr(0, def.length);
      c.null = value.empty();
      break;
  }
  Edit();
  Cell& target = t.buffer.cells[f];
  if (t.kinds[f] == Kind::Memo) c.num = target.num;  // block changes on post if text changed
  target = std::move(c);
}

void Table::SetNull(const std::string& field) {
  Impl& t = *impl_;
  t.RequireWritable();
  const int f = t.FieldIndex(field);
  Edit();
  Cell& c = t.buffer.cells[f];
  const int32_t block = c.num;
  c = Cell();
  if (t.kinds[f] == Kind::Memo) c.num = block;
}

void Table::Post() {
  Impl& t = *impl_;
  if (!t.open || !t.editing) return;
  if (t.inserting) {
    const uint32_t rec = static_cast<uint32_t>(t.rows.size());
    Row& next = t.buffer;
    t.WriteMemos(nullptr, next);
    if (t.bulk) {
      if (t.bulkDbf.empty()) t.bulkDbfAt = t.RecordOffset(rec);
      t.bulkDbf += t.EncodeRow(next);
    } else {
      std::string bytes = t.EncodeRow(next);
      bytes += '\x1A';
      WriteAt(t.dbfFd, bytes.data(), bytes.size(), t.RecordOffset(rec), t.dbfPath);
    }
    t.rows.push_back(std::move(next));
    t.layout.recordCount = static_cast<uint32_t>(t.rows.size());
    t.editing = t.inserting = false;
    t.buffer = Row();
    if (!t.bulk) t.WriteHeaderCount();
    if (t.bulkDbf.size() + t.bulkMemo.size() >= (8u << 20)) t.FlushBulk();
    t.InsertRec(rec);
    t.SetCursor(rec);
    t.Touched();
    if (AfterPost) AfterPost();
    return;
  }
  t.FlushBulk();
  const uint32_t rec = static_cast<uint32_t>(t.cur);
  Row& old = t.rows[rec];
  Row next = t.buffer;
  t.WriteMemos(&old, next);
  const std::string bytes = t.EncodeRow(next);
  WriteAt(t.dbfFd, bytes.data(), bytes.size(), t.RecordOffset(rec), t.dbfPath);
  t.WriteHeaderCount();
  t.RemoveRec(rec);
  old = std::move(next);
  t.InsertRec(rec);
  t.editing = false;
  t.buffer = Row();
  t.Touched();
  if (AfterPost) AfterPost();
}

void Table::Cancel() {
  impl_->editing = impl_->inserting = false;
  impl_->buffer = Row();
}

void Table::Delete() {
  Impl& t = *impl_;
  t.RequireWritable();
  if (t.inserting) return Cancel();  // the new record was never written
  Cancel();
  t.FlushBulk();
  if (t.cur < 0) throw Error(W("Tabulka ") + t.TableName() + W(" nemá aktuální záznam."));
  const uint32_t rec = static_cast<uint32_t>(t.cur);
  int64_t next = -1;
  if (const auto* v = t.View()) {
    auto it = v->upper_bound(rec);
    if (it != v->end()) {
      next = *it;
    } else {
      it = v->lower_bound(rec);
      if (it != v->begin()) next = *--it;
    }
  }
  WriteAt(t.dbfFd, "*", 1, t.RecordOffset(rec), t.dbfPath);
  t.WriteHeaderCount();
  t.RemoveRec(rec);
  Row& row = t.rows[rec];
  row.deleted = true;
  // Memo blocks stay in the file until a pack; the text is no longer needed here.
  for (Cell& c : row.cells) std::string().swap(c.text);
  t.SetCursor(next);
  t.Touched();
}

int32_t Table::MaxOf(const std::string& field, int32_t empty) const {
  const Impl& t = *impl_;
  t.RequireOpen();
  const int f = t.FieldIndex(field);
  if (f == t.indexField) return t.byIndexValue.empty() ? empty : t.byIndexValue.rbegin()->first;
  bool any = false;
  int32_t best = empty;
  for (uint32_t rec : t.order) {
    const int32_t v = t.IntAt(rec, f);
    if (!any || v > best) best = v;
    any = true;
  }
  return best;
}

void Table::Rename(const fs::path& newDbf) {
  Impl& t = *impl_;
  if (t.open) throw Error(W("Tabulku ") + t.TableName() + W(" nelze přejmenovat, je otevřená."));
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
  if (!t.exclusive)
    throw Error(W("Tabulku ") + t.TableName() +
                W(" lze zkomprimovat jen po otevření pro výhradní použití."));
  t.CheckBrowse();
  t.FlushBulk();
  t.DoPack();
  t.GoFirst();
}

}  // namespace orvenda
