#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvenda {

// Our dBase table engine. A table object names one table file (.dbf with its .dbt memo file
// and .mdx production index) and has a current record. Rows live in memory while the table is
// open; every post and delete is written through to the files at once.
//
// Texts are windows-1250 bytes. Field names are matched without regard to case. Errors are
// orvenda::Error with a message for the user.
//
// Written: dBase IV (.dbf version 8B with memo, 03 without; integers N(11,0), strings C(n),
// memos M in 512-byte blocks; language driver windows-1250). Read: dBase III, III with memo,
// IV and level 7 tables, without trusting their .mdx: orderings are rebuilt from the rows.
// The .mdx is rewritten by Create, Pack and by Close after changes. Deleted records are
// hidden until a pack drops them.
//
// A pending edit (started by Edit or by setting a field) is posted by navigation, Locate, a
// change of filter or index, Append and Close; Cancel drops it.

enum class FieldType { Integer, String, Memo };

struct FieldDef {
  std::string name;
  FieldType type = FieldType::Integer;
  int size = 0;  // characters, for String only
};

// A whole row as the table holds it: every field in Fields() order. For keeping rows aside and
// putting them back exactly. A memo's place in the memo file is no part of it.
struct RowImage {
  struct Value {
    std::string text;  // integers: the digits as stored
    int32_t number = 0;
    bool null = true;
    bool operator==(const Value&) const = default;
  };
  std::vector<Value> values;
  bool operator==(const RowImage&) const = default;
};

// The integer fields of one row, as an observer sees it.
class RowValues {
 public:
  virtual int32_t Int(int fieldNumber) const = 0;  // empty reads 0
  virtual RowImage Image() const = 0;

 protected:
  ~RowValues() = default;
};

class Table;

// Told of every row that joins or leaves the live rows of a table: an append adds, a post
// removes the old row and adds the new one, a delete removes. Reset says that every row left
// (open, pack, a new order, close); the rows of the open table follow as additions, and
// Loaded says when the last of them has come, so that an observer can take them in bulk.
// Observers must not throw and must not use the table while they are told.
class RowObserver {
 public:
  virtual ~RowObserver() = default;
  virtual void Reset(const Table& table) = 0;
  virtual void Added(const RowValues& row) = 0;
  virtual void Removed(const RowValues& row) = 0;
  virtual void Loaded() {}
};

struct IndexDef {
  std::string name;
  std::string field;
  bool descending = false;
};

class Table {
 public:
  Table();
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // --- Name, open, close -------------------------------------------------------------------
  // The .dbf path; may only change while the table is closed.
  void SetPath(const std::filesystem::path& dbf);
  const std::filesystem::path& Path() const;

  // Opens the table (shared, or exclusive for packing). Exclusive open fails with a "table
  // busy" message while another open of the same table exists, in this process or another;
  // a shared open fails while an exclusive one exists.
  void Open(bool exclusive = false);
  void Close();
  bool IsOpen() const;
  bool IsExclusive() const;

  // Creates the table files from the definitions, replacing an existing table of that name
  // with an empty one. The table is left closed. Replacing goes through temporary files and
  // rename, so a crash never leaves half a table.
  void Create(const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes);

  // Field definitions of the open table, in file order.
  const std::vector<FieldDef>& Fields() const;

  // --- Order and filter --------------------------------------------------------------------
  // Current index by name ("Index", "Mira"), or "" for file order. May be set while closed;
  // it applies from the next open. Cursor goes to the first record. A name that is no index
  // of the table but names a field orders by that field, ascending; any other name fails.
  void SetIndexName(const std::string& name);
  const std::string& IndexName() const;

  // Filter text and switch. Accepted texts: "Type=<n> AND Uplink=<n>" and "Uplink=<n>"
  // (field names without regard to case, integers in decimal). Any other text fails with a
  // message quoting it when the filter is switched on. A new text while the filter is on
  // applies at once. An empty text lets every record pass. Switching the filter or its text
  // moves the cursor to the first record. An empty field compares as 0.
  void SetFilter(const std::string& text);
  const std::string& Filter() const;
  void SetFiltered(bool on);
  bool Filtered() const;

