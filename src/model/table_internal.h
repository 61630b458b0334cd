#pragma once

// The parts of the table engine that its source files share; nothing outside them includes it.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "model/dbf_file.h"
#include "model/table.h"

namespace orvenda {
namespace table_detail {

inline std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

struct Row {
  std::vector<dbf::Cell> cells;
  bool deleted = false;
};

// A parsed filter: "Type=<n> AND Uplink=<n>" or "Uplink=<n>" (either order, any case).
struct Condition {
  bool active = false;  // false: every record passes
  bool hasType = false;
  int32_t type = 0;
  int32_t uplink = 0;
};

Condition ParseFilter(const std::string& text);

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& file, int err);
void WriteAt(int fd, const char* data, size_t size, uint64_t offset,
             const std::filesystem::path& file);

// What tells that a file is still exactly as we left it.
struct FileStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = -1;
  int64_t mtimeNs = 0;
  int64_t ctimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(int fd);

// Writes to each table file by any table object of this process, counted. File times tick
// too coarsely to tell two writes a few milliseconds apart.
uint64_t& WriteCount(const FileStamp& file);

// The index definitions given to Create, by table file, for every table object of the
// process: the .mdx that holds them is never read back, and a descending tag cannot be told
// from the table file alone.
std::map<std::string, std::vector<IndexDef>>& CreatedIndexes();

std::string PathKey(const std::filesystem::path& p);

[[noreturn]] void Busy(const std::filesystem::path& file);

}  // namespace table_detail

struct Table::Impl {
  using Cell = dbf::Cell;
  using Kind = dbf::Kind;
  using Row = table_detail::Row;
  using Condition = table_detail::Condition;
  using FileStamp = table_detail::FileStamp;

  // A set of record numbers kept in the current order of the table.
  struct OrderCmp {
    const Impl* t;
    bool operator()(uint32_t a, uint32_t b) const { return t->Before(a, b); }
  };
  using RecSet = std::set<uint32_t, OrderCmp>;

  Table* self = nullptr;
  RowObserver* observer = nullptr;
  std::filesystem::path path;
  std::filesystem::path dbfPath, memoPath;  // the files of the open table, as found on disk
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
  std::filesystem::path cachedPath;
  FileStamp cachedDbf, cachedMemo;
  uint64_t cachedWrites = 0;
  FileStamp openDbf;  // the table file as opened

  void Touched() {
    changed = true;
    ++table_detail::WriteCount(openDbf);
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
  // The current row for a read of `field`, its memo in.
  const Row* RowToRead(int field) const {
    if (!editing && kinds[field] == Kind::Memo) AwaitMemo(cur);
    return CurrentRow();
  }

  std::string TableName() const { return PathToText(open ? dbfPath : path); }

  int FieldIndex(const std::string& name) const {
    const auto it = fieldByName.find(table_detail::UpperAscii(name));
    if (it == fieldByName.end())
      throw Error(W("Pole ") + name + W(" v tabulce ") + TableName() + W(" neexistuje."));
    return it->second;
  }

  void RequireOpen() const {
    if (!open) throw Error(Msg(217, {TableName()}));
  }

  void RequireWritable() const {
    RequireOpen();
    if (readOnly) throw Error(Msg(218, {TableName()}));
    AwaitMemos();  // every change may move or rewrite rows
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
    RowImage Image() const override { return t->ImageOf(t->rows[rec]); }
  };

  RowImage ImageOf(const Row& row) const {
    AwaitMemos();
    RowImage image;
    image.values.resize(row.cells.size());
    for (size_t i = 0; i < row.cells.size(); ++i) {
      const Cell& c = row.cells[i];
      RowImage::Value& v = image.values[i];
      v.text = c.text;
      v.null = c.null;
      v.number = kinds[i] == Kind::Memo ? 0 : c.num;
    }
    return image;
  }

  void ResetObserver() {
    if (observer != nullptr) observer->Reset(*self);
  }

  // --- maintained orderings (table_order.cpp) ----------------------------------------------
  void InsertRec(uint32_t rec);
  void RemoveRec(uint32_t rec);
  void BuildGroups();
  void Rebuild();
  void ResolveOrder(const std::string& name);

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

  // Makes `c` the filter; fails on a text naming a field the table lacks (table_filter.cpp).
  void Activate(const Condition& c, const std::string& text);

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

  // --- writing (table_write.cpp) ----------------------------------------------------------
  std::string EncodeRow(const Row& row) const;

  uint64_t RecordOffset(uint32_t rec) const {
    return layout.headerLength + static_cast<uint64_t>(rec) * layout.recordLength;
  }

  // Record count and date of the last update; written only when one of them changes.
  void WriteHeaderCount();
  // Appends the changed memos of a record to the memo file in one write and points their
  // cells at the new blocks; empty memos point nowhere.
  void WriteMemos(const Row* old, Row& next);
  // Writes what bulk mode holds back: memos before the records that point at them, the
  // header's count last.
  void FlushBulk();

  // --- open and close (table_open.cpp) -----------------------------------------------------
  void CloseFiles();
  // Closes the files. With `keep` the rows stay for a reopen of the unchanged files.
  void Reset(bool keep = false);
  void Load(bool wantExclusive);

  // --- the files as a whole (table_files.cpp) ----------------------------------------------
  void WriteIndexFile();
  void DoPack();

  // --- memos of a big table, copied in after the open (table_open.cpp) ------------------------
  // The tree needs no memo text, so a big table opens without it: another thread copies the
  // memos into the rows in record order. Rows below `memosReady` hold theirs. Anything that
  // changes rows, and any read of a memo not yet in, waits for the whole copy.
  mutable std::thread memoThread;
  std::atomic<uint32_t> memosReady{UINT32_MAX};
  mutable std::exception_ptr memoError;
  // Waits for every memo; rethrows what stopped the copying, which leaves the rows unusable.
  void AwaitMemos() const;
  void AwaitMemo(int64_t rec) const {
    if (rec >= 0 && static_cast<uint64_t>(rec) >= memosReady.load(std::memory_order_acquire))
      AwaitMemos();
  }
  // Waits without throwing; false when the copying failed.
  bool JoinMemos() noexcept;
  ~Impl() { JoinMemos(); }
};

}  // namespace orvenda
