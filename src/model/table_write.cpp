// Changing records: every append, post and delete is written through to the files at once,
// or in bulk mode gathered into large writes.
#include "base/messages.h"
#include "model/table_internal.h"

#include <cstring>

namespace orvenda {

using dbf::Cell;
using dbf::Kind;
using namespace table_detail;

std::string Table::Impl::EncodeRow(const Row& row) const {
  std::string rec(layout.recordLength, ' ');
  rec[0] = row.deleted ? '*' : ' ';
  for (size_t i = 0; i < layout.fields.size(); ++i)
    dbf::EncodeCell(layout.fields[i], row.cells[i], rec.data());
  return rec;
}

void Table::Impl::WriteHeaderCount() {
  char stamped[7];
  std::memcpy(stamped, header.data() + 1, 7);
  dbf::StampHeader(header.data(), static_cast<uint32_t>(rows.size()));
  if (headerWritten && std::memcmp(stamped, header.data() + 1, 7) == 0) return;
  WriteAt(dbfFd, header.data() + 1, 7, 1, dbfPath);
  headerWritten = true;
}

void Table::Impl::WriteMemos(const Row* old, Row& next) {
  // New records in bulk mode add their blocks to the bulk buffer straight away.
  const bool toBulk = bulk && old == nullptr;
  if (toBulk && bulkMemo.empty()) bulkMemoAt = memoNextBlock * memoBlockSize;
  std::string local;
  std::string& blocks = toBulk ? bulkMemo : local;
  const size_t start = blocks.size();
  uint64_t block = memoNextBlock;
  for (size_t i = 0; i < kinds.size(); ++i) {
    if (kinds[i] != Kind::Memo) continue;
    Cell& c = next.cells[i];
    if (old != nullptr && c.text == old->cells[i].text && c.num == old->cells[i].num) continue;
    if (c.text.empty()) {
      c.num = 0;
      continue;
    }
    if (memoFd < 0) throw Error(Msg(212, {TableName()}));
    std::string encoded = dbf::EncodeMemo(c.text, memoBlockSize, layout.Dbase3Memo());
    if (block + encoded.size() / memoBlockSize > INT32_MAX) {
      blocks.resize(start);  // none of this record's blocks stays behind
      throw Error(Msg(201, {PathToText(memoPath)}));
    }
    c.num = static_cast<int32_t>(block);
    block += encoded.size() / memoBlockSize;
    if (!toBulk && blocks.empty()) {
      blocks = std::move(encoded);
    } else {
      blocks += encoded;
    }
  }
  if (blocks.size() == start) return;
  if (toBulk) {
    memoNextBlock = block;
    return;
  }
  WriteAt(memoFd, blocks.data(), blocks.size(), memoNextBlock * memoBlockSize, memoPath);
  memoNextBlock = block;
  char nextFree[4];
  for (int i = 0; i < 4; ++i) nextFree[i] = static_cast<char>((block >> (8 * i)) & 0xFF);
  WriteAt(memoFd, nextFree, 4, 0, memoPath);
}

void Table::Impl::FlushBulk() {
  if (bulkMemo.empty() && bulkDbf.empty()) return;
  // While bulk mode lasts the buffers keep their memory for the next records: growing them
  // afresh for every flush would copy each byte again and fault in new pages.
  auto release = [this](std::string& buffer) {
    if (bulk) {
      buffer.clear();
    } else {
      std::string().swap(buffer);
    }
  };
  if (!bulkMemo.empty()) {
    WriteAt(memoFd, bulkMemo.data(), bulkMemo.size(), bulkMemoAt, memoPath);
    release(bulkMemo);
    char nextFree[4];
    for (int i = 0; i < 4; ++i) nextFree[i] = static_cast<char>((memoNextBlock >> (8 * i)) & 0xFF);
    WriteAt(memoFd, nextFree, 4, 0, memoPath);
  }
  if (!bulkDbf.empty()) {
    bulkDbf += '\x1A';
    WriteAt(dbfFd, bulkDbf.data(), bulkDbf.size(), bulkDbfAt, dbfPath);
    release(bulkDbf);
  }
  WriteHeaderCount();
}

void Table::Append() {
  Impl& t = *impl_;
  t.RequireWritable();
  t.CheckBrowse();
  if (t.rows.size() >= UINT32_MAX - 1) throw Error(Msg(213, {t.TableName()}));
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
  if (t.rows.size() >= UINT32_MAX - 1) throw Error(Msg(213, {t.TableName()}));
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
  std::string().swap(t.bulkDbf);
  std::string().swap(t.bulkMemo);
}

void Table::Edit() {
  Impl& t = *impl_;
  t.RequireWritable();
  if (t.editing) return;
  if (t.cur < 0) throw Error(Msg(214, {t.TableName()}));
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
      if (!dbf::ParseNumber(value, c.num)) throw Error(Msg(215, {value, def.name}));
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
  if (t.cur < 0) throw Error(Msg(214, {t.TableName()}));
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

RowImage Table::CurrentImage() const {
  const Impl& t = *impl_;
  t.RequireOpen();
  const Row* row = t.CurrentRow();
  if (row == nullptr) throw Error(Msg(214, {t.TableName()}));
  return t.ImageOf(*row);
}

void Table::SetImage(const RowImage& image) {
  Impl& t = *impl_;
  t.RequireWritable();
  if (image.values.size() != t.kinds.size()) throw Error(Msg(216, {t.TableName()}));
  Edit();
  for (size_t i = 0; i < t.kinds.size(); ++i) {
    Cell& c = t.buffer.cells[i];
    const RowImage::Value& v = image.values[i];
    // An unchanged memo keeps its blocks; a changed one is written anew by the post.
    if (t.kinds[i] == Kind::Memo) {
      if (c.text != v.text || c.null != v.null) c.num = 0;
    } else {
      c.num = v.number;
    }
    c.text = v.text;
    c.null = v.null;
  }
}

}  // namespace orvenda