  // --- Navigation --------------------------------------------------------------------------
  // First and Last on records clear Eof and Bof; with no record both are true.
  void First();
  void Last();
  void Next();   // past the last record: Eof() becomes true, the cursor stays on the last
  void Prior();  // before the first record: Bof() becomes true
  bool Eof() const;
  bool Bof() const;
  bool IsEmpty() const;  // no record passes the filter

  // Exact match on an integer field; true moves the cursor to the first match in the current
  // order, false leaves it where it was. Locating on "Index" costs no scan.
  bool Locate(const std::string& field, int32_t value);

  // Records that pass the filter.
  int RecordCount() const;

  // --- Fields of the current record ---------------------------------------------------------
  int32_t GetInt(const std::string& field) const;
  // The position of a field in Fields(), and reading by it: for walks over many records that
  // would otherwise look the name up for every record.
  int FieldNumber(const std::string& field) const;
  int32_t GetInt(int fieldNumber) const;                // empty reads 0
  std::string GetText(const std::string& field) const;  // empty reads ""; memos whole
  bool IsNull(const std::string& field) const;          // the field is empty
  // GetText without the copy; valid until the table or its cursor changes.
  std::string_view TextView(const std::string& field) const;
  std::string_view TextView(int fieldNumber) const;

  // Appends an empty record and posts it; the new record becomes current.
  void Append();
  // Starts a new, empty record in the edit buffer; Post appends it in one write and makes it
  // current, Cancel (also Delete) drops it. For building tables row by row, where Append
  // would write every record twice.
  void Insert();
  // Between BeginBulk and EndBulk the records that Insert adds reach the files in large writes
  // instead of one per record; any other change, Close and EndBulk write them out first. For
  // building a table that nothing else reads until it is done.
  void BeginBulk();
  void EndBulk();
  // Edit, set fields, Post: the posted record stays current (the order may move it). Edit
  // without a current record fails; Post with nothing pending does nothing.
  void Edit();
  void SetInt(const std::string& field, int32_t value);
  void SetText(const std::string& field, const std::string& value);  // strings cut to size
  void SetNull(const std::string& field);
  void Post();
  void Cancel();
  // Deletes the current record; the following record becomes current, the previous one when
  // it was the last. Without a current record it fails.
  void Delete();

  // The current record whole, or the edit buffer while an edit is pending.
  RowImage CurrentImage() const;
  // Sets every field of the edit buffer from `image` (starting an edit when none is pending);
  // Post writes it. The image must come from a table with the same fields.
  void SetImage(const RowImage& image);

  // Largest value of an integer field over all records (filter ignored), or `empty` when the
  // table has no record. For "Index" this costs no scan.
  int32_t MaxOf(const std::string& field, int32_t empty) const;

  // --- Files ----------------------------------------------------------------------------------
  // Renames the table's files (.dbf, .dbt, .mdx) to the new .dbf name; table closed.
  void Rename(const std::filesystem::path& newDbf);
  // Drops deleted records and rebuilds the index file; needs exclusive open.
  void Pack();
  // Drops deleted records and closes, writing each file once: the packed .dbf, .dbt and .mdx
  // are what is left on disk. Needs no exclusive open; fails when another holder has the
  // table open, and then leaves it open as it was.
  void PackAndClose();

  // Called after every post (Append, Post) of this table object.
  std::function<void()> AfterPost;

  // One observer of the live rows, or nullptr; when the table is open it is told of them at
  // once. The observer must outlive the table or be removed first.
  void SetRowObserver(RowObserver* observer);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// BeginBulk for the life of a scope. Its end writes what was gathered; a failed write is not
// thrown from there (it may be unwinding an error already) and shows again at the table's next
// write or close.
class BulkScope {
 public:
  explicit BulkScope(Table& table) : table_(table) { table_.BeginBulk(); }
  ~BulkScope() {
    try {
      table_.EndBulk();
    } catch (...) {
    }
  }
  BulkScope(const BulkScope&) = delete;
  BulkScope& operator=(const BulkScope&) = delete;

 private:
  Table& table_;
};

// For tests: while held, big tables open with their memos not yet copied in.
void HoldMemoCopies(bool hold);

}  // namespace orvenda
